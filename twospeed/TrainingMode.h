#pragma once
// Training: a test that runs like any other but is no official examination. The window decides
// the inputs (demo mode, a pseudo-terminal as serial line, today's date); the procedure and the
// record only carry the result, and the protocol prints the mark.
#include <QDate>
#include <QString>

namespace vz::twospeed {

enum class TrainingReason {
    None,
    DemoMode,            // the station replays its demo file
    PseudoTerminal,      // the serial line is a pseudo-terminal: a simulated analyser
    VerificationExpired, // the analyser's legal verification has run out
};

struct TrainingMode {
    bool active = false;
    TrainingReason reason = TrainingReason::None;
    QString reasonText; // Bulgarian, e.g. "проверката на анализатора е изтекла на 31.12.2025"
};

// The mark the window, the protocol and the record show.
inline const QString kTrainingMark = QStringLiteral("ОБУЧЕНИЕ – НЕ Е ОФИЦИАЛЕН");

// Training when any reason holds, the first in the order above named. The verification runs
// out after its last day (`verificationExpires` < `today`); no date in the set-up file is no
// reason (the protocol prints the date as missing).
TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const QDate& verificationExpires,
                          const QDate& today);

} // namespace vz::twospeed
