#pragma once
// The examination log as the report window uses it: one call logs a record in the current
// directory and seals it (trail/ExamTrail.h), with the diagnostic lines of what happened.
#include "LogFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace vz {

struct LogAppendResult {
    bool ok = false;
    int examNumber = 0;    // 200 x LogFileIndex + the record's number in its file
    QString error;         // the log could not be written, for the operator
    QString sealTrouble;   // logged, but its seal could not be written: why
    QStringList recovered; // what was repaired before the append
};

// Logs `record` as the next examination and sets `logFileIndex` to the file it went into.
// The number comes from the place after the highest examination in the log or its chain, so
// no number is ever given twice. The record is written and synced before anything else; if
// that fails nothing stays behind and the append fails. Its seal never decides the outcome.
LogAppendResult appendExamRecord(uint16_t& logFileIndex, const QByteArray& record);

} // namespace vz
