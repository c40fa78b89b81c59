#pragma once
// Reading the examination log back, one file at a time: each Pregledi<NNNNN>.GPG of a station
// directory opened for what it is (read-only, never through a link, never blocking on a FIFO,
// a regular file or nothing), read no further than its 200 records, cut into 160-byte records
// and each record checked against the layout the station writes it in. Nothing is kept from
// one file to the next, so memory stays the same whatever the age of the log.
#include "ExamRecord.h"
#include "LogFiles.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace vz {

struct LoggedExam {
    int number = 0;                     // 200 x file index + the record's number in its file
    QString fileName;                   // Pregledi00000.GPG
    int recordInFile = 0;               // 1..200
    QByteArray bytes;                   // the record as logged, 160 bytes
    std::optional<ReportFields> fields; // a record the station writes: its fields
    bool missing = false;               // the filler record: the examination's record was lost
    QString problem;                    // what is wrong with the record; empty when nothing
    // A record that follows the layout but for bytes that are no text (a byte code page 1251
    // does not have, a control byte): its fields with each such byte as U+FFFD.
    std::optional<ReportFields> marked;

    // The fields to show: the record's own, else the marked ones; none for a lost record.
    const ReportFields* shownFields() const {
        if (missing)
            return nullptr;
        return fields ? &*fields : marked ? &*marked : nullptr;
    }
};

// One thing wrong with the log, told by file and record (record 0: the file as a whole).
struct LogProblem {
    QString fileName;
    int record = 0;
    int examNumber = 0; // 0 when no examination is meant
    QString text;
};
QString describeProblem(const LogProblem& problem);

using ExamSink = std::function<void(const LoggedExam&)>;
using ProblemSink = std::function<void(const LogProblem&)>;

// The numbers of the log files of `dir`, in order. What is wrong with the names is told as it
// is found: the directory missing, each name that only resembles a log file's, and each run of
// files missing from the series as one range.
QList<int> logFileSeries(const QString& dir, const ProblemSink& problems);

// Reads log file number `index`: its records in order to `exams`, what is wrong to `problems`.
// `laterFileExists`: a file short of 200 records is then a problem.
void readLogFile(const QString& dir, int index, bool laterFileExists, const ExamSink& exams,
                 const ProblemSink& problems);

// Every log file of `dir` in order, one at a time.
void readExamLog(const QString& dir, const ExamSink& exams, const ProblemSink& problems);

// Examination `number` from its own place (its file and offset), reading nothing else.
struct ExamLookup {
    std::optional<LoggedExam> exam; // nothing when the log does not hold the place
    QList<LogProblem> problems;     // of its file and of its record
};
ExamLookup findExam(const QString& dir, int number);

// The whole log gathered in memory: for tests and small logs only; the commands stream.
struct ExamLogScan {
    QString dir;
    QList<QString> files;    // the log files read, in order
    QList<LoggedExam> exams; // every whole record, in log order
    QList<LogProblem> problems;

    const LoggedExam* find(int number) const;
};
ExamLogScan scanExamLog(const QString& dir);

// What is wrong with one 160-byte record, or nothing when it is a record the station writes.
std::optional<QString> recordProblem(const QByteArray& bytes);

// The record as text, code page 1251, with every byte that is no text in it (a byte the code
// page does not have, a control byte other than the two line breaks) as U+FFFD.
QString markedRecordText(const QByteArray& bytes);

// The fields of a record text, as parseExamRecordText gives them, found first by the columns
// of a record whose every item fits its column (nearly every record), and by the full search
// only when that fails.
std::optional<ReportFields> parseRecordFields(const QString& text);

// A date as the log holds it (the station's short date: 07.12.2026, 7.12.26, 12/7/2026,
// 07.12.2026 г.) or as yyyy-mm-dd.
std::optional<QDate> parseLogDate(const QString& text);

} // namespace vz
