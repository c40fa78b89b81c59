// TWOSPEED.ini: defaults, the values it takes, and every value it refuses with its line.
#include "../ScratchFiles.h"
#include "TwoSpeedSetup.h"

#include <QDir>
#include <gtest/gtest.h>

namespace vz::twospeed {
namespace {

using test::ScratchCurrentDir;
using test::ScratchFiles;

SetupReadResult parse(const QByteArray& text) {
    return parseTwoSpeedSetup(text, QStringLiteral("TWOSPEED.ini"));
}

TEST(SetupFile, MissingFileAndTheFreshFileGiveTheDefaults) {
    ScratchCurrentDir dir;
    const SetupReadResult missing = readTwoSpeedSetup(dir.path());
    EXPECT_FALSE(missing.fileFound);
    EXPECT_TRUE(missing.refused.isEmpty());
    EXPECT_EQ(missing.setup, TwoSpeedSetup{});

    // The file the maintainer starts from reads back as the defaults, found ignoring case.
    ScratchFiles::writeFile(dir.filePath(QStringLiteral("twospeed.INI")), defaultSetupFileText());
    const SetupReadResult fresh = readTwoSpeedSetup(dir.path());
    EXPECT_TRUE(fresh.fileFound);
    EXPECT_TRUE(fresh.refused.isEmpty()) << fresh.refused.value(0).text.toStdString();
    EXPECT_EQ(fresh.setup, TwoSpeedSetup{});
    EXPECT_TRUE(differencesFromDefaults(fresh.setup).isEmpty());
}

TEST(SetupFile, TakesShortenedTimesCommasCommentsAndAnyKeyCase) {
    const SetupReadResult r = parse("\xEF\xBB\xBF# shortened for a test run\r\n"
                                    "stabilisationseconds = 0,5\r\n"
                                    "  MeasuringSeconds=1.25  \r\n"
                                    "; a comment\n"
                                    "AveragingSeconds = 1.000\n"
                                    "PhaseLimitSeconds = 5\n"
                                    "HighIdleMinRpm = 2000\n"
                                    "IdleMaxRpm = 1900\n"
                                    "MinimumSamples = 2\n"
                                    "DilutionPercent = 5,5\n"
                                    "OilMinimumCelsius = 60.5\n"
                                    "AnalyserSerial = AB-1234/7\n"
                                    "VerificationExpires = 31.12.2026\n");
    ASSERT_TRUE(r.refused.isEmpty()) << r.refused.value(0).text.toStdString();
    const TwoSpeedSetup& s = r.setup;
    EXPECT_EQ(s.stabilisationMs, 500);
    EXPECT_EQ(s.measuringMs, 1250);
    EXPECT_EQ(s.averagingMs, 1000);
    EXPECT_EQ(s.phaseLimitMs, 5000);
    EXPECT_EQ(s.highIdle, (SpeedWindow{2000, 3000}));
    EXPECT_EQ(s.idle, (SpeedWindow{450, 1900}));
    EXPECT_EQ(s.minimumSamples, 2);
    EXPECT_DOUBLE_EQ(s.dilutionPercent, 5.5);
    EXPECT_DOUBLE_EQ(s.oilMinimumC, 60.5);
    EXPECT_EQ(s.analyserSerial, QStringLiteral("AB-1234/7"));
    EXPECT_EQ(s.verificationExpires, QDate(2026, 12, 31));

    // Every changed value is listed for the protocol, in the file's order; the serial number
    // and the date are not.
    QStringList lines;
    for (const SetupDifference& d : differencesFromDefaults(s))
        lines << d.text();
    EXPECT_EQ(lines, QStringList({
                         QStringLiteral("Повишени обороти, от: 2000 min⁻¹ (по подразбиране 2500 min⁻¹)"),
                         QStringLiteral("Празен ход, до: 1900 min⁻¹ (по подразбиране 1100 min⁻¹)"),
                         QStringLiteral("Време за стабилизиране: 0,5 s (по подразбиране 10 s)"),
                         QStringLiteral("Време за измерване: 1,25 s (по подразбиране 30 s)"),
                         QStringLiteral("Най-дълга фаза: 5 s (по подразбиране 120 s)"),
                         QStringLiteral("Време за осредняване: 1 s (по подразбиране 5 s)"),
                         QStringLiteral("Най-малко отчитания в средна стойност: 2 (по подразбиране 4)"),
                         QStringLiteral("Праг на разреждане CO + CO2: 5,5 % (по подразбиране 6 %)"),
                         QStringLiteral("Най-ниска температура на маслото: 60,5 °C (по подразбиране 80 °C)"),
                     }));
}

TEST(SetupFile, RefusesEachBadLineByNumberAndKeepsTheDefault) {
    struct Case {
        const char* line;
        const char* message; // the text after "TWOSPEED.ini, ред 2: "
    };
    const Case cases[] = {
        {"HighIdleMinRpm = 1999",
         "HighIdleMinRpm = 1999 е извън границите 2000–5000 min⁻¹; остава 2500 min⁻¹"},
        {"HighIdleMaxRpm = 6001",
         "HighIdleMaxRpm = 6001 е извън границите 2100–6000 min⁻¹; остава 3000 min⁻¹"},
        {"IdleMinRpm = 2500.5", "IdleMinRpm = 2500.5 не е цяло число; остава 450 min⁻¹"},
        {"IdleMaxRpm = -900", "IdleMaxRpm = -900 не е число; остава 1100 min⁻¹"},
        {"StabilisationSeconds = 0.4", "StabilisationSeconds = 0.4 е извън границите 0,5–120 s; остава 10 s"},
        {"MeasuringSeconds = 1.0005",
         "MeasuringSeconds = 1.0005 има повече от 3 знака след десетичната запетая; "
         "остава 30 s"},
        {"PhaseLimitSeconds = 901", "PhaseLimitSeconds = 901 е извън границите 5–900 s; остава 120 s"},
        {"AveragingSeconds = 1e3", "AveragingSeconds = 1e3 не е число; остава 5 s"},
        {"MinimumSamples = 1", "MinimumSamples = 1 е извън границите 2–100; остава 4"},
        {"DilutionPercent =", "DilutionPercent няма стойност; остава 6 %"},
        {"OilMinimumCelsius = 100.1", "OilMinimumCelsius = 100.1 е извън границите 40–100 °C; остава 80 °C"},
        {"AnalyserSerial = 12345678901234567890123456789012345678901",
         "AnalyserSerial е по-дълъг от 40 знака; не е взет"},
        {"VerificationExpires = 31.02.2026",
         "VerificationExpires = 31.02.2026 не е дата дд.мм.гггг; не е взета"},
        {"VerificationExpires = 1.3.2026", "VerificationExpires = 1.3.2026 не е дата дд.мм.гггг; не е взета"},
        {"VerificationExpires = 01.01.2100",
         "VerificationExpires = 01.01.2100 е извън годините 2000–2099; не е взета"},
        {"Stabilization = 5", "непознат ключ „Stabilization“; редът е пропуснат"},
        {"MeasuringSeconds 30", "„MeasuringSeconds 30“ не е „КЛЮЧ = стойност“; редът е пропуснат"},
    };
    for (const Case& c : cases) {
        const SetupReadResult r = parse(QByteArray("# first line\n") + c.line + "\n");
        ASSERT_EQ(r.refused.size(), 1) << c.line;
        EXPECT_EQ(r.refused[0].line, 2) << c.line;
        EXPECT_EQ(r.refused[0].text, QStringLiteral("TWOSPEED.ini, ред 2: ") + QString::fromUtf8(c.message));
        EXPECT_EQ(r.setup, TwoSpeedSetup{}) << c.line;
    }

    // A key given twice keeps its first value.
    const SetupReadResult twice = parse("MinimumSamples = 6\n\nminimumsamples = 8\n");
    ASSERT_EQ(twice.refused.size(), 1);
    EXPECT_EQ(twice.refused[0].text,
              QStringLiteral(
                  "TWOSPEED.ini, ред 3: MinimumSamples е вече зададен на ред 1; остава стойността от ред 1"));
    EXPECT_EQ(twice.setup.minimumSamples, 6);
}

TEST(SetupFile, RulesBetweenValuesPutTheWholeRuleBackToItsDefaults) {
    // Window narrower than 100 min-1: named on the later line, both ends back.
    SetupReadResult r = parse("HighIdleMaxRpm = 2599\nStabilisationSeconds = 3\nHighIdleMinRpm = 2500\n");
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0].line, 3);
    EXPECT_EQ(r.refused[0].text,
              QStringLiteral("TWOSPEED.ini, ред 3: HighIdleMinRpm = 2500 и HighIdleMaxRpm = 2599 "
                             "(ред 1): горната граница трябва да е поне 100 min⁻¹ над долната; "
                             "остават 2500–3000 min⁻¹"));
    EXPECT_EQ(r.setup.highIdle, (SpeedWindow{2500, 3000}));
    EXPECT_EQ(r.setup.stabilisationMs, 3000); // other values stay

    // A rule broken early in the file is told before a value refused later in it.
    r = parse("HighIdleMaxRpm = 2550\nMeasuringSeconds = 99999\n");
    ASSERT_EQ(r.refused.size(), 2);
    EXPECT_EQ(r.refused[0].line, 1);
    EXPECT_EQ(r.refused[1].line, 2);

    // Only one end given: the other is named as the default.
    r = parse("IdleMinRpm = 1050\n");
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0].text,
              QStringLiteral("TWOSPEED.ini, ред 1: IdleMinRpm = 1050 и IdleMaxRpm = 1100 по "
                             "подразбиране: горната граница трябва да е поне 100 min⁻¹ над "
                             "долната; остават 450–1100 min⁻¹"));

    r = parse("MeasuringSeconds = 4\nAveragingSeconds = 4.5\n");
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0].line, 2);
    EXPECT_TRUE(
        r.refused[0].text.contains(QStringLiteral("AveragingSeconds = 4.5 е повече от време за измерване")));
    EXPECT_EQ(r.setup, TwoSpeedSetup{});

    r = parse("PhaseLimitSeconds = 20\nStabilisationSeconds = 5\nMeasuringSeconds = 15.5\n");
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0].line, 3);
    EXPECT_TRUE(
        r.refused[0].text.contains(QStringLiteral("най-дългата фаза (20 s) е по-кратка от стабилизиране "
                                                  "(5 s) и измерване (15,5 s) заедно")));
    EXPECT_EQ(r.setup, TwoSpeedSetup{});
    EXPECT_TRUE(
        parse("PhaseLimitSeconds = 20\nStabilisationSeconds = 5\nMeasuringSeconds = 15\n").refused.isEmpty());
}

TEST(SetupFile, RefusesAnOversizedOrIrregularFileWhole) {
    ScratchCurrentDir dir;
    ScratchFiles::writeFile(dir.filePath(QStringLiteral("TWOSPEED.ini")),
                            "MinimumSamples = 6\n" + QByteArray(kMaxSetupFileBytes, '#'));
    SetupReadResult r = readTwoSpeedSetup(dir.path());
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0].line, 0);
    EXPECT_EQ(r.refused[0].text,
              QStringLiteral("TWOSPEED.ini: е по-голям от 64 KiB; взети са стойностите по подразбиране"));
    EXPECT_EQ(r.setup, TwoSpeedSetup{});

    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("TWOSPEED.ini"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("TWOSPEED.ini")));
    r = readTwoSpeedSetup(dir.path());
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].text.contains(QStringLiteral("не е обикновен файл")));
}

} // namespace
} // namespace vz::twospeed
