#include "TrailRecovery.h"

#include "LogFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace vz {
namespace {

QString chainPath(const QString& dir) {
    return stationPath(dir, QString::fromLatin1(kChainFileName));
}

bool allZero(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

// Reads the end of log file `index` into `end`; false when it is no usable file.
bool readLogFileEnd(const QString& dir, int index, LogEnd& end) {
    const QString name = examLogFileName(index);
    StationFile file;
    if (!file.open(stationPath(dir, name), StationFile::Access::Read)) {
        end.unusable.append(file.error());
        return false;
    }
    // An empty file ends before its first place, as one holding only a torn record does once
    // that is set aside: the numbers of the files before it are never given again, whether
    // those files are there or not.
    const int64_t size = file.size();
    int whole = static_cast<int>(std::min<int64_t>(size / kLogRecordSize, kRecordsPerLogFile));
    int64_t torn = size < kFullLogFileSize ? size - int64_t(whole) * kLogRecordSize : 0;
    // A power cut can leave a file longer than what reached the disk, the rest zeros:
    // whole records of zeros at the end were never logged either.
    if (size <= kFullLogFileSize) {
        QByteArray record;
        while (whole > 0 && file.readAt(int64_t(whole - 1) * kLogRecordSize, kLogRecordSize, record) &&
               allZero(record)) {
            --whole;
            torn += kLogRecordSize;
        }
    }
    end.lastFileIndex = index;
    end.fileSize = size;
    end.tornBytes = torn;
    end.lastNumber = examNumberAt(index, whole);
    end.lastIsRecord = whole > 0;
    return true;
}

// The last log file found by the previous look at a directory. A PRINT looks from there up
// (a name or two) instead of reading every name of a busy station's hundreds of files; when
// that file is gone, every name is read again.
struct LastFileHint {
    QString dir;
    int index = -1;
};
LastFileHint& lastFileHint() {
    static LastFileHint hint;
    return hint;
}

LogEnd readLogEnd(const QString& dir) {
    LogEnd end;
    LastFileHint& hint = lastFileHint();
    if (hint.dir == dir && hint.index >= 0) {
        int index = hint.index;
        while (index < kLastLogFileIndex &&
               fileKindAt(stationPath(dir, examLogFileName(index + 1))) != FileKind::Missing)
            ++index;
        LogEnd quick;
        if (readLogFileEnd(dir, index, quick)) {
            hint.index = index;
            return quick;
        }
    }
    const LogFileNames names = listLogFiles(dir);
    for (auto index = names.indexes.crbegin(); index != names.indexes.crend(); ++index) {
        if (readLogFileEnd(dir, *index, end))
            break;
    }
    hint = {dir, end.lastFileIndex};
    return end;
}

int readPendingPrint(const QString& dir) {
    StationFile file;
    QByteArray text;
    if (fileKindAt(stationPath(dir, QString::fromLatin1(kPendingPrintFileName))) != FileKind::Regular ||
        !file.open(stationPath(dir, QString::fromLatin1(kPendingPrintFileName)), StationFile::Access::Read,
                   64) ||
        !file.readAt(0, 64, text))
        return 0;
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok && number > 0 ? number : 0;
}

// The most filler records a start writes: ten files' worth. A crash loses the end of one file
// or a file or two moved away; a larger gap comes from an entry the station did not write,
// and filling it would write gigabytes at the start.
constexpr int kMostFillerRecords = 10 * kRecordsPerLogFile;

QByteArray range(int from, int to) {
    return from == to ? QByteArray::number(from) : QByteArray::number(from) + '-' + QByteArray::number(to);
}

} // namespace

TrailInspection inspectTrail(const QString& dir) {
    TrailInspection inspection;
    inspection.dir = dir;
    inspection.log = readLogEnd(dir);
    inspection.chainKind = fileKindAt(chainPath(dir));
    if (inspection.chainKind != FileKind::Missing) {
        StationFile chain;
        if (!chain.open(chainPath(dir), StationFile::Access::Read, kMaxChainFileSize)) {
            inspection.chainProblem = chain.error();
        } else {
            inspection.chain = readChainTail(chain);
            if (!inspection.chain.error.isEmpty())
                inspection.chainProblem = inspection.chain.error;
        }
    }
    inspection.key = readStationKey(dir);
    inspection.pendingPrint = readPendingPrint(dir);
    return inspection;
}

bool keyRequired(const TrailInspection& inspection) {
    const ChainTail& chain = inspection.chain;
    return inspection.key.present || (chain.last && chain.last->keyed) ||
           (chain.lastSealing && chain.lastSealing->keyed);
}

const QByteArray* sealingKey(const TrailInspection& inspection, QString* trouble) {
    if (!inspection.key.present) {
        if (keyRequired(inspection) && trouble)
            *trouble = QStringLiteral("the chain is keyed but %1 is missing")
                           .arg(QLatin1StringView(kStationKeyFileName));
        return nullptr;
    }
    if (!inspection.key.error.isEmpty()) {
        if (trouble)
            *trouble = QStringLiteral("station key unusable: %1").arg(inspection.key.error);
        return nullptr;
    }
    return &inspection.key.key;
}

RecoveryPlan decideRecovery(const TrailInspection& inspection) {
    RecoveryPlan plan;
    const LogEnd& log = inspection.log;
    for (const QString& problem : log.unusable)
        plan.notes.append(QStringLiteral("log file left alone: %1").arg(problem));
    int lastLog = log.lastNumber;
    bool lastIsRecord = log.lastIsRecord;
    if (log.tornBytes > 0) {
        plan.setAsideLogFile = log.lastFileIndex;
        plan.logKeepSize = log.fileSize - log.tornBytes;
    }

    if (!inspection.chainProblem.isEmpty()) {
        plan.notes.append(QStringLiteral("chain left alone: %1").arg(inspection.chainProblem));
    } else {
        QString keyTrouble;
        const QByteArray* key = sealingKey(inspection, &keyTrouble);
        plan.keyedEntries = key != nullptr;
        QList<QByteArray> reasons;
        std::optional<ChainEntry> last = inspection.chain.last;
        if (inspection.chain.unreadable) {
            plan.setAsideChain = true;
            last.reset();
            reasons.append("chain unreadable, set aside");
        } else if (inspection.chain.tornBytes() > 0) {
            plan.setAsideChainTail = true;
            plan.chainKeepSize = inspection.chain.wholeEnd;
            reasons.append("torn chain end of " + QByteArray::number(inspection.chain.tornBytes()) +
                           " bytes set aside");
        }
        const int chainHigh = last ? last->examNumber : 0;
        if (chainHigh - lastLog > kMostFillerRecords) {
            // No crash loses that many records: the entry is not the station's. Its number still
            // keeps the numbers below it from being given, but no log is written up to it.
            plan.notes.append(QStringLiteral("the chain's last entry, examination %1, lies %2 examinations "
                                             "beyond the log: no filler records written")
                                  .arg(chainHigh)
                                  .arg(chainHigh - lastLog));
        } else if (chainHigh > lastLog) {
            plan.fillFrom = lastLog + 1;
            plan.fillTo = chainHigh;
            reasons.append("examinations " + range(plan.fillFrom, plan.fillTo) +
                           " missing from the log, filler records put in their places");
            lastLog = chainHigh;
            lastIsRecord = false; // a filler is not a record to complete
        }
        const bool chainWhole = !plan.setAsideChain && !plan.setAsideChainTail;
        if (reasons.isEmpty() && chainWhole && lastIsRecord && lastLog >= 1 &&
            (last ? last->sealsRecord() && last->examNumber == lastLog - 1 : lastLog == 1)) {
            // A crash between the last record and its entry: only that record is sealed now.
            if (keyTrouble.isEmpty())
                plan.completeLast = lastLog;
            else
                reasons.append("examination " + QByteArray::number(lastLog) +
                               " left unsealed: " + breakReason(keyTrouble));
        }
        if (!reasons.isEmpty()) {
            plan.breakReason = breakReason(QString::fromLatin1(reasons.join("; ")));
            plan.breakNumber = std::max(lastLog, log.lastNumber);
        }
    }
    if (inspection.pendingPrint > 0 && inspection.pendingPrint <= std::max(lastLog, log.lastNumber))
        plan.pendingPrint = inspection.pendingPrint;
    return plan;
}

QStringList RecoveryPlan::describe() const {
    QStringList lines;
    if (setAsideLogFile >= 0)
        lines.append(
            QStringLiteral("%1: the torn end after byte %2 is set aside, the file cut back to whole records")
                .arg(examLogFileName(setAsideLogFile))
                .arg(logKeepSize));
    if (setAsideChain)
        lines.append(
            QStringLiteral(
                "%1: nothing in its last %2 bytes can be read; it is renamed aside and a new chain begins")
                .arg(QLatin1StringView(kChainFileName))
                .arg(kChainTailSearch));
    if (setAsideChainTail)
        lines.append(QStringLiteral("%1: the torn end after byte %2 is set aside")
                         .arg(QLatin1StringView(kChainFileName))
                         .arg(chainKeepSize));
    if (fillFrom > 0)
        lines.append(
            QStringLiteral(
                "examinations %1 are in the chain but not in the log: filler records keep their numbers")
                .arg(QString::fromLatin1(range(fillFrom, fillTo))));
    if (completeLast > 0)
        lines.append(
            QStringLiteral(
                "examination %1, the last, has no chain entry: it is sealed now, marked as recovered")
                .arg(completeLast));
    if (!breakReason.isEmpty())
        lines.append(QStringLiteral("the chain goes on after examination %1 with a break: %2")
                         .arg(breakNumber)
                         .arg(QString::fromLatin1(breakReason)));
    if (pendingPrint > 0)
        lines.append(
            QStringLiteral("examination %1 was logged but its printing never finished").arg(pendingPrint));
    return lines + notes;
}

QString setAsideName(const QString& dir, const QString& name, const char* what) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = QStringLiteral("%1.%2-%3").arg(name, QLatin1StringView(what), stamp);
    for (int n = 2; fileKindAt(stationPath(dir, candidate)) != FileKind::Missing; ++n)
        candidate = QStringLiteral("%1.%2-%3-%4").arg(name, QLatin1StringView(what), stamp).arg(n);
    return candidate;
}

bool setTailAside(StationFile& file, const QString& dir, const QString& name, int64_t keep, QString* done,
                  QString* error) {
    QByteArray tail;
    if (!file.readAt(keep, file.size() - keep, tail)) {
        *error = file.error();
        return false;
    }
    const QString aside = setAsideName(dir, name, "torn");
    if (!writeFileAtomically(stationPath(dir, aside), tail, kTrailFileMode, false, error))
        return false;
    if (!file.truncate(keep) || !file.sync()) {
        *error = file.error();
        return false;
    }
    *done = QStringLiteral("%1: %2 torn bytes set aside as %3").arg(name).arg(tail.size()).arg(aside);
    return true;
}

RecoveryResult applyRecovery(const TrailInspection& inspection, const RecoveryPlan& plan) {
    RecoveryResult result;
    const QString& dir = inspection.dir;
    QString error;
    QString done;
    int lastLog = inspection.log.lastNumber;

    if (plan.setAsideLogFile >= 0) {
        const QString name = examLogFileName(plan.setAsideLogFile);
        StationFile file;
        if (!file.open(stationPath(dir, name), StationFile::Access::ReadWrite, kFullLogFileSize)) {
            result.failed.append(file.error());
        } else if (setTailAside(file, dir, name, plan.logKeepSize, &done, &error)) {
            result.done.append(done);
        } else {
            // The torn bytes cannot be kept aside (a full disk): they stay where they are,
            // padded to a whole record, so that no later record is misplaced and the number
            // of that place is not given.
            const int64_t size = file.size();
            const int64_t padded = (size + kLogRecordSize - 1) / kLogRecordSize * kLogRecordSize;
            if (file.writeAt(size, QByteArray(padded - size, '\0')) && file.sync()) {
                lastLog = examNumberAt(plan.setAsideLogFile, static_cast<int>(padded / kLogRecordSize));
                result.done.append(
                    QStringLiteral(
                        "%1: torn end could not be set aside (%2); padded in place as examination %3")
                        .arg(name, error)
                        .arg(lastLog));
            } else {
                result.failed.append(
                    QStringLiteral("%1: torn end neither set aside nor padded: %2").arg(name, error));
            }
        }
    }

    const QString chainName = QString::fromLatin1(kChainFileName);
    bool chainUsable = inspection.chainProblem.isEmpty();
    if (chainUsable && plan.setAsideChain) {
        const QString aside = setAsideName(dir, chainName, "aside");
        if (::rename(QFile::encodeName(chainPath(dir)).constData(),
                     QFile::encodeName(stationPath(dir, aside)).constData()) == 0 &&
            syncDirectory(dir, &error)) {
            result.done.append(QStringLiteral("%1: unreadable, renamed to %2").arg(chainName, aside));
        } else {
            result.failed.append(error.isEmpty() ? systemErrorText(chainName, errno) : error);
            chainUsable = false;
        }
    }
    if (chainUsable && plan.setAsideChainTail) {
        StationFile chain;
        if (chain.open(chainPath(dir), StationFile::Access::ReadWrite, kMaxChainFileSize) &&
            setTailAside(chain, dir, chainName, plan.chainKeepSize, &done, &error)) {
            result.done.append(done);
        } else {
            result.failed.append(chain.error().isEmpty() ? error : chain.error());
            chainUsable = false; // its end stays damaged: no entry goes after it
        }
    }

    if (plan.fillFrom > 0) {
        bool filled = true;
        for (int number = plan.fillFrom; filled && number <= plan.fillTo;) {
            const ExamPlace place = examPlace(number);
            const QString name = examLogFileName(place.fileIndex);
            StationFile file;
            filled =
                file.open(stationPath(dir, name), StationFile::Access::ReadWriteCreate, kFullLogFileSize) &&
                file.size() == place.offset();
            if (!filled) {
                result.failed.append(file.error().isEmpty()
                                         ? QStringLiteral("%1: not at record %2; no filler written")
                                               .arg(name)
                                               .arg(place.recordInFile)
                                         : file.error());
                break;
            }
            // Every missing place of this file in one write.
            const int last = std::min(plan.fillTo, examNumberAt(place.fileIndex, kRecordsPerLogFile));
            QByteArray fillers;
            for (int n = number; n <= last; ++n)
                fillers += fillerRecord();
            filled = file.writeAt(place.offset(), fillers) && file.sync();
            if (!filled) {
                result.failed.append(file.error());
                file.truncate(place.offset());
                break;
            }
            number = last + 1;
            lastLog = last;
        }
        if (filled && syncDirectory(dir, &error))
            result.done.append(QStringLiteral("filler records for examinations %1")
                                   .arg(QString::fromLatin1(range(plan.fillFrom, plan.fillTo))));
        else if (filled)
            result.failed.append(error);
    }

    if (chainUsable && (plan.completeLast > 0 || !plan.breakReason.isEmpty())) {
        QString trouble;
        const QByteArray* key = sealingKey(inspection, &trouble);
        StationFile chain;
        if (!chain.open(chainPath(dir), StationFile::Access::ReadWriteCreate, kMaxChainFileSize)) {
            result.failed.append(chain.error());
        } else {
            const ChainTail tail = readChainTail(chain);
            QByteArray previous = tail.last ? tail.last->hash : QByteArray();
            QByteArray lines;
            if (plan.completeLast > 0) {
                const ExamPlace place = examPlace(plan.completeLast);
                StationFile log;
                QByteArray record;
                if (log.open(stationPath(dir, examLogFileName(place.fileIndex)), StationFile::Access::Read) &&
                    log.readAt(place.offset(), kLogRecordSize, record) && record.size() == kLogRecordSize) {
                    const ChainEntry entry{plan.completeLast,
                                           key != nullptr,
                                           chainHash(previous, record, key),
                                           ChainEntryKind::Recovered,
                                           {}};
                    lines += chainEntryLine(entry);
                    previous = entry.hash;
                } else {
                    result.failed.append(log.error());
                }
            }
            if (!plan.breakReason.isEmpty()) {
                const int number = std::max(plan.breakNumber, lastLog);
                const ChainEntry entry{number, key != nullptr,
                                       breakHash(previous, number, plan.breakReason, key),
                                       ChainEntryKind::Break, plan.breakReason};
                lines += chainEntryLine(entry);
            }
            const int64_t oldSize = tail.size;
            if (!lines.isEmpty()) {
                if (chain.writeAt(oldSize, lines) && chain.sync() && syncDirectory(dir, &error)) {
                    if (plan.completeLast > 0)
                        result.done.append(QStringLiteral("examination %1 sealed, marked as recovered")
                                               .arg(plan.completeLast));
                    if (!plan.breakReason.isEmpty())
                        result.done.append(QStringLiteral("break entry written: %1")
                                               .arg(QString::fromLatin1(plan.breakReason)));
                } else {
                    result.failed.append(chain.error().isEmpty() ? error : chain.error());
                    chain.truncate(oldSize);
                    chain.sync();
                }
            }
        }
    }
    return result;
}

QString recoveryOperatorText(const RecoveryPlan& plan, const RecoveryResult& result) {
    if (!plan.repairs() && result.failed.isEmpty())
        return QString();
    QStringList lines;
    lines.append(
        QStringLiteral("При последното спиране на програмата записът на прегледите остана незавършен "
                       "(прекъсване на захранването или срив). Той е възстановен:"));
    if (plan.setAsideLogFile >= 0)
        lines.append(QStringLiteral("– недописан запис в %1 е отделен настрана; номерата не се повтарят;")
                         .arg(examLogFileName(plan.setAsideLogFile)));
    if (plan.setAsideChain || plan.setAsideChainTail)
        lines.append(QStringLiteral("– повреденият край на веригата %1 е отделен настрана;")
                         .arg(QLatin1StringView(kChainFileName)));
    if (plan.fillFrom > 0)
        lines.append(
            QStringLiteral("– ЛИПСВАТ записите на прегледи %1; номерата им няма да бъдат дадени отново;")
                .arg(QString::fromLatin1(range(plan.fillFrom, plan.fillTo))));
    if (plan.completeLast > 0)
        lines.append(
            QStringLiteral("– преглед %1 е запечатан във веригата след срива;").arg(plan.completeLast));
    if (!result.failed.isEmpty())
        lines.append(
            QStringLiteral("Не всичко можа да бъде поправено (подробности в дневника на програмата). "
                           "Прегледите продължават да се записват и отпечатват."));
    lines.append(QStringLiteral("Уведомете отговорника по поддръжката."));
    return lines.join(u'\n');
}

} // namespace vz
