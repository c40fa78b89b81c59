// The result line of a test whose station stopped before writing it, made at the next start
// from the test's started and samples lines, as the procedure would have decided it when
// interrupted at its last journalled moment.
#include "AverageJson.h"
#include "TwoSpeedRecord.h"

#include <QJsonArray>
#include <QJsonValue>

namespace vz::twospeed {

namespace {

QString phaseTitleOf(const QString& key) {
    return phaseName(key == phaseKey(PhaseKind::HighIdle) ? PhaseKind::HighIdle : PhaseKind::Idle);
}

// A phase of the started line's limit set that the journal never saw end.
QJsonObject emptyPhase(const QString& key, const QJsonValue& window) {
    QJsonObject o{
        {QStringLiteral("name"), key},
        {QStringLiteral("title"), phaseTitleOf(key)},
        {QStringLiteral("window"), window},
        {QStringLiteral("verdict"), verdictKey(Verdict::NotRun)},
        {QStringLiteral("verdictText"), phaseVerdictText(Verdict::NotRun)},
        {QStringLiteral("reason"), QString()},
        {QStringLiteral("startedMs"), -1},
        {QStringLiteral("endedMs"), -1},
        {QStringLiteral("restarts"), 0},
        {QStringLiteral("phaseLimitReached"), false},
        {QStringLiteral("probeOuts"), QJsonArray()},
        {QStringLiteral("deciding"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lastAverage"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("samples"), QJsonArray()},
    };
    const QJsonObject printed = printedAverage(std::nullopt);
    for (auto it = printed.constBegin(); it != printed.constEnd(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

// The failing average a phase object's "deciding" holds, with the phase's name.
QJsonValue withPhase(const QJsonValue& average, const QString& phase) {
    if (!average.isObject())
        return QJsonValue(QJsonValue::Null);
    QJsonObject o = average.toObject();
    o.insert(QStringLiteral("phase"), phase);
    return o;
}

} // namespace

QJsonObject interruptedResult(const QJsonObject& started, const QList<QJsonObject>& samples,
                              const QString& reason, const QDateTime& ended, std::optional<int> attempt) {
    // The phases the started line's limit set asks for, in order.
    const QJsonObject limits = started.value(QStringLiteral("limitSet")).toObject();
    QList<QJsonObject> phases;
    if (limits.value(QStringLiteral("highIdleApplies")).toBool())
        phases.append(
            emptyPhase(phaseKey(PhaseKind::HighIdle), limits.value(QStringLiteral("highIdleWindow"))));
    phases.append(emptyPhase(phaseKey(PhaseKind::Idle), limits.value(QStringLiteral("idleWindow"))));
    const auto indexOf = [&](const QString& key) -> qsizetype {
        for (qsizetype i = 0; i < phases.size(); ++i)
            if (phases[i].value(QStringLiteral("name")).toString() == key)
                return i;
        return -1;
    };

    QList<QJsonArray> phaseSamples(phases.size());
    QList<QJsonArray> phaseProbeOuts(phases.size());
    QList<QJsonValue> lastFailing(phases.size(), QJsonValue(QJsonValue::Null));
    QList<bool> over(phases.size(), false);
    QString underWay;
    qint64 underWayStart = -1;
    qint64 lastMs = 0;
    bool measuring = false;
    QString lastTime = started.value(QStringLiteral("time")).toString();
    for (const QJsonObject& line : samples) {
        if (line.contains(QStringLiteral("time")))
            lastTime = line.value(QStringLiteral("time")).toString();
        if (line.value(QStringLiteral("stage")).toString() == QStringLiteral("phases"))
            measuring = true;
        for (const QJsonValue& s : line.value(QStringLiteral("samples")).toArray()) {
            const QJsonObject sample = s.toObject();
            const qsizetype i = indexOf(sample.value(QStringLiteral("phase")).toString());
            if (i < 0)
                continue;
            phaseSamples[i].append(sample);
            const qint64 t = sample.value(QStringLiteral("t")).toInteger();
            if (sample.value(QStringLiteral("diluted")).toBool())
                phaseProbeOuts[i].append(t);
            lastMs = std::max<qint64>(lastMs, t);
            measuring = true;
        }
        for (const QJsonValue& f : line.value(QStringLiteral("failing")).toArray()) {
            const qsizetype i = indexOf(f.toObject().value(QStringLiteral("phase")).toString());
            if (i >= 0)
                lastFailing[i] = f;
        }
        for (const QJsonValue& e : line.value(QStringLiteral("ended")).toArray()) {
            const QJsonObject phase = e.toObject();
            const qsizetype i = indexOf(phase.value(QStringLiteral("name")).toString());
            if (i < 0)
                continue;
            for (auto it = phase.constBegin(); it != phase.constEnd(); ++it)
                phases[i].insert(it.key(), it.value());
            over[i] = true;
            lastMs = std::max<qint64>(lastMs, phase.value(QStringLiteral("endedMs")).toInteger());
        }
        const QJsonObject current = line.value(QStringLiteral("current")).toObject();
        if (!current.isEmpty()) {
            underWay = current.value(QStringLiteral("name")).toString();
            underWayStart = current.value(QStringLiteral("startedMs")).toInteger(-1);
        }
    }

    // The phase under way when the station stopped: the one named last, or the first that
    // had samples but no end.
    qsizetype stopped = -1;
    if (measuring) {
        const qsizetype named = indexOf(underWay);
        if (named >= 0 && !over[named])
            stopped = named;
        for (qsizetype i = 0; stopped < 0 && i < phases.size(); ++i)
            if (!over[i])
                stopped = i;
    }
    QStringList failed;
    QJsonValue failingAverage(QJsonValue::Null);
    for (qsizetype i = 0; i < phases.size(); ++i) {
        phases[i].insert(QStringLiteral("samples"), phaseSamples[i]);
        if (!over[i] || phases[i].value(QStringLiteral("verdict")).toString() != verdictKey(Verdict::Fail))
            continue;
        const QString name = phases[i].value(QStringLiteral("name")).toString();
        failed << phaseTitleOf(name) + QStringLiteral(": ") +
                      phases[i].value(QStringLiteral("reason")).toString();
        if (failingAverage.isNull())
            failingAverage = withPhase(phases[i].value(QStringLiteral("deciding")), name);
    }
    QString testReason;
    if (stopped >= 0) {
        QJsonObject& p = phases[stopped];
        // A failing average the phase had journalled stays with the interruption, as the
        // procedure keeps its last valid failing average.
        const std::optional<PhaseAverage> failing = phaseAverageFromValue(lastFailing[stopped]);
        QString phaseReason = reason;
        if (failing) {
            phaseReason +=
                QStringLiteral(", след средна стойност извън нормата: ") + failText(failing->average.checks);
            const QJsonValue deciding = averageValue(failing->average);
            p.insert(QStringLiteral("deciding"), deciding);
            const QJsonObject printed = printedAverage(failing->average);
            for (auto it = printed.constBegin(); it != printed.constEnd(); ++it)
                p.insert(it.key(), it.value());
            if (failed.isEmpty())
                failingAverage = lastFailing[stopped];
        }
        p.insert(QStringLiteral("verdict"), verdictKey(Verdict::Interrupted));
        p.insert(QStringLiteral("verdictText"), phaseVerdictText(Verdict::Interrupted));
        p.insert(QStringLiteral("reason"), phaseReason);
        p.insert(QStringLiteral("probeOuts"), phaseProbeOuts[stopped]);
        if (p.value(QStringLiteral("startedMs")).toInteger(-1) < 0) {
            qint64 first = underWayStart;
            if (first < 0 && !phaseSamples[stopped].isEmpty())
                first = phaseSamples[stopped].first().toObject().value(QStringLiteral("t")).toInteger();
            p.insert(QStringLiteral("startedMs"), first);
        }
        p.insert(QStringLiteral("endedMs"), lastMs);
        testReason =
            phaseTitleOf(p.value(QStringLiteral("name")).toString()) + QStringLiteral(": ") + phaseReason;
    } else {
        testReason = reason + QStringLiteral(" преди измерването");
    }
    const Verdict verdict = failed.isEmpty() ? Verdict::Interrupted : Verdict::Fail;
    if (!failed.isEmpty())
        testReason = failed.join(QStringLiteral("; "));

    // A training test is never an attempt; an official one's number is the archive's to tell.
    QJsonValue attemptValue(QJsonValue::Null);
    if (started.value(QStringLiteral("training")).toBool())
        attemptValue = 0;
    else if (attempt)
        attemptValue = *attempt;

    QJsonArray phaseArray;
    for (const QJsonObject& p : phases)
        phaseArray.append(p);
    return {
        {QStringLiteral("verdict"), verdictKey(verdict)},
        {QStringLiteral("verdictTitle"), verdictTitle(verdict)},
        {QStringLiteral("reason"), testReason},
        {QStringLiteral("ending"), endingKey(Ending::Interrupted)},
        {QStringLiteral("failingAverage"), failingAverage},
        {QStringLiteral("ended"), ended.isValid() ? ended.toString(Qt::ISODate) : lastTime},
        {QStringLiteral("durationMs"), lastMs},
        {QStringLiteral("attempt"), attemptValue},
        {QStringLiteral("oilAtStart"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("oilConfirmed"), false},
        {QStringLiteral("phases"), phaseArray},
    };
}

} // namespace vz::twospeed
