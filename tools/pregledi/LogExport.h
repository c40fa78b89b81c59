#pragma once
// The logged examinations as text: the one-line list, the labelled whole of one, CSV and JSON.
#include "ExamLogReader.h"

#include <QString>

namespace vz {

// The fields in the order the list shows them: registration first after the date and time.
QString examListLine(const LoggedExam& exam);
QString examListHeader();
QString examShowText(const LoggedExam& exam);

// RFC 4180: a header line, then one line per examination, every text quoted, CR LF.
QString examsCsv(const QList<const LoggedExam*>& exams);
QByteArray examsJson(const QList<const LoggedExam*>& exams);

struct ExamFilter {
    QString reg;  // part of the registration number (blanks and case aside; Cyrillic and
                  // Latin letters of the same shape match each other)
    QString text; // part of any field
    std::optional<QDate> from;
    std::optional<QDate> to;
};
bool examMatches(const LoggedExam& exam, const ExamFilter& filter);

} // namespace vz
