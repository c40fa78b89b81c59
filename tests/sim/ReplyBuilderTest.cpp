#include "ReplyBuilder.h"
#include "AnalyserFrames.h"

#include <gtest/gtest.h>

using namespace sim;

namespace {

// 1-based columns, as the station reads the frames.
std::string columns(const std::string& frame, int first, int last) {
    return frame.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

const Readings kEngine{1234, 1450, 123, 50, 851, 900, 853};

} // namespace

TEST(ReplyBuilder, ResultRecordHasFortyThreeCharactersWithEachFieldInItsColumns) {
    const std::string r = resultRecord(kEngine);
    ASSERT_EQ(r.size(), 43u);
    EXPECT_EQ(r[0], '\x06');
    EXPECT_EQ(columns(r, 2, 4), "1RG");
    EXPECT_EQ(r[4], '\x17');
    EXPECT_EQ(columns(r, 6, 6), " ");
    EXPECT_EQ(columns(r, 7, 12), "01.234");
    EXPECT_EQ(columns(r, 13, 13), " ");
    EXPECT_EQ(columns(r, 14, 18), "14.50");
    EXPECT_EQ(columns(r, 19, 19), " ");
    EXPECT_EQ(columns(r, 20, 24), "00123");
    EXPECT_EQ(columns(r, 25, 25), " ");
    EXPECT_EQ(columns(r, 26, 30), "00.50");
    EXPECT_EQ(columns(r, 31, 36), " 00000");
    EXPECT_EQ(columns(r, 37, 40), "0851");
    EXPECT_EQ(columns(r, 41, 42), "30");
    EXPECT_EQ(r[42], '\x03');
}

TEST(ReplyBuilder, AmbientAirGivesExactlyTheStationsDefaultRecord) {
    const QByteArray expected = analyser::defaultResultRecord();
    EXPECT_EQ(resultRecord(ambientReadings(900, 853)), std::string(expected.constData(), 43));
}

TEST(ReplyBuilder, FieldsAreClampedToWhatTheirColumnsCanHold) {
    EXPECT_EQ(fixedText(123456, 2, 3), "99.999");
    EXPECT_EQ(fixedText(-5, 2, 2), "00.00");
    EXPECT_EQ(fixedText(7, 4, 0), "0007");
    const std::string r = resultRecord(Readings{200000, 2550, 123456, 2085, 12000, 0, 0});
    ASSERT_EQ(r.size(), 43u);
    EXPECT_EQ(columns(r, 7, 12), "99.999");
    EXPECT_EQ(columns(r, 14, 18), "25.50");
    EXPECT_EQ(columns(r, 20, 24), "99999");
    EXPECT_EQ(columns(r, 37, 40), "9999");
}

TEST(ReplyBuilder, CommasAndCrBeforeEndChangeOnlyWhatTheySay) {
    const std::string clean = resultRecord(kEngine);
    const std::string commas = resultRecord(kEngine, ReplyStyle{true, false});
    ASSERT_EQ(commas.size(), 43u);
    EXPECT_EQ(columns(commas, 7, 12), "01,234");
    EXPECT_EQ(columns(commas, 14, 18), "14,50");
    EXPECT_EQ(columns(commas, 26, 30), "00,50");
    std::string back = commas;
    std::replace(back.begin(), back.end(), ',', '.');
    EXPECT_EQ(back, clean);

    const std::string cr = resultRecord(kEngine, ReplyStyle{false, true});
    ASSERT_EQ(cr.size(), 44u);
    EXPECT_EQ(cr.substr(0, 42), clean.substr(0, 42));
    EXPECT_EQ(cr.substr(42), "\r\x03");

    EXPECT_EQ(columns(vacuumFrame(kEngine, ReplyStyle{true, false}), 18, 22), "085,3");
    EXPECT_EQ(statusFrame("OK", ReplyStyle{false, true}), std::string("\x06"
                                                                      "1RS\x17OK\r\x03"));
}

TEST(ReplyBuilder, VacuumInfoAndStatusFramesCarryTheirFieldsInTheStationsColumns) {
    const std::string rm = vacuumFrame(Readings{0, 0, 0, 0, 0, 700, 1005});
    EXPECT_EQ(rm.front(), '\x06');
    EXPECT_EQ(rm.back(), '\x03');
    EXPECT_EQ(columns(rm, 3, 4), "RM");
    EXPECT_EQ(columns(rm, 12, 15), "0700");
    EXPECT_EQ(columns(rm, 18, 22), "100.5");
    EXPECT_EQ(rm.find('\x03'), rm.size() - 1);

    const std::string in = infoFrame('2');
    EXPECT_EQ(columns(in, 3, 4), "IN");
    EXPECT_EQ(in[7], '2');
    EXPECT_EQ(in.back(), '\x03');
    EXPECT_EQ(in.size(), 9u);

    for (const char* status : {"W-", "SP", "OK"}) {
        const std::string rs = statusFrame(status);
        EXPECT_EQ(columns(rs, 3, 4), "RS");
        EXPECT_EQ(columns(rs, 6, 7), status);
        EXPECT_EQ(rs.back(), '\x03');
    }
}

TEST(ReplyBuilder, LetteredTextHasTheFiveFieldsInOrderThenCrLf) {
    EXPECT_EQ(letteredText(Readings{1234, 1450, 123, 2080, 850, 0, 0}), "C1.23B14.5A0123D20.8G0850\r\n");
    // Rounded to the coarser field, and clamped to one CO digit and four HC digits.
    EXPECT_EQ(letteredText(Readings{5, 1455, 12345, 2085, 0, 0, 0}), "C0.01B14.6A9999D20.9G0000\r\n");
    EXPECT_EQ(letteredText(Readings{12000, 999, 0, 50, 9999, 0, 0}, ReplyStyle{true, true}),
              "C9,99B10,0A0000D00,5G9999\r\n");
}
