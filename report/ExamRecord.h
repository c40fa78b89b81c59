#pragma once
// The report fields captured when PRINT is pressed and the 160-byte examination record
// that the log keeps of them.
#include <QByteArray>
#include <QString>

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

// The record as text: 158 characters and CR LF, with one more CR LF before the
// registration number. Each item is followed by at least one blank and padded to its
// column; a long item pushes the rest to the right.
QString examRecordText(const ReportFields& fields);

// The record in code page 1251, exactly 160 bytes.
QByteArray examRecordBytes(const ReportFields& fields);

} // namespace vz
