#pragma once
// The examination log's files: Pregledi00000.GPG, Pregledi00001.GPG, ... in the station
// directory, each a plain run of 160-byte records, at most 200 of them. An examination's
// number is its place: 200 x the file's number + the record's number in its file (1..200).
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace vz {

constexpr int kLogRecordSize = 160;
constexpr int kRecordsPerLogFile = 200;
constexpr int64_t kFullLogFileSize = int64_t(kLogRecordSize) * kRecordsPerLogFile;
constexpr int kLastLogFileIndex = 65535;
constexpr int kLastExamNumber = kRecordsPerLogFile * kLastLogFileIndex + kRecordsPerLogFile;

QString examLogFileName(int logFileIndex);
// The file's number when `name` is exactly Pregledi + 5 digits + .GPG.
std::optional<int> logFileIndexOf(const QString& name);

struct ExamPlace {
    int fileIndex = 0;
    int recordInFile = 0; // 1..200
    int64_t offset() const { return int64_t(recordInFile - 1) * kLogRecordSize; }
};
ExamPlace examPlace(int examNumber); // examNumber >= 1
inline int examNumberAt(int fileIndex, int recordInFile) {
    return kRecordsPerLogFile * fileIndex + recordInFile;
}

// The record that stands in the log for an examination whose record was lost (the chain
// holds it, the log no longer does), so that its number, which comes from its place, is never
// given again. It follows the record layout, the same 160 bytes in every case: the date
// 00.00.0000, the time 00:00:00, the owner "MISSING EXAMINATION", every other field empty.
const QByteArray& fillerRecord();
inline bool isFillerRecord(const QByteArray& record) {
    return record == fillerRecord();
}

// The numbers of the log files in `dir`, in order, by name only (what each name is, is for
// whoever opens it). Names that only resemble a log file's are in `strays`.
struct LogFileNames {
    QList<int> indexes;
    QStringList strays;
};
LogFileNames listLogFiles(const QString& dir);

} // namespace vz
