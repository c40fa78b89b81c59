// The operator's commands and how they meet the cycle: start/stop, zero, the replies that steer
// zeroing, demo mode, line rates and failed sends.
#include "AnalyserFrames.h"
#include "cycle_env.h"

using namespace cycletest;

namespace {

void receive(vz::StationState& s, vz::StationEnv& env, const QByteArray& block) {
    vz::cpDrvReceiveData(s, env, block.constData(), static_cast<uint32_t>(block.size()));
}

QByteArray rsReply(const char status[3]) {
    return QByteArray("\x06"
                      "1RS\x17") +
           status + "\x03";
}

} // namespace

TEST_F(CycleTest, StartCommandMovesIdleStoppedAndInitialisingToRunningAndRunningToStop) {
    const struct { uint8_t from, to; } cases[] = {{7, 1}, {3, 1}, {6, 1}, {1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.from));
        s = vz::StationState{};
        s.DemoMode = false;
        s.OpState = c.from;
        s.RunTicks = 100;
        s.SubTicks = 5;
        env.frames.clear();
        vz::Button2Click(s, env);
        EXPECT_EQ(s.OpState, c.to);
        EXPECT_EQ(env.frames, QList<QByteArray>{Start});
        EXPECT_EQ(s.SubTicks, 0);
        EXPECT_EQ(s.Display.Timer1Interval, 250);
        EXPECT_TRUE(s.Display.Timer1Enabled);
        EXPECT_EQ(s.Display.Button2Caption, "F2  STOP");
        if (c.to == 1) {
            EXPECT_EQ(s.RunTicks, 0);
            EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
            EXPECT_EQ(s.Display.Label45Colour, vz::kGreen);
            EXPECT_TRUE(s.Display.Label45Visible);
            EXPECT_TRUE(s.Display.ProgressBar1Visible);
        } else {
            EXPECT_EQ(s.RunTicks, 100);
            EXPECT_EQ(s.Display.Label45Caption, "   I N   S T O P      ");
            EXPECT_EQ(s.Display.Label45Colour, vz::kYellow);
        }
    }
}

TEST_F(CycleTest, StartCommandInStopWarmUpAndZeroingKeepsTheStateButResetsTheTimer) {
    for (uint8_t state : {2, 4, 5}) {
        SCOPED_TRACE(int(state));
        s.OpState = state;
        s.CmdStep = 9;
        s.SubTicks = 6;
        s.Display.Timer1Interval = 1000;
        s.Display.Timer1Enabled = false;
        s.Display.Label45Caption = "unchanged";
        env.frames.clear();
        vz::Button2Click(s, env);
        EXPECT_EQ(s.OpState, state);
        EXPECT_EQ(s.CmdStep, 9);
        EXPECT_EQ(s.SubTicks, 0);
        EXPECT_EQ(s.Display.Timer1Interval, 250);
        EXPECT_TRUE(s.Display.Timer1Enabled);
        // Only the stop request writes its caption again.
        EXPECT_EQ(s.Display.Label45Caption, state == 2 ? "   I N   S T O P      " : "unchanged");
        EXPECT_EQ(env.frames, QList<QByteArray>{Start});
    }
}

TEST_F(CycleTest, StartCommandOpensAClosedPortBeforeSendingTheStartFrame) {
    env.connected = false;
    vz::Button2Click(s, env);
    EXPECT_EQ(env.connectCalls, 1);
    EXPECT_EQ(env.frames, QList<QByteArray>{Start});
    EXPECT_EQ(s.OpState, 1);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(CycleTest, StartCommandThatCannotOpenThePortWarnsAndGoesIdle) {
    env.connected = false;
    env.connectSucceeds = false;
    vz::Button2Click(s, env);
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].caption, "COM Port Error");
    EXPECT_EQ(boxes[1].caption, "Warning");
    EXPECT_EQ(s.OpState, 7);
    EXPECT_TRUE(env.frames.isEmpty());
}

TEST_F(CycleTest, FailedSendOnATickWarnsOnceClosesThePortAndGoesIdle) {
    vz::Button2Click(s, env);
    ASSERT_EQ(s.OpState, 1);
    env.sendFails = true;
    tick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_TRUE(boxes[0].text.startsWith("Could not send data.\r\n"));
    EXPECT_EQ(s.OpState, 7);
    EXPECT_FALSE(env.connected);
    env.sendFails = false;
    for (int t = 0; t < 10; ++t)
        EXPECT_TRUE(tick().isEmpty());
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(s.OpState, 7);
    EXPECT_EQ(s.Display.Button2Caption, "F2 START");
}

TEST_F(CycleTest, ZeroFromIdleWithThePortClosedRunsToRunningWithoutAByte) {
    env.connected = false;
    vz::Button3Click(s, env);
    for (int t = 1; t <= 65; ++t)
        tick();
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
    EXPECT_EQ(s.Display.ProgressBar1Position, 80);
    EXPECT_EQ(env.connectCalls, 0) << "from idle the zero command does not open the port";
    EXPECT_TRUE(env.frames.isEmpty());
    EXPECT_EQ(env.emptySends, 0);
    EXPECT_TRUE(boxes.isEmpty());
    tick(); // running carries on with the port closed
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(s.CmdStep, 1);
}

TEST_F(CycleTest, ZeroFromAnActiveStateOpensAClosedPort) {
    env.connected = false;
    s.OpState = 3;
    vz::Button3Click(s, env);
    EXPECT_EQ(env.connectCalls, 1);
    EXPECT_EQ(s.OpState, 5);
    EXPECT_EQ(tickFrame(), RG);
}

TEST_F(CycleTest, SpReplyDuringZeroingStartsTheRunAgainAndWMinusTurnsItIntoWarmUp) {
    vz::Button3Click(s, env);
    for (int t = 1; t <= 6; ++t)
        tick();
    ASSERT_EQ(env.frames[3], RS);
    ASSERT_EQ(s.CmdStep, 7);
    ASSERT_EQ(s.SubTicks, 1);

    receive(s, env, rsReply("SP"));
    EXPECT_EQ(s.OpState, 5);
    EXPECT_EQ(s.CmdStep, 2);
    EXPECT_EQ(s.SubTicks, 0);
    EXPECT_EQ(s.Display.Timer1Interval, 200);
    // The run starts over: RG, IN, RG, RS, OU P.
    const QList<QByteArray> again = {RG, IN, RG, RS, OUP};
    for (const QByteArray& frame : again)
        EXPECT_EQ(tickFrame(), frame);

    receive(s, env, rsReply("W-"));
    EXPECT_EQ(s.OpState, 4);
    EXPECT_EQ(tickFrame(), RG) << "warm-up settles into steps 5 and 6";
    EXPECT_EQ(s.Display.Label45Caption, "    W A R M   U P   ");
    EXPECT_EQ(s.Display.Timer1Interval, 1000);
    EXPECT_EQ(tickFrame(), RS);
}

TEST_F(CycleTest, AFailedDemoReadSkipsTheRestOfTheTick) {
    s.DemoMode = true;
    QByteArray record = analyser::defaultResultRecord();
    record.replace(6, 6, "01.234");
    s.FrameSlots[0] = record;
    env.demoReadOk = false;
    tick();
    EXPECT_EQ(env.demoSteps, 1);
    EXPECT_EQ(s.Display.Label11, "0.000") << "no display update after a failed read";
    env.demoReadOk = true;
    tick();
    EXPECT_EQ(s.Display.Label11, "1.234");
}

TEST_F(CycleTest, DemoModeRunsTheCycleAndReplaysButNeverSends) {
    s.DemoMode = true;
    vz::Button2Click(s, env);
    EXPECT_EQ(s.OpState, 1) << "the start command still changes the state";
    EXPECT_EQ(s.Display.Timer1Interval, 250);
    for (int t = 0; t < 12; ++t)
        tick();
    EXPECT_EQ(env.demoSteps, 12);
    EXPECT_TRUE(env.frames.isEmpty());
    EXPECT_EQ(env.emptySends, 0);
    EXPECT_EQ(s.RunTicks, 12);
    vz::Button3Click(s, env);
    tick();
    EXPECT_TRUE(env.frames.isEmpty());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(CycleTest, RatesOtherThan9600And1200NeitherChangeStateOnStartNorSendOnTicks) {
    for (uint32_t rate : {600u, 4800u, 19200u}) {
        SCOPED_TRACE(rate);
        s = vz::StationState{};
        s.DemoMode = false;
        env.rate = rate;
        env.frames.clear();
        vz::Button2Click(s, env);
        EXPECT_EQ(s.OpState, 7);
        EXPECT_EQ(env.frames, QList<QByteArray>{Start}) << "the start frame still goes out";
        vz::Button3Click(s, env);
        for (int t = 0; t < 20; ++t)
            EXPECT_TRUE(tick().isEmpty());
        EXPECT_EQ(s.TicksSinceResult, 0);
        EXPECT_EQ(s.CmdStep, 8) << "the state machine still runs";
    }
}

TEST_F(CycleTest, At1200BaudTheTickSendsNothingAndShowsStoppedWhenRecordsStop) {
    env.rate = 1200;
    s.OpState = 7;
    s.Display.Label45Caption = "    R U N N I N G    ";
    for (int t = 1; t <= 5; ++t) {
        EXPECT_TRUE(tick().isEmpty());
        EXPECT_EQ(s.TicksSinceResult, t);
    }
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
    tick();
    EXPECT_EQ(s.TicksSinceResult, 1);
    EXPECT_EQ(s.Display.Label45Caption, "   S T O P P E D     ");
    EXPECT_EQ(s.Display.Label45Colour, vz::kRed);
    EXPECT_TRUE(s.Display.Label45Visible);
    // The start command changes no state at this rate.
    vz::Button2Click(s, env);
    EXPECT_EQ(s.OpState, 7);
    // Zeroing still runs through its steps, silently.
    env.frames.clear();
    vz::Button3Click(s, env);
    for (int t = 0; t < 65; ++t)
        tick();
    EXPECT_EQ(s.OpState, 1);
    EXPECT_TRUE(env.frames.isEmpty());
}

TEST(CycleEngineSpeedMode, GroupChoiceSetsModeAndCaption) {
    const struct {
        int index;
        uint8_t mode;
        const char* caption;
    } cases[] = {{0, 1, "RPM"}, {1, 2, "RPM"}, {2, 4, "VAC"}, {-1, 1, "RPM"}};
    vz::StationState s;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        vz::Label5Click(s);
        EXPECT_TRUE(s.Display.RPMGroupVisible);
        vz::RPMGroupClick(s, c.index);
        EXPECT_EQ(s.RpmMode, c.mode);
        EXPECT_EQ(s.Display.Label5, c.caption);
        EXPECT_FALSE(s.Display.RPMGroupVisible);
    }
}
