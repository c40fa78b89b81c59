// The cycle's long sequences, tick by tick: zeroing, initialising, running, stopping, warm-up.
#include "cycle_env.h"

using namespace cycletest;

namespace {

QByteArray expectedZeroingFrame(int tick) {
    if (tick == 1 || tick == 3)
        return RG;
    if (tick == 2)
        return IN;
    if (tick == 4)
        return RS;
    if (tick <= 14)
        return OUP;
    if (tick <= 44)
        return {};
    if (tick <= 54)
        return ZP;
    if (tick <= 64)
        return ZE;
    return OUA;
}

} // namespace

TEST_F(CycleTest, ZeroingRunSendsItsFramesAtItsPaceAndEndsRunning) {
    s.OverRangeCount = 17;
    vz::Button3Click(s, env);
    EXPECT_TRUE(env.frames.isEmpty()) << "the zero command itself sends nothing";
    EXPECT_EQ(s.OpState, 5);
    EXPECT_EQ(s.Display.Label45Caption, "   Z E R O I N G ... ");
    EXPECT_EQ(s.Display.Label45Colour, vz::kMagenta);
    EXPECT_TRUE(s.Display.Label45Visible);
    EXPECT_TRUE(s.Display.ProgressBar1Visible);
    EXPECT_LT(s.Display.ProgressBar1Position, 0);
    EXPECT_EQ(s.Display.Timer1Interval, 200);

    for (int t = 1; t <= 65; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(tickFrame(), expectedZeroingFrame(t));
        EXPECT_EQ(s.Display.Timer1Interval, t < 25 ? 200 : 500);
        if (t <= 3) {
            EXPECT_LE(s.Display.ProgressBar1Position, 0);
        } else {
            EXPECT_EQ(s.Display.ProgressBar1Position, t == 4 ? 10 : 15 + t);
        }
        EXPECT_EQ(s.OverRangeCount, 0);
        if (t < 65) {
            EXPECT_EQ(s.OpState, 5);
        }
    }
    EXPECT_EQ(env.emptySends, 30) << "steps 8 to 10 write nothing";
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(s.CmdStep, 2);
    EXPECT_EQ(s.RunTicks, 0);
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
    EXPECT_EQ(s.Display.Label45Colour, vz::kGreen);
    EXPECT_EQ(s.Display.Button2Caption, "F2  STOP");
    // The running cycle goes on with step 3.
    EXPECT_EQ(tickFrame(), RG);
    EXPECT_EQ(s.CmdStep, 3);
    EXPECT_EQ(s.Display.Timer1Interval, 250);
}

TEST_F(CycleTest, InitialisingRunWithoutRepliesReplaysTheStartSequenceAndRestarts) {
    s.OpState = 1;
    s.CmdStep = 5;
    s.TicksSinceResult = 49;
    s.Display.Label45Colour = vz::kGreen;
    // The tick that reaches step 6 with no result for too long enters initialising.
    EXPECT_EQ(tickFrame(), OUA);
    EXPECT_EQ(s.OpState, 6);
    EXPECT_EQ(s.CmdStep, 2);
    EXPECT_EQ(s.Display.Label45Caption, "INITIALISING ...");
    EXPECT_TRUE(s.Display.Label45Visible);
    EXPECT_TRUE(s.Display.ProgressBar1Visible);
    EXPECT_EQ(s.Display.ProgressBar1Position, 2);

    QList<QByteArray> expected(40);
    expected[1] = Reset;
    expected[2] = expected[3] = RG;
    expected[4] = Start;
    for (int t = 5; t <= 9; ++t)
        expected[t] = RG;
    expected[10] = expected[11] = Start;
    for (int t = 12; t <= 19; ++t)
        expected[t] = RG;
    expected[20] = expected[21] = Reset;
    expected[22] = expected[23] = RG;
    expected[24] = Start;
    for (int t = 25; t <= 29; ++t)
        expected[t] = RG;
    expected[32] = RG;

    for (int t = 1; t <= 39; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(tickFrame(), expected[t]);
        EXPECT_EQ(s.OpState, 6);
        EXPECT_EQ(s.CmdStep, 14 + t / 10);
        EXPECT_EQ(s.Display.Label45Colour, vz::kGreen) << "initialising keeps the colour";
        EXPECT_EQ(s.Display.Timer1Interval, 250);
    }
    EXPECT_EQ(s.Display.ProgressBar1Position, 78);
    // Tick 40: step 18 runs the start command, which sends only the start frame.
    EXPECT_EQ(tick(), QList<QByteArray>{Start});
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(s.RunTicks, 0);
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
    EXPECT_EQ(s.Display.Label45Colour, vz::kGreen);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(CycleTest, ResultRecordDuringInitialisingJumpsToTheLastStep) {
    s.OpState = 6;
    s.CmdStep = 14;
    s.SubTicks = 1;
    s.TicksSinceResult = 0; // a result record has just arrived
    EXPECT_EQ(tickFrame(), RG);
    EXPECT_EQ(s.CmdStep, 17);
    EXPECT_EQ(s.SubTicks, 2);
    int ticks = 1;
    while (s.OpState == 6 && ticks < 20) {
        const QList<QByteArray> sent = tick();
        EXPECT_EQ(sent, s.OpState == 6 ? QList<QByteArray>{} : QList<QByteArray>{Start});
        ++ticks;
    }
    EXPECT_EQ(ticks, 9) << "the start follows as soon as SubTicks passes 9";
    EXPECT_EQ(s.OpState, 1);
}

TEST_F(CycleTest, StepSeventeenSendsOnlyWhenSubTicksIsTwo) {
    s.OpState = 7;
    for (int sub = 0; sub <= 6; ++sub) {
        SCOPED_TRACE(sub);
        s.CmdStep = 17;
        s.SubTicks = sub;
        EXPECT_EQ(tickFrame(), sub == 2 ? RG : QByteArray());
    }
}

TEST_F(CycleTest, RunningRepeatsSixFramesWithRmOnlyWhenTheAnalyserAsksForIt) {
    struct Case {
        bool bit0, bit1;
        QByteArray second;
    };
    const Case cases[] = {{false, false, OUA}, {true, false, OUA}, {false, true, RM}, {true, true, OUA}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bit0 " << c.bit0 << " bit1 " << c.bit1);
        s.OpState = 1;
        s.CmdStep = 6;
        s.TicksSinceResult = 0;
        s.InfoBit0 = c.bit0;
        s.InfoBit1 = c.bit1;
        const QList<QByteArray> round = {RG, c.second, RG, IN, RG, RS};
        for (int lap = 0; lap < 2; ++lap)
            for (const QByteArray& frame : round)
                EXPECT_EQ(tickFrame(), frame);
        EXPECT_EQ(s.OpState, 1);
    }
}

TEST_F(CycleTest, StopRequestSendsOuBlankThenPollsEveryTwoSeconds) {
    vz::Button2Click(s, env); // idle -> running
    ASSERT_EQ(s.OpState, 1);
    s.CmdStep = 3;
    tick(); // step 4
    EXPECT_EQ(env.frames.last(), IN);
    vz::Button2Click(s, env);
    EXPECT_EQ(s.OpState, 2);
    EXPECT_EQ(s.Display.Label45Caption, "   I N   S T O P      ");
    EXPECT_EQ(s.Display.Label45Colour, vz::kYellow);
    EXPECT_EQ(env.frames.last(), Start);
    EXPECT_EQ(tickFrame(), RG); // step 5
    EXPECT_EQ(s.Display.Button2Caption, "F2 START");
    EXPECT_FALSE(s.Display.ProgressBar1Visible);
    EXPECT_EQ(tickFrame(), OUBlank); // passes 5: stopped, OU blank on the same tick
    EXPECT_EQ(s.OpState, 3);
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(tickFrame(), RG);
        EXPECT_EQ(s.Display.Timer1Interval, 2000);
        EXPECT_EQ(s.Display.Label45Caption, "   S T O P P E D     ");
        EXPECT_EQ(s.Display.Label45Colour, vz::kRed);
    }
}

TEST_F(CycleTest, WarmUpAlternatesRgAndRsOnceASecond) {
    s.OpState = 4;
    s.CmdStep = 2;
    s.SubTicks = 7;
    const QList<QByteArray> expected = {RG, IN, RG, RS, RG, RS};
    for (const QByteArray& frame : expected) {
        EXPECT_EQ(tickFrame(), frame);
        EXPECT_EQ(s.SubTicks, 0);
        EXPECT_EQ(s.Display.Timer1Interval, 1000);
        EXPECT_EQ(s.Display.Label45Caption, "    W A R M   U P   ");
        EXPECT_EQ(s.Display.Label45Colour, vz::kYellow);
    }
    EXPECT_EQ(s.OpState, 4);
}
