// The cycle over the real serial component: CPDrvEnv on a TCommPortDriver whose port is a
// pseudo-terminal. The test plays the analyser at the master side and reads every byte the
// station writes.
#include "CPDrv.h"
#include "CPDrvEnv.h"
#include "cycle_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace cycletest;

namespace {

// The serial component's notifiers need an application object; one lives for the whole run.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "app_cycle_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

class PtyCycleTest : public ::testing::Test {
protected:
    int master = -1;
    int slave = -1;
    QString slavePath;
    QList<Box> boxes;

    void SetUp() override {
        ensureApplication();
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios raw{};
        ASSERT_EQ(tcgetattr(slave, &raw), 0);
        cfmakeraw(&raw);
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
        slavePath = QString::fromLocal8Bit(ttyname(slave));
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        vz::setMessageBoxHandler(
            [this](QWidget*, const QString& caption, const QString& text, vz::MsgIcon, vz::MsgButtons) {
                boxes.append({caption, text});
                return vz::MsgAnswer::Ok;
            });
    }
    void TearDown() override {
        vz::setMessageBoxHandler({});
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }

    // Reads exactly n bytes from the master side, waiting at most two seconds.
    QByteArray readMaster(qsizetype n) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < n && clock.elapsed() < 2000) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char buf[256];
                const ssize_t r = read(master, buf, sizeof buf);
                if (r > 0)
                    got.append(buf, r);
            }
        }
        return got;
    }
    // Nothing more arrives at the master side within a short while.
    bool masterSilent() {
        pollfd p{master, POLLIN, 0};
        return poll(&p, 1, 100) == 0;
    }
};

} // namespace

TEST_F(PtyCycleTest, StartAndARunningRoundGoOutByteForByte) {
    TCommPortDriver port;
    port.SetPortName(slavePath);
    port.SetBaudRateValue(9600);
    vz::CPDrvEnv env(port);
    int beeps = 0;
    env.beep = [&] { ++beeps; };
    vz::StationState s;
    s.DemoMode = false;
    s.VacuumText = "0700";

    vz::Button2Click(s, env); // opens the port and sends the start frame
    ASSERT_TRUE(port.IsConnected());
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(readMaster(4), Start);

    // The start leaves step 1, so the round begins at step 2.
    const QList<QByteArray> round = {OUA, RG, IN, RG, RS, RG};
    for (const QByteArray& frame : round) {
        vz::Timer1Timer(s, env);
        EXPECT_EQ(readMaster(frame.size()), frame);
    }
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(beeps, 3) << "low vacuum beeps through the hook on every second tick";

    // The initialising sequence's reset frame goes out whole, zero bytes included.
    s.OpState = 6;
    s.CmdStep = 14;
    s.SubTicks = 0;
    s.TicksSinceResult = 49; // no result record: the sequence is not cut short
    vz::Timer1Timer(s, env);
    EXPECT_EQ(readMaster(4), Reset);
    EXPECT_TRUE(masterSilent());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PtyCycleTest, SpReplyReadByThePortRestartsZeroing) {
    TCommPortDriver port;
    port.SetPortName(slavePath);
    vz::CPDrvEnv env(port);
    vz::StationState s;
    s.DemoMode = false;
    s.OpState = 3;
    port.OnReceiveData = [&](TCommPortDriver*, const void* data, uint32_t size) {
        vz::cpDrvReceiveData(s, env, data, size);
    };

    vz::Button3Click(s, env); // from a state below idle the zero command opens the port
    ASSERT_TRUE(port.IsConnected());
    const QList<QByteArray> first = {RG, IN, RG, RS, OUP};
    for (const QByteArray& frame : first) {
        vz::Timer1Timer(s, env);
        EXPECT_EQ(readMaster(frame.size()), frame);
    }
    ASSERT_EQ(s.CmdStep, 7);

    const QByteArray reply("\x06"
                           "1RS\x17SP\x03");
    ASSERT_EQ(write(master, reply.constData(), reply.size()), reply.size());
    QElapsedTimer clock;
    clock.start();
    while (s.CmdStep != 2 && clock.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    EXPECT_EQ(s.CmdStep, 2) << "the reply restarts the run";
    EXPECT_EQ(s.OpState, 5);
    vz::Timer1Timer(s, env);
    EXPECT_EQ(readMaster(RG.size()), RG);
}

TEST_F(PtyCycleTest, LostDeviceFailsTheSendOnceAndLeavesTheStationIdle) {
    TCommPortDriver port;
    port.SetPortName(slavePath);
    vz::CPDrvEnv env(port);
    vz::StationState s;
    s.DemoMode = false;
    vz::Button2Click(s, env);
    ASSERT_TRUE(port.IsConnected());
    EXPECT_EQ(readMaster(4), Start);

    // The analyser's end goes away.
    close(master);
    master = -1;
    vz::Timer1Timer(s, env);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(s.OpState, 7);
    EXPECT_FALSE(port.IsConnected());
    for (int t = 0; t < 5; ++t)
        vz::Timer1Timer(s, env);
    EXPECT_EQ(boxes.size(), 1);
}

TEST_F(PtyCycleTest, ZeroingPauseStepsWriteNothingAndCountAsSent) {
    TCommPortDriver port;
    port.SetPortName(slavePath);
    vz::CPDrvEnv env(port);
    vz::StationState s;
    s.DemoMode = false;
    s.OpState = 3;
    vz::Button3Click(s, env);
    ASSERT_TRUE(port.IsConnected());
    s.CmdStep = 7;
    s.SubTicks = 9;
    for (int t = 0; t < 30; ++t) {
        vz::Timer1Timer(s, env);
        ASSERT_GE(s.CmdStep, 8);
        ASSERT_LE(s.CmdStep, 10);
    }
    EXPECT_TRUE(masterSilent());
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(s.OpState, 5);
    vz::Timer1Timer(s, env); // step 11
    EXPECT_EQ(readMaster(ZP.size()), ZP);
}
