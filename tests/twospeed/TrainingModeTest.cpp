// Training mode: every reason a test cannot be official, in their order, the set-up floors at
// and just below each bound, and what the station says at its start.
#include "TrainingMode.h"

#include <gtest/gtest.h>

namespace vz::twospeed {
namespace {

const QDate kToday(2026, 5, 10);

// A set-up that allows official tests: the defaults, a serial number and a date not passed.
TwoSpeedSetup officialSetup() {
    TwoSpeedSetup s;
    s.analyserSerial = QStringLiteral("AB-123");
    s.verificationExpires = kToday;
    return s;
}

QStringList keysOf(const TrainingMode& mode) {
    QStringList keys;
    for (const TrainingCause& c : mode.allReasons())
        keys << trainingReasonKey(c.reason);
    return keys;
}

TEST(Training, EachReasonAndEachFloorAtAndJustBelowItsBound) {
    struct Case {
        const char* name;
        bool demo = false;
        bool pty = false;
        void (*change)(TwoSpeedSetup&);
        const char* key; // "" when the test stays official
        const char* text = "";
    };
    const Case cases[] = {
        {"official", false, false, [](TwoSpeedSetup&) {}, ""},
        {"demo", true, false, [](TwoSpeedSetup&) {}, "demo-mode", "демонстрационен режим"},
        {"pty", false, true, [](TwoSpeedSetup&) {}, "pseudo-terminal",
         "симулиран анализатор (псевдотерминал)"},
        {"no serial", false, false, [](TwoSpeedSetup& s) { s.analyserSerial = QStringLiteral("  "); },
         "analyser-serial-missing", "в TWOSPEED.ini няма сериен номер на анализатора"},
        {"no date", false, false, [](TwoSpeedSetup& s) { s.verificationExpires = QDate(); },
         "verification-date-missing", "в TWOSPEED.ini няма дата на проверката на анализатора"},
        {"expired", false, false, [](TwoSpeedSetup& s) { s.verificationExpires = kToday.addDays(-1); },
         "verification-expired", "проверката на анализатора е изтекла на 09.05.2026"},
        {"high idle 2000", false, false, [](TwoSpeedSetup& s) { s.highIdle.min = 2000; }, ""},
        {"high idle 1999", false, false, [](TwoSpeedSetup& s) { s.highIdle.min = 1999; },
         "high-idle-below-floor", "повишените обороти започват от 1999 min⁻¹, под 2000 min⁻¹"},
        {"stabilisation 10 s", false, false, [](TwoSpeedSetup& s) { s.stabilisationMs = 10000; }, ""},
        {"stabilisation 9.999 s", false, false, [](TwoSpeedSetup& s) { s.stabilisationMs = 9999; },
         "stabilisation-below-floor", "време за стабилизиране 9,999 s, под 10 s"},
        {"averaging 5 s", false, false, [](TwoSpeedSetup& s) { s.averagingMs = 5000; }, ""},
        {"averaging 4.999 s", false, false, [](TwoSpeedSetup& s) { s.averagingMs = 4999; },
         "averaging-below-floor", "време за осредняване 4,999 s, под 5 s"},
        {"4 samples", false, false, [](TwoSpeedSetup& s) { s.minimumSamples = 4; }, ""},
        {"3 samples", false, false, [](TwoSpeedSetup& s) { s.minimumSamples = 3; }, "samples-below-floor",
         "средна стойност от най-малко 3 отчитания, под 4"},
        {"dilution 6 %", false, false, [](TwoSpeedSetup& s) { s.dilutionPercent = 6.0; }, ""},
        {"dilution 5.99 %", false, false, [](TwoSpeedSetup& s) { s.dilutionPercent = 5.99; },
         "dilution-below-floor", "праг на разреждане 5,99 %, под 6 %"},
        // Above the floors a test stays official.
        {"above floors", false, false,
         [](TwoSpeedSetup& s) {
             s.stabilisationMs = 20000;
             s.averagingMs = 10000;
             s.minimumSamples = 8;
             s.dilutionPercent = 8;
             s.highIdle = {2200, 2800};
         },
         ""},
    };
    for (const Case& c : cases) {
        TwoSpeedSetup setup = officialSetup();
        c.change(setup);
        const TrainingMode mode = trainingMode(c.demo, c.pty, setup, kToday);
        EXPECT_EQ(mode.active, *c.key != 0) << c.name;
        EXPECT_EQ(trainingReasonKey(mode.reason), QString::fromUtf8(c.key)) << c.name;
        EXPECT_EQ(mode.reasonText, QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(mode.reasons.size(), mode.active ? 1 : 0) << c.name;
    }
}

TEST(Training, EveryReasonThatHoldsInTheFixedOrder) {
    TwoSpeedSetup setup; // no serial, no date, and shortened for a trial
    setup.stabilisationMs = 500;
    setup.minimumSamples = 2;
    setup.dilutionPercent = 1;
    TrainingMode mode = trainingMode(true, true, setup, kToday);
    EXPECT_EQ(keysOf(mode), QStringList({"demo-mode", "pseudo-terminal", "analyser-serial-missing",
                                         "verification-date-missing", "stabilisation-below-floor",
                                         "samples-below-floor", "dilution-below-floor"}));
    EXPECT_EQ(mode.reason, TrainingReason::DemoMode);
    EXPECT_EQ(mode.reasonText, QStringLiteral("демонстрационен режим"));

    setup = officialSetup();
    setup.verificationExpires = QDate(2025, 12, 31);
    setup.averagingMs = 1000;
    setup.highIdle = {1900, 3000};
    mode = trainingMode(false, false, setup, kToday);
    EXPECT_EQ(keysOf(mode),
              QStringList({"verification-expired", "high-idle-below-floor", "averaging-below-floor"}));
    EXPECT_EQ(mode.allReasonsText(),
              QStringLiteral("проверката на анализатора е изтекла на 31.12.2025; повишените "
                             "обороти започват от 1900 min⁻¹, под 2000 min⁻¹; време за "
                             "осредняване 1 s, под 5 s"));

    // A mode made without the list still lists its one reason.
    const TrainingMode old{true, TrainingReason::PseudoTerminal, QStringLiteral("x")};
    EXPECT_EQ(old.allReasons(),
              QList<TrainingCause>({{TrainingReason::PseudoTerminal, QStringLiteral("x")}}));
}

TEST(Training, OlderCheckKeepsItsThreeReasons) {
    EXPECT_FALSE(trainingMode(false, false, QDate(2026, 5, 10), kToday).active); // its last day
    EXPECT_FALSE(trainingMode(false, false, QDate(), kToday).active);
    const TrainingMode expired = trainingMode(false, false, QDate(2026, 5, 9), kToday);
    EXPECT_EQ(expired.reason, TrainingReason::VerificationExpired);
    EXPECT_EQ(expired.reasonText, QStringLiteral("проверката на анализатора е изтекла на 09.05.2026"));
    EXPECT_EQ(trainingMode(false, true, QDate(2026, 5, 9), kToday).reason, TrainingReason::PseudoTerminal);
    EXPECT_EQ(keysOf(trainingMode(true, true, QDate(2026, 5, 9), kToday)),
              QStringList({"demo-mode", "pseudo-terminal", "verification-expired"}));
}

TEST(Training, TheStationIsToldAtItsStartWhileTheSetUpLeavesOnlyTraining) {
    SetupReadResult read; // no file
    EXPECT_EQ(
        setupTrainingNotice(read),
        QStringLiteral("Няма файл TWOSPEED.ini. Изпитванията на две скорости ще бъдат обучение, докато в "
                       "TWOSPEED.ini не се запишат серийният номер на анализатора (AnalyserSerial) и датата, "
                       "до която е валидна проверката му (VerificationExpires)."));
    read.fileFound = true;
    read.setup.analyserSerial = QStringLiteral("AB-123");
    EXPECT_EQ(
        setupTrainingNotice(read),
        QStringLiteral("Изпитванията на две скорости ще бъдат обучение, докато в TWOSPEED.ini не се запише "
                       "датата, до която е валидна проверката му (VerificationExpires)."));
    read.setup.verificationExpires = QDate(2020, 1, 1); // passed: told by each test, not at the start
    EXPECT_TRUE(setupTrainingNotice(read).isEmpty());
    read.setup.minimumSamples = 2;
    EXPECT_EQ(setupTrainingNotice(read),
              QStringLiteral(
                  "Изпитванията на две скорости ще бъдат обучение, докато TWOSPEED.ini иска по-малко от "
                  "необходимото за официално изпитване: средна стойност от най-малко 2 отчитания, под 4."));
}

} // namespace
} // namespace vz::twospeed
