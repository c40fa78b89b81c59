#include "ExamTrail.h"

#include "ChainSeal.h"
#include "LogFiles.h"
#include "TrailRecovery.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace vz {
namespace {

TrailStepHook& stepHook() {
    static TrailStepHook hook;
    return hook;
}

QString inDir(const QString& dir, const char* name) {
    return stationPath(dir, QString::fromLatin1(name));
}

// Writes the record's entry in the examination chain (ChainSeal.h). Returns what went wrong,
// empty when the record is sealed.
QString sealRecord(const TrailInspection& trail, int number, const QByteArray& record) {
    const ChainState chain{inDir(trail.dir, kChainFileName), QString::fromLatin1(kChainFileName),
                           trail.chainProblem, trail.chain};
    QString keyTrouble;
    const QByteArray* key = sealingKey(trail, &keyTrouble);
    return sealInChain(chain, key, keyTrouble, number, record, "examinations").trouble;
}

} // namespace

const char* trailStepName(TrailStep step) {
    switch (step) {
    case TrailStep::RecordWritten:
        return "record-written";
    case TrailStep::RecordSynced:
        return "record-synced";
    case TrailStep::ChainWritten:
        return "chain-written";
    case TrailStep::ChainSynced:
        return "chain-synced";
    case TrailStep::DirectorySynced:
        return "directory-synced";
    case TrailStep::PrintingStarted:
        return "printing-started";
    }
    return "";
}

void setTrailStepHook(TrailStepHook hook) {
    stepHook() = std::move(hook);
}

void passTrailStep(TrailStep step) {
    if (stepHook()) {
        stepHook()(step);
        return;
    }
    static const QByteArray crashAt = qgetenv("VZ_TRAIL_CRASH_AT");
    if (!crashAt.isEmpty() && crashAt == trailStepName(step))
        ::kill(::getpid(), SIGKILL);
}

TrailAppend appendExam(const QString& dir, const QByteArray& record) {
    TrailAppend result;
    TrailInspection trail = inspectTrail(dir);
    RecoveryPlan plan = decideRecovery(trail);
    plan.pendingPrint = 0; // told at start, not here
    if (plan.repairs()) {
        const RecoveryResult repaired = applyRecovery(trail, plan);
        result.recovered = repaired.done + repaired.failed;
        trail = inspectTrail(dir);
    }

    const int number =
        std::max(trail.log.lastNumber, trail.chain.last ? trail.chain.last->examNumber : 0) + 1;
    if (number > kLastExamNumber) {
        result.logError = QStringLiteral("the examination log is full");
        return result;
    }
    const ExamPlace place = examPlace(number);
    const QString name = examLogFileName(place.fileIndex);
    StationFile log;
    if (!log.open(stationPath(dir, name), StationFile::Access::ReadWriteCreate, kFullLogFileSize)) {
        result.logError = log.error();
        return result;
    }
    // Undoes a failed append: the file as it was, or gone if the append made it.
    auto fail = [&](const QString& error) {
        if (log.created()) {
            log.close();
            QFile::remove(stationPath(dir, name));
        } else {
            log.truncate(place.offset());
            log.sync();
        }
        result.logError = error;
        return result;
    };
    const int64_t size = log.size();
    if (size != place.offset())
        return fail(QStringLiteral("%1: %2 bytes where %3 were expected; not written")
                        .arg(name)
                        .arg(size)
                        .arg(place.offset()));
    if (record.size() != kLogRecordSize)
        return fail(QStringLiteral("a record of %1 bytes is not one").arg(record.size()));
    if (!log.writeAt(place.offset(), record))
        return fail(log.error());
    passTrailStep(TrailStep::RecordWritten);
    if (!log.sync())
        return fail(log.error());
    passTrailStep(TrailStep::RecordSynced);
    log.close();
    result.logged = true;
    result.examNumber = number;

    result.sealTrouble = sealRecord(trail, number, record);
    QString error;
    if (!syncDirectory(dir, &error))
        result.sealTrouble += (result.sealTrouble.isEmpty() ? QString() : QStringLiteral("; ")) + error;
    passTrailStep(TrailStep::DirectorySynced);
    return result;
}

bool markPrinting(const QString& dir, int examNumber, QString* error) {
    return writeFileAtomically(inDir(dir, kPendingPrintFileName), QByteArray::number(examNumber) + '\n',
                               kTrailFileMode, true, error);
}

bool clearPrinting(const QString& dir, QString* error) {
    const QString path = inDir(dir, kPendingPrintFileName);
    if (fileKindAt(path) == FileKind::Missing)
        return true;
    if (fileKindAt(path) != FileKind::Regular || !QFile::remove(path)) {
        if (error)
            *error = QStringLiteral("%1: cannot be removed").arg(path);
        return false;
    }
    return syncDirectory(dir, error);
}

std::optional<QByteArray> readLoggedRecord(const QString& dir, int number, QString* error) {
    if (number < 1 || number > kLastExamNumber) {
        if (error)
            *error = QStringLiteral("%1 is not an examination number").arg(number);
        return std::nullopt;
    }
    const ExamPlace place = examPlace(number);
    StationFile file;
    QByteArray record;
    if (!file.open(stationPath(dir, examLogFileName(place.fileIndex)), StationFile::Access::Read) ||
        !file.readAt(place.offset(), kLogRecordSize, record)) {
        if (error)
            *error = file.error();
        return std::nullopt;
    }
    if (record.size() != kLogRecordSize) {
        if (error)
            *error = QStringLiteral("examination %1 is not in the log").arg(number);
        return std::nullopt;
    }
    return record;
}

} // namespace vz
