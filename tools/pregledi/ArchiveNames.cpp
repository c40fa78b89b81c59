// The archive's files told by their names, and the texts of the tests' numbers.
#include "TestArchive.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

namespace vz {
namespace {

const char* prefixOf(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "Protokoli" : "Obuchenie";
}

QDate monthOf(const QString& year, const QString& month) {
    return QDate(year.toInt(), month.toInt(), 1);
}

} // namespace

QString archiveSeriesKey(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? QStringLiteral("official") : QStringLiteral("training");
}

QString testNumberText(ArchiveSeries series, int number) {
    return series == ArchiveSeries::Training ? QStringLiteral("О-%1").arg(number) : QString::number(number);
}

QString testRangeText(ArchiveSeries series, int from, int to) {
    if (to <= from)
        return QStringLiteral("test ") + testNumberText(series, from);
    return series == ArchiveSeries::Training ? QStringLiteral("tests О-%1 to О-%2").arg(from).arg(to)
                                             : QStringLiteral("tests %1-%2").arg(from).arg(to);
}

ArchiveFile archiveRegisterFile(ArchiveSeries series) {
    const QString stem = QLatin1StringView(prefixOf(series)) + QStringLiteral("-nomera");
    return {series, QDate(), stem + QStringLiteral(".jsonl"), stem + QStringLiteral(".chain"), true};
}

ArchiveNameKind archiveNameKind(const QString& name) {
    ArchiveNameKind result;
    const bool official = name.startsWith(QLatin1StringView("Protokoli"));
    if (!official && !name.startsWith(QLatin1StringView("Obuchenie")))
        return result;
    result.kind = ArchiveName::Stray;
    const ArchiveSeries series = official ? ArchiveSeries::Official : ArchiveSeries::Training;
    static const QRegularExpression pattern(QStringLiteral(
        "^(?:Protokoli|Obuchenie)-(?:([0-9]{4})-([0-9]{2})|(nomera))\\.(jsonl|chain)(\\.torn-[0-9]{8}-"
        "[0-9]{6}(?:-[0-9]+)?)?$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return result;
    const bool lines = match.captured(4) == QLatin1StringView("jsonl");
    const bool torn = !match.captured(5).isEmpty();
    if (torn && !lines)
        return result;
    if (!match.captured(3).isEmpty()) {
        result.file = archiveRegisterFile(series);
        result.kind = torn ? ArchiveName::Torn : lines ? ArchiveName::Register : ArchiveName::RegisterChain;
        return result;
    }
    const QDate month = monthOf(match.captured(1), match.captured(2));
    if (!month.isValid())
        return result;
    const QString stem = name.left(17); // Protokoli-2026-12, Obuchenie-2026-12
    result.file = {series, month, stem + QStringLiteral(".jsonl"), stem + QStringLiteral(".chain")};
    result.kind = torn ? ArchiveName::Torn : lines ? ArchiveName::Lines : ArchiveName::Chain;
    return result;
}

std::optional<ArchiveFile> archiveFileNamed(const QString& name) {
    const ArchiveNameKind kind = archiveNameKind(name);
    if (kind.kind != ArchiveName::Lines)
        return std::nullopt;
    return kind.file;
}

QList<ArchiveFile> archiveFiles(const QString& dir, ArchiveSeries series) {
    QList<ArchiveFile> files;
    const QString prefix = QLatin1StringView(prefixOf(series)) + QStringLiteral("-*.jsonl");
    for (const QString& name : QDir(dir).entryList({prefix}, QDir::AllEntries | QDir::System | QDir::Hidden |
                                                                 QDir::NoDotAndDotDot)) {
        if (const std::optional<ArchiveFile> file = archiveFileNamed(name); file && file->series == series)
            files.append(*file);
    }
    std::sort(files.begin(), files.end(),
              [](const ArchiveFile& a, const ArchiveFile& b) { return a.month < b.month; });
    return files;
}

} // namespace vz
