// The real program started twice: the second copy ends at once with exit code 0 and leaves the
// first running; once the first is killed (SIGKILL), a new start runs normally.
#include <gtest/gtest.h>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <unistd.h>

#include <csignal>

namespace {

constexpr int kStartMs = 10000;
// The running copy's mark: the title and the user.
QString MarkName() {
    return QStringLiteral("Tarvel Player (uid %1)").arg(getuid());
}

QString ProgramPath() {
    const QByteArray dir = qgetenv("TARVEL_BINARY_DIR");
    return QString::fromLocal8Bit(dir) + "/app/tarvel-player";
}

// True while some process holds the name of the running copy.
bool NameClaimed() {
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(MarkName());
    const bool ok = probe.waitForConnected(500);
    probe.abort();
    return ok;
}

struct Program {
    QProcess process;
    Program() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        process.setProcessEnvironment(env);
        process.setProgram(ProgramPath());
    }
    // Starts the program and waits until it holds the running copy's mark.
    [[nodiscard]] bool StartedAndClaimed() {
        process.start();
        return process.waitForStarted(kStartMs) && QTest::qWaitFor(NameClaimed, kStartMs);
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kStartMs);
        }
    }
};

class SingleInstance : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("TARVEL_BINARY_DIR").isEmpty()) {
            GTEST_SKIP() << "TARVEL_BINARY_DIR not set";
        }
        ASSERT_FALSE(NameClaimed()) << "another copy of the program is already running";
    }
};

TEST_F(SingleInstance, SecondCopyEndsSilentlyFirstStays) {
    Program first;
    ASSERT_TRUE(first.StartedAndClaimed()) << "the first copy never claimed its name";

    Program second;
    second.process.start();
    ASSERT_TRUE(second.process.waitForStarted(kStartMs));
    ASSERT_TRUE(second.process.waitForFinished(kStartMs)) << "the second copy did not end";
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_TRUE(second.process.readAllStandardOutput().isEmpty());

    QTest::qWait(300);
    EXPECT_EQ(first.process.state(), QProcess::Running);
    EXPECT_TRUE(NameClaimed());

    // kill -9: no clean-up runs, yet the name goes with the process.
    first.process.kill();
    ASSERT_TRUE(first.process.waitForFinished(kStartMs));
    EXPECT_FALSE(NameClaimed());

    Program third;
    ASSERT_TRUE(third.StartedAndClaimed()) << "a new start after the kill did not run";
    QTest::qWait(300);
    EXPECT_EQ(third.process.state(), QProcess::Running);
}

// A plain kill (SIGTERM) ends the program: no library may take the signal for itself.
TEST_F(SingleInstance, TerminateSignalEndsTheProgram) {
    Program p;
    ASSERT_TRUE(p.StartedAndClaimed()) << "the program never came up";
    // Let start-up open the audio device first.
    QTest::qWait(1000);
    ASSERT_EQ(p.process.state(), QProcess::Running);
    p.process.terminate();
    EXPECT_TRUE(p.process.waitForFinished(3000)) << "SIGTERM did not end the program";
}

}  // namespace
