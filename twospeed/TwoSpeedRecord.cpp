#include "TwoSpeedRecord.h"

#include "RecordJson.h"
#include "TwoSpeedFormat.h"

#include <QJsonArray>
#include <QJsonValue>

namespace vz::twospeed {

namespace {

// A value as the protocol prints it, as a number: 0.304 -> 0.3 (CO in 0.01 %).
double printedValue(double value, int decimals) {
    double scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return double(printedUnits(value, decimals)) / scale;
}

QJsonObject sampleObject(PhaseKind kind, const Sample& s) {
    return {
        {QStringLiteral("phase"), phaseKey(kind)},
        {QStringLiteral("t"), qint64(s.atMs)},
        {QStringLiteral("rpm"), optionalNumber(s.rpm)},
        {QStringLiteral("oil"), optionalNumber(s.oilC)},
        {QStringLiteral("co"), s.co},
        {QStringLiteral("co2"), s.co2},
        {QStringLiteral("hc"), s.hcPpm},
        {QStringLiteral("o2"), s.o2},
        {QStringLiteral("lambda"), optionalNumber(s.lambda)},
        {QStringLiteral("inWindow"), s.inWindow},
        {QStringLiteral("measuring"), s.measuring},
    };
}

QJsonValue averageValue(const std::optional<Average>& a) {
    if (!a)
        return QJsonValue(QJsonValue::Null);
    QJsonArray checks;
    for (const QuantityCheck& c : a->checks) {
        QJsonObject check{
            {QStringLiteral("quantity"), quantityKey(c.quantity)},
            {QStringLiteral("value"), optionalNumber(c.value)},
            {QStringLiteral("text"), c.valueText},
            {QStringLiteral("limited"), c.limited},
            {QStringLiteral("pass"), c.pass},
        };
        if (c.limited)
            check.insert(QStringLiteral("limit"), c.limitText);
        checks.append(check);
    }
    return QJsonObject{
        {QStringLiteral("atMs"), qint64(a->atMs)},
        {QStringLiteral("samples"), a->samples},
        {QStringLiteral("rpm"), a->rpm},
        {QStringLiteral("oil"), optionalNumber(a->oilC)},
        {QStringLiteral("co"), a->co},
        {QStringLiteral("co2"), a->co2},
        {QStringLiteral("hc"), a->hcPpm},
        {QStringLiteral("o2"), a->o2},
        {QStringLiteral("lambda"), optionalNumber(a->lambda)},
        {QStringLiteral("valid"), a->valid},
        {QStringLiteral("invalidReason"), a->invalidReason},
        {QStringLiteral("withinLimits"), a->withinLimits},
        {QStringLiteral("checks"), checks},
    };
}

QJsonObject phaseObject(const PhaseResult& p, bool withSamples) {
    QJsonObject o{
        {QStringLiteral("name"), phaseKey(p.kind)},
        {QStringLiteral("title"), phaseName(p.kind)},
        {QStringLiteral("window"), windowObject(p.window)},
        {QStringLiteral("verdict"), verdictKey(p.verdict)},
        {QStringLiteral("verdictText"), phaseVerdictText(p.verdict)},
        {QStringLiteral("reason"), p.reason},
        {QStringLiteral("startedMs"), qint64(p.startedMs)},
        {QStringLiteral("endedMs"), qint64(p.endedMs)},
        {QStringLiteral("restarts"), p.restarts},
        {QStringLiteral("deciding"), averageValue(p.deciding)},
        {QStringLiteral("lastAverage"), averageValue(p.lastAverage)},
    };
    // The deciding average as the protocol prints it, for lists that show one line a phase.
    const std::optional<Average>& d = p.deciding;
    const auto printed = [&](double v, int decimals) {
        return d ? QJsonValue(printedValue(v, decimals)) : QJsonValue(QJsonValue::Null);
    };
    o.insert(QStringLiteral("rpm"), d ? printed(d->rpm, kRpmDecimals) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("co"), d ? printed(d->co, kCoDecimals) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("co2"), d ? printed(d->co2, kCo2Decimals) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("hc"), d ? printed(d->hcPpm, kHcDecimals) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("o2"), d ? printed(d->o2, kO2Decimals) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("lambda"), d && d->lambda ? QJsonValue(printedValue(*d->lambda, kLambdaDecimals))
                                                      : QJsonValue(QJsonValue::Null));
    if (withSamples) {
        QJsonArray samples;
        for (const Sample& s : p.samples)
            samples.append(sampleObject(p.kind, s));
        o.insert(QStringLiteral("samples"), samples);
    }
    return o;
}

QString stageKey(Stage stage) {
    switch (stage) {
    case Stage::Gate:
        return QStringLiteral("gate");
    case Stage::Conditioning:
        return QStringLiteral("conditioning");
    case Stage::Phases:
        return QStringLiteral("phases");
    case Stage::Finished:
        return QStringLiteral("finished");
    }
    return {};
}

QString phaseTitleOf(const QString& key) {
    return phaseName(key == phaseKey(PhaseKind::HighIdle) ? PhaseKind::HighIdle : PhaseKind::Idle);
}

// A phase of the started line's limit set that the journal never saw end.
QJsonObject emptyPhase(const QString& key, const QJsonValue& window) {
    return {
        {QStringLiteral("name"), key},
        {QStringLiteral("title"), phaseTitleOf(key)},
        {QStringLiteral("window"), window},
        {QStringLiteral("verdict"), verdictKey(Verdict::NotRun)},
        {QStringLiteral("verdictText"), phaseVerdictText(Verdict::NotRun)},
        {QStringLiteral("reason"), QString()},
        {QStringLiteral("startedMs"), -1},
        {QStringLiteral("endedMs"), -1},
        {QStringLiteral("restarts"), 0},
        {QStringLiteral("deciding"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lastAverage"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("rpm"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("co"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("co2"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("hc"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("o2"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lambda"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("samples"), QJsonArray()},
    };
}

} // namespace

QJsonObject samplesRecord(const TwoSpeedTest& test, JournalMark& mark) {
    const QList<PhaseResult>& phases = test.phases();
    mark.samplesWritten.resize(phases.size(), 0);
    mark.endWritten.resize(phases.size(), false);
    QJsonArray samples;
    QJsonArray ended;
    QJsonValue current(QJsonValue::Null);
    for (qsizetype i = 0; i < phases.size(); ++i) {
        const PhaseResult& p = phases[i];
        for (qsizetype k = mark.samplesWritten[i]; k < p.samples.size(); ++k)
            samples.append(sampleObject(p.kind, p.samples[k]));
        mark.samplesWritten[i] = p.samples.size();
        const bool over = p.verdict != Verdict::Pending && p.verdict != Verdict::NotRun;
        if (over && !mark.endWritten[i]) {
            ended.append(phaseObject(p, false));
            mark.endWritten[i] = true;
        }
        if (p.verdict == Verdict::Pending)
            current = QJsonObject{{QStringLiteral("name"), phaseKey(p.kind)},
                                  {QStringLiteral("startedMs"), qint64(p.startedMs)}};
    }
    if (samples.isEmpty() && ended.isEmpty())
        return {};
    return {
        {QStringLiteral("stage"), stageKey(test.stage())},
        {QStringLiteral("samples"), samples},
        {QStringLiteral("ended"), ended},
        {QStringLiteral("current"), current},
    };
}

QJsonObject resultRecord(const TwoSpeedTest& test, const QDateTime& ended, int attempt) {
    QJsonArray phases;
    for (const PhaseResult& p : test.phases())
        phases.append(phaseObject(p, true));
    return {
        {QStringLiteral("verdict"), verdictKey(test.verdict())},
        {QStringLiteral("verdictTitle"), verdictTitle(test.verdict())},
        {QStringLiteral("reason"), test.reason()},
        {QStringLiteral("ended"), ended.toString(Qt::ISODate)},
        {QStringLiteral("durationMs"), qint64(test.endedMs() >= 0 ? test.endedMs() : test.elapsedMs())},
        {QStringLiteral("attempt"), attempt},
        {QStringLiteral("oilAtStart"), optionalNumber(test.oilAtStartC())},
        {QStringLiteral("oilConfirmed"), test.oilConfirmed()},
        {QStringLiteral("phases"), phases},
    };
}

QJsonObject interruptedResult(const QJsonObject& started, const QList<QJsonObject>& samples,
                              const QString& reason, const QDateTime& ended) {
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
            lastMs = std::max<qint64>(lastMs, sample.value(QStringLiteral("t")).toInteger());
            measuring = true;
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
    for (qsizetype i = 0; i < phases.size(); ++i) {
        phases[i].insert(QStringLiteral("samples"), phaseSamples[i]);
        if (over[i] && phases[i].value(QStringLiteral("verdict")).toString() == verdictKey(Verdict::Fail))
            failed << phaseTitleOf(phases[i].value(QStringLiteral("name")).toString()) +
                          QStringLiteral(": ") + phases[i].value(QStringLiteral("reason")).toString();
    }
    QString testReason;
    if (stopped >= 0) {
        QJsonObject& p = phases[stopped];
        p.insert(QStringLiteral("verdict"), verdictKey(Verdict::Interrupted));
        p.insert(QStringLiteral("verdictText"), phaseVerdictText(Verdict::Interrupted));
        p.insert(QStringLiteral("reason"), reason);
        if (p.value(QStringLiteral("startedMs")).toInteger(-1) < 0) {
            qint64 first = underWayStart;
            if (first < 0 && !phaseSamples[stopped].isEmpty())
                first = phaseSamples[stopped].first().toObject().value(QStringLiteral("t")).toInteger();
            p.insert(QStringLiteral("startedMs"), first);
        }
        p.insert(QStringLiteral("endedMs"), lastMs);
        testReason = phaseTitleOf(p.value(QStringLiteral("name")).toString()) + QStringLiteral(": ") + reason;
    } else {
        testReason = reason + QStringLiteral(" преди измерването");
    }
    const Verdict verdict = failed.isEmpty() ? Verdict::Interrupted : Verdict::Fail;
    if (!failed.isEmpty())
        testReason = failed.join(QStringLiteral("; "));

    QJsonArray phaseArray;
    for (const QJsonObject& p : phases)
        phaseArray.append(p);
    return {
        {QStringLiteral("verdict"), verdictKey(verdict)},
        {QStringLiteral("verdictTitle"), verdictTitle(verdict)},
        {QStringLiteral("reason"), testReason},
        {QStringLiteral("ended"), ended.isValid() ? ended.toString(Qt::ISODate) : lastTime},
        {QStringLiteral("durationMs"), lastMs},
        {QStringLiteral("attempt"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("oilAtStart"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("oilConfirmed"), false},
        {QStringLiteral("phases"), phaseArray},
    };
}

} // namespace vz::twospeed
