// The six-step bar animation.
#include "StationLogic.h"
#include "frames_test_support.h"

#include <gtest/gtest.h>

using namespace vz;

TEST(BarAnimation, BarsMoveInSixStepsWithTruncatingDivisionAndThenStop) {
    StationState s;
    s.PrevValCO = 0, s.ValCO = 500;
    s.PrevValHC = 1000, s.ValHC = 0;
    s.PrevValO2 = 7, s.ValO2 = 0;
    s.PrevValCO2 = 1450, s.ValCO2 = 900; // raised to 901
    const std::array<std::array<int, 4>, 6> expected{{
        {0, 471, 500, 7},
        {100, 378, 400, 6},
        {200, 283, 300, 5},
        {300, 189, 200, 3},
        {400, 95, 100, 2},
        {500, 0, 0, 0},
    }};
    for (int step = 0; step < 6; ++step) {
        Timer2Timer(s);
        EXPECT_EQ(s.BarValue, expected[step]) << "step " << step;
        EXPECT_EQ(s.BarStep, step + 1);
    }
    EXPECT_EQ(s.ValCO2, 901);
    s.ValCO = 100;
    Timer2Timer(s);
    EXPECT_EQ(s.BarValue, expected[5]);
    EXPECT_EQ(s.BarStep, 6);
}

TEST(BarAnimation, StartAndLowCarbonDioxideDrawEmptyBarsAndARecordGlidesToItsReading) {
    StationState s;
    for (int i = 0; i < 6; ++i) {
        Timer2Timer(s);
        EXPECT_EQ(s.BarValue, (std::array<int, 4>{0, 0, 0, 0}));
    }
    EXPECT_EQ(s.PrevValCO2, 901);

    vz::test::FakeEnv env;
    s.FrameSlots[0] = vz::test::resultRecord("07.000", "16.00", "01200", "03.00");
    ShowResData(s, env);
    for (int i = 0; i < 6; ++i)
        Timer2Timer(s);
    EXPECT_EQ(s.BarValue, (std::array<int, 4>{700, 600, 600, 300})); // CO beyond the top of the axis
}
