#pragma once
// The station's side of the examination trail: the ordered, durable append of one record
// with its seal, and the repair at start of whatever a crash left. Only the station writes
// here, and only while it holds the directory lock (TrailLock.h).
//
// An append goes: the record written at its place, synced; the chain entry written, synced;
// the directory synced; then the caller prints. The log is the record: a failure to log is
// the append's failure, and nothing is printed. Trouble with the chain or the key never
// stops it: the record is logged, the trouble is returned for the operator, and the chain
// takes up again at the next entry it can write with a break entry that says why.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vz {

// The steps of an append, in their order, for the test seam below.
enum class TrailStep {
    RecordWritten,
    RecordSynced,
    ChainWritten,
    ChainSynced,
    DirectorySynced,
    PrintingStarted
};
const char* trailStepName(TrailStep step);

// Called after each step. Tests stop an append there; without a hook, the environment
// variable VZ_TRAIL_CRASH_AT=<step name> kills the process at that step (SIGKILL), so that an
// end-to-end test can leave each crash state behind a real station.
using TrailStepHook = std::function<void(TrailStep)>;
void setTrailStepHook(TrailStepHook hook);
void passTrailStep(TrailStep step);

struct TrailAppend {
    bool logged = false;
    int examNumber = 0;
    QString logError;      // the log could not be written: nothing logged, nothing to print
    QString sealTrouble;   // logged, but not sealed (or sealed after a break): why, in English
    QStringList recovered; // what the repair before the append did, if anything
};

// Logs `record` (160 bytes) in the station directory `dir` as the next examination.
TrailAppend appendExam(const QString& dir, const QByteArray& record);

} // namespace vz

namespace vz {

// Pregledi.printing holds the number of the examination being printed from just before
// printing starts until it has been handed to the printer; one left behind at start means
// that printing never finished.
bool markPrinting(const QString& dir, int examNumber, QString* error);
bool clearPrinting(const QString& dir, QString* error);

// The record of examination `number` read straight from its place; nothing, with `error`
// saying why, when its file or place holds no whole record.
std::optional<QByteArray> readLoggedRecord(const QString& dir, int number, QString* error);

} // namespace vz
