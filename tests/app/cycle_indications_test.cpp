// What the cycle tick shows besides the state: the zero request, the vacuum warning, the run
// length bar and its limit, and the no-result counter.
#include "cycle_env.h"

using namespace cycletest;

TEST_F(CycleTest, OverRangeCountFlashesZeroRequiredAndZeroesAbove60) {
    const struct {
        int count;
        bool hidden, zeroRequired;
    } cases[] = {{3, true, false},  {4, false, false}, {5, false, true},  {6, false, true},
                 {7, false, true},  {8, false, false}, {11, true, false}, {13, false, true},
                 {15, false, true}, {60, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        s.OpState = 7;
        s.OverRangeCount = c.count;
        s.Display.Label45Visible = true;
        s.Display.Label45Caption = "before";
        s.Display.Label45Colour = vz::kGreen;
        tick();
        EXPECT_EQ(s.Display.Label45Visible, !c.hidden);
        EXPECT_EQ(s.Display.Label45Caption, c.zeroRequired ? " ZERO REQIERED !" : "before");
        EXPECT_EQ(s.Display.Label45Colour, c.zeroRequired ? vz::kMagenta : vz::kGreen);
        EXPECT_EQ(s.OpState, 7);
    }
    s.OverRangeCount = 61;
    tick();
    EXPECT_EQ(s.OpState, 5);
    EXPECT_EQ(s.CmdStep, 2);
    EXPECT_EQ(s.Display.Label45Caption, "   Z E R O I N G ... ");
    EXPECT_EQ(s.Display.Timer1Interval, 200);
    tick();
    EXPECT_EQ(s.OverRangeCount, 0) << "every zeroing tick clears the count";
    EXPECT_EQ(s.OpState, 5);
}

TEST_F(CycleTest, LowVacuumFlashesRedAndBeepsOnEvenTicks) {
    s.OpState = 1;
    s.VacuumText = "0809";
    QStringList captions;
    for (int t = 1; t <= 4; ++t) {
        tick();
        captions << s.Display.Label45Caption;
        EXPECT_EQ(s.Display.Label45Colour, vz::kRed);
    }
    EXPECT_EQ(captions, QStringList({"    R U N N I N G    ", " HIGH  V A C U U M", "    R U N N I N G    ",
                                     " HIGH  V A C U U M"}));
    EXPECT_EQ(env.beeps, 2);
}

TEST_F(CycleTest, VacuumAtOrAbove810OrUnreadableGivesTheGreenRunningCaption) {
    for (const char* vacuum : {"0810", "0900", "9999", "08x0", "", "----"}) {
        SCOPED_TRACE(vacuum);
        s.OpState = 1;
        s.VacuumText = vacuum;
        for (int t = 0; t < 2; ++t) {
            tick();
            EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
            EXPECT_EQ(s.Display.Label45Colour, vz::kGreen);
        }
    }
    EXPECT_EQ(env.beeps, 0);
    EXPECT_TRUE(boxes.isEmpty()) << "an unreadable vacuum is no error box on every tick";
}

TEST_F(CycleTest, RunStopsByItselfOnTheTickWhereRunTicksPassesTheLimit) {
    vz::Button2Click(s, env);
    ASSERT_EQ(s.OpState, 1);
    tick();
    EXPECT_EQ(s.Display.ProgressBar1Position, 81);
    s.RunTicks = 1319;
    tick();
    EXPECT_EQ(s.Display.ProgressBar1Position, 41);
    s.RunTicks = 2639;
    tick();
    EXPECT_EQ(s.RunTicks, 2640);
    EXPECT_EQ(s.OpState, 1);
    EXPECT_EQ(s.Display.ProgressBar1Position, 1);
    env.frames.clear();
    tick();
    EXPECT_EQ(s.RunTicks, 2641);
    EXPECT_EQ(s.OpState, 2);
    EXPECT_EQ(s.Display.Label45Caption, "   I N   S T O P      ");
    EXPECT_EQ(s.Display.Button2Caption, "F2 START");
    ASSERT_FALSE(env.frames.isEmpty());
    EXPECT_EQ(env.frames.first(), Start);
}

TEST_F(CycleTest, ARunLongPastItsLimitAt1200BaudKeepsTheBarEmpty) {
    // The self-sending analyser cannot be stopped by the start/stop frame, so a run may go on
    // for months past its limit; the bar stays empty instead of wrapping round to full.
    env.rate = 1200;
    s.OpState = 1;
    for (const int32_t ticks : {26'000'000, 27'000'000, 1'000'000'000, INT32_MAX - 10}) {
        SCOPED_TRACE(ticks);
        s.OpState = 1;
        s.RunTicks = ticks;
        tick();
        EXPECT_LE(s.Display.ProgressBar1Position, 0);
    }
}

TEST_F(CycleTest, TicksSinceResultNeverExceeds50WhileRunning) {
    s.OpState = 1;
    s.CmdStep = 0; // keeps away from step 6 for a few ticks
    s.TicksSinceResult = 47;
    const int expected[] = {48, 49, 50, 49, 50};
    for (int value : expected) {
        tick();
        EXPECT_EQ(s.TicksSinceResult, value);
    }
    EXPECT_EQ(s.OpState, 1);
    // The counter does not run outside the running state at 9600 baud.
    s.OpState = 3;
    tick();
    EXPECT_EQ(s.TicksSinceResult, 50);
}
