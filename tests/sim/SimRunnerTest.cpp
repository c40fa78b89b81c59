#include "SimRunner.h"
#include "../ScratchFiles.h"
#include "PtyTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>

using namespace sim;
using namespace simtest;

namespace {

// A runner on the master of a real pty; the test plays the station on the slave.
class RunnerOnPty {
public:
    explicit RunnerOnPty(SimOptions options) {
        openpty(&master, &slave, nullptr, nullptr, nullptr);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        runner = std::make_unique<SimRunner>(options, master, slave, SimRunner::monotonicMs());
    }
    ~RunnerOnPty() {
        runner.reset();
        ::close(master);
        ::close(slave);
    }
    // Runs the loop for about ms milliseconds.
    void pump(int ms) {
        const int64_t end = SimRunner::monotonicMs() + ms;
        while (SimRunner::monotonicMs() < end)
            ASSERT_TRUE(runner->step(10));
    }
    std::string exchange(const std::string& request, int ms = 150) {
        writeAll(slave, request);
        pump(ms);
        return readFor(slave, 20);
    }

    int master = -1;
    int slave = -1;
    std::unique_ptr<SimRunner> runner;
};

} // namespace

TEST(SimRunner, AnswersRequestsSplitAcrossWritesAndSeveralInOneWrite) {
    RunnerOnPty pty(SimOptions{});
    writeAll(pty.slave, kRG.substr(0, 3));
    pty.pump(30);
    EXPECT_EQ(readFor(pty.slave, 20), "");
    const Cut cut = cutFrames(pty.exchange(kRG.substr(3) + kIN + "junk" + kRS + kRM));
    ASSERT_EQ(cut.frames.size(), 4u);
    EXPECT_EQ(cut.frames[0].size(), 43u);
    EXPECT_EQ(cut.frames[1].substr(2, 2), "IN");
    EXPECT_EQ(cut.frames[2].substr(2, 2), "RS");
    EXPECT_EQ(cut.frames[3].substr(2, 2), "RM");
    EXPECT_EQ(cut.between, "");
}

TEST(SimRunner, SplitWritesEachReplyInTwoPartsWithAPause) {
    SimOptions o;
    o.split = true;
    o.splitPauseMs = 500;
    RunnerOnPty pty(o);
    writeAll(pty.slave, kRG);
    pty.pump(50);
    const std::string first = readFor(pty.slave, 20);
    EXPECT_EQ(first.size(), 21u);
    pty.pump(600);
    const std::string second = readFor(pty.slave, 20);
    const std::string whole = first + second;
    ASSERT_EQ(whole.size(), 43u);
    EXPECT_EQ(whole.front(), '\x06');
    EXPECT_EQ(whole.back(), '\x03');
}

TEST(SimRunner, NoiseStandsOnlyBetweenFramesAndNeverLooksLikeOne) {
    SimOptions o;
    o.noise = true;
    RunnerOnPty pty(o);
    std::string requests;
    for (int i = 0; i < 10; ++i)
        requests += kRG + kIN + kRS;
    const Cut cut = cutFrames(pty.exchange(requests, 300));
    ASSERT_EQ(cut.frames.size(), 30u);
    for (std::size_t i = 0; i < cut.frames.size(); i += 3) {
        EXPECT_EQ(cut.frames[i].size(), 43u);
        EXPECT_EQ(cut.frames[i + 1].substr(2, 2), "IN");
    }
    EXPECT_GE(cut.between.size(), 30u);
    EXPECT_EQ(cut.between.find_first_of(std::string("\x06\x03"
                                                    "ABCDG",
                                                    7)),
              std::string::npos);
}

TEST(SimRunner, SilentAnswersNothingButStillFollowsCommands) {
    SimOptions o;
    o.silent = true;
    RunnerOnPty pty(o);
    EXPECT_EQ(pty.exchange(kStart + kRG + kIN), "");
    EXPECT_TRUE(pty.runner->model().engineRunning());
}

TEST(SimRunner, RecordWritesEachReplyFrameAsOneCrLfLine) {
    {
        const vz::test::ScratchCurrentDir dir;
        RunnerOnPty pty(SimOptions{});
        std::string error;
        ASSERT_TRUE(pty.runner->record("VEZARO.DMO", error)) << error;
        const std::string sent = pty.exchange(kStart + kRG + kRM + kOUBlank + kIN + kRS);
        const Cut cut = cutFrames(sent);
        ASSERT_EQ(cut.frames.size(), 4u);
        QFile f("VEZARO.DMO");
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        std::string expected;
        for (const std::string& frame : cut.frames)
            expected += frame + "\r\n";
        EXPECT_EQ(f.readAll().toStdString(), expected);
    }
}

TEST(SimRunner, At1200BaudSendsLetteredLinesByItselfAndIgnoresRequests) {
    SimOptions o;
    o.baud = 1200;
    o.periodMs = 100;
    RunnerOnPty pty(o);
    writeAll(pty.slave, kRG + kIN);
    pty.pump(450);
    const std::string text = readFor(pty.slave, 20);
    EXPECT_EQ(text.find('\x06'), std::string::npos);
    const QString received = QString::fromLatin1(text.data(), qsizetype(text.size()));
    int count = 0;
    for (auto it = QRegularExpression(kLetteredLinePattern).globalMatch(received); it.hasNext(); it.next())
        ++count;
    EXPECT_GE(count, 2);
    EXPECT_LE(count, 5);
    const QString whole = QStringLiteral("\\A(?:%1)+\\z").arg(QLatin1String(kLetteredLinePattern));
    EXPECT_TRUE(QRegularExpression(whole).match(received).hasMatch()) << text;
}

TEST(SimRunner, DropsTextPilingUpWhileNoStationReads) {
    RunnerOnPty pty(SimOptions{});
    writeAll(pty.master, std::string(3000, 'x')); // as if sent while the station was away
    pty.pump(20);
    int unread = -1;
    ASSERT_EQ(ioctl(pty.slave, FIONREAD, &unread), 0);
    EXPECT_EQ(unread, 0);
    // A fresh reply afterwards arrives whole.
    EXPECT_EQ(pty.exchange(kRG).size(), 43u);
}
