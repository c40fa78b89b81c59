#include "ChainCheck.h"

#include "ExamChain.h"

#include <QDir>
#include <QFile>

namespace vz {
namespace {

const QString kChainName = QString::fromLatin1(kChainFileName);

LogProblem examProblem(const LoggedExam& exam, const QString& text) {
    return {exam.fileName, exam.recordInFile, exam.number, text};
}

} // namespace

ChainCheck checkExamChain(const ExamLogScan& scan) {
    ChainCheck check;
    auto unchainedUpTo = [&](qsizetype count) {
        check.unchained = static_cast<int>(count);
        if (count > 0) {
            check.unchainedFirst = scan.exams.front().number;
            check.unchainedLast = scan.exams[count - 1].number;
        }
    };

    QFile file(QDir(scan.dir).filePath(kChainName));
    if (!file.exists()) {
        unchainedUpTo(scan.exams.size());
        return check;
    }
    check.chainFound = true;
    if (!file.open(QIODevice::ReadOnly)) {
        check.problems.append(
            {kChainName, 0, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())});
        return check;
    }
    const QByteArray bytes = file.readAll();
    QList<ChainEntry> entries;
    for (qsizetype at = 0; at < bytes.size(); at += kChainEntrySize) {
        const std::optional<ChainEntry> entry = parseChainEntryLine(bytes.mid(at, kChainEntrySize));
        if (!entry) {
            check.problems.append({kChainName, static_cast<int>(at / kChainEntrySize) + 1, 0,
                                   QStringLiteral("not a chain entry")});
            return check;
        }
        entries.append(*entry);
        check.keyed = check.keyed || entry->keyed;
    }
    if (entries.isEmpty()) {
        unchainedUpTo(scan.exams.size());
        return check;
    }

    const StationKey key = readStationKey(scan.dir);
    if (check.keyed && (!key.present || !key.error.isEmpty())) {
        check.problems.append({kChainName, 0, 0,
                               key.present
                                   ? key.error
                                   : QStringLiteral("the chain is keyed, but there is no %1 to check it with")
                                         .arg(QString::fromLatin1(kStationKeyFileName))});
        return check;
    }

    // Records logged before the first entry predate the chain.
    const int firstNumber = entries.front().examNumber;
    qsizetype r = 0;
    while (r < scan.exams.size() && scan.exams[r].number < firstNumber)
        ++r;
    unchainedUpTo(r);

    auto hashOf = [&](const QByteArray& previous, const LoggedExam& exam, bool keyed) {
        return chainHash(previous, exam.bytes, keyed ? &key.key : nullptr);
    };
    QByteArray previous;
    bool sawKeyed = false;
    for (qsizetype e = 0; e < entries.size(); ++e, ++r) {
        const ChainEntry& entry = entries[e];
        if (r >= scan.exams.size()) {
            check.problems.append(
                {QString(), 0, entry.examNumber,
                 QStringLiteral("examination %1 removed: the chain holds it, the log does not")
                     .arg(entry.examNumber)});
            return check;
        }
        const LoggedExam& exam = scan.exams[r];
        if (sawKeyed && !entry.keyed) {
            check.problems.append(
                examProblem(exam, QStringLiteral("its chain entry is unkeyed after keyed entries: "
                                                 "the chain was rewritten outside the station")));
            return check;
        }
        sawKeyed = sawKeyed || entry.keyed;
        if (hashOf(previous, exam, entry.keyed) == entry.hash && exam.number == entry.examNumber) {
            previous = entry.hash;
            ++check.chained;
            continue;
        }
        // Tell the reader what most likely happened: the record of a later entry in this place
        // (reordered), this place holding the next entry's record (removed), or neither (changed).
        if (e + 1 < entries.size()) {
            const ChainEntry& next = entries[e + 1];
            if (hashOf(entry.hash, exam, next.keyed) == next.hash) {
                check.problems.append(
                    {exam.fileName, exam.recordInFile, entry.examNumber,
                     QStringLiteral("examination %1 removed: the records after it have moved up")
                         .arg(entry.examNumber)});
                return check;
            }
        }
        for (qsizetype other = r + 1; other < scan.exams.size(); ++other) {
            if (hashOf(previous, scan.exams[other], entry.keyed) == entry.hash) {
                check.problems.append(examProblem(
                    exam,
                    QStringLiteral("reordered: examination %1's record is at examination %2, and this place "
                                   "holds another")
                        .arg(entry.examNumber)
                        .arg(scan.exams[other].number)));
                return check;
            }
        }
        check.problems.append(
            examProblem(exam, QStringLiteral("changed since it was logged (its chain entry does "
                                             "not match)")));
        return check;
    }
    // The first record beyond the chain is named; any after it follow from it.
    if (r < scan.exams.size())
        check.problems.append(
            examProblem(scan.exams[r], QStringLiteral("added outside the station (no chain entry)")));
    return check;
}

} // namespace vz
