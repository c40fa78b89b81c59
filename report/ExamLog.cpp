#include "ExamLog.h"

#include "Diagnostics.h"
#include "ExamTrail.h"

namespace vz {

LogAppendResult appendExamRecord(uint16_t& logFileIndex, const QByteArray& record) {
    const TrailAppend append = appendExam(QStringLiteral("."), record);
    for (const QString& line : append.recovered)
        qCWarning(lcLog, "repaired before the append: %s", qUtf8Printable(line));
    LogAppendResult result;
    result.ok = append.logged;
    result.examNumber = append.examNumber;
    result.error = append.logError;
    result.sealTrouble = append.sealTrouble;
    result.recovered = append.recovered;
    if (!result.ok) {
        qCWarning(lcLog, "examination not logged: %s", qUtf8Printable(result.error));
        return result;
    }
    logFileIndex = static_cast<uint16_t>(examPlace(result.examNumber).fileIndex);
    qCInfo(lcLog, "examination %d logged in %s", result.examNumber,
           qUtf8Printable(examLogFileName(logFileIndex)));
    if (!result.sealTrouble.isEmpty())
        qCWarning(lcLog, "examination %d not sealed: %s", result.examNumber,
                  qUtf8Printable(result.sealTrouble));
    return result;
}

} // namespace vz
