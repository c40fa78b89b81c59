#pragma once
// The guided two-speed emission test as plain logic. The test window feeds it the decoded
// result records and the measurement cycle's state, and passes on the operator's few
// decisions; the procedure reads an injected millisecond clock and decides everything else:
// whether the instrument is ready, whether the engine is conditioned, when the engine speed
// has been held long enough, which samples and averages count and what the verdict is. The
// window shows what the views below say, the archive and the protocol record what the results
// say.
//
// The course of a test:
//
//  1. Gate. The instrument must be measuring and the probe in clean air. At a polled analyser
//     (9600 baud) the cycle must be running (OpState 1), results arriving, and the run must
//     have time left for every phase at its phase limit before RunTickLimit (else the window
//     offers to start or restart the run). At 1200 baud the analyser's state cannot be read:
//     results arriving is all that is checked of it, and the view says so. At both rates the
//     over-range count must stay below 5; CycleState::overRangeCount is, at 9600 baud, the
//     analyser's own OverRangeCount as the station polls it, and at 1200 baud the window's
//     count of over-range lines (one per line of the analyser) since the last zeroing. An
//     engine speed of 0 means no speed signal and blocks too.
//     The clean-air check: HC below 20 ppm, CO2 at most 0.5 % and O2 at least 19.5 % (values
//     as printed), all of them over 5 s of results. Each of the three not met is a block of its
//     own saying what is wrong; the count goes on only while every other block is clear (any
//     of them, the engine speed of 0 included, stops it and it starts over). Enter (proceed)
//     goes on once all of it holds.
//     The clean-air check holds for 10 minutes from the moment it was passed: the analyser
//     drifts, and a probe that has been in an exhaust keeps hydrocarbons. Once they are over
//     before the phases have started, the check is undone and the test, in conditioning,
//     goes back to the gate to do it again, saying why (GateView::repeatReason), and comes
//     back through conditioning (a confirmed engine temperature is confirmed again).
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
//       - takes one sample per line of the analyser, from the phase's start (samples of
//         stabilisation are recorded, only those of measuring are averaged). A sample whose
//         engine speed did not come from its own line (1200 baud) proves nothing about the
//         speed: it counts as outside the window for averaging, and leaves the speed state
//         and the outside timer as they were;
//       - checks every sample on its own for dilution: CO + CO2 below the set-up's threshold
//         is a diluted sample (the probe out or the line leaking), recorded as a probe-out
//         event at its time. O2 is never used for this: lean-burn, air-injected and
//         non-catalyst engines run with high O2;
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
//     it passes ("СЪОТВЕТСТВА"). An operator's abort (Esc, the close button) is a verdict too:
//     later phases are not run; the phase under way fails when it already holds a valid
//     average beyond a limit (a reading the operator has seen cannot be taken back by
//     starting again), and is aborted otherwise; a phase already failed still fails the
//     test, otherwise the test is aborted whatever an earlier phase gave. Interrupting (a
//     technical end: the station closing or killed, the port lost) works the same way except
//     that a failing average of the phase under way does not fail the test: it stays
//     interrupted, "after a failing average", and keeps that average (failingAverage()).
//     The ending is kept beside the verdict: completed, aborted, interrupted, or time-limit
//     when a phase was ended by its phase limit.
//
// An average is valid when it holds at least the minimum number of samples, none of them
// diluted, every one of them inside the speed window with its speed from its own line, and
// CO + CO2 of the average is at least the dilution threshold too. At high idle lambda must be
// computable from the averaged gases. Values are compared as printed: CO in 0.01 %, lambda
// (from the averaged gases with the fuel's constant) in 0.001; CO passes at or below its
// limit, lambda inside its band, ends included.
//
// A failing reading is evidence. Every valid average beyond a limit is kept in its phase
// (PhaseResult::failingAverages) and goes into the next journal line (samplesRecord's
// "failing"); the phase view withholds such an average until the window says, through
// evidenceWritten(), that the journal line holding it is in the archive. So an average the
// operator has seen failing is on disk whatever ends the test afterwards.
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

// One sample: one line of the analyser, decoded. The window fills it from the station's
// readings each time the decoder has turned a result record into them.
struct Reading {
    // The line's identity: one sample is one line. The same line decoded again (at 1200 baud
    // the record is decoded at every receive event) keeps its id and gives no new sample; every
    // new line of the analyser gets a new id, even when its bytes are the same as the last.
    uint64_t recordId = 0;
    double co = 0;    // % vol
    double co2 = 0;   // % vol
    double hcPpm = 0; // ppm
    double o2 = 0;    // % vol
    // Engine speed in min-1 as the record gives it (RPM/2 already halved); none in vacuum mode.
    std::optional<int> rpm;
    // Oil temperature in °C; none when the analyser gives none.
    std::optional<double> oilC;
    // Whether `rpm` came from the same line as the gases. At 1200 baud the speed can lag the
    // gases by a line; such a sample cannot show that the speed was in the window.
    bool rpmFromSameLine = true;
};

// The measurement cycle, copied from StationState (fields of the same names) and the line.
struct CycleState {
    uint32_t baudRate = 9600;
    int opState = 7; // 1 running, 2 stop requested, 3 stopped, 4 warm-up, 5 zeroing, 6 initialising, 7 idle
    // Over-range results since the last zeroing: at 9600 baud the analyser's OverRangeCount as
    // the station polls it; at 1200 baud, where the analyser's state cannot be read, the
    // window's count of over-range lines. The gate blocks at kOverRangeBlock at both rates.
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
// How the test ended, beside its verdict: every phase ran to its end (Completed), or one of
// them by its phase limit (TimeLimit); the operator ended it (Aborted); a technical end
// (Interrupted).
enum class Ending { Completed, Aborted, Interrupted, TimeLimit };

QString phaseName(PhaseKind kind);   // "повишени обороти", "празен ход"
QString phaseKey(PhaseKind kind);    // "high-idle", "idle"
QString verdictKey(Verdict verdict); // "pass", "fail", "void", "aborted", "interrupted", ...
QString verdictTitle(Verdict verdict); // the overall verdict: "СЪОТВЕТСТВА", "НЕ СЪОТВЕТСТВА", "НЕВАЛИДЕН"
QString phaseVerdictText(Verdict verdict); // a phase's: "съответства", "не съответства", "невалидна", ...
QString endingKey(Ending ending); // "completed", "aborted", "interrupted", "time-limit"

// Something that keeps the test from going on, and what to do about it (both Bulgarian).
struct Block {
    enum class Code {
        NotRunning,     // the cycle is not in OpState 1
        OverRange,      // the over-range count >= 5 (see CycleState::overRangeCount)
        NoResults,      // no result record lately
        RunTimeShort,   // the run ends before the test could
        NoEngineSpeed,  // the record's engine speed is 0
        HangUp,         // the clean-air check is not done yet (its count, 5 s)
        VacuumMode,     // the engine speed does not come from the record
        OilCold,        // oil below the minimum
        OilUnconfirmed, // no oil temperature and no confirmation
        HcNotClean,     // clean-air check: HC at or above 20 ppm now
        Co2NotClean,    // clean-air check: CO2 above 0.5 % now
        O2NotClean,     // clean-air check: O2 below 19.5 % now
    };
    Code code;
    QString text;
    QString action;
};

// What the window offers when the run cannot carry the test: F2 once (start) or twice (stop,
// then start again once stopped).
enum class RunAction { None, Start, Restart };

inline constexpr double kHangUpHcPpm = 20;                  // clean air: HC below
inline constexpr double kCleanAirCo2MaxPercent = 0.5;       // clean air: CO2 at most
inline constexpr double kCleanAirO2MinPercent = 19.5;       // clean air: O2 at least
inline constexpr int64_t kHangUpMs = 5000;                  // clean air held this long
inline constexpr int64_t kCleanAirValidMs = 10 * 60 * 1000; // a passed check holds this long
inline constexpr int64_t kOutsideRestartMs = 2000;
inline constexpr int64_t kResultsStaleMs = 3000;
inline constexpr int kOverRangeBlock = 5;
inline constexpr int kTicksSinceResultLimit = 5;

struct GateView {
    // The instrument's blocks, the clean-air conditions not met now and, until it is done,
    // the clean-air check itself (HangUp).
    QList<Block> blocks;
    RunAction runAction = RunAction::None;
    bool stateUnchecked = false; // 1200 baud: the analyser's state cannot be checked
    QString stateUncheckedNote;
    int64_t hangUpCleanMs = 0;   // how long the air has stayed clean so far
    bool hangUpDone = false;     // the clean-air check is passed (and still holds)
    std::optional<double> hcPpm; // the last reading's HC
    std::optional<double> co2;   // ... CO2
    std::optional<double> o2;    // ... O2
    // Why the check is being done again (it was passed more than 10 minutes before the
    // phases could start); empty the first time.
    QString repeatReason;
    bool ready() const { return blocks.isEmpty(); }
};

struct ConditioningView {
    QList<Block> blocks;
    RunAction runAction = RunAction::None;
    std::optional<double> oilC;
    double oilMinimumC = 0;
    bool oilConfirmed = false;
    // How long the clean-air check still holds; at 0 the test goes back to the gate.
    int64_t cleanAirLeftMs = 0;
    bool ready() const { return blocks.isEmpty(); }
};

enum class Quantity { Co, Co2, Hc, O2, Lambda };
QString quantityName(Quantity q); // "CO", "CO₂", "HC", "O₂", "λ"
QString quantityUnit(Quantity q); // "%", "%", "ppm", "%", ""
QString quantityKey(Quantity q);  // "co", "co2", "hc", "o2", "lambda": record keys and ids
std::optional<Quantity> quantityOfKey(const QString& key); // the reverse of quantityKey

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

// The checks an average fails, as the reasons print them: "CO 0,45 % > 0,30 %; λ 1,052 извън
// 0,970–1,030".
QString failText(const QList<QuantityCheck>& checks);

// A valid average beyond a limit, with the phase it was taken in.
struct PhaseAverage {
    PhaseKind phase = PhaseKind::Idle;
    Average average;
};

struct Sample {
    int64_t atMs = 0; // test time, from the test's start
    std::optional<int> rpm;
    std::optional<double> oilC;
    double co = 0, co2 = 0, hcPpm = 0, o2 = 0;
    std::optional<double> lambda;
    bool inWindow = false;
    bool measuring = false;      // taken while measuring (else while stabilising)
    bool diluted = false;        // CO + CO2 below the dilution threshold: the probe was out
    bool rpmFromSameLine = true; // the speed came from the gases' line (else inWindow is false)
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
    // Every valid average beyond a limit, in the order found: the evidence the journal keeps.
    QList<Average> failingAverages;
    // Test times of the diluted samples of the phase (stabilisation included): each one a
    // moment the probe was out or the line leaked.
    QList<int64_t> probeOuts;
    int64_t startedMs = -1; // test time; -1 when not run
    int64_t endedMs = -1;
    int restarts = 0;               // how often stabilisation started over
    bool endedByPhaseLimit = false; // its phase limit ended it
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
    // The latest average, for showing; none while it is withheld.
    std::optional<Average> liveAverage;
    // The latest average is a valid one beyond a limit that the archive does not hold yet:
    // it is shown once evidenceWritten() covers it (write the journal line first).
    bool liveAverageWithheld = false;
};

// How far the journal has got: samples written per phase, the phases whose end is written,
// and the failing averages written per phase. samplesRecord() moves it on.
struct JournalMark {
    QList<qsizetype> samplesWritten;
    QList<bool> endWritten;
    QList<qsizetype> failingWritten;
};

class TwoSpeedTest {
public:
    // The test begins at the clock's current time with the gate; the limits are chosen here.
    TwoSpeedTest(VehicleFacts vehicle, TwoSpeedSetup setup, TrainingMode training, Clock clock);

    // The cycle's state, after every tick of the cycle timer; lets time pass.
    void updateCycle(const CycleState& cycle);
    // A decoded line of the analyser; lets time pass first.
    void feed(const Reading& reading);
    // Lets time pass without anything new (a window timer between records).
    void tick();
    // Enter: from the gate to conditioning, from conditioning to the phases. False (and
    // nothing changes) while something blocks, and when the clean-air check has just
    // expired (the test is back at the gate).
    bool proceed();
    // "Engine at operating temperature": accepted only in conditioning when the analyser
    // gives no oil temperature.
    bool confirmEngineWarm();
    // The operator aborts (Esc, the close button); the station stops the test for a technical
    // reason (interrupt: closing, the port lost). Both end the test at once; nothing happens
    // once it has ended.
    void abort();
    void interrupt(const QString& reason);
    // Whether abort() now would fail the test: a phase has failed, or the phase under way
    // holds a valid failing average (for the window's abort question).
    bool abortFails() const;

    // The journal line up to `mark` (as samplesRecord() left it) is written to the archive and
    // synced: the failing averages it holds may be shown. Call it only for a written line.
    void evidenceWritten(const JournalMark& mark);
    // A valid failing average is waiting for its journal line: write one now.
    bool evidencePending() const;

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
    // How the test ended (meaningful once finished).
    Ending ending() const { return m_ending; }
    // The valid failing average the verdict rests on (a failed test: its first failed
    // phase's), or, for an interrupted test, the one its phase under way held; none otherwise.
    std::optional<PhaseAverage> failingAverage() const;

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
    bool diluted(double co, double co2) const;
    void evaluateAverage();
    Average averageOf(const QList<qsizetype>& indexes) const;
    void finishPhase(Verdict verdict, const QString& reason);
    // The measuring time (or, with phaseLimit, the phase limit) ran out without a pass.
    void endPhaseUndecided(bool phaseLimit);
    void startPhase(int index);
    void finishTest(std::optional<Ending> early = std::nullopt);
    void endEarly(Verdict verdict, const QString& reason);
    // The gate: the clean-air count on a new reading, and its ageing as time passes.
    void countCleanAir(const Reading& reading);
    void ageCleanAir();
    QList<Block> cleanAirBlocks() const;
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
    int64_t m_cleanAirDoneMs = 0; // test time the clean-air check was passed
    QString m_cleanAirRepeatReason;
    bool m_oilConfirmed = false;
    std::optional<double> m_oilAtStartC;

    QList<PhaseResult> m_phases;
    int m_current = -1;
    Run m_run;
    QList<qsizetype> m_failingRecorded; // per phase: failing averages the archive holds

    Verdict m_verdict = Verdict::Pending;
    QString m_reason;
    Ending m_ending = Ending::Completed;
};

} // namespace vz::twospeed
