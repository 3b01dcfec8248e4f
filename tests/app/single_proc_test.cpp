// TSingleProc within one process: the first guard claims the title, a second one finds it taken,
// restores and raises the first one's window, keeps its own window hidden and asks to quit with
// exit code 0. Its own program: the quit request stops every later nested event loop.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalServer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include "app/SingleProc.h"

namespace tarvel {
namespace {

TEST(SingleProc, SecondGuardRaisesTheFirstWindowAndQuits) {
    QCoreApplication::setApplicationName(
        QStringLiteral("tarvel-single-proc-test-%1").arg(getpid()));
    QWidget window;
    window.show();
    window.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }, 2000));

    auto first = std::make_unique<TSingleProc>(&window);
    ASSERT_NE(first->MutexHandle(), nullptr);
    EXPECT_TRUE(first->ShowMainForm());

    {
        TSingleProc second(nullptr);
        EXPECT_EQ(second.MutexHandle(), nullptr);
        EXPECT_FALSE(second.ShowMainForm());
        // The quit request is queued: it ends the next event loop with exit code 0.
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, [&] { loop.exit(-1); });
        EXPECT_EQ(loop.exec(), 0);
    }
    // The raise request reaches the first copy through its event loop.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 2000));

    // Once the first guard is gone, the title is free again.
    first.reset();
    TSingleProc third(&window);
    EXPECT_NE(third.MutexHandle(), nullptr);
    EXPECT_TRUE(third.ShowMainForm());
}

TEST(SingleProc, AnotherUsersCopyDoesNotStopThisOne) {
    QCoreApplication::setApplicationName(
        QStringLiteral("tarvel-single-proc-other-user-%1").arg(getpid()));
    QLocalServer other;
    other.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(other.listen(
        QStringLiteral("%1 (uid %2)").arg(QCoreApplication::applicationName()).arg(getuid() + 1)));

    TSingleProc mine(nullptr);
    EXPECT_NE(mine.MutexHandle(), nullptr);
    EXPECT_TRUE(mine.ShowMainForm());
    EXPECT_FALSE(other.hasPendingConnections());
}

}  // namespace
}  // namespace tarvel
