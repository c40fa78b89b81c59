#pragma once
// The logged examinations as text: the one-line list, the labelled whole of one, CSV and JSON,
// each made one examination at a time so that a command can write as it reads.
//
// What each output does with text that is not plain:
// - The terminal (list, show, messages): control characters are shown as escapes (\r, \n, \t,
//   \x1b, ...) and a backslash as \\, so no name or field can move the cursor or recolour it.
// - Every output: a byte of a record that is no text (a byte code page 1251 does not have, a
//   control byte) is shown as U+FFFD, the replacement mark; the problem line names the byte.
// - CSV: a cell that begins with =, +, -, @, TAB or CR gets a leading apostrophe, so that a
//   spreadsheet shows it as text instead of running it as a formula. JSON keeps text exact.
// - An examination whose record was lost (the filler record in its place) is "missing": in the
//   list and show in words, in CSV by the status column, in JSON by "missing": true.
// - A record that does not follow the layout is told so; CSV and JSON mark it "damaged" with
//   the problem, and give the fields when they could be read around bytes that are no text.
#include "ExamLogReader.h"

#include <QString>

namespace vz {

// `text` fit for a terminal: control characters (C0, DEL, C1) as escapes, a backslash doubled.
QString terminalText(const QString& text);

// The fields in the order the list shows them: registration first after the date and time.
QString examListLine(const LoggedExam& exam);
QString examListHeader();
QString examShowText(const LoggedExam& exam);

// RFC 4180: a header line, then one line per examination, every text quoted, CR LF. The last
// column, status, is empty for a record as logged, "missing" for a lost one, "damaged: WHY"
// for a record that is not as the station writes it.
QString csvHeader();
QString csvRow(const LoggedExam& exam);
// A cell as the CSV writes it: quoted, and neutralised when a spreadsheet would run it.
QString csvCell(const QString& text);

// A JSON array written as it goes: "[", then one object per line, then "]".
QString jsonBegin();
QString jsonObject(const LoggedExam& exam, bool first);
QString jsonEnd();
// `text` as a JSON string, quotes included.
QString jsonString(const QString& text);
// The same, appended to `out`.
void appendJsonString(QString& out, const QString& text);

// The whole export of a list of examinations in one piece (small logs and tests).
QString examsCsv(const QList<const LoggedExam*>& exams);
QByteArray examsJson(const QList<const LoggedExam*>& exams);

struct ExamFilter {
    QString reg;  // part of the registration number (blanks and case aside; Cyrillic and
                  // Latin letters of the same shape match each other)
    QString text; // part of any field
    std::optional<QDate> from;
    std::optional<QDate> to;

    bool isEmpty() const { return reg.isEmpty() && text.isEmpty() && !from && !to; }
};
// An examination without fields to compare (a lost or an unreadable record) matches only when
// nothing is asked for.
bool examMatches(const LoggedExam& exam, const ExamFilter& filter);

} // namespace vz
