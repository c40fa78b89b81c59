// The layout quantities as pure integer formulas, checked against values worked out by hand.
#include "LayoutMetrics.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    int W, H, d, e, U, b, A, c, ch, m, Q;
};

// Worked by hand from the formulas; 707 is the designed width.
constexpr Expected kByHand[] = {
    {400, 300, 19, 9, 33, 74, 227, 312, 194, 316, 16},
    {707, 528, 33, 16, 58, 125, 430, 557, 372, 564, 29},
    {1024, 768, 48, 24, 85, 178, 643, 811, 558, 822, 42},
    {1600, 1200, 76, 38, 133, 274, 1027, 1272, 894, 1290, 66},
};

TEST(LayoutMetrics, AllQuantitiesFollowTheWidthAtEveryWindowSize) {
    for (const Expected& x : kByHand) {
        SCOPED_TRACE(x.W);
        EXPECT_EQ(vz::snappedHeight(x.W), x.H);
        const vz::LayoutMetrics M = vz::layoutMetrics(x.W, x.H);
        EXPECT_EQ(M.d, x.d);
        EXPECT_EQ(M.e, x.e);
        EXPECT_EQ(M.U, x.U);
        EXPECT_EQ(M.b, x.b);
        EXPECT_EQ(M.A, x.A);
        EXPECT_EQ(M.c, x.c);
        EXPECT_EQ(M.ch, x.ch);
        EXPECT_EQ(M.m, x.m);
        EXPECT_EQ(M.Q, x.Q);
        // The chart ends a column's gap short of the readings row.
        EXPECT_EQ(M.ch, M.A - M.U);
    }
}

TEST(LayoutMetrics, ScaleLabelsCentreOnTheirMarks) {
    EXPECT_EQ(vz::scaleLabelTop(372, 5, 6, 16), 294); // Label16 at the designed width
    EXPECT_EQ(vz::scaleLabelTop(372, 1, 7, 16), 37);  // Label26, 15 % CO2
    EXPECT_EQ(vz::scaleLabelTop(372, 1, 6, 16), 46);
}

TEST(LayoutMetrics, LimitMarkersOffTheScaleLandOutsideTheChartUncorrected) {
    // On the scale: CO 1.80 % on a 372-pixel chart.
    EXPECT_EQ(vz::limitMarkerTop(180, 600, 372, 16), 372 - 111 - 16);
    // Below the foot: CO2 limit 5.0 %, four points under the 9 % foot; the division truncates
    // toward zero (−14880 div 70 = −212), so the top is 568, not 569.
    EXPECT_EQ(vz::limitMarkerTop(50 - 90, 70, 372, 16), 568);
    // Above the top: CO 10 % on a 0..6 % scale gives a negative top.
    EXPECT_EQ(vz::limitMarkerTop(1000, 600, 372, 16), -264);
    // The largest 16-bit limit does not overflow.
    EXPECT_EQ(vz::limitMarkerTop(65535, 600, 894, 38), 894 - 97647 - 38);
}

// Worked by hand: a 4:3 window, maximized 16:9 and 16:10 screens (1600 × 881 is 1600 × 900
// less openbox's title bar), a portrait screen and a 4:3 screen less its title bar.
TEST(LayoutMetrics, TheAreaIsTheWidestFourToThreeThatFitsCentred) {
    struct Case {
        int cw, ch, x, y, W, H;
    };
    for (const Case& c : {Case{707, 528, 0, 0, 707, 528}, Case{1600, 900, 198, 0, 1203, 900},
                          Case{1920, 1080, 238, 0, 1443, 1080}, Case{1920, 1200, 158, 0, 1603, 1200},
                          Case{1600, 881, 212, 1, 1175, 879}, Case{900, 1600, 0, 462, 900, 675},
                          Case{1024, 743, 16, 1, 991, 741}}) {
        SCOPED_TRACE(testing::Message() << c.cw << "x" << c.ch);
        const vz::Stage s = vz::stageIn(c.cw, c.ch);
        EXPECT_EQ(s.x, c.x);
        EXPECT_EQ(s.y, c.y);
        EXPECT_EQ(s.W, c.W);
        EXPECT_EQ(s.H, c.H);
    }
    // A window at its snapped size is its own area, whatever the width's remainder.
    for (int W = 400; W <= 2000; ++W) {
        const vz::Stage s = vz::stageIn(W, vz::snappedHeight(W));
        ASSERT_EQ(s.W, W);
        ASSERT_EQ(s.H, vz::snappedHeight(W));
        ASSERT_EQ(s.x + s.y, 0);
    }
}

} // namespace
