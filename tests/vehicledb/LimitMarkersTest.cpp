#include "LimitMarkers.h"

#include <gtest/gtest.h>

TEST(LimitMarkers, HundredthsGetAZeroFilledPointAndTenthsAPlainOne) {
    struct Case {
        uint16_t limit;
        const char* hundredths;
        const char* tenths;
    } cases[] = {
        {132, "<1.32", "<13.2"},       {50, "<0.50", "<50."}, {5, "<0.05", "<5."},
        {125, "<1.25", "<12.5"},       {0, "<0.00", "<0."},   {1000, "<1.000", "<10.00"},
        {65535, "<6.5535", "<65.535"},
    };
    for (const Case& c : cases) {
        const vz::MarkerTexts t =
            vz::markerTexts(vz::SelectedVehicle{"", c.limit, c.limit, c.limit, c.limit, c.limit});
        EXPECT_EQ(t.Label37, c.hundredths) << c.limit;
        EXPECT_EQ(t.Label38, c.hundredths) << c.limit;
        EXPECT_EQ(t.Label41, c.hundredths) << c.limit;
        EXPECT_EQ(t.Label39, c.tenths) << c.limit;
        EXPECT_EQ(t.Label40, "<" + QString::number(c.limit));
    }
}

TEST(LimitMarkers, EachMarkerReadsItsOwnLimit) {
    const vz::SelectedVehicle v{"LADA 2107", 180, 132, 125, 5, 150};
    const vz::MarkerTexts t = vz::markerTexts(v);
    EXPECT_EQ(t.Label37, "<1.32");
    EXPECT_EQ(t.Label38, "<1.80");
    EXPECT_EQ(t.Label39, "<12.5");
    EXPECT_EQ(t.Label40, "<150");
    EXPECT_EQ(t.Label41, "<0.05");
    EXPECT_TRUE(vz::vehicleSelected(v));
    EXPECT_FALSE(vz::vehicleSelected(vz::SelectedVehicle{"LADA 2107", 180, 132, 0, 5, 150}));
}

TEST(LimitMarkers, TheCaptionNamesTheVehicle) {
    const vz::SelectedVehicle v{"ВОЛГА ГАЗ 24", 450, 0, 115, 300, 1200};
    EXPECT_EQ(vz::vehicleCaption("ZAN GAS ANALISER ", v), "ZAN GAS ANALISER   on   ВОЛГА ГАЗ 24");
}
