#include "AnalyserModel.h"

#include <gtest/gtest.h>

using namespace sim;

namespace {

Request command(const char* c, char parameter = 0) {
    return Request{RequestKind::Command, c, parameter};
}
const Request kStart{RequestKind::Start, {}, 0};
const Request kReset{RequestKind::Reset, {}, 0};

std::string columns(const std::string& frame, int first, int last) {
    return frame.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

int number(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '.')
            digits += c;
    return std::stoi(digits);
}

} // namespace

TEST(AnalyserModel, MeasuresTheEngineOnlyBetweenStartAndStop) {
    AnalyserModel m(AnalyserModel::Settings{}, 0);
    EXPECT_EQ(columns(m.answer(command("RG"), 0), 37, 40), "0000");
    EXPECT_EQ(m.answer(kStart, 0), "");
    const std::string running = m.answer(command("RG"), 0);
    EXPECT_NEAR(number(columns(running, 37, 40)), 850, 30);
    EXPECT_NEAR(number(columns(running, 14, 18)), 1450, 20);

    EXPECT_EQ(m.answer(command("OU", ' '), 0), "");
    EXPECT_FALSE(m.engineRunning());
    EXPECT_EQ(columns(m.answer(command("RG"), 0), 26, 30), "20.85");

    m.answer(kStart, 0);
    EXPECT_TRUE(m.engineRunning());
    m.answer(kReset, 0);
    EXPECT_FALSE(m.engineRunning());
    EXPECT_EQ(columns(m.answer(command("RG"), 0), 7, 12), "00.000");
}

TEST(AnalyserModel, ReadsZeroGasBetweenOuPAndOuA) {
    AnalyserModel::Settings s;
    s.runningAtStart = true;
    AnalyserModel m(s, 0);
    m.answer(command("OU", 'P'), 0);
    EXPECT_TRUE(m.onZeroGas());
    EXPECT_EQ(columns(m.answer(command("RG"), 0), 14, 18), "00.00");
    m.answer(command("OU", 'A'), 0);
    EXPECT_NEAR(number(columns(m.answer(command("RG"), 0), 14, 18)), 1450, 20);
}

TEST(AnalyserModel, DriftIsSmallBoundedAndTheSameForTheSameSeed) {
    AnalyserModel::Settings s;
    s.runningAtStart = true;
    AnalyserModel a(s, 0), b(s, 0);
    s.seed = 2;
    AnalyserModel c(s, 0);
    bool moved = false;
    bool differs = false;
    for (int i = 0; i < 500; ++i) {
        const Readings ra = a.measure();
        const Readings rb = b.measure();
        const Readings rc = c.measure();
        EXPECT_EQ(ra.coMilli, rb.coMilli);
        EXPECT_EQ(ra.rpm, rb.rpm);
        EXPECT_LE(std::abs(ra.coMilli - 500), 30);
        EXPECT_LE(std::abs(ra.co2Centi - 1450), 20);
        EXPECT_LE(std::abs(ra.hcPpm - 100), 12);
        EXPECT_LE(std::abs(ra.o2Centi - 50), 6);
        EXPECT_LE(std::abs(ra.rpm - 850), 30);
        moved = moved || ra.rpm != 850;
        differs = differs || ra.rpm != rc.rpm;
    }
    EXPECT_TRUE(moved);
    EXPECT_TRUE(differs);
}

TEST(AnalyserModel, InfoFrameAsksForVacuumDataAndRmCarriesIt) {
    AnalyserModel::Settings s;
    s.lowVacuum = true;
    AnalyserModel m(s, 0);
    const std::string in = m.answer(command("IN"), 0);
    const auto status = static_cast<unsigned char>(in[7]);
    EXPECT_TRUE(status & 2);
    EXPECT_FALSE(status & 1);
    const int vacuum = number(columns(m.answer(command("RM"), 0), 12, 15));
    EXPECT_LT(vacuum, 810);
    EXPECT_NEAR(vacuum, 700, 6);
}

TEST(AnalyserModel, OverRangeReadingsExceedTheStationsLimits) {
    AnalyserModel::Settings s;
    s.overRange = true;
    s.runningAtStart = true;
    AnalyserModel m(s, 0);
    for (int i = 0; i < 50; ++i) {
        const Readings r = m.measure();
        EXPECT_GT(r.co2Centi, 2499);
        EXPECT_GT(r.coMilli, 14990);
        EXPECT_GT(r.hcPpm, 8999);
    }
}

TEST(AnalyserModel, WarmUpThenAZeroRequestThatZeroingClears) {
    AnalyserModel::Settings s;
    s.warmupMs = 5000;
    AnalyserModel m(s, 1000);
    EXPECT_EQ(columns(m.answer(command("RS"), 1000), 6, 7), "W-");
    EXPECT_EQ(m.status(5999), "W-");
    EXPECT_EQ(m.status(6000), "SP");
    // The station's zeroing run polls RS itself; it must not be told "SP" again meanwhile.
    EXPECT_EQ(m.status(7000), "OK");
    EXPECT_EQ(m.status(6000 + AnalyserModel::kZeroGraceMs - 1), "OK");
    // No zeroing came: the request is raised again.
    EXPECT_EQ(m.status(6000 + AnalyserModel::kZeroGraceMs), "SP");
    m.answer(command("ZP"), 50000);
    EXPECT_FALSE(m.zeroRequested());
    EXPECT_EQ(m.status(200000), "OK");
}

TEST(AnalyserModel, ZeroRequestFromTheStartEndsWithZe) {
    AnalyserModel::Settings s;
    s.zeroRequest = true;
    AnalyserModel m(s, 0);
    EXPECT_EQ(m.status(0), "SP");
    EXPECT_EQ(m.status(100), "OK");
    m.answer(command("ZE"), 200);
    EXPECT_EQ(m.status(AnalyserModel::kZeroGraceMs + 1000), "OK");

    AnalyserModel plain(AnalyserModel::Settings{}, 0);
    EXPECT_EQ(columns(plain.answer(command("RS"), 0), 6, 7), "OK");
}

TEST(AnalyserModel, CommandsThatAreNotQuestionsGetNoReply) {
    AnalyserModel m(AnalyserModel::Settings{}, 0);
    for (const Request& r : {command("OU", 'A'), command("OU", 'P'), command("ZP"), command("ZE"),
                             command("XY"), kStart, kReset})
        EXPECT_EQ(m.answer(r, 0), "") << r.command;
}
