#include "LogExport.h"

#include "Cp1251.h"

#include <QDate>

namespace vz {
namespace {

// The list's columns, each padded to the field's longest length.
struct Column {
    QString ReportFields::*field;
    int width;
};
const Column kListColumns[] = {
    {&ReportFields::date, 10},      {&ReportFields::time, 8}, {&ReportFields::regNumber, 8},
    {&ReportFields::makeModel, 25}, {&ReportFields::year, 4}, {&ReportFields::owner, 25},
    {&ReportFields::co, 5},         {&ReportFields::co2, 5},  {&ReportFields::hc, 5},
    {&ReportFields::o2, 5},         {&ReportFields::rpm, 5},  {&ReportFields::oilTemp, 5},
};

// The record's bytes for a person: code page 1251 text, every byte that is no text as \xNN,
// the line breaks as \r\n.
QString escapedRecord(const QByteArray& bytes) {
    const QString text = fromCp1251(bytes);
    QString shown;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x98)
            shown += QStringLiteral("\\x98");
        else
            shown += terminalText(QString(text[i]));
    }
    return shown;
}

// Characters that move the cursor, change colours or turn the text's direction around.
inline bool isTerminalControl(char16_t u) {
    if (u < 0x20)
        return true;
    if (u < 0x7F)
        return false;
    if (u <= 0x9F)
        return true;
    if (u < 0x061C)
        return false; // Latin, Greek, Cyrillic: what the log holds
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x2028 && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

// Registration numbers are typed in Cyrillic or Latin letters of the same shape.
QString plateKey(const QString& text) {
    static const QString cyrillic = QStringLiteral("АВЕКМНОРСТУХ");
    static const QString latin = QStringLiteral("ABEKMHOPCTYX");
    QString key;
    for (QChar ch : text.toUpper()) {
        if (ch.isSpace())
            continue;
        const qsizetype at = cyrillic.indexOf(ch);
        key += at >= 0 ? latin[at] : ch;
    }
    return key;
}

} // namespace

QString terminalText(const QString& text) {
    bool plain = true;
    for (QChar ch : text)
        plain = plain && ch != u'\\' && !isTerminalControl(ch.unicode());
    if (plain)
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (ch == u'\\')
            shown += QStringLiteral("\\\\");
        else if (u == u'\r')
            shown += QStringLiteral("\\r");
        else if (u == u'\n')
            shown += QStringLiteral("\\n");
        else if (u == u'\t')
            shown += QStringLiteral("\\t");
        else if (u <= 0xFF && isTerminalControl(u))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if (isTerminalControl(u))
            shown += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            shown += ch;
    }
    return shown;
}

QString examListHeader() {
    const QString titles[] = {QStringLiteral("Date"), QStringLiteral("Time"),
                              QStringLiteral("Reg."), QStringLiteral("Make and model"),
                              QStringLiteral("Year"), QStringLiteral("Owner"),
                              QStringLiteral("CO"),   QStringLiteral("CO2"),
                              QStringLiteral("HC"),   QStringLiteral("O2"),
                              QStringLiteral("RPM"),  QStringLiteral("Oil")};
    QString line = QStringLiteral("%1").arg(QStringLiteral("No."), 8);
    for (size_t i = 0; i < std::size(kListColumns); ++i)
        line += QStringLiteral("  ") + titles[i].leftJustified(kListColumns[i].width);
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

QString examListLine(const LoggedExam& exam) {
    QString line = QStringLiteral("%1").arg(exam.number, 8);
    if (exam.missing)
        return line + QStringLiteral("  (missing: the examination's record was lost)");
    const ReportFields* fields = exam.shownFields();
    if (!fields)
        return line + QStringLiteral("  (does not follow the record layout)");
    line.reserve(160);
    for (const Column& column : kListColumns) {
        const QString value = terminalText(fields->*(column.field));
        line += u"  ";
        line += value;
        if (value.size() < column.width)
            line.append(QString(column.width - value.size(), u' '));
    }
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

QString examShowText(const LoggedExam& exam) {
    QString text = QStringLiteral("Examination: %1\nLogged in: %2, record %3\n")
                       .arg(exam.number)
                       .arg(terminalText(exam.fileName))
                       .arg(exam.recordInFile);
    if (exam.missing)
        return text + QStringLiteral("Missing: the examination's record was lost; the log holds a filler "
                                     "record in its place.\n");
    if (!exam.problem.isEmpty())
        text += QStringLiteral("Damaged: %1\n").arg(terminalText(exam.problem));
    const ReportFields* fields = exam.shownFields();
    if (!fields)
        return text + QStringLiteral("The record does not follow the layout.\nRecord: %1\n")
                          .arg(escapedRecord(exam.bytes));
    for (const ExamRecordItem& item : examRecordLayout())
        text += QStringLiteral("%1: %2\n")
                    .arg(QString::fromLatin1(item.label), terminalText(fields->*(item.field)));
    text += QStringLiteral("Operator: (not logged)\nLambda: (not logged)\n");
    return text;
}

void appendCsvCell(QString& out, const QString& text) {
    out += u'"';
    if (!text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()))
        out += u'\'';
    if (!text.contains(u'"')) {
        out += text;
    } else {
        for (QChar ch : text) {
            if (ch == u'"')
                out += u'"';
            out += ch;
        }
    }
    out += u'"';
}

QString csvCell(const QString& text) {
    QString cell;
    appendCsvCell(cell, text);
    return cell;
}

QString csvHeader() {
    QString line = QStringLiteral("number,file,record");
    for (const ExamRecordItem& item : examRecordLayout())
        line += u',' + QString::fromLatin1(item.key);
    line += QStringLiteral(",status\r\n");
    return line;
}

QString csvRow(const LoggedExam& exam) {
    QString line;
    line.reserve(256);
    line += QString::number(exam.number);
    line += u',';
    appendCsvCell(line, exam.fileName);
    line += u',';
    line += QString::number(exam.recordInFile);
    const ReportFields* fields = exam.shownFields();
    for (const ExamRecordItem& item : examRecordLayout()) {
        line += u',';
        appendCsvCell(line, fields ? fields->*(item.field) : QString());
    }
    line += u',';
    appendCsvCell(line, exam.missing             ? QStringLiteral("missing")
                        : exam.problem.isEmpty() ? QString()
                                                 : QStringLiteral("damaged: ") + exam.problem);
    line += QStringLiteral("\r\n");
    return line;
}

void appendJsonString(QString& out, const QString& text) {
    out += u'"';
    bool plain = true;
    for (QChar ch : text)
        plain = plain && ch.unicode() >= 0x20 && ch != u'"' && ch != u'\\';
    if (plain) {
        out += text;
    } else {
        for (QChar ch : text) {
            const char16_t u = ch.unicode();
            if (u == u'"' || u == u'\\') {
                out += u'\\';
                out += ch;
            } else if (u < 0x20) {
                out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
            } else {
                out += ch;
            }
        }
    }
    out += u'"';
}

QString jsonString(const QString& text) {
    QString quoted;
    appendJsonString(quoted, text);
    return quoted;
}

QString jsonBegin() {
    return QStringLiteral("[");
}

QString jsonObject(const LoggedExam& exam, bool first) {
    // ", "key": " for each field, made once.
    static const QStringList keys = [] {
        QStringList made;
        for (const ExamRecordItem& item : examRecordLayout())
            made.append(QStringLiteral(", \"%1\": ").arg(QLatin1StringView(item.key)));
        return made;
    }();
    QString object;
    object.reserve(512);
    object += first ? QStringLiteral("\n{\"number\": ") : QStringLiteral(",\n{\"number\": ");
    object += QString::number(exam.number);
    object += QStringLiteral(", \"file\": ");
    appendJsonString(object, exam.fileName);
    object += QStringLiteral(", \"record\": ");
    object += QString::number(exam.recordInFile);
    if (exam.missing) {
        object += QStringLiteral(", \"missing\": true}");
        return object;
    }
    if (const ReportFields* fields = exam.shownFields()) {
        qsizetype k = 0;
        for (const ExamRecordItem& item : examRecordLayout()) {
            object += keys[k++];
            appendJsonString(object, fields->*(item.field));
        }
    }
    if (!exam.problem.isEmpty()) {
        object += QStringLiteral(", \"damaged\": ");
        appendJsonString(object, exam.problem);
    }
    object += u'}';
    return object;
}

QString jsonEnd() {
    return QStringLiteral("\n]\n");
}

QString examsCsv(const QList<const LoggedExam*>& exams) {
    QString csv = csvHeader();
    for (const LoggedExam* exam : exams)
        csv += csvRow(*exam);
    return csv;
}

QByteArray examsJson(const QList<const LoggedExam*>& exams) {
    QString json = jsonBegin();
    for (qsizetype i = 0; i < exams.size(); ++i)
        json += jsonObject(*exams[i], i == 0);
    json += jsonEnd();
    return json.toUtf8();
}

bool examMatches(const LoggedExam& exam, const ExamFilter& filter) {
    const ReportFields* fields = exam.shownFields();
    if (!fields)
        return filter.isEmpty();
    const ReportFields& f = *fields;
    if (!filter.reg.isEmpty() && !plateKey(f.regNumber).contains(plateKey(filter.reg)))
        return false;
    if (!filter.text.isEmpty()) {
        bool found = false;
        for (const ExamRecordItem& item : examRecordLayout())
            found = found || (f.*(item.field)).contains(filter.text, Qt::CaseInsensitive);
        if (!found)
            return false;
    }
    if (filter.from || filter.to) {
        const std::optional<QDate> date = parseLogDate(f.date);
        if (!date || (filter.from && *date < *filter.from) || (filter.to && *date > *filter.to))
            return false;
    }
    return true;
}

} // namespace vz
