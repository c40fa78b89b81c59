#pragma once
// The report fields captured when PRINT is pressed and the 160-byte examination record
// that the log keeps of them. The record's layout is one table (examRecordLayout); the
// writer builds a record from it and the parser reads one back through the same table.
#include <QByteArray>
#include <QString>
#include <optional>
#include <span>

namespace vz {

struct ReportFields {
    QString date;         // short date text, 15
    QString time;         // long time text, 15
    QString operatorName; // 25
    QString owner;        // 25
    QString makeModel;    // 25
    QString year;         // 4
    QString regNumber;    // 8
    QString co;           // 5 each from here on
    QString co2;
    QString hc;
    QString o2;
    QString oilTemp;
    QString rpm;
    QString lambda;
};

// Cuts every field to its longest length. Line breaks and other control characters
// become blanks, so a pasted text can never split a record.
ReportFields cutReportFields(const ReportFields& raw);

constexpr int kExamRecordSize = 160;

// One item of the record, in the order the record holds them: the text `prefix` + field +
// `suffix` is appended, followed by at least one blank and more until the text is `padTo`
// characters long. The operator and the lambda factor are not logged.
struct ExamRecordItem {
    QString ReportFields::*field;
    const char* key;   // a short name for the field (export column, JSON key)
    const char* label; // how the field is named to a person
    int longest;       // the field's longest length
    QLatin1StringView prefix;
    QLatin1StringView suffix;
    int padTo;
};
std::span<const ExamRecordItem> examRecordLayout();

// The record as text: 158 characters and CR LF, with one more CR LF before the
// registration number. Each item is followed by at least one blank and padded to its
// column; a long item pushes the rest to the right.
QString examRecordText(const ReportFields& fields);

// The record in code page 1251, exactly 160 bytes.
QByteArray examRecordBytes(const ReportFields& fields);

// The writer's inverse: the logged fields of a record text (160 characters ending in CR
// LF), such that examRecordText() of them gives the same text back. Blanks at the end of a
// field cannot be told from its padding and are not returned. Where the text is not one the
// writer can make, nothing is returned. (When a field holding blanks overflows its column,
// more than one set of fields gives the same text; the parser takes the one whose earliest
// fields are shortest.)
std::optional<ReportFields> parseExamRecordText(const QString& text);

} // namespace vz
