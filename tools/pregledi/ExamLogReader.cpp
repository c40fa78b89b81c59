#include "ExamLogReader.h"

#include "Cp1251.h"
#include "ExamLog.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>

namespace vz {
namespace {

// A file far larger than a full log file is not read whole: it is not a log file.
constexpr qint64 kLargestFileRead = 64 * 1024 * 1024;
constexpr qint64 kFullFileSize = qint64(kExamRecordSize) * kRecordsPerLogFile;

QString hexByte(unsigned char b) {
    return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'));
}

} // namespace

QString describeProblem(const LogProblem& p) {
    QString where = p.fileName;
    if (p.record > 0)
        where += QStringLiteral(" record %1").arg(p.record);
    if (p.examNumber > 0)
        where += QStringLiteral(" (examination %1)").arg(p.examNumber);
    return where.isEmpty() ? p.text : where + QStringLiteral(": ") + p.text;
}

const LoggedExam* ExamLogScan::find(int number) const {
    for (const LoggedExam& exam : exams) {
        if (exam.number == number)
            return &exam;
    }
    return nullptr;
}

std::optional<QString> recordProblem(const QByteArray& bytes) {
    if (bytes.size() != kExamRecordSize)
        return QStringLiteral("%1 bytes instead of %2").arg(bytes.size()).arg(kExamRecordSize);
    if (bytes.mid(kExamRecordSize - 2) != "\r\n")
        return QStringLiteral("bytes 159-160 are not CR LF");
    const qsizetype lineBreak = bytes.indexOf("\r\n");
    for (int i = 0; i < kExamRecordSize - 2; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool inLineBreak = i == lineBreak || i == lineBreak + 1;
        if ((b < 0x20 && !inLineBreak) || b == 0x7F || b == 0x98)
            return QStringLiteral("byte %1 (%2) is not code page 1251 text").arg(i + 1).arg(hexByte(b));
    }
    if (lineBreak == kExamRecordSize - 2)
        return QStringLiteral("no line break after the year");
    if (!parseExamRecordText(fromCp1251(bytes))) {
        return QStringLiteral("the fields are not where the layout puts them (line break at bytes %1-%2)")
            .arg(lineBreak + 1)
            .arg(lineBreak + 2);
    }
    return std::nullopt;
}

ExamLogScan scanExamLog(const QString& dir) {
    ExamLogScan scan;
    scan.dir = dir;
    const QDir directory(dir);
    if (!directory.exists()) {
        scan.problems.append({dir, 0, 0, QStringLiteral("no such directory")});
        return scan;
    }
    static const QRegularExpression logName(QStringLiteral("^Pregledi([0-9]{5})\\.GPG$"));
    std::map<int, QString> byIndex;
    const QStringList names = directory.entryList(
        {QStringLiteral("Pregledi*.GPG")}, QDir::Files | QDir::CaseSensitive | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = logName.match(name);
        if (!match.hasMatch()) {
            scan.problems.append(
                {name, 0, 0, QStringLiteral("not a log file name (Pregledi + 5 digits + .GPG)")});
            continue;
        }
        byIndex[match.captured(1).toInt()] = name;
    }
    if (byIndex.empty())
        return scan;

    const int lastIndex = byIndex.rbegin()->first;
    for (int index = 0; index <= lastIndex; ++index) {
        const auto found = byIndex.find(index);
        if (found == byIndex.end()) {
            scan.problems.append({examLogFileName(static_cast<uint16_t>(index)), 0, 0,
                                  QStringLiteral("missing: a later log file exists")});
            continue;
        }
        const QString& name = found->second;
        scan.files.append(name);
        // Read-only, always: the log is the legal record and this program never changes it.
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            scan.problems.append({name, 0, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())});
            continue;
        }
        const qint64 size = file.size();
        if (size > kLargestFileRead) {
            scan.problems.append({name, 0, 0, QStringLiteral("%1 bytes: not a log file").arg(size)});
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (bytes.size() != size) {
            scan.problems.append({name, 0, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())});
            continue;
        }
        if (size % kExamRecordSize != 0) {
            scan.problems.append({name, 0, 0,
                                  QStringLiteral("%1 bytes is not a whole number of %2-byte records")
                                      .arg(size)
                                      .arg(kExamRecordSize)});
        }
        if (size > kFullFileSize) {
            scan.problems.append(
                {name, 0, 0, QStringLiteral("more than %1 records").arg(kRecordsPerLogFile)});
        } else if (size < kFullFileSize && index < lastIndex) {
            scan.problems.append({name, 0, 0,
                                  QStringLiteral("holds %1 records, but a later log file exists")
                                      .arg(size / kExamRecordSize)});
        }
        const int records = static_cast<int>((bytes.size() + kExamRecordSize - 1) / kExamRecordSize);
        for (int r = 0; r < records; ++r) {
            const QByteArray record = bytes.mid(qsizetype(r) * kExamRecordSize, kExamRecordSize);
            const int number = kRecordsPerLogFile * index + r + 1;
            if (record.size() < kExamRecordSize) {
                scan.problems.append(
                    {name, r + 1, 0,
                     QStringLiteral("cut short: %1 of %2 bytes").arg(record.size()).arg(kExamRecordSize)});
                break;
            }
            LoggedExam exam;
            exam.number = number;
            exam.fileName = name;
            exam.recordInFile = r + 1;
            exam.bytes = record;
            if (const std::optional<QString> problem = recordProblem(record))
                scan.problems.append({name, r + 1, number, *problem});
            else
                exam.fields = parseExamRecordText(fromCp1251(record));
            scan.exams.append(exam);
        }
    }
    return scan;
}

std::optional<QDate> parseLogDate(const QString& raw) {
    QString text = raw.trimmed();
    if (text.endsWith(QStringLiteral("г.")))
        text = text.chopped(2).trimmed();
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    static const QRegularExpression dotted(QStringLiteral("^(\\d{1,2})([./-])(\\d{1,2})\\2(\\d{2}|\\d{4})$"));
    auto fullYear = [](const QString& y) { return y.size() == 2 ? 2000 + y.toInt() : y.toInt(); };
    QDate date;
    if (const QRegularExpressionMatch m = iso.match(text); m.hasMatch()) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if (const QRegularExpressionMatch d = dotted.match(text); d.hasMatch()) {
        const int first = d.captured(1).toInt();
        const int second = d.captured(3).toInt();
        const int year = fullYear(d.captured(4));
        // Day first, as a Bulgarian station writes its dates, except with "/", which is
        // month first (12/7/2026).
        date = d.captured(2) == QStringLiteral("/") ? QDate(year, first, second) : QDate(year, second, first);
    }
    if (!date.isValid())
        return std::nullopt;
    return date;
}

} // namespace vz
