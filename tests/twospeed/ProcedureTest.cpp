// The two-speed procedure driven by its injected clock: the gate, conditioning, windows,
// pauses, restarts, averages, dilution, rounding at the limits and every verdict.
#include "Lambda.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedTest.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace vz::twospeed {
namespace {

// What the simulated car and analyser give, one result record at a time.
struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
    std::optional<double> oil = 90.0;
    bool rpmFromSameLine = true; // false: the speed came from another line (1200 baud)
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
    void feed(const Engine& e) {
        test->feed({++record, e.co, e.co2, e.hc, e.o2, e.rpm, e.oil, e.rpmFromSameLine});
    }
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
        drive({c.rpm, 0.0, 0.0, 0, 20.9}, 250); // clean air: only the instrument's block
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

    // At 1200 baud the analyser's state is unknown: results count, and the view says so.
    begin();
    cycle = state(7, 4, 1, 0, 1200);
    drive(kCleanAir, 5250);
    EXPECT_TRUE(test->gate().ready());
    EXPECT_TRUE(test->gate().stateUnchecked);
    EXPECT_FALSE(test->gate().stateUncheckedNote.isEmpty());
    wait(3001);
    EXPECT_EQ(codes(test->gate().blocks), QList<C>({C::NoResults}));
    // The window's count of over-range lines blocks at 1200 baud as the polled count does.
    begin();
    cycle = state(7, 5, 1, 0, 1200);
    drive(kCleanAir, 5250);
    EXPECT_EQ(codes(test->gate().blocks), QList<C>({C::OverRange, C::HangUp}));
    EXPECT_FALSE(test->proceed());
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
    // One sample per line, whether its bytes changed or not (1200 baud decodes at every
    // receive event, so a line is seen more than once).
    begin();
    cycle.baudRate = 1200;
    cycle.opState = 7;
    startPhases();
    for (int i = 0; i < 8; ++i) {
        now += 250;
        feed(kGoodHighIdle);
        test->feed({record, 9, 9, 9, 9, 2700, 90.0}); // the same line decoded again
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
    // Every average holding a sample of the pulled probe is invalid: the last one before the
    // pull decides.
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
    v.declaration = NoCatalystReason::RegisteredBeforeRequirement;
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

TEST_F(Procedure, CleanAirGateWantsLowHcLowCo2AndHighO2AndCountsOnlyWhileNothingElseIsWrong) {
    using C = Block::Code;
    struct Case {
        Engine air;
        QList<C> expected; // after 6 s of it
    };
    const Case cases[] = {
        {{800, 0.0, 0.5, 19, 19.5}, {}}, // every condition at its bound: clean
        {{800, 0.0, 0.51, 0, 20.9}, {C::Co2NotClean, C::HangUp}},
        {{800, 0.0, 0.0, 0, 19.49}, {C::O2NotClean, C::HangUp}},
        {{800, 0.0, 0.0, 20, 20.9}, {C::HcNotClean, C::HangUp}},
        {{800, 0.3, 2.0, 30, 18.0}, {C::HcNotClean, C::Co2NotClean, C::O2NotClean, C::HangUp}},
        {{0, 0.0, 0.0, 0, 20.9}, {C::NoEngineSpeed, C::HangUp}}, // clean, but no speed signal
    };
    for (const Case& c : cases) {
        begin();
        drive(c.air, 6000);
        const GateView g = test->gate();
        EXPECT_EQ(codes(g.blocks), c.expected) << c.air.co2 << " " << c.air.o2 << " " << c.air.rpm;
        EXPECT_EQ(g.hangUpDone, c.expected.isEmpty());
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(g.hangUpCleanMs, 0);
        }
        for (const Block& b : g.blocks)
            EXPECT_FALSE(b.text.isEmpty() || b.action.isEmpty());
    }
    // An engine speed of 0 on the way starts the count over.
    begin();
    drive(kCleanAir, 4000);
    drive({0, 0.0, 0.0, 0, 20.9}, 250);
    EXPECT_EQ(test->gate().hangUpCleanMs, 0);
    drive(kCleanAir, 5000);
    EXPECT_FALSE(test->gate().hangUpDone);
}

TEST_F(Procedure, CleanAirCheckHoldsTenMinutesBeforeTheFirstPhase) {
    struct Case {
        int64_t conditioningMs; // from the check passed to Enter in conditioning
        bool phasesStart;
    };
    for (const Case& c : {Case{600'000, true}, Case{601'000, false}}) {
        begin();
        drive(kCleanAir, 5250);
        ASSERT_TRUE(test->gate().hangUpDone);
        ASSERT_TRUE(test->proceed());
        drive(kGoodIdle, c.conditioningMs - 1000, 1000);
        EXPECT_EQ(test->conditioning().cleanAirLeftMs, kCleanAirValidMs - (c.conditioningMs - 1000));
        drive(kGoodIdle, 1000, 1000);
        EXPECT_EQ(test->proceed(), c.phasesStart) << c.conditioningMs;
        if (c.phasesStart) {
            EXPECT_EQ(test->stage(), Stage::Phases);
            continue;
        }
        EXPECT_EQ(test->stage(), Stage::Gate);
        EXPECT_FALSE(test->gate().hangUpDone);
        EXPECT_FALSE(test->gate().repeatReason.isEmpty());
        // Done again, then through conditioning into the phases.
        drive(kCleanAir, 5250);
        EXPECT_TRUE(test->gate().repeatReason.isEmpty());
        ASSERT_TRUE(test->proceed());
        EXPECT_EQ(test->stage(), Stage::Conditioning);
        ASSERT_TRUE(test->proceed());
        EXPECT_EQ(test->stage(), Stage::Phases);
    }
}

TEST_F(Procedure, MomentaryProbePullSpoilsEveryAverageItIsIn) {
    // Ten records in each 5-second average; the probe comes out for two of them just before
    // the first average. Averaged in, they would bring CO under the limit (8 x 0,36 % and
    // 2 x 0 % make 0,29 % at idle; CO + CO2 stays near 12 %).
    const SetupReadResult r = parseTwoSpeedSetup("StabilisationSeconds = 2\nMeasuringSeconds = 15\n"
                                                 "AveragingSeconds = 5\nPhaseLimitSeconds = 30\n",
                                                 QStringLiteral("TWOSPEED.ini"));
    ASSERT_TRUE(r.refused.isEmpty());
    struct Case {
        int phase;
        Engine car;
        int coUnits; // the car's CO as printed
    };
    const Case cases[] = {
        {0, {2700, 0.24, 14.8, 20, 0.2}, 24}, // high idle, limit 0,20 %
        {1, {800, 0.36, 14.6, 40, 0.3}, 36},  // idle, limit 0,30 %
    };
    const Engine pulled{0, 0.0, 0.0, 0, 20.9};
    for (const Case& c : cases) {
        begin(catalystCar(), r.setup);
        startPhases();
        while (c.phase == 1 && phase(0).verdict == Verdict::Pending)
            drive(kGoodHighIdle, 500, 500);
        drive(c.car, 6000, 500);
        Engine out = pulled;
        out.rpm = c.car.rpm;
        const int64_t firstOut = test->elapsedMs() + 500;
        drive(out, 1000, 500);
        drive(c.car, 500, 500); // the first average: the pulled samples are in it
        ASSERT_TRUE(test->currentPhase() && test->currentPhase()->liveAverage);
        EXPECT_EQ(test->currentPhase()->liveAverage->invalidReason,
                  QStringLiteral("пробата е разредена: сондата не е навлязла достатъчно или има теч"));
        while (phase(c.phase).verdict == Verdict::Pending)
            drive(c.car, 500, 500);

        const PhaseResult& p = phase(c.phase);
        EXPECT_EQ(p.verdict, Verdict::Fail) << c.phase;
        EXPECT_EQ(p.probeOuts, QList<int64_t>({firstOut, firstOut + 500}));
        EXPECT_EQ(
            std::count_if(p.samples.cbegin(), p.samples.cend(), [](const Sample& s) { return s.diluted; }),
            2);
        ASSERT_FALSE(p.failingAverages.isEmpty());
        for (const Average& a : p.failingAverages)
            EXPECT_EQ(printedUnits(a.co, 2), c.coUnits) << "a valid average held a pulled sample";
    }
}

TEST_F(Procedure, EndingAfterAFailingAverage) {
    enum class End { Abort, Interrupt, PhaseLimit };
    struct Case {
        End end;
        Verdict verdict;
        Ending ending;
        Verdict phaseVerdict;
    };
    const Case cases[] = {
        {End::Abort, Verdict::Fail, Ending::Aborted, Verdict::Fail},
        {End::Interrupt, Verdict::Interrupted, Ending::Interrupted, Verdict::Interrupted},
        {End::PhaseLimit, Verdict::Fail, Ending::TimeLimit, Verdict::Fail},
    };
    for (const Case& c : cases) {
        begin();
        startPhases();
        drive({2700, 0.5, 14.5, 60, 0.2}, 4500); // a valid average beyond 0,20 %
        ASSERT_FALSE(phase(0).failingAverages.isEmpty());
        ASSERT_EQ(phase(0).verdict, Verdict::Pending);
        EXPECT_TRUE(test->abortFails());
        switch (c.end) {
        case End::Abort:
            test->abort();
            break;
        case End::Interrupt:
            test->interrupt(QStringLiteral("портът е загубен"));
            break;
        case End::PhaseLimit:
            drive({2300}, 8000); // out of the window until the phase limit
            EXPECT_TRUE(phase(0).endedByPhaseLimit);
            drive(kGoodIdle, 4500);
            break;
        }
        ASSERT_TRUE(test->finished());
        EXPECT_EQ(test->verdict(), c.verdict) << int(c.end);
        EXPECT_EQ(test->ending(), c.ending) << int(c.end);
        EXPECT_EQ(phase(0).verdict, c.phaseVerdict) << int(c.end);
        EXPECT_TRUE(test->reason().contains(QStringLiteral("CO 0,50 % > 0,20 %")))
            << test->reason().toStdString();
        const std::optional<PhaseAverage> failing = test->failingAverage();
        ASSERT_TRUE(failing) << int(c.end);
        EXPECT_EQ(failing->phase, PhaseKind::HighIdle);
        EXPECT_EQ(printedUnits(failing->average.co, 2), 50);
    }
    EXPECT_EQ(verdictTitle(Verdict::Interrupted), QStringLiteral("НЕВАЛИДЕН"));

    // Without a failing average an abort stays an abort, with nothing to show.
    begin();
    startPhases();
    drive(kGoodHighIdle, 1000);
    EXPECT_FALSE(test->abortFails());
    test->abort();
    EXPECT_EQ(test->verdict(), Verdict::Aborted);
    EXPECT_EQ(test->ending(), Ending::Aborted);
    EXPECT_FALSE(test->failingAverage());
}

TEST_F(Procedure, AtTwelveHundredBaudASpeedFromAnotherLineProvesNothing) {
    // A speed from another line neither brings the speed back into the window nor takes it out.
    struct Case {
        Engine before, then;
        int restarts;
    };
    Engine otherInside = kGoodHighIdle;
    otherInside.rpmFromSameLine = false;
    Engine otherOutside = otherInside;
    otherOutside.rpm = 2000;
    const Case cases[] = {
        {{2000}, otherInside, 1},         // 1,5 s out, then "inside" by other lines only: restarted
        {kGoodHighIdle, otherOutside, 0}, // inside, then 3 s "outside" by other lines: counting on
    };
    for (const Case& c : cases) {
        begin();
        cycle.baudRate = 1200;
        cycle.opState = 7;
        startPhases();
        drive(kGoodHighIdle, 1000);
        drive(c.before, 1500);
        drive(c.then, 3000);
        EXPECT_EQ(phase(0).restarts, c.restarts) << c.then.rpm;
        EXPECT_FALSE(phase(0).samples.last().inWindow);
        EXPECT_FALSE(phase(0).samples.last().rpmFromSameLine);
    }
    // Measuring on such lines gives no valid average.
    ASSERT_EQ(test->currentPhase()->step, PhaseStep::Measuring);
    ASSERT_TRUE(test->currentPhase()->liveAverage);
    EXPECT_TRUE(
        test->currentPhase()->liveAverage->invalidReason.contains(QStringLiteral("реда на газовете")));
}

TEST_F(Procedure, AFailingAverageIsWithheldUntilItsJournalLineIsWritten) {
    begin();
    startPhases();
    drive({2700, 0.5, 14.5, 60, 0.2}, 4250);
    ASSERT_EQ(phase(0).failingAverages.size(), 1);
    EXPECT_TRUE(test->evidencePending());
    EXPECT_TRUE(test->currentPhase()->liveAverageWithheld);
    EXPECT_FALSE(test->currentPhase()->liveAverage);
    JournalMark mark;
    mark.failingWritten = {0, 0};
    test->evidenceWritten(mark); // a line without it changes nothing
    EXPECT_TRUE(test->evidencePending());
    mark.failingWritten = {1, 0};
    test->evidenceWritten(mark);
    EXPECT_FALSE(test->evidencePending());
    ASSERT_TRUE(test->currentPhase()->liveAverage);
    EXPECT_EQ(printedUnits(test->currentPhase()->liveAverage->co, 2), 50);
    drive({2700, 0.5, 14.5, 60, 0.2}, 250); // the next one waits for its line again
    EXPECT_TRUE(test->currentPhase()->liveAverageWithheld);
    // Invalid averages are not evidence and are shown at once.
    drive({2700, 0.5, 2.0, 60, 17}, 250);
    EXPECT_FALSE(test->currentPhase()->liveAverageWithheld);
    EXPECT_FALSE(test->currentPhase()->liveAverage->valid);
}

} // namespace
} // namespace vz::twospeed
