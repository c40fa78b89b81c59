#include "ArchiveAnchors.h"

#include "ArchiveLines.h"
#include "ChainSeal.h"

namespace vz {

QString archiveRegisterName(ArchiveSeries series) {
    return QLatin1StringView(archivePrefix(series)) + QStringLiteral("-nomera.jsonl");
}

namespace {

QDateTime timeOf(const QJsonObject& line) {
    return QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODate);
}

} // namespace

SeriesLatest findSeriesLatest(const QString& dir, ArchiveSeries series) {
    SeriesLatest latest;
    const QJsonObject registered =
        lastLineOfKind(stationPath(dir, archiveRegisterName(series)), kNumberedKind);
    latest.registered = registered.value(QStringLiteral("number")).toInt();
    if (latest.registered > 0) {
        latest.number = latest.registered;
        latest.file = registered.value(QStringLiteral("file")).toString();
        latest.time = timeOf(registered);
    }
    auto take = [&](const QString& name, const QJsonObject& started) {
        const int number = started.value(QStringLiteral("number")).toInt();
        if (number > latest.number || (number == latest.number && number > 0 && !latest.started)) {
            latest.number = number;
            latest.file = name;
            latest.time = timeOf(started);
            latest.started = true;
        }
    };
    const QList<QDate> months = archiveMonths(dir, series);
    for (qsizetype i = 0; i < months.size(); ++i) {
        const QString name = ProtocolArchive::fileName(series, months[i]);
        if (i + 1 < months.size()) {
            take(name, lastLineOfKind(stationPath(dir, name), kStartedKind));
            continue;
        }
        // The latest month: every started line (a torn or damaged line must not hide a number).
        forEachArchiveLine(
            stationPath(dir, name),
            [&](int, const QJsonObject& line) {
                if (line.value(QStringLiteral("kind")).toString() == QLatin1StringView(kStartedKind))
                    take(name, line);
            },
            nullptr, kindMark(kStartedKind));
    }
    return latest;
}

ChainHeadSeal readChainHeadSeal(const QString& dir, const QString& linesName) {
    ChainHeadSeal head;
    if (fileKindAt(stationPath(dir, linesName)) == FileKind::Missing) {
        head.trouble = QStringLiteral("%1 is missing").arg(linesName);
        return head;
    }
    const QString chainName = archiveChainName(linesName);
    const QString path = stationPath(dir, chainName);
    if (fileKindAt(path) == FileKind::Missing) {
        head.trouble = QStringLiteral("%1 is missing").arg(chainName);
        return head;
    }
    const ChainState chain = readChainState(path, chainName);
    if (!chain.problem.isEmpty())
        head.trouble = chain.problem;
    else if (!chain.tail.last)
        head.trouble = QStringLiteral("%1 has no entry").arg(chainName);
    else {
        head.entry = chain.tail.last->examNumber;
        head.hash = chain.tail.last->hash;
    }
    return head;
}

QJsonObject linkLine(ArchiveSeries series, const QString& file, int highest, const QString& previous,
                     const ChainHeadSeal& head, const QDateTime& time) {
    const QJsonValue none(QJsonValue::Null);
    QJsonObject line{{QStringLiteral("kind"), QLatin1StringView(kLinkKind)},
                     {QStringLiteral("series"), QLatin1StringView(archiveSeriesName(series))},
                     {QStringLiteral("file"), file},
                     {QStringLiteral("highest"), highest},
                     {QStringLiteral("previous"), previous.isEmpty() ? none : QJsonValue(previous)},
                     {QStringLiteral("time"), time.toString(Qt::ISODate)}};
    if (!previous.isEmpty()) {
        line.insert(QStringLiteral("previousEntry"), head.hash.isEmpty() ? none : QJsonValue(head.entry));
        line.insert(QStringLiteral("previousHead"),
                    head.hash.isEmpty() ? none : QJsonValue(QString::fromLatin1(head.hash.toHex())));
        if (head.hash.isEmpty())
            line.insert(QStringLiteral("previousTrouble"), head.trouble);
    }
    return line;
}

QJsonObject clockLine(ArchiveSeries series, int number, const SeriesLatest& latest, const QDateTime& time) {
    return {{QStringLiteral("kind"), QLatin1StringView(kClockKind)},
            {QStringLiteral("series"), QLatin1StringView(archiveSeriesName(series))},
            {QStringLiteral("number"), number},
            {QStringLiteral("time"), time.toString(Qt::ISODate)},
            {QStringLiteral("latest"), latest.time.toString(Qt::ISODate)},
            {QStringLiteral("latestFile"), latest.file},
            {QStringLiteral("latestNumber"), latest.number}};
}

QJsonObject numberedLine(ArchiveSeries series, int number, const QString& file, const QDateTime& time) {
    return {{QStringLiteral("kind"), QLatin1StringView(kNumberedKind)},
            {QStringLiteral("series"), QLatin1StringView(archiveSeriesName(series))},
            {QStringLiteral("number"), number},
            {QStringLiteral("file"), file},
            {QStringLiteral("time"), time.toString(Qt::ISODate)}};
}

} // namespace vz
