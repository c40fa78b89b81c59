#pragma once
// The guided two-speed emission test as plain logic. The test window feeds it the decoded
// result records and the measurement cycle's state, and passes on the operator's few
// decisions; the procedure reads an injected millisecond clock and decides everything else:
// whether the instrument is ready, whether the engine is conditioned, when the engine speed
// has been held long enough, which averages count and what the verdict is. The window shows
// what the views below say, the archive and the protocol record what the results say.
//
// The course of a test:
//
//  1. Gate. The instrument must be measuring and the probe clean. At a polled analyser
//     (9600 baud) the cycle must be running (OpState 1), OverRangeCount below 5, results
//     arriving, and the run must have time left for every phase at its phase limit before
//     RunTickLimit (else the window offers to start or restart the run). At 1200 baud the
//     analyser's state cannot be read: results arriving is all that is checked, and the view
//     says so. An engine speed of 0 means no speed signal. With the probe in clean air, HC
//     must stay below 20 ppm over 5 s of results (the hang-up check); it counts only while
//     everything else holds. Enter (proceed) goes on once all of it holds.
//  2. Conditioning. Oil at or above the set-up minimum, or, when the analyser gives no oil
//     temperature, the operator's confirmation that the engine is at operating temperature.
//     The engine speed must come from the record (RPM/1 or RPM/2), not vacuum mode. The
//     instrument conditions of the gate keep applying. Enter starts the phases.
//  3. Phases: high idle (lambda-controlled catalyst only), then idle, whatever the result
//     of the first (the protocol shows both). Each phase:
//       - stabilises: the speed must be inside the window for the stabilisation time; outside
//         it the countdown stops, and after more than 2 s outside stabilisation starts over;
//       - measures: the measuring time counts down while the speed is inside the window
//         (outside it the countdown stops; more than 2 s outside starts stabilisation over,
//         measuring time included). Once a whole averaging window of measuring has run, every
//         new sample gives a running average over the samples of the last averaging window;
//       - takes one sample per distinct result record, from the phase's start (samples of
//         stabilisation are recorded, only those of measuring are averaged);
//       - pauses, saying why, while the cycle is not running (at 9600 baud), no result has come
//         for 3 s, or the speed mode is vacuum; the countdowns stop and, when the pause ends,
//         stabilisation starts over (the readings of a zeroing or a warm-up say nothing
//         about the car);
//       - passes at the first valid average within every limit;
//       - fails when its measuring time ends, or its phase limit passes, without a passing
//         average after at least one valid average beyond a limit: the failing phase keeps
//         its last valid average. Diluting a failing car afterwards buys nothing;
//       - is void when it ends without any valid average.
//     The phase limit counts the whole phase, pauses included.
//  4. Verdict. Any failed phase fails the test ("НЕ СЪОТВЕТСТВА"); otherwise a void, aborted
//     or interrupted phase makes it invalid ("НЕВАЛИДЕН") with that phase's reason; otherwise
//     it passes ("СЪОТВЕТСТВА"). An operator's abort is a verdict too: the phase under way is
//     aborted (not failed) and later phases are not run; a phase already failed still fails
//     the test, otherwise the test is aborted whatever an earlier phase gave. Interrupting
//     (the station closing during the test) works the same way.
//
// An average is valid when it holds at least the minimum number of samples, every one of
// them inside the speed window, and CO + CO2 is at least the dilution threshold (a lower sum
// is a diluted sample: the probe is not in far enough or the line leaks). At high idle lambda
// must be computable from the averaged gases. Values are compared as printed: CO in 0.01 %,
// lambda (from the averaged gases with the fuel's constant) in 0.001; CO passes at or below
// its limit, lambda inside its band, ends included.
#include "TrainingMode.h"
#include "TwoSpeedLimits.h"
#include "TwoSpeedSetup.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace vz::twospeed {

// Milliseconds from any fixed origin, never going back (a monotonic clock).
using Clock = std::function<int64_t()>;

// One decoded result record. The window fills it from the station's readings each time the
// decoder has turned a result record into them.
struct Reading {
    // The record's identity. The same record decoded again (at 1200 baud the record is decoded
    // at every receive event) keeps its id and gives no new sample; any new record gets a new
    // id, even when its values are the same.
    uint64_t recordId = 0;
    double co = 0;    // % vol
    double co2 = 0;   // % vol
    double hcPpm = 0; // ppm
    double o2 = 0;    // % vol
    // Engine speed in min-1 as the record gives it (RPM/2 already halved); none in vacuum mode.
    std::optional<int> rpm;
    // Oil temperature in °C; none when the analyser gives none.
    std::optional<double> oilC;
};

// The measurement cycle, copied from StationState (fields of the same names) and the line.
struct CycleState {
    uint32_t baudRate = 9600;
    int opState = 7; // 1 running, 2 stop requested, 3 stopped, 4 warm-up, 5 zeroing, 6 initialising, 7 idle
    int overRangeCount = 0;
    int ticksSinceResult = 0;
    int runTicks = 0;
    int runTickLimit = 12 * 55 * 4;
    int runTickMs = 250; // the running state's tick
    int rpmMode = 1;     // 1 RPM/1, 2 RPM/2, 4 vacuum
};

enum class Stage { Gate, Conditioning, Phases, Finished };
enum class PhaseKind { HighIdle, Idle };
enum class PhaseStep { Stabilising, Measuring, Done };
enum class Verdict { Pending, Pass, Fail, Void, Aborted, Interrupted, NotRun };

QString phaseName(PhaseKind kind);   // "повишени обороти", "празен ход"
QString phaseKey(PhaseKind kind);    // "high-idle", "idle"
QString verdictKey(Verdict verdict); // "pass", "fail", "void", "aborted", "interrupted", ...
QString verdictTitle(Verdict verdict); // the overall verdict: "СЪОТВЕТСТВА", "НЕ СЪОТВЕТСТВА", "НЕВАЛИДЕН"
QString phaseVerdictText(Verdict verdict); // a phase's: "съответства", "не съответства", "невалидна", ...

// Something that keeps the test from going on, and what to do about it (both Bulgarian).
struct Block {
    enum class Code {
        NotRunning,     // the cycle is not in OpState 1
        OverRange,      // OverRangeCount >= 5
        NoResults,      // no result record lately
        RunTimeShort,   // the run ends before the test could
        NoEngineSpeed,  // the record's engine speed is 0
        HangUp,         // HC has not yet stayed below 20 ppm for 5 s
        VacuumMode,     // the engine speed does not come from the record
        OilCold,        // oil below the minimum
        OilUnconfirmed, // no oil temperature and no confirmation
    };
    Code code;
    QString text;
    QString action;
};

// What the window offers when the run cannot carry the test: F2 once (start) or twice (stop,
// then start again once stopped).
enum class RunAction { None, Start, Restart };

inline constexpr double kHangUpHcPpm = 20;
inline constexpr int64_t kHangUpMs = 5000;
inline constexpr int64_t kOutsideRestartMs = 2000;
inline constexpr int64_t kResultsStaleMs = 3000;
inline constexpr int kOverRangeBlock = 5;
inline constexpr int kTicksSinceResultLimit = 5;

struct GateView {
    QList<Block> blocks; // the instrument's blocks and, until it is done, the hang-up check
    RunAction runAction = RunAction::None;
    bool stateUnchecked = false; // 1200 baud: the analyser's state cannot be checked
    QString stateUncheckedNote;
    int64_t hangUpCleanMs = 0; // how long HC has stayed below 20 ppm so far
    bool hangUpDone = false;
    std::optional<double> hcPpm; // the last reading's HC
    bool ready() const { return blocks.isEmpty(); }
};

struct ConditioningView {
    QList<Block> blocks;
    RunAction runAction = RunAction::None;
    std::optional<double> oilC;
    double oilMinimumC = 0;
    bool oilConfirmed = false;
    bool ready() const { return blocks.isEmpty(); }
};

enum class Quantity { Co, Co2, Hc, O2, Lambda };
QString quantityName(Quantity q); // "CO", "CO₂", "HC", "O₂", "λ"
QString quantityUnit(Quantity q); // "%", "%", "ppm", "%", ""
QString quantityKey(Quantity q);  // "co", "co2", "hc", "o2", "lambda": record keys and ids

// One quantity of an average against its limit.
struct QuantityCheck {
    Quantity quantity = Quantity::Co;
    std::optional<double> value; // lambda may be missing
    QString valueText;           // as printed, "-" when missing
    bool limited = false;        // false: shown for information only
    QString limitText;           // "≤ 0,30", "0,970–1,030"; empty when not limited
    bool pass = true;            // inside the limit, or not limited
};

struct Average {
    int64_t atMs = 0; // test time of its last sample
    int samples = 0;
    double rpm = 0;
    double co = 0, co2 = 0, hcPpm = 0, o2 = 0;
    std::optional<double> oilC;
    std::optional<double> lambda;
    bool valid = false;
    QString invalidReason;
    QList<QuantityCheck> checks; // CO, CO2, HC, O2, lambda
    bool withinLimits = false;   // every limited check passes
};

struct Sample {
    int64_t atMs = 0; // test time, from the test's start
    std::optional<int> rpm;
    std::optional<double> oilC;
    double co = 0, co2 = 0, hcPpm = 0, o2 = 0;
    std::optional<double> lambda;
    bool inWindow = false;
    bool measuring = false; // taken while measuring (else while stabilising)
};

// A phase as the record and the protocol keep it.
struct PhaseResult {
    PhaseKind kind = PhaseKind::Idle;
    SpeedWindow window;
    Verdict verdict = Verdict::NotRun;
    QString reason; // why it failed, was void, aborted or interrupted
    QList<Sample> samples;
    // The average the verdict rests on: the passing one, or for a failed (and an aborted or
    // interrupted) phase the last valid one.
    std::optional<Average> deciding;
    std::optional<Average> lastAverage; // the last one evaluated, valid or not
    int64_t startedMs = -1;             // test time; -1 when not run
    int64_t endedMs = -1;
    int restarts = 0; // how often stabilisation started over
};

// The phase under way, for the window's gauge and countdowns.
struct PhaseView {
    PhaseKind kind = PhaseKind::Idle;
    SpeedWindow window;
    PhaseStep step = PhaseStep::Stabilising;
    std::optional<int> rpm;
    bool inWindow = false;
    int64_t stabilisationLeftMs = 0;
    int64_t measuringLeftMs = 0;
    int64_t phaseLeftMs = 0;
    bool paused = false;
    QString hint; // what the operator should do now (the pause reason while paused)
    std::optional<Average> liveAverage;
};

class TwoSpeedTest {
public:
    // The test begins at the clock's current time with the gate; the limits are chosen here.
    TwoSpeedTest(VehicleFacts vehicle, TwoSpeedSetup setup, TrainingMode training, Clock clock);

    // The cycle's state, after every tick of the cycle timer; lets time pass.
    void updateCycle(const CycleState& cycle);
    // A decoded result record; lets time pass first.
    void feed(const Reading& reading);
    // Lets time pass without anything new (a window timer between records).
    void tick();
    // Enter: from the gate to conditioning, from conditioning to the phases. False (and
    // nothing changes) while something blocks.
    bool proceed();
    // "Engine at operating temperature": accepted only in conditioning when the analyser
    // gives no oil temperature.
    bool confirmEngineWarm();
    // The operator aborts (Esc); the station closes during the test (interrupt). Both end
    // the test at once; nothing happens once it has ended.
    void abort();
    void interrupt(const QString& reason);

    Stage stage() const { return m_stage; }
    bool finished() const { return m_stage == Stage::Finished; }
    const VehicleFacts& vehicle() const { return m_vehicle; }
    const TwoSpeedSetup& setup() const { return m_setup; }
    const LimitSet& limits() const { return m_limits; }
    const TrainingMode& training() const { return m_training; }
    double fuelConstant() const { return m_fuelConstant; }

    GateView gate() const;
    ConditioningView conditioning() const;
    std::optional<PhaseView> currentPhase() const;
    // Every applicable phase, in order, from the start: phases not yet run are NotRun.
    const QList<PhaseResult>& phases() const { return m_phases; }

    Verdict verdict() const { return m_verdict; }
    QString reason() const { return m_reason; }

    // Oil at the start of the phases: measured, or confirmed by the operator.
    std::optional<double> oilAtStartC() const { return m_oilAtStartC; }
    bool oilConfirmed() const { return m_oilConfirmed; }

    // The clock's value when the test began; test times count from it.
    int64_t startClockMs() const { return m_startClockMs; }
    int64_t elapsedMs() const { return m_nowMs; }
    int64_t endedMs() const { return m_endedMs; } // -1 while the test runs
    // Run time the test needs: the phase limits of every applicable phase.
    int64_t requiredRunMs() const;

private:
    struct Run {
        PhaseStep step = PhaseStep::Stabilising;
        int64_t stabilisedMs = 0;
        int64_t measuredMs = 0;
        int64_t outsideMs = 0;
        int64_t elapsedMs = 0;
        bool inWindow = false;
        bool restartedOutside = false;
        bool paused = false;
        QString pauseReason;
        QList<qsizetype> window; // samples of the averaging window
        std::optional<Average> lastValid;
        QString lastInvalidReason;
        std::optional<Average> live;
    };

    void advance();
    void advancePhase(int64_t dt);
    void updatePause();
    // Starts stabilisation over; true when stabilisation had begun (something was lost).
    bool restartStabilisation();
    void takeSample(const Reading& reading);
    void evaluateAverage();
    Average averageOf(const QList<qsizetype>& indexes) const;
    void finishPhase(Verdict verdict, const QString& reason);
    // The measuring time (or, with phaseLimit, the phase limit) ran out without a pass.
    void endPhaseUndecided(bool phaseLimit);
    void startPhase(int index);
    void finishTest();
    void endEarly(Verdict verdict, const QString& reason);
    QList<Block> instrumentBlocks(RunAction& action, bool withSpeed) const;
    QString cyclePauseReason() const;
    bool resultsArriving() const;
    PhaseResult& current() { return m_phases[m_current]; }
    const PhaseResult& current() const { return m_phases[m_current]; }

    VehicleFacts m_vehicle;
    TwoSpeedSetup m_setup;
    TrainingMode m_training;
    LimitSet m_limits;
    Clock m_clock;
    double m_fuelConstant = 0;

    int64_t m_startClockMs = 0;
    int64_t m_nowMs = 0; // test time of the last advance
    int64_t m_endedMs = -1;
    Stage m_stage = Stage::Gate;

    CycleState m_cycle;
    std::optional<Reading> m_lastReading;
    std::optional<int64_t> m_lastFeedMs;
    std::optional<int64_t> m_cleanSinceMs;
    bool m_hangUpDone = false;
    bool m_oilConfirmed = false;
    std::optional<double> m_oilAtStartC;

    QList<PhaseResult> m_phases;
    int m_current = -1;
    Run m_run;

    Verdict m_verdict = Verdict::Pending;
    QString m_reason;
};

} // namespace vz::twospeed
