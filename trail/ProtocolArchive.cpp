#include "ProtocolArchive.h"

#include "ChainSeal.h"
#include "ExamChain.h"
#include "ExamTrail.h"
#include "StationFile.h"
#include "TrailRecovery.h"

#include <QDir>
#include <QJsonDocument>
#include <QMap>
#include <algorithm>

namespace vz {
namespace {

// No line of the archive comes near this: a result line holds every sample of a test.
constexpr qsizetype kMaxArchiveLine = 4 * 1024 * 1024;
constexpr int64_t kMaxArchiveFile = int64_t(2) * 1024 * 1024 * 1024;

const char* prefixOf(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "Protokoli" : "Obuchenie";
}

const char* seriesKey(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "official" : "training";
}

QString chainNameOf(const QString& fileName) {
    return fileName.left(fileName.size() - 5) + QStringLiteral("chain"); // ".jsonl" -> ".chain"
}

// The months of a series that have a file, in order, by name only: PREFIX-YYYY-MM.jsonl.
QList<QDate> monthsOf(const QString& dir, ArchiveSeries series) {
    const QString prefix = QLatin1StringView(prefixOf(series)) + u'-';
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

// Every whole line of an archive file, streamed to `take` (its number in the file, from 1,
// and its object; a line that is not a JSON object gives an empty object).
bool forEachLine(const QString& path, const std::function<void(int, const QJsonObject&)>& take,
                 QString* error, const QByteArray& only = {}) {
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
        // Only the lines that hold `only` are parsed: most lines are samples, and big.
        if (only.isEmpty() || line.bytes.contains(only))
            take(number, line.overlong ? QJsonObject() : QJsonDocument::fromJson(line.bytes).object());
    }
    if (error)
        *error = reader.error();
    return reader.error().isEmpty();
}

// The number of whole lines of an archive file, without reading what they say.
int countLines(StationFile& file) {
    int lines = 0;
    QByteArray block;
    for (int64_t at = 0; file.readAt(at, 1024 * 1024, block) && !block.isEmpty(); at += block.size())
        lines += static_cast<int>(block.count('\n'));
    return lines;
}

// The last whole lines of an archive file, back to and with the last one that holds `until`
// (or as far as 64 MB back), oldest first.
QList<QJsonObject> lastLines(const QString& path, const QByteArray& until) {
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxArchiveFile))
        return {};
    const int64_t size = file.size();
    for (int64_t window = std::min<int64_t>(size, 256 * 1024);;
         window = std::min<int64_t>(size, window * 4)) {
        QByteArray bytes;
        if (!file.readAt(size - window, window, bytes))
            return {};
        bytes.truncate(bytes.lastIndexOf('\n') + 1); // a torn last line is not a line
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast(); // after the last LF
        if (window < size && !lines.isEmpty())
            lines.removeFirst(); // it may begin before the window
        qsizetype from = -1;
        for (qsizetype i = lines.size() - 1; i >= 0 && from < 0; --i) {
            if (lines[i].contains(until))
                from = i;
        }
        if (from >= 0 || window >= size || window >= 64 * 1024 * 1024) {
            QList<QJsonObject> objects;
            for (qsizetype i = std::max<qsizetype>(from, 0); i < lines.size(); ++i)
                objects.append(QJsonDocument::fromJson(lines[i]).object());
            return objects;
        }
    }
}

} // namespace

ProtocolArchive::ProtocolArchive(QString dir, Now now) : dir_(std::move(dir)), now_(std::move(now)) {
    if (!now_)
        now_ = [] { return QDateTime::currentDateTime(); };
}

QString ProtocolArchive::fileName(ArchiveSeries series, QDate month) {
    return QStringLiteral("%1-%2.jsonl")
        .arg(QLatin1StringView(prefixOf(series)), month.toString(QStringLiteral("yyyy-MM")));
}

namespace {

QJsonObject stamped(QJsonObject object, const char* kind, ArchiveSeries series, int number,
                    const QDateTime& time) {
    object.insert(QStringLiteral("kind"), QLatin1StringView(kind));
    object.insert(QStringLiteral("series"), QLatin1StringView(seriesKey(series)));
    object.insert(QStringLiteral("number"), number);
    object.insert(QStringLiteral("time"), time.toString(Qt::ISODate));
    return object;
}

QString testKey(ArchiveSeries series, int number) {
    return QStringLiteral("%1:%2").arg(QLatin1StringView(seriesKey(series))).arg(number);
}

// Compact JSON puts the keys in order, so the kind is always spelled the same way in a line.
const QByteArray kStartedMark = "\"kind\":\"started\"";

} // namespace

ArchiveWrite ProtocolArchive::append(const QString& name, const QJsonObject& object, int testNumber) {
    ArchiveWrite result;
    result.number = testNumber;
    const QString path = stationPath(dir_, name);
    StationFile file;
    if (!file.open(path, StationFile::Access::ReadWriteCreate, kMaxArchiveFile)) {
        result.error = file.error();
        return result;
    }
    int64_t size = file.size();
    QByteArray last;
    if (size > 0 && file.readAt(size - 1, 1, last) && last != "\n") {
        // A crash in the middle of a line: its bytes are kept aside, the file goes on after
        // the last whole line.
        int64_t keep = size;
        QByteArray block;
        while (keep > 0) {
            const int64_t from = std::max<int64_t>(0, keep - 65536);
            if (!file.readAt(from, keep - from, block))
                break;
            const qsizetype lf = block.lastIndexOf('\n');
            if (lf >= 0) {
                keep = from + lf + 1;
                break;
            }
            keep = from;
        }
        QString done;
        if (!setTailAside(file, dir_, name, keep, &done, &result.error))
            return result;
        size = keep;
    }
    // The line's number in its file is its entry's number in the file's chain.
    if (!lines_.contains(name))
        lines_.insert(name, countLines(file));
    const int lineNumber = lines_.value(name) + 1;

    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (!file.writeAt(size, line) || !file.sync()) {
        result.error = file.error();
        file.truncate(size);
        file.sync();
        return result;
    }
    lines_.insert(name, lineNumber);
    result.ok = true;

    const QString chainName = chainNameOf(name);
    const ChainState chain = readChainState(stationPath(dir_, chainName), chainName);
    const StationKey key = readStationKey(dir_);
    QString keyTrouble;
    const bool keyRequired = key.present || (chain.tail.last && chain.tail.last->keyed) ||
                             (chain.tail.lastSealing && chain.tail.lastSealing->keyed);
    if (key.present && !key.error.isEmpty())
        keyTrouble = QStringLiteral("station key unusable: %1").arg(key.error);
    else if (keyRequired && !key.present)
        keyTrouble = QStringLiteral("the chain is keyed but %1 is missing")
                         .arg(QLatin1StringView(kStationKeyFileName));
    const SealResult sealed = sealInChain(chain, keyTrouble.isEmpty() && key.present ? &key.key : nullptr,
                                          keyTrouble, lineNumber, line, "lines");
    result.sealTrouble = sealed.trouble;
    result.seal = sealed.hash;
    QString error;
    if (!syncDirectory(dir_, &error))
        result.sealTrouble += (result.sealTrouble.isEmpty() ? QString() : QStringLiteral("; ")) + error;
    return result;
}

QString ProtocolArchive::fileOf(ArchiveSeries series, int number) {
    if (const auto known = tests_.constFind(testKey(series, number)); known != tests_.cend())
        return *known;
    // A test begun by an earlier run of the station: the latest months first.
    QList<QDate> months = monthsOf(dir_, series);
    for (qsizetype i = months.size() - 1; i >= 0 && i >= months.size() - 2; --i) {
        const QString name = fileName(series, months[i]);
        bool found = false;
        forEachLine(
            stationPath(dir_, name),
            [&](int, const QJsonObject& line) {
                found = found || (line.value(QStringLiteral("kind")).toString() == u"started" &&
                                  line.value(QStringLiteral("number")).toInt() == number);
            },
            nullptr, kStartedMark);
        if (found) {
            tests_.insert(testKey(series, number), name);
            return name;
        }
    }
    return QString();
}

ArchiveWrite ProtocolArchive::begin(ArchiveSeries series, QJsonObject started) {
    // The next number: one past the highest started line of the series' latest file that has
    // one (all its started lines are read: a torn or damaged line must not hide a number).
    int highest = 0;
    const QList<QDate> months = monthsOf(dir_, series);
    for (qsizetype i = months.size() - 1; i >= 0 && highest == 0; --i) {
        forEachLine(
            stationPath(dir_, fileName(series, months[i])),
            [&](int, const QJsonObject& line) {
                if (line.value(QStringLiteral("kind")).toString() == u"started")
                    highest = std::max(highest, line.value(QStringLiteral("number")).toInt());
            },
            nullptr, kStartedMark);
    }
    const QDateTime time = now_();
    const QString name = fileName(series, time.date());
    const ArchiveWrite written =
        append(name, stamped(std::move(started), "started", series, highest + 1, time), highest + 1);
    if (written.ok)
        tests_.insert(testKey(series, highest + 1), name);
    return written;
}

ArchiveWrite ProtocolArchive::journal(ArchiveSeries series, int number, QJsonObject samples) {
    const QString name = fileOf(series, number);
    if (name.isEmpty()) {
        ArchiveWrite result;
        result.error = QStringLiteral("test %1 has no started line in the archive").arg(number);
        return result;
    }
    return append(name, stamped(std::move(samples), "samples", series, number, now_()), number);
}

ArchiveWrite ProtocolArchive::finish(ArchiveSeries series, int number, QJsonObject result) {
    const QString name = fileOf(series, number);
    if (name.isEmpty()) {
        ArchiveWrite failed;
        failed.error = QStringLiteral("test %1 has no started line in the archive").arg(number);
        return failed;
    }
    return append(name, stamped(std::move(result), "result", series, number, now_()), number);
}

QList<int> ProtocolArchive::recordInterrupted(ArchiveSeries series, const Completion& complete) {
    // One station runs one test at a time: only the last test begun can lack its result.
    const QList<QDate> months = monthsOf(dir_, series);
    for (qsizetype i = months.size() - 1; i >= 0 && i >= months.size() - 2; --i) {
        const QString name = fileName(series, months[i]);
        const QList<QJsonObject> lines = lastLines(stationPath(dir_, name), kStartedMark);
        if (lines.isEmpty() || lines.first().value(QStringLiteral("kind")).toString() != u"started")
            continue;
        const QJsonObject& started = lines.first();
        const int number = started.value(QStringLiteral("number")).toInt();
        QList<QJsonObject> samples;
        for (const QJsonObject& line : lines) {
            if (line.value(QStringLiteral("number")).toInt() != number)
                continue;
            const QString kind = line.value(QStringLiteral("kind")).toString();
            if (kind == u"result")
                return {};
            if (kind == u"samples")
                samples.append(line);
        }
        tests_.insert(testKey(series, number), name);
        const ArchiveWrite written =
            append(name, stamped(complete(started, samples), "result", series, number, now_()), number);
        return written.ok ? QList<int>{number} : QList<int>{};
    }
    return {};
}

int ProtocolArchive::attempts(const QString& registration, QDate day,
                              const std::function<QString(const QString&)>& normalise) const {
    const QString wanted = normalise(registration);
    int count = 0;
    forEachLine(
        stationPath(dir_, fileName(ArchiveSeries::Official, day)),
        [&](int, const QJsonObject& line) {
            if (line.value(QStringLiteral("kind")).toString() == u"started" &&
                QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODate).date() ==
                    day &&
                normalise(line.value(QStringLiteral("registration")).toString()) == wanted)
                ++count;
        },
        nullptr, kStartedMark);
    return count;
}

} // namespace vz
