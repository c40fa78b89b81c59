#pragma once
// Training: a test that runs like any other but is no official examination. The window decides
// the inputs (demo mode, a pseudo-terminal as serial line, the set-up, today's date); the
// procedure and the record only carry the result, and the protocol prints the mark.
//
// A test is official only when it can be: the analyser is named and verified, the line is a
// real one, and the set-up asks at least what the procedure needs. Each of these, when it
// fails, is a reason; a test is training when any reason holds, and every reason that holds
// is kept, in the order of TrainingReason.
#include "TwoSpeedSetup.h"

#include <QDate>
#include <QList>
#include <QString>

namespace vz::twospeed {

enum class TrainingReason {
    None,
    DemoMode,            // the station replays its demo file
    PseudoTerminal,      // the serial line is a pseudo-terminal: a simulated analyser
    VerificationExpired, // the analyser's legal verification has run out
    // Added later; the order of the list of reasons is that of trainingReasonOrder().
    SerialMissing,           // TWOSPEED.ini gives no AnalyserSerial
    VerificationDateMissing, // TWOSPEED.ini gives no VerificationExpires
    HighIdleBelowFloor,      // the high-idle window reaches below 2000 min-1
    StabilisationBelowFloor, // stabilisation under 10 s
    AveragingBelowFloor,     // averages over less than 5 s
    SamplesBelowFloor,       // averages of fewer than 4 samples
    DilutionBelowFloor,      // a dilution threshold under 6 %
};

// The order reasons are listed and recorded in: what makes the analyser no real one, then its
// papers, then the set-up.
QList<TrainingReason> trainingReasonOrder();

// The record's key: "demo-mode", "pseudo-terminal", "verification-expired",
// "analyser-serial-missing", "verification-date-missing", "high-idle-below-floor",
// "stabilisation-below-floor", "averaging-below-floor", "samples-below-floor",
// "dilution-below-floor"; empty for None.
QString trainingReasonKey(TrainingReason reason);

struct TrainingCause {
    TrainingReason reason = TrainingReason::None;
    QString text; // Bulgarian, as the window, the protocol and the record show it
    bool operator==(const TrainingCause&) const = default;
};

struct TrainingMode {
    bool active = false;
    // The first reason that holds, and its text.
    TrainingReason reason = TrainingReason::None;
    QString reasonText; // Bulgarian, e.g. "проверката на анализатора е изтекла на 31.12.2025"
    // Every reason that holds, in the order of trainingReasonOrder(); its first is `reason`.
    QList<TrainingCause> reasons;

    // `reasons`, or the one reason of a mode made without the list.
    QList<TrainingCause> allReasons() const;
    // Every reason's text joined with "; ", for one line on the screen and the paper.
    QString allReasonsText() const;
};

// The mark the window, the protocol and the record show.
inline const QString kTrainingMark = QStringLiteral("ОБУЧЕНИЕ – НЕ Е ОФИЦИАЛЕН");

// The least the procedure needs of the set-up for an official test. A set-up value that asks
// less (the file allows shorter times and fewer samples for trials) makes every test training.
inline constexpr int kFloorHighIdleMinRpm = 2000;
inline constexpr int kFloorStabilisationMs = 10000;
inline constexpr int kFloorAveragingMs = 5000;
inline constexpr int kFloorMinimumSamples = 4;
inline constexpr int kFloorDilutionHundredths = 600; // 6 %

// Every set-up value below its floor, as training causes in the order above.
QList<TrainingCause> setupFloorBreaches(const TwoSpeedSetup& setup);

// Training when any reason holds: the station in demo mode, the line a pseudo-terminal, no
// analyser serial number or verification date in the set-up, the verification run out (after
// its last day: `verificationExpires` < `today`), or a set-up value below its floor.
TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const TwoSpeedSetup& setup, const QDate& today);

// The older check, for callers that have only the verification date: demo mode, a
// pseudo-terminal and an expired verification, where no date at all is no reason. Use the
// overload above for a test: it leaves no official test without a named, verified analyser.
TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const QDate& verificationExpires,
                          const QDate& today);

// What the station says once at its start when the set-up file leaves every two-speed test a
// training one: no TWOSPEED.ini, no serial number or verification date in it, or a value
// below its floor. Empty when the set-up allows official tests (an expired date is told by
// each test: it is a date to renew, not a file to write).
QString setupTrainingNotice(const SetupReadResult& read);

} // namespace vz::twospeed
