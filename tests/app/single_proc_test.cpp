// TSingleProc within one process: the first guard claims the title, a second one finds it taken,
// restores and raises the first one's window, keeps its own window hidden and asks to quit with
// exit code 0. Its own program: the quit request stops every later nested event loop.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
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

// The second copy passes on the desktop's activation token; the first must accept exactly the
// requests a second copy sends and never take a malformed token from whoever else connects.
TEST(SingleProc, RaiseRequestCarriesAPlainTokenOnly) {
    struct Case {
        const char* line;
        bool raise;
        const char* token;
    };
    const Case cases[] = {
        {"raise\n", true, ""},
        {"raise gnome-shell/Terminal/1234-5-host_TIME42\n", true,
         "gnome-shell/Terminal/1234-5-host_TIME42"},
        {"raise", true, ""},                 // no line end: still a request
        {"raise two words\n", true, ""},     // token with a space: dropped
        {"raise tab\there\n", true, ""},     // control character: dropped
        {"raise \xe3\x81\x82\n", true, ""},  // not ASCII: dropped
        {"raise \n", true, ""},
        {"raised\n", false, ""},
        {"RAISE\n", false, ""},
        {"\n", false, ""},
        {"quit\n", false, ""},
    };
    for (const Case& c : cases) {
        const TSingleProc::Request r = TSingleProc::ParseRequest(QByteArray(c.line));
        EXPECT_EQ(r.raise, c.raise) << c.line;
        EXPECT_EQ(r.activationToken, QByteArray(c.token)) << c.line;
    }
    const QByteArray longToken(257, 'a');
    EXPECT_TRUE(TSingleProc::ParseRequest("raise " + longToken + "\n").activationToken.isEmpty());
    EXPECT_EQ(TSingleProc::ParseRequest("raise " + longToken.left(256)).activationToken.size(),
              256);

    // What the second copy writes is what the first reads.
    for (const QByteArray& token : {QByteArray(), QByteArray("abc_123"), QByteArray("bad token")}) {
        const TSingleProc::Request r = TSingleProc::ParseRequest(TSingleProc::RaiseRequest(token));
        EXPECT_TRUE(r.raise);
        EXPECT_EQ(r.activationToken, token == "bad token" ? QByteArray() : token);
    }
    EXPECT_TRUE(TSingleProc::RaiseRequest({}).endsWith('\n'));
}

// A request that arrives in pieces is read once it is whole; junk without a line end is cut off.
TEST(SingleProc, RequestInPiecesStillRaises) {
    QCoreApplication::setApplicationName(
        QStringLiteral("tarvel-single-proc-pieces-%1").arg(getpid()));
    QWidget window;
    window.show();
    window.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }, 2000));
    TSingleProc first(&window);
    ASSERT_NE(first.MutexHandle(), nullptr);

    QLocalSocket junk;
    junk.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    junk.connectToServer(TSingleProc::MarkName());
    ASSERT_TRUE(junk.waitForConnected(2000));
    junk.write(QByteArray(2000, 'x'));
    junk.flush();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return junk.state() != QLocalSocket::ConnectedState; }, 2000));
    EXPECT_TRUE(window.isMinimized());

    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(TSingleProc::MarkName());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("rai");
    socket.flush();
    QTest::qWait(100);
    EXPECT_TRUE(window.isMinimized());
    socket.write("se\n");
    socket.flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 2000));
}

}  // namespace
}  // namespace tarvel
