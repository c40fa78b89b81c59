#include "ExamLogReader.h"

#include "Cp1251.h"
#include "StationFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>

namespace vz {
namespace {

constexpr int kKeptText = kExamRecordSize - 2; // the text before the record's closing CR LF

QString hexByte(unsigned char b) {
    return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'));
}

// A byte that is no text inside a record: a control byte (the two line breaks aside), DEL, or
// the one byte code page 1251 leaves unassigned.
inline bool isNoText(unsigned char b) {
    return b < 0x20 || b == 0x7F || b == 0x98;
}

// Where the line break before the registration number is: the first CR LF before the end.
qsizetype lineBreakOf(const QByteArray& bytes) {
    const qsizetype at = bytes.indexOf("\r\n");
    return at >= 0 && at < kKeptText ? at : -1;
}

std::optional<QString> byteProblem(const QByteArray& bytes) {
    if (bytes.size() != kExamRecordSize)
        return QStringLiteral("%1 bytes instead of %2").arg(bytes.size()).arg(kExamRecordSize);
    if (bytes.mid(kKeptText) != "\r\n")
        return QStringLiteral("bytes 159-160 are not CR LF");
    const qsizetype lineBreak = lineBreakOf(bytes);
    for (int i = 0; i < kKeptText; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!isNoText(b) || (lineBreak >= 0 && (i == lineBreak || i == lineBreak + 1)))
            continue;
        return QStringLiteral("byte %1 (%2) is not code page 1251 text").arg(i + 1).arg(hexByte(b));
    }
    if (lineBreak < 0)
        return QStringLiteral("no line break after the year");
    return std::nullopt;
}

QString layoutProblem(const QByteArray& bytes) {
    const qsizetype lineBreak = lineBreakOf(bytes);
    return QStringLiteral("the fields are not where the layout puts them (line break at bytes %1-%2)")
        .arg(lineBreak + 1)
        .arg(lineBreak + 2);
}

bool hasControl(QStringView value) {
    for (QChar ch : value) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            return true;
    }
    return false;
}

// The record's fields read straight from the columns, walking the layout as the writer lays it
// out: an item starts where the previous one ended, at its column or, when the previous item
// overflowed its column, one blank after it. At each item the shortest value that agrees with
// the text is taken, as the full search takes it, so whatever this finds the full search finds
// too; where this is unsure (text cut at the record's end), it gives up and the search decides.
std::optional<ReportFields> readByColumns(const QString& text) {
    if (text.size() != kExamRecordSize || !text.endsWith(u"\r\n"))
        return std::nullopt;
    const QStringView visible = QStringView(text).left(kKeptText);
    ReportFields fields;
    qsizetype start = 0;
    for (const ExamRecordItem& item : examRecordLayout()) {
        const qsizetype valueStart = start + item.prefix.size();
        if (valueStart > kKeptText || !visible.mid(start).startsWith(item.prefix))
            return std::nullopt;
        const qsizetype column = item.padTo;
        qsizetype end = -1; // where the item's text ends
        qsizetype next = -1;
        if (column >= kKeptText) {
            // The last item: padded past the visible text, so it must end in blanks.
            qsizetype n = kKeptText;
            while (n > valueStart && visible[n - 1] == u' ')
                --n;
            if (n == kKeptText)
                return std::nullopt;
            end = n;
            next = kKeptText;
        } else if (valueStart + item.suffix.size() < column && visible[column - 1] == u' ') {
            // Within its column: the blanks before the column are padding. (A longer value that
            // holds a blank there agrees too; the shorter one is the one taken.)
            qsizetype n = column;
            while (n > valueStart && visible[n - 1] == u' ')
                --n;
            end = n;
            next = column;
        } else {
            // Over its column: the item ends at the first blank from the column on that leaves
            // a value of the item's shape, and one blank follows it.
            const qsizetype longestEnd = valueStart + item.longest + item.suffix.size();
            const qsizetype last = std::min<qsizetype>(longestEnd, kKeptText - 1);
            for (qsizetype q = std::max<qsizetype>(column, valueStart); q <= last; ++q) {
                if (visible[q] == u' ' && visible.mid(valueStart, q - valueStart).endsWith(item.suffix)) {
                    end = q;
                    next = q + 1;
                    break;
                }
            }
            if (end < 0)
                return std::nullopt;
        }
        const QStringView content = visible.mid(valueStart, end - valueStart);
        if (!content.endsWith(item.suffix))
            return std::nullopt;
        const QStringView value = content.chopped(item.suffix.size());
        if (value.size() > item.longest || hasControl(value))
            return std::nullopt;
        fields.*(item.field) = value.toString();
        start = next;
    }
    // The items now cover the visible text from its first character to its last, each as the
    // writer lays it out from where the previous one ended: the writer makes this very text.
    return fields;
}

// Code page 1251 decoded by table, one character per byte.
QString decodeRecord(const QByteArray& bytes) {
    static const QString table = [] {
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[b] = static_cast<char>(b);
        return fromCp1251(all);
    }();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = table[static_cast<unsigned char>(bytes[i])];
    return text;
}

LoggedExam examFromRecord(const QString& fileName, int index, int recordInFile, const QByteArray& record) {
    LoggedExam exam;
    exam.number = examNumberAt(index, recordInFile);
    exam.fileName = fileName;
    exam.recordInFile = recordInFile;
    exam.bytes = record;
    if (isFillerRecord(record)) {
        static const std::optional<ReportFields> fillerFields = parseRecordFields(fromCp1251(fillerRecord()));
        exam.missing = true;
        exam.fields = fillerFields;
        return exam;
    }
    if (const std::optional<QString> problem = byteProblem(record)) {
        exam.problem = *problem;
        exam.marked = parseRecordFields(markedRecordText(record));
        return exam;
    }
    exam.fields = parseRecordFields(decodeRecord(record));
    if (!exam.fields)
        exam.problem = layoutProblem(record);
    return exam;
}

// Why a log file could not be opened, without the path StationFile puts before it.
QString openProblem(const StationFile& file, const QString& path) {
    QString text = file.error();
    const QString prefix = path + QStringLiteral(": ");
    if (text.startsWith(prefix))
        text = text.mid(prefix.size());
    if (file.errorCode() == EINVAL || file.errorCode() == ELOOP || file.errorCode() == EMLINK ||
        file.errorCode() == EISDIR)
        return text.replace(QStringLiteral("not used"), QStringLiteral("not read"));
    return QStringLiteral("cannot be read: %1").arg(text);
}

QString strayProblem(const QString& name) {
    static const QRegularExpression fiveDigits(QStringLiteral("^Pregledi[0-9]{5}\\.GPG$"));
    if (fiveDigits.match(name).hasMatch())
        return QStringLiteral("a file number past the last one a station uses (%1); not read")
            .arg(kLastLogFileIndex);
    return QStringLiteral("not a log file name (Pregledi + 5 digits + .GPG); not read");
}

QString rangeName(int first, int last) {
    return first == last ? examLogFileName(first) : examLogFileName(first) + u'-' + examLogFileName(last);
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

std::optional<QString> recordProblem(const QByteArray& bytes) {
    if (std::optional<QString> problem = byteProblem(bytes))
        return problem;
    if (!parseRecordFields(decodeRecord(bytes)))
        return layoutProblem(bytes);
    return std::nullopt;
}

QString markedRecordText(const QByteArray& bytes) {
    QString text = decodeRecord(bytes);
    const qsizetype lineBreak = lineBreakOf(bytes);
    const qsizetype kept = std::min<qsizetype>(bytes.size(), kKeptText);
    for (qsizetype i = 0; i < kept; ++i) {
        const bool inLineBreak = lineBreak >= 0 && (i == lineBreak || i == lineBreak + 1);
        if (isNoText(static_cast<unsigned char>(bytes[i])) && !inLineBreak)
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

std::optional<ReportFields> parseRecordFields(const QString& text) {
    if (std::optional<ReportFields> fields = readByColumns(text))
        return fields;
    return parseExamRecordText(text);
}

QList<int> logFileSeries(const QString& dir, const ProblemSink& problems) {
    const QFileInfo info(dir);
    if (!info.exists()) {
        problems({dir, 0, 0, QStringLiteral("no such directory")});
        return {};
    }
    if (!info.isDir()) {
        problems({dir, 0, 0, QStringLiteral("not a directory")});
        return {};
    }
    if (!info.isReadable() || !info.isExecutable()) {
        problems({dir, 0, 0, QStringLiteral("the directory cannot be read")});
        return {};
    }
    const LogFileNames names = listLogFiles(dir);
    for (const QString& stray : names.strays)
        problems({stray, 0, 0, strayProblem(stray)});
    int expected = 0;
    for (int index : names.indexes) {
        if (index > expected)
            problems(
                {rangeName(expected, index - 1), 0, 0, QStringLiteral("missing: a later log file exists")});
        expected = index + 1;
    }
    return names.indexes;
}

void readLogFile(const QString& dir, int index, bool laterFileExists, const ExamSink& exams,
                 const ProblemSink& problems) {
    const QString name = examLogFileName(index);
    const QString path = QDir(dir).filePath(name);
    // Read-only, always: the log is the legal record and this program never changes it.
    StationFile file;
    if (!file.open(path, StationFile::Access::Read)) {
        problems({name, 0, 0, openProblem(file, path)});
        return;
    }
    const int64_t size = file.size();
    QByteArray bytes;
    if (size < 0 || !file.readAt(0, std::min(size, kFullLogFileSize), bytes)) {
        problems({name, 0, 0, QStringLiteral("cannot be read: %1").arg(openProblem(file, path))});
        return;
    }
    if (size > kFullLogFileSize) {
        problems({name, 0, 0,
                  QStringLiteral("%1 bytes: more than %2 records; only the first %2 are read")
                      .arg(size)
                      .arg(kRecordsPerLogFile)});
    } else {
        if (size % kExamRecordSize != 0) {
            problems({name, 0, 0,
                      QStringLiteral("%1 bytes is not a whole number of %2-byte records")
                          .arg(size)
                          .arg(kExamRecordSize)});
        }
        if (size < kFullLogFileSize && laterFileExists) {
            problems({name, 0, 0,
                      QStringLiteral("holds %1 records, but a later log file exists")
                          .arg(size / kExamRecordSize)});
        }
    }
    const int whole = static_cast<int>(bytes.size() / kExamRecordSize);
    for (int r = 0; r < whole; ++r) {
        const LoggedExam exam =
            examFromRecord(name, index, r + 1, bytes.mid(qsizetype(r) * kExamRecordSize, kExamRecordSize));
        if (!exam.problem.isEmpty())
            problems({name, exam.recordInFile, exam.number, exam.problem});
        exams(exam);
    }
    if (const qsizetype torn = bytes.size() % kExamRecordSize; torn != 0)
        problems(
            {name, whole + 1, 0, QStringLiteral("cut short: %1 of %2 bytes").arg(torn).arg(kExamRecordSize)});
}

void readExamLog(const QString& dir, const ExamSink& exams, const ProblemSink& problems) {
    const QList<int> indexes = logFileSeries(dir, problems);
    for (qsizetype i = 0; i < indexes.size(); ++i)
        readLogFile(dir, indexes[i], i + 1 < indexes.size(), exams, problems);
}

ExamLookup findExam(const QString& dir, int number) {
    ExamLookup lookup;
    if (number < 1 || number > kLastExamNumber)
        return lookup;
    const ExamPlace place = examPlace(number);
    const QString name = examLogFileName(place.fileIndex);
    const QString path = QDir(dir).filePath(name);
    StationFile file;
    if (!file.open(path, StationFile::Access::Read)) {
        if (file.errorCode() != ENOENT)
            lookup.problems.append({name, 0, 0, openProblem(file, path)});
        return lookup;
    }
    const int64_t size = file.size();
    if (size > kFullLogFileSize) {
        lookup.problems.append({name, 0, 0,
                                QStringLiteral("%1 bytes: more than %2 records; only the first %2 are read")
                                    .arg(size)
                                    .arg(kRecordsPerLogFile)});
    } else if (size % kExamRecordSize != 0) {
        lookup.problems.append({name, 0, 0,
                                QStringLiteral("%1 bytes is not a whole number of %2-byte records")
                                    .arg(size)
                                    .arg(kExamRecordSize)});
    }
    QByteArray record;
    if (!file.readAt(place.offset(), kExamRecordSize, record)) {
        lookup.problems.append(
            {name, 0, 0, QStringLiteral("cannot be read: %1").arg(openProblem(file, path))});
        return lookup;
    }
    if (record.size() < kExamRecordSize) {
        if (!record.isEmpty())
            lookup.problems.append(
                {name, place.recordInFile, 0,
                 QStringLiteral("cut short: %1 of %2 bytes").arg(record.size()).arg(kExamRecordSize)});
        return lookup;
    }
    LoggedExam exam = examFromRecord(name, place.fileIndex, place.recordInFile, record);
    if (!exam.problem.isEmpty())
        lookup.problems.append({name, exam.recordInFile, exam.number, exam.problem});
    lookup.exam = std::move(exam);
    return lookup;
}

const LoggedExam* ExamLogScan::find(int number) const {
    for (const LoggedExam& exam : exams) {
        if (exam.number == number)
            return &exam;
    }
    return nullptr;
}

ExamLogScan scanExamLog(const QString& dir) {
    ExamLogScan scan;
    scan.dir = dir;
    auto problem = [&](const LogProblem& p) { scan.problems.append(p); };
    const QList<int> indexes = logFileSeries(dir, problem);
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        scan.files.append(examLogFileName(indexes[i]));
        readLogFile(
            dir, indexes[i], i + 1 < indexes.size(), [&](const LoggedExam& exam) { scan.exams.append(exam); },
            problem);
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
