#include "LimitTexts.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(ShowValTexts, LongEmptyAndOddFieldsKeepTheRuleWithoutPadding) {
    struct Case {
        const char* field;
        const char* co;
        const char* co2;
        const char* hc;
    } cases[] = {
        {"12345", "12.345", "123.45", " 12345"}, {"", "00.00", "000.0", " 0000"},
        {"5", "00.05", "000.5", " 0005"},        {"abc", "0a.bc", "0ab.c", " 0abc"},
        {"70000", "70.000", "700.00", " 70000"},
    };
    for (const Case& c : cases) {
        const vz::RowTexts t =
            vz::showValTexts(vztest::row("M", "X", c.field, c.field, c.field, c.field, c.field, c.field));
        EXPECT_EQ(t.Label2, c.co) << c.field;
        EXPECT_EQ(t.Label3, c.co) << c.field;
        EXPECT_EQ(t.Label6, c.co) << c.field;
        EXPECT_EQ(t.Label4, c.co2) << c.field;
        EXPECT_EQ(t.Label5, c.hc) << c.field;
        EXPECT_EQ(t.Label7, c.field);
    }
}

TEST(ApplySelection, AFailingFieldStopsTheRestAndKeepsWhatWasStoredBeforeIt) {
    vz::SelectedVehicle record{"OLD CAR", 1, 2, 3, 4, 5};
    EXPECT_EQ(vz::applySelection(vztest::row("VW", "GOLF", "50", "10", "135", "x1", "300", "800"), record),
              "x1");
    EXPECT_EQ(record.LimitCOmx, 50);
    EXPECT_EQ(record.LimitCOmn, 10);
    EXPECT_EQ(record.LimitCO2mx, 135);
    EXPECT_EQ(record.LimitO2mx, 4);
    EXPECT_EQ(record.LimitCHmx, 5);
    EXPECT_EQ(record.VehicleText, "OLD CAR");

    // RPM is only checked, but a bad one still keeps the name from changing.
    EXPECT_EQ(
        vz::applySelection(vztest::row("VW", "GOLF", "50", "10", "135", "100", "300", "800 rpm"), record),
        "800 rpm");
    EXPECT_EQ(record.LimitO2mx, 100);
    EXPECT_EQ(record.LimitCHmx, 300);
    EXPECT_EQ(record.VehicleText, "OLD CAR");

    EXPECT_EQ(vz::applySelection(vztest::row("VW", "GOLF", ""), record), "");
}

TEST(ApplySelection, ValuesOutside16BitsKeepTheirLow16Bits) {
    vz::SelectedVehicle record;
    EXPECT_EQ(
        vz::applySelection(vztest::row("VW", "GOLF", "70000", "65535", "65536", "-1", "131172"), record),
        std::nullopt);
    EXPECT_EQ(record.LimitCOmx, 70000 - 65536);
    EXPECT_EQ(record.LimitCOmn, 65535);
    EXPECT_EQ(record.LimitCO2mx, 0);
    EXPECT_EQ(record.LimitO2mx, 65535);
    EXPECT_EQ(record.LimitCHmx, 100);
    // Beyond the 32-bit range the conversion itself fails.
    EXPECT_EQ(vz::applySelection(vztest::row("VW", "GOLF", "99999999999"), record), "99999999999");
}

TEST(ApplySelection, HandsOverTheMakeTheModelAndTheEngineSpeedApart) {
    vz::SelectedVehicle record;
    EXPECT_EQ(vz::applySelection(vztest::row("ALFA ROMEO", "156 2.0", "50", "10", "135", "100", "300", "850"),
                                 record),
              std::nullopt);
    EXPECT_EQ(record.VehicleText, "ALFA ROMEO 156 2.0");
    EXPECT_EQ(record.Make, "ALFA ROMEO");
    EXPECT_EQ(record.Model, "156 2.0");
    EXPECT_EQ(record.Rpm, 850);
}
