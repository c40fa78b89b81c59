#include "ProtocolArchive.h"

#include "ArchiveAnchors.h"
#include "ArchiveLines.h"
#include "ChainSeal.h"
#include "ExamChain.h"
#include "ExamTrail.h"
#include "StationFile.h"
#include "TrailRecovery.h"

#include <QDir>
#include <QJsonDocument>
#include <algorithm>
#include <limits>

namespace vz {
namespace {

QJsonObject stamped(QJsonObject object, const char* kind, ArchiveSeries series, int number,
                    const QDateTime& time) {
    object.insert(QStringLiteral("kind"), QLatin1StringView(kind));
    object.insert(QStringLiteral("series"), QLatin1StringView(archiveSeriesName(series)));
    object.insert(QStringLiteral("number"), number);
    object.insert(QStringLiteral("time"), time.toString(Qt::ISODate));
    return object;
}

QString testKey(ArchiveSeries series, int number) {
    return QStringLiteral("%1:%2").arg(QLatin1StringView(archiveSeriesName(series))).arg(number);
}

void addTrouble(QString& troubles, const QString& trouble) {
    if (trouble.isEmpty())
        return;
    troubles += (troubles.isEmpty() ? QString() : QStringLiteral("; ")) + trouble;
}

} // namespace

ProtocolArchive::ProtocolArchive(QString dir, Now now) : dir_(std::move(dir)), now_(std::move(now)) {
    if (!now_)
        now_ = [] { return QDateTime::currentDateTime(); };
}

QString ProtocolArchive::fileName(ArchiveSeries series, QDate month) {
    return QStringLiteral("%1-%2.jsonl")
        .arg(QLatin1StringView(archivePrefix(series)), month.toString(QStringLiteral("yyyy-MM")));
}

int ProtocolArchive::wholeLines(const QString& name) {
    if (const auto known = lines_.constFind(name); known != lines_.cend())
        return *known;
    const QString path = stationPath(dir_, name);
    if (fileKindAt(path) == FileKind::Missing)
        return 0;
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxArchiveFile))
        return 0; // append() tells why
    const int lines = countArchiveLines(file);
    lines_.insert(name, lines);
    return lines;
}

ArchiveWrite ProtocolArchive::append(const QString& name, const QJsonObject& object, int testNumber) {
    ArchiveWrite result;
    result.number = testNumber;
    result.file = name;
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
        lines_.insert(name, countArchiveLines(file));
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

    const QString chainName = archiveChainName(name);
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
        addTrouble(result.sealTrouble, error);
    return result;
}

SeriesLatest& ProtocolArchive::latestOf(ArchiveSeries series) {
    const int key = static_cast<int>(series);
    if (!latest_.contains(key))
        latest_.insert(key, findSeriesLatest(dir_, series));
    return latest_[key];
}

QString ProtocolArchive::fileOf(ArchiveSeries series, int number) {
    if (const auto known = tests_.constFind(testKey(series, number)); known != tests_.cend())
        return *known;
    // A test begun by an earlier run of the station: the file of the series' latest test
    // (wherever the clock put it), then the latest months.
    QStringList names;
    const SeriesLatest& latest = latestOf(series);
    if (latest.number == number && !latest.file.isEmpty())
        names.append(latest.file);
    const QList<QDate> months = archiveMonths(dir_, series);
    for (qsizetype i = months.size() - 1; i >= 0 && i >= months.size() - 2; --i)
        names.append(fileName(series, months[i]));
    for (const QString& name : names) {
        bool found = false;
        forEachArchiveLine(
            stationPath(dir_, name),
            [&](int, const QJsonObject& line) {
                found = found || (line.value(QStringLiteral("kind")).toString() == u"started" &&
                                  line.value(QStringLiteral("number")).toInt() == number);
            },
            nullptr, kindMark(kStartedKind));
        if (found) {
            tests_.insert(testKey(series, number), name);
            return name;
        }
    }
    return QString();
}

void ProtocolArchive::registerNumber(ArchiveSeries series, int number, const QString& file,
                                     const QDateTime& time, ArchiveWrite& into) {
    const ArchiveWrite registered =
        append(archiveRegisterName(series), numberedLine(series, number, file, time), number);
    if (!registered.ok)
        addTrouble(into.sealTrouble, QStringLiteral("the number was not registered in %1: %2")
                                         .arg(archiveRegisterName(series), registered.error));
    else
        addTrouble(into.sealTrouble, registered.sealTrouble);
    if (registered.ok)
        latestOf(series).registered = number;
}

void ProtocolArchive::repairRegister(ArchiveSeries series) {
    // A crash between a started line and its register line leaves the register one number
    // behind the month files: the number is written now, with its test's file and start.
    const SeriesLatest latest = latestOf(series);
    if (!latest.started || latest.registered >= latest.number)
        return;
    ArchiveWrite ignored;
    registerNumber(series, latest.number, latest.file, latest.time, ignored);
}

ArchiveWrite ProtocolArchive::begin(ArchiveSeries series, QJsonObject started) {
    repairRegister(series);
    const SeriesLatest latest = latestOf(series);
    if (latest.number >= std::numeric_limits<int>::max()) {
        ArchiveWrite full;
        full.error = QStringLiteral("the %1 series has no number left")
                         .arg(QLatin1StringView(archiveSeriesName(series)));
        return full;
    }
    const int number = latest.number + 1;
    const QDateTime time = now_();
    const QString name = fileName(series, time.date());
    QString troubles;

    if (wholeLines(name) == 0) {
        // A new month: its first line seals the head of the file of the series' latest test
        // (the file before it in the series' own order) and the highest number so far.
        QString previous = latest.number > 0 && latest.file != name ? latest.file : QString();
        if (previous.isEmpty()) {
            const QList<QDate> months = archiveMonths(dir_, series);
            for (qsizetype i = months.size() - 1; i >= 0 && previous.isEmpty(); --i) {
                if (fileName(series, months[i]) != name)
                    previous = fileName(series, months[i]);
            }
        }
        const ChainHeadSeal head = previous.isEmpty() ? ChainHeadSeal() : readChainHeadSeal(dir_, previous);
        const ArchiveWrite linked =
            append(name, linkLine(series, name, latest.number, previous, head, time), number);
        if (!linked.ok)
            return linked;
        addTrouble(troubles, linked.sealTrouble);
    }
    if (latest.number > 0 && latest.time.isValid() && time < latest.time) {
        // The clock is behind the latest test: the jump is sealed before the started line, so
        // that a number out of month order is explained.
        const ArchiveWrite clocked = append(name, clockLine(series, number, latest, time), number);
        if (!clocked.ok)
            return clocked;
        addTrouble(troubles, clocked.sealTrouble);
    }
    ArchiveWrite written = append(name, stamped(std::move(started), "started", series, number, time), number);
    if (!written.ok)
        return written;
    tests_.insert(testKey(series, number), name);
    SeriesLatest& kept = latestOf(series);
    kept.number = number;
    kept.file = name;
    kept.time = time;
    kept.started = true;
    addTrouble(troubles, written.sealTrouble);
    written.sealTrouble = troubles;
    registerNumber(series, number, name, time, written);
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
    repairRegister(series);
    // One station runs one test at a time: only the last test begun, the series' highest
    // number, can lack its result, in whatever month the clock put it.
    const SeriesLatest latest = latestOf(series);
    if (!latest.started)
        return {};
    const QString name = latest.file;
    const QList<QJsonObject> lines = lastArchiveLines(stationPath(dir_, name), kindMark(kStartedKind));
    if (lines.isEmpty() || lines.first().value(QStringLiteral("kind")).toString() != u"started" ||
        lines.first().value(QStringLiteral("number")).toInt() != latest.number)
        return {};
    const QJsonObject& started = lines.first();
    const int number = latest.number;
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

int ProtocolArchive::attempts(const QString& registration, QDate day,
                              const std::function<QString(const QString&)>& normalise) const {
    const QString wanted = normalise(registration);
    int count = 0;
    forEachArchiveLine(
        stationPath(dir_, fileName(ArchiveSeries::Official, day)),
        [&](int, const QJsonObject& line) {
            if (line.value(QStringLiteral("kind")).toString() == u"started" &&
                QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODate).date() ==
                    day &&
                normalise(line.value(QStringLiteral("registration")).toString()) == wanted)
                ++count;
        },
        nullptr, kindMark(kStartedKind));
    return count;
}

} // namespace vz
