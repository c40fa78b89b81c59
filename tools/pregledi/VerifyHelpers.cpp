// The texts the findings of verify are made of.
#include "VerifyHelpers.h"

#include "LogFiles.h"

#include <QLatin1StringView>
#include <algorithm>

namespace vz::verify_parts {

QString examinations(int first, int last) {
    if (last <= first)
        return QStringLiteral("examination %1").arg(first);
    return QStringLiteral("examinations %1-%2").arg(first).arg(last);
}

QString logPlaces(int first, int last) {
    const ExamPlace from = examPlace(first);
    if (last <= first)
        return QStringLiteral("%1 record %2").arg(examLogFileName(from.fileIndex)).arg(from.recordInFile);
    const ExamPlace to = examPlace(last);
    if (from.fileIndex == to.fileIndex)
        return QStringLiteral("%1 records %2-%3")
            .arg(examLogFileName(from.fileIndex))
            .arg(from.recordInFile)
            .arg(to.recordInFile);
    return QStringLiteral("%1 record %2 to %3 record %4")
        .arg(examLogFileName(from.fileIndex))
        .arg(from.recordInFile)
        .arg(examLogFileName(to.fileIndex))
        .arg(to.recordInFile);
}

QString plural(int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1StringView(count == 1 ? one : many));
}

QString withoutPath(const QString& error, const QString& path) {
    const QString prefix = path + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
}

bool allZero(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

} // namespace vz::verify_parts
