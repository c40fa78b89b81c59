#include "ArchiveLines.h"

#include "ChainFile.h"

#include <QDir>
#include <QJsonDocument>
#include <algorithm>

namespace vz {

const char* archivePrefix(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "Protokoli" : "Obuchenie";
}

const char* archiveSeriesName(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "official" : "training";
}

QString archiveChainName(const QString& linesName) {
    return linesName.left(linesName.size() - 5) + QStringLiteral("chain"); // ".jsonl" -> ".chain"
}

QList<QDate> archiveMonths(const QString& dir, ArchiveSeries series) {
    const QString prefix = QLatin1StringView(archivePrefix(series)) + u'-';
    const QLatin1StringView suffix(".jsonl");
    auto number = [](QStringView digits) {
        for (const QChar c : digits)
            if (c < u'0' || c > u'9')
                return -1;
        return digits.toInt();
    };
    QList<QDate> months;
    for (const QString& entry : QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.size() != prefix.size() + 7 + suffix.size() || !entry.startsWith(prefix) ||
            !entry.endsWith(suffix) || entry[prefix.size() + 4] != u'-')
            continue;
        const QStringView date = QStringView(entry).mid(prefix.size(), 7);
        const QDate month(number(date.left(4)), number(date.mid(5, 2)), 1);
        if (month.isValid())
            months.append(month);
    }
    std::sort(months.begin(), months.end());
    return months;
}

QByteArray kindMark(const char* kind) {
    return QByteArray("\"kind\":\"") + kind + '"';
}

bool forEachArchiveLine(const QString& path, const std::function<void(int, const QJsonObject&)>& take,
                        QString* error, const QByteArray& only) {
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxArchiveFile)) {
        if (error)
            *error = file.error();
        return false;
    }
    ChainLineReader reader(file, 0, kMaxArchiveLine);
    ChainLine line;
    int number = 0;
    while (reader.next(line)) {
        if (!line.bytes.endsWith('\n'))
            break; // a torn last line: not a line yet
        ++number;
        if (only.isEmpty() || line.bytes.contains(only))
            take(number, line.overlong ? QJsonObject() : QJsonDocument::fromJson(line.bytes).object());
    }
    if (error)
        *error = reader.error();
    return reader.error().isEmpty();
}

int countArchiveLines(StationFile& file) {
    int lines = 0;
    QByteArray block;
    for (int64_t at = 0; file.readAt(at, 1024 * 1024, block) && !block.isEmpty(); at += block.size())
        lines += static_cast<int>(block.count('\n'));
    return lines;
}

namespace {

// The whole lines of the last `window` bytes of `file` (all of them when the window is the
// file; otherwise without the first, which may begin before the window). False on a read error.
bool tailLines(StationFile& file, int64_t size, int64_t window, QList<QByteArray>& lines) {
    QByteArray bytes;
    if (!file.readAt(size - window, window, bytes))
        return false;
    bytes.truncate(bytes.lastIndexOf('\n') + 1); // a torn last line is not a line
    lines = bytes.split('\n');
    lines.removeLast(); // after the last LF
    if (window < size && !lines.isEmpty())
        lines.removeFirst();
    return true;
}

constexpr int64_t kFirstWindow = 256 * 1024;
constexpr int64_t kLastWindow = 64 * 1024 * 1024;

} // namespace

QList<QJsonObject> lastArchiveLines(const QString& path, const QByteArray& until) {
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxArchiveFile))
        return {};
    const int64_t size = file.size();
    for (int64_t window = std::min<int64_t>(size, kFirstWindow);;
         window = std::min<int64_t>(size, window * 4)) {
        QList<QByteArray> lines;
        if (!tailLines(file, size, window, lines))
            return {};
        qsizetype from = -1;
        for (qsizetype i = lines.size() - 1; i >= 0 && from < 0; --i) {
            if (lines[i].contains(until))
                from = i;
        }
        if (from >= 0 || window >= size || window >= kLastWindow) {
            QList<QJsonObject> objects;
            for (qsizetype i = std::max<qsizetype>(from, 0); i < lines.size(); ++i)
                objects.append(QJsonDocument::fromJson(lines[i]).object());
            return objects;
        }
    }
}

QJsonObject lastLineOfKind(const QString& path, const char* kind) {
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxArchiveFile))
        return {};
    const QByteArray mark = kindMark(kind);
    const int64_t size = file.size();
    for (int64_t window = std::min<int64_t>(size, kFirstWindow);;
         window = std::min<int64_t>(size, window * 4)) {
        QList<QByteArray> lines;
        if (!tailLines(file, size, window, lines))
            return {};
        for (qsizetype i = lines.size() - 1; i >= 0; --i) {
            if (!lines[i].contains(mark))
                continue;
            const QJsonObject object = QJsonDocument::fromJson(lines[i]).object();
            if (object.value(QStringLiteral("kind")).toString() == QLatin1StringView(kind) &&
                object.value(QStringLiteral("number")).toInt() > 0)
                return object;
        }
        if (window >= size || window >= kLastWindow)
            return {};
    }
}

} // namespace vz
