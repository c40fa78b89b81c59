// The archive's view of a test: the started line, the journal of samples, the result, and the
// result the next start makes for a test that never finished. That one must agree with what
// the procedure itself decides when the same test is interrupted at the same moment.
#include "TwoSpeedRecord.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <memory>

namespace vz::twospeed {
namespace {

struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
};
const Engine kCleanAir{800, 0.0, 0.0, 0, 20.9};
const Engine kGoodHighIdle{2700, 0.05, 14.8, 20, 0.2};
const Engine kHighCoHighIdle{2700, 0.45, 14.5, 60, 0.1};
const Engine kGoodIdle{800, 0.1, 14.6, 40, 0.3};

class Record : public ::testing::Test {
protected:
    void SetUp() override {
        const SetupReadResult r = parseTwoSpeedSetup("StabilisationSeconds = 1\nMeasuringSeconds = 4\n"
                                                     "AveragingSeconds = 2\nPhaseLimitSeconds = 20\n"
                                                     "AnalyserSerial = AB-123\n",
                                                     QStringLiteral("TWOSPEED.ini"));
        ASSERT_TRUE(r.refused.isEmpty());
        VehicleFacts v;
        v.registration = QStringLiteral("CA 1234 BX");
        v.firstRegistration = QDate(2005, 3, 14);
        v.fuel = Fuel::Lpg;
        test = std::make_unique<TwoSpeedTest>(v, r.setup, TrainingMode{}, [this] { return now; });
        cycle.opState = 1;
        cycle.ticksSinceResult = 1;
        RecordContext context;
        context.operatorName = QStringLiteral("Иванов");
        context.version = QStringLiteral("1.1.0");
        context.port = QStringLiteral("COM1");
        context.device = QStringLiteral("/dev/ttyUSB0");
        context.baudRate = 9600;
        started = startedRecord(*test, context);
    }
    // One record every 250 ms; the journal written every 4 s, as the window writes it.
    void drive(const Engine& e, int64_t ms) {
        for (int64_t t = 0; t < ms && !test->finished(); t += 250) {
            now += 250;
            test->updateCycle(cycle);
            test->feed({++id, e.co, e.co2, e.hc, e.o2, e.rpm, 90.0});
            if (autoJournal && now - journalled >= 4000)
                writeJournal();
        }
    }
    void writeJournal() {
        journalled = now;
        const QJsonObject line = samplesRecord(*test, mark);
        if (!line.isEmpty())
            journal << line;
    }
    void startPhases() {
        drive(kCleanAir, 5500);
        ASSERT_TRUE(test->proceed());
        ASSERT_TRUE(test->proceed());
    }
    // The station stops here: what the procedure would record, and what the next start
    // makes of the lines. Every sample is journalled first, so both see the same samples.
    void expectInterruptionAgrees() {
        writeJournal();
        TwoSpeedTest twin = *test;
        twin.interrupt(kStoppedDuringTest);
        const QJsonObject expected = resultRecord(twin, QDateTime(), 0);
        const QJsonObject made = interruptedResult(started, journal);
        EXPECT_EQ(made["verdict"].toString(), expected["verdict"].toString());
        EXPECT_EQ(made["reason"].toString(), expected["reason"].toString());
        EXPECT_EQ(made["verdictTitle"].toString(), expected["verdictTitle"].toString());
        EXPECT_EQ(made["ending"].toString(), "interrupted");
        EXPECT_EQ(made["failingAverage"], expected["failingAverage"]);
        const QJsonArray want = expected["phases"].toArray();
        const QJsonArray got = made["phases"].toArray();
        ASSERT_EQ(got.size(), want.size());
        for (qsizetype i = 0; i < want.size(); ++i) {
            const QJsonObject w = want[i].toObject(), g = got[i].toObject();
            EXPECT_EQ(g["name"].toString(), w["name"].toString()) << i;
            EXPECT_EQ(g["verdict"].toString(), w["verdict"].toString()) << i;
            EXPECT_EQ(g["reason"].toString(), w["reason"].toString()) << i;
            EXPECT_EQ(g["samples"].toArray(), w["samples"].toArray()) << i;
            EXPECT_EQ(g["window"].toObject(), w["window"].toObject()) << i;
            EXPECT_EQ(g["probeOuts"].toArray(), w["probeOuts"].toArray()) << i;
            EXPECT_EQ(g["deciding"], w["deciding"]) << i;
            EXPECT_EQ(g["co"], w["co"]) << i;
        }
    }

    bool autoJournal = true;
    int64_t now = 50'000;
    int64_t journalled = 50'000;
    uint64_t id = 0;
    CycleState cycle;
    std::unique_ptr<TwoSpeedTest> test;
    QJsonObject started;
    JournalMark mark;
    QList<QJsonObject> journal;
};

TEST_F(Record, theStartedLineHoldsTheVehicleTheLimitsTheSetUpAndTheLine) {
    EXPECT_EQ(started["registration"].toString(), "CA 1234 BX");
    EXPECT_EQ(started["registrationKey"].toString(), "СА1234ВХ");
    EXPECT_EQ(started["firstRegistration"].toString(), "2005-03-14");
    EXPECT_EQ(started["fuel"].toString(), "lpg");
    EXPECT_EQ(started["emissionControl"].toString(), "lambda-catalyst");
    EXPECT_TRUE(started["f1Row"].isNull());
    const QJsonObject limits = started["limitSet"].toObject();
    EXPECT_EQ(limits["basis"].toString(), limitBasisKey(test->limits().basis));
    EXPECT_EQ(limits["explanation"].toString(), test->limits().explanation);
    EXPECT_EQ(limits["source"].toString(), test->limits().source);
    EXPECT_DOUBLE_EQ(limits["idleCo"].toDouble(), test->limits().idleCoLimit / 100.0);
    EXPECT_DOUBLE_EQ(limits["lambdaMax"].toDouble(), 1.03);
    const QJsonObject setup = started["setup"].toObject();
    EXPECT_DOUBLE_EQ(setup["StabilisationSeconds"].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(setup["PhaseLimitSeconds"].toDouble(), 20.0);
    EXPECT_EQ(setup["MinimumSamples"].toInt(), 4);
    EXPECT_EQ(started["analyserSerial"].toString(), "AB-123");
    EXPECT_EQ(started["line"].toObject()["device"].toString(), "/dev/ttyUSB0");
    EXPECT_EQ(started["line"].toObject()["rate"].toInt(), 9600);
    EXPECT_EQ(started["operator"].toString(), "Иванов");
    EXPECT_FALSE(started["training"].toBool());
}

TEST_F(Record, theJournalGivesEachSampleOnceAndEachPhaseEndOnce) {
    autoJournal = false;
    startPhases();
    EXPECT_TRUE(samplesRecord(*test, mark).isEmpty()) << "no sample before the phases";
    drive(kGoodHighIdle, 1000);
    const QJsonObject first = samplesRecord(*test, mark);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first["samples"].toArray().size(), test->phases()[0].samples.size());
    EXPECT_EQ(first["current"].toObject()["name"].toString(), "high-idle");
    EXPECT_TRUE(samplesRecord(*test, mark).isEmpty()) << "nothing new since";
    while (test->phases()[0].verdict == Verdict::Pending && !test->finished())
        drive(kGoodHighIdle, 250);
    const QJsonObject second = samplesRecord(*test, mark);
    ASSERT_EQ(second["ended"].toArray().size(), 1);
    EXPECT_EQ(second["ended"].toArray()[0].toObject()["verdict"].toString(), "pass");
    EXPECT_FALSE(second["ended"].toArray()[0].toObject().contains("samples"));
    drive(kGoodIdle, 250);
    EXPECT_TRUE(samplesRecord(*test, mark)["ended"].toArray().isEmpty());
}

TEST_F(Record, anInterruptedTestIsMadeFromItsLinesAsTheProcedureWouldDecideIt) {
    // Stopped before measuring.
    drive(kCleanAir, 3000);
    expectInterruptionAgrees();
    EXPECT_EQ(interruptedResult(started, journal)["reason"].toString(),
              kStoppedDuringTest + " преди измерването");

    // Stopped during high idle.
    startPhases();
    drive(kGoodHighIdle, 1750);
    expectInterruptionAgrees();
    EXPECT_EQ(interruptedResult(started, journal)["verdict"].toString(), "interrupted");
}

TEST_F(Record, aPhaseThatFailedBeforeTheStationStoppedStillFailsTheTest) {
    startPhases();
    while (test->phases()[0].verdict == Verdict::Pending && !test->finished())
        drive(kHighCoHighIdle, 250);
    ASSERT_EQ(test->phases()[0].verdict, Verdict::Fail);
    drive(kGoodIdle, 1500);
    expectInterruptionAgrees();
    const QJsonObject made = interruptedResult(started, journal);
    EXPECT_EQ(made["verdict"].toString(), "fail");
    EXPECT_EQ(made["phases"].toArray()[1].toObject()["verdict"].toString(), "interrupted");
}

TEST_F(Record, samplesAfterTheLastJournalLineAreLostAndNothingElse) {
    startPhases();
    drive(kGoodHighIdle, 1000);
    writeJournal();
    const qsizetype kept = test->phases()[0].samples.size();
    drive(kGoodHighIdle, 750); // taken, never journalled
    const QJsonObject made =
        interruptedResult(started, journal, kStoppedDuringTest, QDateTime(QDate(2026, 3, 10), QTime(10, 5)));
    EXPECT_EQ(made["phases"].toArray()[0].toObject()["samples"].toArray().size(), kept);
    EXPECT_EQ(made["ended"].toString(), "2026-03-10T10:05:00");
    EXPECT_EQ(made["phases"].toArray()[1].toObject()["verdict"].toString(), "not-run");
}

TEST_F(Record, theLinesKeepDilutedSamplesProbeOutsAndEveryFailingAverageOnce) {
    autoJournal = false;
    startPhases();
    drive(kHighCoHighIdle, 3500);
    const Engine pulled{2700, 0.0, 0.0, 0, 20.9};
    drive(pulled, 250);
    const int64_t outAt = test->elapsedMs();
    drive(kHighCoHighIdle, 250);
    const QJsonObject line = samplesRecord(*test, mark);
    const QList<Average>& failing = test->phases()[0].failingAverages;
    ASSERT_FALSE(failing.isEmpty());
    ASSERT_EQ(line["failing"].toArray().size(), failing.size());
    const QJsonObject first = line["failing"].toArray()[0].toObject();
    EXPECT_EQ(first["phase"].toString(), "high-idle");
    EXPECT_DOUBLE_EQ(first["co"].toDouble(), failing[0].co);
    EXPECT_EQ(first["checks"].toArray()[0].toObject()["pass"].toBool(), false);
    int diluted = 0;
    for (const QJsonValue& v : line["samples"].toArray()) {
        const QJsonObject sample = v.toObject();
        ASSERT_TRUE(sample.contains("diluted") && sample.contains("rpmFromSameLine"));
        if (sample["diluted"].toBool()) {
            ++diluted;
            EXPECT_EQ(sample["t"].toInteger(), outAt);
        }
    }
    EXPECT_EQ(diluted, 1);

    const qsizetype written = failing.size();
    drive(kHighCoHighIdle, 500);
    const QJsonObject next = samplesRecord(*test, mark);
    EXPECT_EQ(next["failing"].toArray().size(), failing.size() - written) << "each failing average once";
    while (test->phases()[0].verdict == Verdict::Pending)
        drive(kHighCoHighIdle, 250);
    const QJsonObject ended = samplesRecord(*test, mark)["ended"].toArray()[0].toObject();
    EXPECT_EQ(ended["probeOuts"].toArray(), QJsonArray({qint64(outAt)}));
    EXPECT_FALSE(ended["phaseLimitReached"].toBool());
}

TEST_F(Record, theResultKeepsTheEndingAndTheFailingAverage) {
    enum class End { Pass, Abort, Interrupt };
    struct Case {
        End end;
        const char* verdict;
        const char* ending;
        bool failing;
    };
    const Case cases[] = {
        {End::Pass, "pass", "completed", false},
        {End::Abort, "fail", "aborted", true},
        {End::Interrupt, "interrupted", "interrupted", true},
    };
    for (const Case& c : cases) {
        SetUp();
        journal.clear();
        mark = {};
        journalled = now;
        startPhases();
        if (c.end == End::Pass) {
            drive(kGoodHighIdle, 4000);
            drive(kGoodIdle, 4000);
        } else {
            drive(kHighCoHighIdle, 3500);
            if (c.end == End::Abort)
                test->abort();
            else
                expectInterruptionAgrees();
            test->interrupt(kClosedDuringTest);
        }
        ASSERT_TRUE(test->finished());
        const QJsonObject result = resultRecord(*test, QDateTime(QDate(2026, 3, 10), QTime(10, 5)), 1);
        EXPECT_EQ(result["verdict"].toString(), c.verdict);
        EXPECT_EQ(result["ending"].toString(), c.ending);
        ASSERT_EQ(result["failingAverage"].isObject(), c.failing) << c.ending;
        if (!c.failing)
            continue;
        const QJsonObject failing = result["failingAverage"].toObject();
        EXPECT_EQ(failing["phase"].toString(), "high-idle");
        EXPECT_DOUBLE_EQ(failing["co"].toDouble(), test->phases()[0].failingAverages.last().co);
        QJsonObject deciding = result["phases"].toArray()[0].toObject()["deciding"].toObject();
        deciding.insert("phase", "high-idle");
        EXPECT_EQ(failing, deciding);
    }
}

TEST_F(Record, anInterruptedTrainingTestIsNoAttempt) {
    drive(kCleanAir, 1000);
    QJsonObject training = started;
    training["training"] = true;
    struct Case {
        QJsonObject started;
        std::optional<int> attempt;
        QJsonValue expected;
    };
    const Case cases[] = {
        {training, std::nullopt, 0},
        {training, 3, 0},
        {started, std::nullopt, QJsonValue(QJsonValue::Null)},
        {started, 2, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interruptedResult(c.started, journal, kStoppedDuringTest, {}, c.attempt)["attempt"],
                  c.expected);
}

} // namespace
} // namespace vz::twospeed
