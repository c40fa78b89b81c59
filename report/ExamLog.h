#pragma once
// The examination log: files Pregledi00000.GPG, Pregledi00001.GPG, ... in the current
// directory, each a plain run of 160-byte records, at most 200 of them.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vz {

constexpr int kRecordsPerLogFile = 200;

QString examLogFileName(uint16_t logFileIndex);

// The number the next record gets in a file of `sizeBytes`: size / 160 + 1, rounded to
// the nearest integer with halves to even (a file that is not a whole number of records
// still gets its next record after its last byte).
int64_t nextRecordNumber(int64_t sizeBytes);

struct LogAppendResult {
    bool ok = false;
    int examNumber = 0; // 200 x LogFileIndex + the record's number in its file
    QString error;      // what went wrong, for the operator
};

// Appends one record to the first log file with room, starting at `logFileIndex` and
// advancing it past full files. The log is the legal record of the tests: the bytes go
// in one write followed by fsync; if anything fails the file is cut back to its old size,
// so earlier records are never touched and no half record stays behind. Each record also
// gets its entry in the chain beside the log (ExamChain.h), written and made durable with
// it; if either cannot be written, both files are cut back and the append fails.
LogAppendResult appendExamRecord(uint16_t& logFileIndex, const QByteArray& record);

} // namespace vz
