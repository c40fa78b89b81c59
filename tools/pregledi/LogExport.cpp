#include "LogExport.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

QString csvQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
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
    if (!exam.fields)
        return line + QStringLiteral("  (does not follow the record layout)");
    for (const Column& column : kListColumns)
        line += QStringLiteral("  ") + ((*exam.fields).*(column.field)).leftJustified(column.width);
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

QString examShowText(const LoggedExam& exam) {
    QString text = QStringLiteral("Examination: %1\nLogged in: %2, record %3\n")
                       .arg(exam.number)
                       .arg(exam.fileName)
                       .arg(exam.recordInFile);
    if (!exam.fields)
        return text + QStringLiteral("The record does not follow the layout.\n");
    for (const ExamRecordItem& item : examRecordLayout())
        text += QStringLiteral("%1: %2\n").arg(QString::fromLatin1(item.label), (*exam.fields).*(item.field));
    text += QStringLiteral("Operator: (not logged)\nLambda: (not logged)\n");
    return text;
}

QString examsCsv(const QList<const LoggedExam*>& exams) {
    QString csv = QStringLiteral("number,file,record");
    for (const ExamRecordItem& item : examRecordLayout())
        csv += u',' + QString::fromLatin1(item.key);
    csv += QStringLiteral("\r\n");
    for (const LoggedExam* exam : exams) {
        if (!exam->fields)
            continue;
        csv += QStringLiteral("%1,%2,%3")
                   .arg(exam->number)
                   .arg(csvQuoted(exam->fileName))
                   .arg(exam->recordInFile);
        for (const ExamRecordItem& item : examRecordLayout())
            csv += u',' + csvQuoted((*exam->fields).*(item.field));
        csv += QStringLiteral("\r\n");
    }
    return csv;
}

QByteArray examsJson(const QList<const LoggedExam*>& exams) {
    QJsonArray array;
    for (const LoggedExam* exam : exams) {
        if (!exam->fields)
            continue;
        QJsonObject object;
        object.insert(QStringLiteral("number"), exam->number);
        object.insert(QStringLiteral("file"), exam->fileName);
        object.insert(QStringLiteral("record"), exam->recordInFile);
        for (const ExamRecordItem& item : examRecordLayout())
            object.insert(QString::fromLatin1(item.key), (*exam->fields).*(item.field));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

bool examMatches(const LoggedExam& exam, const ExamFilter& filter) {
    if (!exam.fields)
        return filter.reg.isEmpty() && filter.text.isEmpty() && !filter.from && !filter.to;
    const ReportFields& f = *exam.fields;
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
