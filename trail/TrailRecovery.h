#pragma once
// What a crash, a power cut or a full disk can leave in the station directory, and its
// repair. inspectTrail() reads only the ends of the log and the chain; decideRecovery() is a
// pure function of what it found, so that `pregledi` can say what the station would do and
// the station can do it (applyRecovery), holding the directory lock, before its first append
// and before each one after (where it normally finds nothing to do).
#include "ChainFile.h"
#include "ExamChain.h"
#include "StationFile.h"

#include <QString>
#include <QStringList>

namespace vz {

inline constexpr char kPendingPrintFileName[] = "Pregledi.printing";

// The end of the log: the highest examination with a whole record.
struct LogEnd {
    int lastNumber = 0;        // 0: no record at all
    int lastFileIndex = -1;    // the file that holds it (or the torn bytes)
    int64_t fileSize = 0;      // that file's size
    int64_t tornBytes = 0;     // bytes after its last whole record (a torn record or zeros)
    bool lastIsRecord = false; // lastNumber is a whole record (not only torn bytes)
    QStringList unusable;      // log files that are not regular files or cannot be read
};

struct TrailInspection {
    QString dir;
    LogEnd log;
    FileKind chainKind = FileKind::Missing;
    QString chainProblem; // the chain cannot be used as it is (a link, a FIFO, unreadable, ...)
    ChainTail chain;      // when there is a usable chain
    StationKey key;
    int pendingPrint = 0; // an examination whose printing never finished (0: none)
};
TrailInspection inspectTrail(const QString& dir);

// Whether entries must be keyed: once a key file exists or the chain holds keyed entries the
// station never seals unkeyed.
bool keyRequired(const TrailInspection& inspection);
// The key to seal with: null when unkeyed; `trouble` says why sealing is not possible now.
const QByteArray* sealingKey(const TrailInspection& inspection, QString* trouble);

struct RecoveryPlan {
    int setAsideLogFile = -1;   // a log file whose torn end is kept aside and cut off
    int64_t logKeepSize = 0;    // its size after
    bool setAsideChain = false; // the whole chain renamed aside (nothing in it can be read)
    bool setAsideChainTail = false;
    int64_t chainKeepSize = 0;
    int fillFrom = 0, fillTo = 0; // examinations the chain holds but the log lost: fillers
    int completeLast = 0;         // the last record sealed after the fact (recovered entry)
    QByteArray breakReason;       // a break entry after the above (empty: none)
    int breakNumber = 0;
    bool keyedEntries = false; // the entries above are keyed
    int pendingPrint = 0;
    QStringList notes; // what is wrong and is left alone (a link as chain, ...)

    bool repairs() const {
        return setAsideLogFile >= 0 || setAsideChain || setAsideChainTail || fillFrom > 0 ||
               completeLast > 0 || !breakReason.isEmpty();
    }
    // One line per step, in English, for the diagnostics and `pregledi`.
    QStringList describe() const;
};
RecoveryPlan decideRecovery(const TrailInspection& inspection);

struct RecoveryResult {
    QStringList done;   // what was repaired, in English
    QStringList failed; // what could not be, in English
};
// Carries out the plan in the directory the inspection was made of. Each step is durable
// (data, then the directory) before the next begins.
RecoveryResult applyRecovery(const TrailInspection& inspection, const RecoveryPlan& plan);

// The operator's words for a repair at start, in Bulgarian (empty when nothing was done).
QString recoveryOperatorText(const RecoveryPlan& plan, const RecoveryResult& result);

// Copies the bytes of `file` (named `name` in `dir`) after `keep` into a new set-aside file
// NAME.torn-..., then cuts the file back to `keep`; `done` says what was done.
bool setTailAside(StationFile& file, const QString& dir, const QString& name, int64_t keep, QString* done,
                  QString* error);

// The name a set-aside file gets: NAME.torn-YYYYMMDD-HHMMSS (or .aside-), made unique.
QString setAsideName(const QString& dir, const QString& name, const char* what);

} // namespace vz
