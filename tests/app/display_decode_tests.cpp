// Decoding the frame slots into the reading labels, integer readings, markers and lambda.
#include "StationLogic.h"
#include "frames_test_support.h"

#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>
#include <string>

using namespace vz;
using namespace vz::test;

namespace {

// Decodes one frame through slot 1 and returns the state.
void show(StationState& s, const QByteArray& f) {
    FakeEnv env;
    s.FrameSlots = {};
    s.FrameSlots[0] = f;
    ShowResData(s, env);
}

} // namespace

TEST(ResultRecord, ReadingLabelsAndIntegerValuesFollowTheFieldFormats) {
    struct Case {
        const char *co, *hc, *label11, *label13;
        uint16_t valCO, valHC;
    };
    const Case cases[] = {
        {"01.234", "00123", "1.234", " 0123", 123, 123},
        {"12.345", "01234", "12.34", " 1234", 1234, 1234},
        {"00.050", "00012", "0.050", " 0012", 5, 12},
        {"09.999", "12345", "9.999", "12345", 999, 12345},
    };
    for (const Case& c : cases) {
        StationState s;
        show(s, resultRecord(c.co, "14.50", c.hc, "00.50"));
        EXPECT_EQ(s.Display.Label11, c.label11) << c.co;
        EXPECT_EQ(s.Display.Label13, c.label13) << c.hc;
        EXPECT_EQ(s.ValCO, c.valCO) << c.co;
        EXPECT_EQ(s.ValHC, c.valHC) << c.hc;
        EXPECT_EQ(s.Display.Label12, "14.50");
        EXPECT_EQ(s.Display.Label14, "00.50");
        EXPECT_EQ(s.ValCO2, 1450);
        EXPECT_EQ(s.ValO2, 50);
        EXPECT_TRUE(s.CurFrame.isEmpty());
    }
}

TEST(ResultRecord, NewRecordKeepsThePreviousValuesAndRestartsTheAnimation) {
    StationState s;
    show(s, resultRecord("01.000", "14.00", "00100", "01.00"));
    s.TicksSinceResult = 30;
    s.BarStep = 6;
    show(s, resultRecord("02.000", "15.00", "00200", "02.00"));
    EXPECT_EQ(s.TicksSinceResult, 0);
    EXPECT_EQ(s.BarStep, 0);
    EXPECT_EQ((std::array{s.PrevValCO, s.PrevValCO2, s.PrevValHC, s.PrevValO2}),
              (std::array<uint16_t, 4>{100, 1400, 100, 100}));
    EXPECT_EQ((std::array{s.ValCO, s.ValCO2, s.ValHC, s.ValO2}),
              (std::array<uint16_t, 4>{200, 1500, 200, 200}));

    // A result frame of 40 characters or fewer is not a record.
    QByteArray shortRecord = resultRecord("05.000", "15.00", "00200", "02.00").left(39) + '\x03';
    s.TicksSinceResult = 7;
    show(s, shortRecord);
    EXPECT_EQ(s.TicksSinceResult, 7);
    EXPECT_EQ(s.ValCO, 200);
}

TEST(ResultRecord, NonNumericFieldsKeepTheirValuesButShowTheirText) {
    StationState s;
    show(s, resultRecord("01.000", "14.00", "00100", "01.00"));
    show(s, resultRecord("0x.000", "1?.00", "00 00", "-1.00"));
    EXPECT_EQ(s.Display.Label11, "x.000");
    EXPECT_EQ(s.Display.Label12, "1?.00");
    EXPECT_EQ((std::array{s.ValCO, s.ValCO2, s.ValHC, s.ValO2}),
              (std::array<uint16_t, 4>{100, 1400, 100, 100}));
    EXPECT_EQ(s.Display.Label46, "-----");
}

TEST(ResultRecord, HydrocarbonsAboveTheSixteenBitRangeAreHeldAtTheTop) {
    StationState s;
    for (const char* hc : {"65536", "70000", "99999"}) {
        show(s, resultRecord("00.000", "14.00", hc, "01.00"));
        EXPECT_EQ(s.ValHC, 65535) << hc;
        EXPECT_EQ(s.Display.Label13, hc);
    }
    show(s, resultRecord("00.000", "14.00", "65535", "01.00"));
    EXPECT_EQ(s.ValHC, 65535);
    show(s, resultRecord("00.000", "14.00", "09000", "01.00"));
    EXPECT_EQ(s.ValHC, 9000);
}

TEST(ResultRecord, EngineSpeedFollowsTheSpeedMode) {
    StationState s;
    s.RpmMode = 2;
    show(s, resultRecord("00.000", "14.00", "00100", "01.00", "0851"));
    EXPECT_EQ(s.Display.Label15, " 0425");
    EXPECT_EQ(s.RpmText, "0425");
    s.RpmMode = 1;
    show(s, resultRecord("00.000", "14.00", "00100", "01.00", "0851"));
    EXPECT_EQ(s.Display.Label15, " 0851");
    s.RpmMode = 4;
    show(s, resultRecord("00.000", "14.00", "00100", "01.00", "0851"));
    EXPECT_EQ(s.Display.Label15, " 0900");
    show(s, frame("RM", "xxxxxxx0750xx065.5"));
    show(s, resultRecord("00.000", "14.00", "00100", "01.00", "0851"));
    EXPECT_EQ(s.Display.Label15, " 0750");
}

TEST(ResultRecord, HalvingAFaultyEngineSpeedKeepsTheOldTextAndDecodesTheRest) {
    StationState s;
    FakeEnv env;
    MessageRecorder boxes;
    s.RpmMode = 2;
    show(s, resultRecord("00.000", "14.00", "00100", "01.00", "1000"));
    s.FrameSlots[0] = resultRecord("02.000", "14.00", "00100", "01.00", "08x1");
    s.FrameSlots[1] = frame("RS", "xW-");
    ShowResData(s, env);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(s.Display.Label15, " 0500");
    EXPECT_EQ(s.RpmText, "0500");
    EXPECT_EQ(s.Display.Label11, "2.000");
    EXPECT_EQ(s.ValCO, 200);
    EXPECT_EQ(s.Display.Label46, "0.984"); // lambda of this record still computed
    EXPECT_EQ(s.OpState, 4);               // the next slot is still decoded
}

TEST(ResultRecord, LambdaDependsOnTheFuelAndShowsDashesWhenItCannotBeShown) {
    const QByteArray record = resultRecord("00.500", "14.50", "00100", "00.50");
    const std::pair<int, const char*> fuels[] = {{0, "1.004"}, {1, "1.002"}, {2, "0.999"}, {-1, "1.004"}};
    for (auto [fuel, text] : fuels) {
        StationState s;
        s.GASBoxItemIndex = fuel;
        show(s, record);
        EXPECT_EQ(s.Display.Label46, text) << "fuel " << fuel;
    }
    StationState s;
    show(s, analyser::defaultResultRecord()); // CO2 0
    EXPECT_EQ(s.Display.Label46, "-----");
    show(s, resultRecord("00.000", "00.10", "00000", "20.85")); // lambda far above 10
    EXPECT_EQ(s.Display.Label46, "-----");
    EXPECT_EQ(lambdaDisplayText(0.5, 14.5, -25000, 0.5, 0), "-----"); // division by zero
}

TEST(ResultRecord, LimitMarkersAndOverRangeCountFollowEachRecord) {
    StationState s; // no vehicle: every limit 0
    show(s, resultRecord("00.500", "14.50", "00100", "00.50"));
    EXPECT_EQ(s.Display.MarkerGreen, (std::array<bool, 5>{true, false, true, false, false}));
    EXPECT_EQ(s.OverRangeCount, 0);

    s.Vehicle.LimitCOmn = 50;   // CO must exceed 0.50 %
    s.Vehicle.LimitCOmx = 100;  // CO below 1.00 %
    s.Vehicle.LimitCO2mx = 145; // CO2 above 14.5 %
    s.Vehicle.LimitCHmx = 101;
    s.Vehicle.LimitO2mx = 51;
    show(s, resultRecord("00.500", "14.50", "00100", "00.50"));
    EXPECT_EQ(s.Display.MarkerGreen, (std::array<bool, 5>{false, true, false, true, true}));
    show(s, resultRecord("00.510", "14.51", "00101", "00.51"));
    EXPECT_EQ(s.Display.MarkerGreen, (std::array<bool, 5>{true, true, true, false, false}));

    show(s, resultRecord("14.990", "24.99", "08999", "00.50"));
    EXPECT_EQ(s.OverRangeCount, 0);
    show(s, resultRecord("15.000", "25.00", "09000", "00.50"));
    EXPECT_EQ(s.OverRangeCount, 3);
}

TEST(StatusFrames, InfoBitsVacuumOilTemperatureAndAnalyserStatus) {
    StationState s;
    show(s, frame("IN", "xxx3"));
    EXPECT_TRUE(s.InfoBit0 && s.InfoBit1);
    show(s, frame("IN", "xxx2"));
    EXPECT_FALSE(s.InfoBit0);
    EXPECT_TRUE(s.InfoBit1);
    show(s, frame("IN", "x")); // no column 8: the bits stay
    EXPECT_TRUE(s.InfoBit1);

    show(s, frame("RM", "xxxxxxx0812xx087.5"));
    EXPECT_EQ(s.VacuumText, "0812");
    EXPECT_EQ(s.OilTempText, "087.5");
    EXPECT_EQ(s.Display.Label44, "087.5");
    show(s, frame("RM", "xxxxxxx0700xx08")); // oil temperature cut short
    EXPECT_EQ(s.VacuumText, "0700");
    EXPECT_EQ(s.Display.Label44, "087.5");
    show(s, frame("RM", "xxxxxxx07")); // vacuum cut short
    EXPECT_EQ(s.VacuumText, "0700");

    show(s, frame("RS", "xW-"));
    EXPECT_EQ(s.OpState, 4);
    show(s, frame("RS", "xSP")); // asks for zeroing
    EXPECT_EQ(s.OpState, 5);
}

TEST(ResultRecord, At1200BaudEachRecordIsDecodedTwice) {
    StationState s;
    FakeEnv env;
    env.baud = 1200;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    const QByteArray text = "C1.23B25.0A9000D00.5G0850\r\nX";
    cpDrvReceiveData(s, env, text.constData(), uint32_t(text.size()));
    EXPECT_EQ(s.ValCO, 123);
    EXPECT_EQ(s.PrevValCO, 123); // the second pass saw the same record
    EXPECT_EQ(s.PrevValCO2, 2500);
    EXPECT_EQ(s.OverRangeCount, 4); // CO2 and HC, twice each
    EXPECT_EQ(s.Display.Label13, " 9000");

    // A record left in slot 5 is decoded on every call at any rate.
    env.baud = 9600;
    const QByteArray in = frame("IN", "xxx0");
    cpDrvReceiveData(s, env, in.constData(), uint32_t(in.size()));
    EXPECT_EQ(s.OverRangeCount, 6);
}

TEST(ResultRecord, ReadingsAndLambdaDoNotDependOnADecimalCommaLocale) {
    const QLocale previousLocale;
    const std::string previousC = std::setlocale(LC_NUMERIC, nullptr);
    QLocale::setDefault(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    std::setlocale(LC_NUMERIC, "bg_BG.UTF-8"); // where the system has it
    StationState s;
    show(s, resultRecord("00.500", "14.50", "00100", "00.50"));
    QLocale::setDefault(previousLocale);
    std::setlocale(LC_NUMERIC, previousC.c_str());
    EXPECT_EQ(s.Display.Label46, "1.004");
    EXPECT_EQ(s.ValCO, 50);
}
