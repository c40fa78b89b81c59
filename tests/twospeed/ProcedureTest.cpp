// The two-speed procedure driven by its injected clock: the gate, conditioning, windows,
// pauses, restarts, averages, dilution, rounding at the limits and every verdict.
#include "Lambda.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedTest.h"

#include <gtest/gtest.h>
#include <memory>

namespace vz::twospeed {
namespace {

// What the simulated car and analyser give, one result record at a time.
struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
    std::optional<double> oil = 90.0;
};
const Engine kCleanAir{800, 0.0, 0.0, 0, 20.9, 90.0};
const Engine kGoodHighIdle{2700, 0.05, 14.8, 20, 0.2, 90.0};
const Engine kGoodIdle{800, 0.1, 14.6, 40, 0.3, 90.0};

VehicleFacts catalystCar() {
    VehicleFacts v;
    v.registration = QStringLiteral("СА1234ВХ");
    v.firstRegistration = QDate(2005, 3, 14);
    return v;
}

// Times shortened as a test run shortens them, through the set-up file.
TwoSpeedSetup shortSetup() {
    const SetupReadResult r = parseTwoSpeedSetup("StabilisationSeconds = 2\nMeasuringSeconds = 6\n"
                                                 "AveragingSeconds = 2\nPhaseLimitSeconds = 12\n",
                                                 QStringLiteral("TWOSPEED.ini"));
    EXPECT_TRUE(r.refused.isEmpty());
    return r.setup;
}

class Procedure : public ::testing::Test {
protected:
    void begin(VehicleFacts vehicle = catalystCar(), TwoSpeedSetup setup = shortSetup()) {
        cycle.baudRate = 9600;
        cycle.opState = 1;
        cycle.ticksSinceResult = 1;
        test = std::make_unique<TwoSpeedTest>(vehicle, setup, TrainingMode{}, [this] { return now; });
    }
    // One record every `every` ms for `ms` ms, each after a cycle tick.
    void drive(const Engine& e, int64_t ms, int64_t every = 250) {
        for (int64_t t = every; t <= ms && !test->finished(); t += every) {
            now += every;
            test->updateCycle(cycle);
            feed(e);
        }
    }
    void feed(const Engine& e) { test->feed({++record, e.co, e.co2, e.hc, e.o2, e.rpm, e.oil}); }
    void wait(int64_t ms) {
        now += ms;
        test->updateCycle(cycle);
    }
    // Through the gate (hang-up check in clean air) and conditioning into the first phase.
    void startPhases() {
        drive(kCleanAir, 5250);
        ASSERT_TRUE(test->proceed());
        ASSERT_TRUE(test->proceed());
        ASSERT_EQ(test->stage(), Stage::Phases);
    }
    const PhaseResult& phase(int i) const { return test->phases().at(i); }
    QList<Block::Code> codes(const QList<Block>& blocks) const {
        QList<Block::Code> list;
        for (const Block& b : blocks)
            list << b.code;
        return list;
    }

    int64_t now = 1'000'000;
    uint64_t record = 0;
    CycleState cycle;
    std::unique_ptr<TwoSpeedTest> test;
};

TEST_F(Procedure, GateBlocksOnTheCycleStateAndSaysWhatToDo) {
    using C = Block::Code;
    struct Case {
        CycleState cycle;
        int rpm;
        C expected; // besides the hang-up check
        RunAction action;
    };
    auto state = [](int op, int overRange = 0, int ticks = 1, int runTicks = 0, uint32_t baud = 9600) {
        CycleState c;
        c.baudRate = baud;
        c.opState = op;
        c.overRangeCount = overRange;
        c.ticksSinceResult = ticks;
        c.runTicks = runTicks;
        return c;
    };
    const Case cases[] = {
        {state(4), 800, C::NotRunning, RunAction::None},  // warm-up: wait
        {state(5), 800, C::NotRunning, RunAction::None},  // zeroing: wait
        {state(3), 800, C::NotRunning, RunAction::Start}, // stopped: F2
        {state(7), 800, C::NotRunning, RunAction::Start}, // idle: F2
        {state(1, 5), 800, C::OverRange, RunAction::None},
        {state(1, 0, 6), 800, C::NoResults, RunAction::None},
        // 2640 ticks of 250 ms; two phases of 12 s need 96 ticks.
        {state(1, 0, 1, 2640 - 95), 800, C::RunTimeShort, RunAction::Restart},
        {state(1), 0, C::NoEngineSpeed, RunAction::None},
    };
    for (const Case& c : cases) {
        begin();
        cycle = c.cycle;
        drive({c.rpm}, 250);
        const GateView g = test->gate();
        EXPECT_EQ(codes(g.blocks), QList<C>({c.expected, C::HangUp})) << int(c.expected);
        EXPECT_EQ(g.runAction, c.action) << int(c.expected);
        EXPECT_FALSE(g.blocks[0].text.isEmpty() || g.blocks[0].action.isEmpty());
        EXPECT_FALSE(test->proceed());
    }
    // Enough run time at exactly the need.
    begin();
    cycle = state(1, 0, 1, 2640 - 96);
    drive(kCleanAir, 250);
    EXPECT_EQ(codes(test->gate().blocks), QList<C>({C::HangUp}));

    // At 1200 baud the analyser's state is unknown: only results count, and the view says so.
    begin();
    cycle = state(7, 9, 1, 0, 1200);
    drive(kCleanAir, 5250);
    EXPECT_TRUE(test->gate().ready());
    EXPECT_TRUE(test->gate().stateUnchecked);
    EXPECT_FALSE(test->gate().stateUncheckedNote.isEmpty());
    wait(3001);
    EXPECT_EQ(codes(test->gate().blocks), QList<C>({C::NoResults}));
}

TEST_F(Procedure, HangUpCheckNeedsFiveCleanSecondsOfResults) {
    begin();
    drive(kCleanAir, 4000);
    EXPECT_EQ(test->gate().hangUpCleanMs, 3750);
    feed({800, 0, 0, 20, 20.9}); // one record at the threshold restarts the count
    EXPECT_EQ(test->gate().hangUpCleanMs, 0);
    drive(kCleanAir, 5000);
    EXPECT_FALSE(test->gate().hangUpDone);
    EXPECT_FALSE(test->proceed());
    // A zeroing meanwhile also restarts it.
    cycle.opState = 5;
    wait(250);
    cycle.opState = 1;
    drive(kCleanAir, 5000);
    EXPECT_FALSE(test->gate().hangUpDone);
    drive(kCleanAir, 250);
    EXPECT_TRUE(test->gate().hangUpDone);
    EXPECT_TRUE(test->proceed());
    EXPECT_EQ(test->stage(), Stage::Conditioning);
}

TEST_F(Procedure, ConditioningWantsWarmOilOrAConfirmationAndSpeedFromTheRecord) {
    using C = Block::Code;
    begin();
    drive(kCleanAir, 5250);
    EXPECT_FALSE(test->confirmEngineWarm()); // not in conditioning yet
    ASSERT_TRUE(test->proceed());
    drive({800, 0.1, 14, 40, 0.3, 79.9}, 250);
    EXPECT_EQ(codes(test->conditioning().blocks), QList<C>({C::OilCold}));
    EXPECT_EQ(test->conditioning().blocks[0].text, QStringLiteral("маслото е 79,9 °C, нужни са поне 80 °C"));
    EXPECT_FALSE(test->confirmEngineWarm()); // a measured temperature cannot be overruled
    cycle.rpmMode = 4;
    drive({800, 0.1, 14, 40, 0.3, 80.0}, 250);
    EXPECT_EQ(codes(test->conditioning().blocks), QList<C>({C::VacuumMode}));
    cycle.rpmMode = 2;
    drive({800, 0.1, 14, 40, 0.3, std::nullopt}, 250);
    EXPECT_EQ(codes(test->conditioning().blocks), QList<C>({C::OilUnconfirmed}));
    EXPECT_FALSE(test->proceed());
    EXPECT_TRUE(test->confirmEngineWarm());
    EXPECT_TRUE(test->proceed());
    EXPECT_TRUE(test->oilConfirmed());
    EXPECT_FALSE(test->oilAtStartC());
}

TEST_F(Procedure, PassingCarAtTheDefaultTimes) {
    begin(catalystCar(), TwoSpeedSetup{});
    startPhases();
    const int64_t start = test->elapsedMs();
    drive(kGoodHighIdle, 15500, 500);
    // In the window from the first record: 10 s stabilising, then the first 5-second average.
    EXPECT_EQ(phase(0).verdict, Verdict::Pass);
    EXPECT_EQ(phase(0).endedMs - start, 15500);
    ASSERT_TRUE(phase(0).deciding);
    EXPECT_EQ(phase(0).deciding->samples, 10);
    EXPECT_TRUE(phase(0).deciding->valid);
    EXPECT_EQ(phase(0).samples.size(), 31); // stabilisation included, one per record
    EXPECT_TRUE(phase(0).samples[0].lambda);
    EXPECT_FALSE(phase(0).samples[0].measuring);
    EXPECT_EQ(phase(1).verdict, Verdict::Pending);
    drive(kGoodIdle, 15500, 500);
    EXPECT_EQ(phase(1).verdict, Verdict::Pass);
    EXPECT_EQ(phase(1).endedMs - phase(1).startedMs, 15500);
    EXPECT_TRUE(test->finished());
    EXPECT_EQ(test->verdict(), Verdict::Pass);
    EXPECT_EQ(verdictTitle(test->verdict()), QStringLiteral("СЪОТВЕТСТВА"));
    EXPECT_EQ(test->oilAtStartC(), 90.0);
    EXPECT_FALSE(test->oilConfirmed());

    // Lambda comes from the averaged gases with the fuel's constant.
    const Average& a = *phase(0).deciding;
    EXPECT_EQ(a.lambda, lambdaFactor(a.co, a.co2, a.hcPpm, a.o2, fuelConstant(0)));
    EXPECT_EQ(a.checks[0].valueText, QStringLiteral("0,05"));
    EXPECT_EQ(a.checks[0].limitText, QStringLiteral("≤ 0,20"));
    EXPECT_EQ(a.checks[4].limitText, QStringLiteral("0,970–1,030"));
}

TEST_F(Procedure, OneSamplePerDistinctRecord) {
    begin();
    startPhases();
    for (int i = 0; i < 8; ++i) {
        now += 250;
        feed(kGoodHighIdle);
        test->feed({record, 9, 9, 9, 9, 2700, 90.0}); // the same record decoded again
    }
    ASSERT_EQ(phase(0).samples.size(), 8);
    EXPECT_EQ(phase(0).samples[7].co, 0.05);
}

TEST_F(Procedure, LeavingTheWindowPausesAndMoreThanTwoSecondsRestarts) {
    begin();
    startPhases();
    drive(kGoodHighIdle, 1000); // 0.75 s stabilised (the first record starts the count)
    EXPECT_EQ(test->currentPhase()->stabilisationLeftMs, 1250);
    drive({2000}, 2000); // out for 2 s: the countdown stands
    EXPECT_FALSE(test->currentPhase()->inWindow);
    EXPECT_EQ(test->currentPhase()->stabilisationLeftMs,
              1000); // 250 ms counted before the first record outside
    drive(kGoodHighIdle, 500);
    EXPECT_EQ(test->currentPhase()->stabilisationLeftMs, 750);
    EXPECT_EQ(phase(0).restarts, 0);
    drive({3100}, 2500); // more than 2 s out
    EXPECT_EQ(phase(0).restarts, 1);
    EXPECT_EQ(test->currentPhase()->stabilisationLeftMs, 2000);
    drive(kGoodHighIdle, 2250);
    EXPECT_EQ(test->currentPhase()->step, PhaseStep::Measuring);

    // While measuring: a short slip stops the countdown and spoils the averages that hold it.
    drive(kGoodHighIdle, 1000);
    EXPECT_EQ(test->currentPhase()->measuringLeftMs, 5000);
    drive({3100}, 500);
    EXPECT_EQ(test->currentPhase()->measuringLeftMs, 4750);
    drive(kGoodHighIdle, 1500);
    ASSERT_TRUE(test->currentPhase()->liveAverage);
    EXPECT_FALSE(test->currentPhase()->liveAverage->valid);
    EXPECT_TRUE(
        test->currentPhase()->liveAverage->invalidReason.contains(QStringLiteral("излязоха от прозореца")));
    drive(kGoodHighIdle, 1000); // the slip has left the averaging window
    EXPECT_EQ(phase(0).verdict, Verdict::Pass);
}

TEST_F(Procedure, CycleLeavingRunningPausesWithItsReasonAndRestartsStabilisation) {
    begin();
    startPhases();
    drive(kGoodHighIdle, 3000);
    ASSERT_EQ(test->currentPhase()->step, PhaseStep::Measuring);
    const qsizetype taken = phase(0).samples.size();
    cycle.opState = 5; // an automatic zeroing
    drive(kGoodHighIdle, 1000);
    EXPECT_TRUE(test->currentPhase()->paused);
    EXPECT_EQ(test->currentPhase()->hint, QStringLiteral("пауза: анализаторът се нулира"));
    EXPECT_EQ(phase(0).samples.size(), taken); // no samples while paused
    cycle.opState = 1;
    drive(kGoodHighIdle, 250);
    EXPECT_FALSE(test->currentPhase()->paused);
    EXPECT_EQ(test->currentPhase()->step, PhaseStep::Stabilising);
    EXPECT_EQ(phase(0).restarts, 1);

    // Records stop: paused too, and a phase that runs past its limit ends void with why.
    wait(3001);
    EXPECT_EQ(test->currentPhase()->hint, QStringLiteral("пауза: няма резултати от анализатора"));
    wait(5000);
    EXPECT_EQ(phase(0).verdict, Verdict::Void);
    EXPECT_EQ(phase(0).reason, QStringLiteral("фазата не завърши за 12 s: няма резултати от анализатора"));
    EXPECT_EQ(phase(1).verdict, Verdict::Pending); // idle runs all the same
}

TEST_F(Procedure, AveragesNeedEnoughSamplesAndAnUndilutedProbe) {
    // Records every 700 ms: at most three in a 2-second window, fewer than 4.
    begin();
    startPhases();
    drive(kGoodHighIdle, 12600, 700);
    EXPECT_EQ(phase(0).verdict, Verdict::Void);
    EXPECT_EQ(phase(0).reason,
              QStringLiteral("няма валидна средна стойност: средната стойност е от 3 отчитания, "
                             "нужни са поне 4"));
    ASSERT_TRUE(phase(0).lastAverage);
    EXPECT_FALSE(phase(0).deciding);

    // CO + CO2 one hundredth below 6 % is diluted; at 6 % it counts.
    begin();
    startPhases();
    drive({2700, 0.0, 5.99, 5, 12}, 9000);
    EXPECT_EQ(phase(0).verdict, Verdict::Void);
    EXPECT_EQ(phase(0).reason,
              QStringLiteral("няма валидна средна стойност: пробата е разредена: сондата не е "
                             "навлязла достатъчно или има теч"));
    EXPECT_EQ(test->currentPhase()->kind, PhaseKind::Idle);
    drive({800, 0.01, 5.99, 5, 12}, 4500);
    EXPECT_EQ(phase(1).verdict, Verdict::Pass);
    EXPECT_EQ(test->verdict(), Verdict::Void);
    EXPECT_EQ(verdictTitle(test->verdict()), QStringLiteral("НЕВАЛИДЕН"));
    EXPECT_TRUE(test->reason().startsWith(QStringLiteral("повишени обороти: няма валидна средна стойност")));
}

TEST_F(Procedure, ValuesCompareAsPrinted) {
    // High idle: CO limit 0,20 %, lambda band 0,970–1,030, ends included.
    struct Case {
        double co;
        double o2; // moves lambda
        const char* coText;
        const char* lambdaText;
        bool passes;
    };
    const Case cases[] = {
        {0.2049, 0.2, "0,20", "1,003", true},
        {0.205, 0.2, "0,21", "1,003", false},
        {0.05, 0.691, "0,05", "1,030", true},  // lambda 1.03047
        {0.05, 0.692, "0,05", "1,031", false}, // lambda 1.03052
    };
    for (const Case& c : cases) {
        begin();
        startPhases();
        drive({2700, c.co, 14.8, 20, c.o2}, 4500);
        ASSERT_TRUE(phase(0).lastAverage);
        const Average& a = *phase(0).lastAverage;
        EXPECT_EQ(a.checks[0].valueText, QString::fromUtf8(c.coText));
        EXPECT_EQ(a.checks[4].valueText, QString::fromUtf8(c.lambdaText));
        EXPECT_EQ(a.withinLimits, c.passes) << c.co << " " << c.o2;
        EXPECT_EQ(phase(0).verdict == Verdict::Pass, c.passes) << c.co << " " << c.o2;
    }
}

TEST_F(Procedure, FailingAverageStandsWhateverFollows) {
    begin();
    startPhases();
    drive({2700, 0.5, 14.5, 60, 0.2}, 4500); // valid, CO beyond 0,20 %
    ASSERT_TRUE(phase(0).lastAverage && phase(0).lastAverage->valid);
    drive({2700, 0.5, 2.0, 60, 17}, 4000); // then the probe is pulled: only diluted averages
    EXPECT_EQ(phase(0).verdict, Verdict::Fail);
    // The averages while the probe comes out mix both kinds of record; the last of them that
    // is still undiluted decides (its lambda may be off too).
    EXPECT_TRUE(phase(0).reason.startsWith(QStringLiteral("CO 0,50 % > 0,20 %")));
    ASSERT_TRUE(phase(0).deciding);
    EXPECT_EQ(printedUnits(phase(0).deciding->co, 2), 50);
    EXPECT_FALSE(phase(0).lastAverage->valid);
    drive(kGoodIdle, 4500);
    EXPECT_EQ(phase(1).verdict, Verdict::Pass);
    EXPECT_EQ(test->verdict(), Verdict::Fail);
    EXPECT_EQ(verdictTitle(test->verdict()), QStringLiteral("НЕ СЪОТВЕТСТВА"));
    EXPECT_EQ(test->reason(), QStringLiteral("повишени обороти: ") + phase(0).reason);

    // Lambda out of band fails too, and a failed phase survives an abort later.
    begin();
    startPhases();
    drive({2700, 0.05, 14.8, 20, 1.5}, 9000);
    EXPECT_EQ(phase(0).verdict, Verdict::Fail);
    EXPECT_TRUE(phase(0).reason.startsWith(QStringLiteral("λ 1,0")));
    drive(kGoodIdle, 1000);
    test->abort();
    EXPECT_EQ(phase(1).verdict, Verdict::Aborted);
    EXPECT_EQ(test->verdict(), Verdict::Fail);
}

TEST_F(Procedure, PhaseLimitEndsAPhaseNeverHeldInItsWindow) {
    begin();
    startPhases();
    drive({2300}, 12250);
    EXPECT_EQ(phase(0).verdict, Verdict::Void);
    EXPECT_EQ(phase(0).reason,
              QStringLiteral("фазата не завърши за 12 s: оборотите не бяха задържани в прозореца "
                             "2500–3000 min⁻¹ за 2 s"));
    EXPECT_EQ(phase(0).endedMs - phase(0).startedMs, 12250);
}

TEST_F(Procedure, AbortAndInterruptAreVerdicts) {
    begin();
    drive(kCleanAir, 1000);
    test->abort();
    EXPECT_TRUE(test->finished());
    EXPECT_EQ(test->verdict(), Verdict::Aborted);
    EXPECT_EQ(test->reason(), QStringLiteral("прекратено от оператора преди измерването"));
    EXPECT_EQ(phase(0).verdict, Verdict::NotRun);
    test->interrupt({}); // nothing changes once ended
    EXPECT_EQ(test->verdict(), Verdict::Aborted);

    begin();
    startPhases();
    drive(kGoodHighIdle, 1000);
    test->interrupt(QStringLiteral("станцията беше затворена"));
    EXPECT_EQ(test->verdict(), Verdict::Interrupted);
    EXPECT_EQ(verdictTitle(test->verdict()), QStringLiteral("НЕВАЛИДЕН"));
    EXPECT_EQ(test->reason(), QStringLiteral("повишени обороти: станцията беше затворена"));
    EXPECT_EQ(phase(1).verdict, Verdict::NotRun);
    EXPECT_EQ(phase(0).samples.size(), 4);

    // An abort after a void phase is recorded as the abort.
    begin();
    startPhases();
    drive({2300}, 12250);
    ASSERT_EQ(phase(0).verdict, Verdict::Void);
    test->abort();
    EXPECT_EQ(test->verdict(), Verdict::Aborted);
    EXPECT_EQ(test->reason(), QStringLiteral("празен ход: прекратено от оператора"));
}

TEST_F(Procedure, CarWithoutLambdaControlHasOnlyTheIdlePhaseWithItsRowWindow) {
    VehicleFacts v = catalystCar();
    v.control = EmissionControl::NoLambdaControl;
    v.firstRegistration = QDate(1985, 1, 1);
    v.fuel = Fuel::Lpg;
    SelectedVehicle row;
    row.VehicleText = QStringLiteral("LADA 2107");
    row.LimitCOmx = 300;
    row.LimitCO2mx = 100;
    v.row = row;
    v.rowRpm = 1000;
    begin(v);
    cycle.baudRate = 1200;
    cycle.opState = 7;
    startPhases();
    ASSERT_EQ(test->phases().size(), 1);
    EXPECT_EQ(phase(0).window, (SpeedWindow{900, 1100}));
    drive({1050, 3.0, 12.0, 300, 1.0}, 4500);
    EXPECT_EQ(phase(0).verdict, Verdict::Pass);
    EXPECT_EQ(test->verdict(), Verdict::Pass);
    EXPECT_EQ(test->fuelConstant(), fuelConstant(1));
    // At idle lambda is shown for information only.
    EXPECT_FALSE(phase(0).deciding->checks[4].limited);
}

} // namespace
} // namespace vz::twospeed
