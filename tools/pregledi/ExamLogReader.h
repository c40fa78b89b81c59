#pragma once
// Reading the examination log back: every Pregledi<NNNNN>.GPG of a directory, opened
// read-only, cut into 160-byte records and each record checked against the layout the
// station writes it in.
#include "ExamRecord.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace vz {

struct LoggedExam {
    int number = 0;                     // 200 x file index + the record's number in its file
    QString fileName;                   // Pregledi00000.GPG
    int recordInFile = 0;               // 1..200
    QByteArray bytes;                   // the record as logged, 160 bytes
    std::optional<ReportFields> fields; // nothing when the record does not follow the layout
};

// One thing wrong with the log, told by file and record (record 0: the file as a whole).
struct LogProblem {
    QString fileName;
    int record = 0;
    int examNumber = 0; // 0 when no examination is meant
    QString text;
};
QString describeProblem(const LogProblem& problem);

struct ExamLogScan {
    QString dir;
    QList<QString> files;    // the log files found, in order
    QList<LoggedExam> exams; // every whole record, in log order
    QList<LogProblem> problems;

    const LoggedExam* find(int number) const;
};

ExamLogScan scanExamLog(const QString& dir);

// What is wrong with one 160-byte record, or nothing when it is a record the station writes.
std::optional<QString> recordProblem(const QByteArray& bytes);

// A date as the log holds it (the station's short date: 07.12.2026, 7.12.26, 12/7/2026,
// 07.12.2026 г.) or as yyyy-mm-dd.
std::optional<QDate> parseLogDate(const QString& text);

} // namespace vz
