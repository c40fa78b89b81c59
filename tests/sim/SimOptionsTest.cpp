#include "SimOptions.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace sim;

TEST(SimOptions, ReadsValuesInBothFormsAndTurnsThemIntoFieldUnits) {
    // A comma locale must not change how "0.75" is read.
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const ParsedOptions p =
        parseOptions({"--co",   "0.75",    "--co2=13.2", "--hc",   "250",    "--o2",  "1.05", "--rpm",
                      "2500",   "--oil",   "90.45",      "--seed", "42",     "--com", "3",    "--link-dir",
                      "/tmp/x", "--split", "--warmup",   "2.5",    "--baud", "1200"});
    std::setlocale(LC_NUMERIC, old.c_str());
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.com, 3);
    EXPECT_EQ(p.options.linkDir, "/tmp/x");
    EXPECT_TRUE(p.options.split);
    EXPECT_EQ(p.options.seed, 42u);
    const AnalyserModel::Settings s = modelSettings(p.options);
    EXPECT_EQ(s.setPoint.coMilli, 750);
    EXPECT_EQ(s.setPoint.co2Centi, 1320);
    EXPECT_EQ(s.setPoint.hcPpm, 250);
    EXPECT_EQ(s.setPoint.o2Centi, 105);
    EXPECT_EQ(s.setPoint.rpm, 2500);
    EXPECT_EQ(s.setPoint.oilDeci, 905);
    EXPECT_EQ(s.warmupMs, 2500);
    EXPECT_TRUE(s.runningAtStart); // a self-sending analyser measures from the start
    EXPECT_FALSE(modelSettings(SimOptions{}).runningAtStart);
}

TEST(SimOptions, RejectsUnknownOptionsMissingValuesAndValuesOutOfRange) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--co"},
                                               {"--co", "abc"},
                                               {"--co", "0,5"},
                                               {"--co", "-1"},
                                               {"--baud", "4800"},
                                               {"--com", "0"},
                                               {"--hc", "100000"},
                                               {"--rpm", "12x"},
                                               {"--silent=1"},
                                               {"--device", "/dev/x", "--link-dir", "."}})
        EXPECT_NE(parseOptions(args).error, "") << args[0];
    EXPECT_EQ(parseOptions({}).error, "");
    EXPECT_NE(helpText().find("--zero-request"), std::string::npos);
}
