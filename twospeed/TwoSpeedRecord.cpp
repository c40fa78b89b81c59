// The "samples" and "result" lines of a two-speed test (TwoSpeedStartedRecord.cpp writes the
// "started" line, TwoSpeedInterruptedRecord.cpp the result of a test that never finished).
#include "TwoSpeedRecord.h"

#include "AverageJson.h"
#include "RecordJson.h"

#include <QJsonArray>
#include <QJsonValue>

namespace vz::twospeed {

namespace {

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
        {QStringLiteral("diluted"), s.diluted},
        {QStringLiteral("rpmFromSameLine"), s.rpmFromSameLine},
    };
}

QJsonObject phaseObject(const PhaseResult& p, bool withSamples) {
    QJsonArray probeOuts;
    for (const int64_t t : p.probeOuts)
        probeOuts.append(qint64(t));
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
        {QStringLiteral("phaseLimitReached"), p.endedByPhaseLimit},
        {QStringLiteral("probeOuts"), probeOuts},
        {QStringLiteral("deciding"), averageValue(p.deciding)},
        {QStringLiteral("lastAverage"), averageValue(p.lastAverage)},
    };
    // The deciding average as the protocol prints it, for lists that show one line a phase.
    const QJsonObject printed = printedAverage(p.deciding);
    for (auto it = printed.constBegin(); it != printed.constEnd(); ++it)
        o.insert(it.key(), it.value());
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

} // namespace

QJsonObject samplesRecord(const TwoSpeedTest& test, JournalMark& mark) {
    const QList<PhaseResult>& phases = test.phases();
    mark.samplesWritten.resize(phases.size(), 0);
    mark.endWritten.resize(phases.size(), false);
    mark.failingWritten.resize(phases.size(), 0);
    QJsonArray samples;
    QJsonArray ended;
    QJsonArray failing;
    QJsonValue current(QJsonValue::Null);
    for (qsizetype i = 0; i < phases.size(); ++i) {
        const PhaseResult& p = phases[i];
        for (qsizetype k = mark.samplesWritten[i]; k < p.samples.size(); ++k)
            samples.append(sampleObject(p.kind, p.samples[k]));
        mark.samplesWritten[i] = p.samples.size();
        for (qsizetype k = mark.failingWritten[i]; k < p.failingAverages.size(); ++k)
            failing.append(phaseAverageValue(PhaseAverage{p.kind, p.failingAverages[k]}));
        mark.failingWritten[i] = p.failingAverages.size();
        const bool over = p.verdict != Verdict::Pending && p.verdict != Verdict::NotRun;
        if (over && !mark.endWritten[i]) {
            ended.append(phaseObject(p, false));
            mark.endWritten[i] = true;
        }
        if (p.verdict == Verdict::Pending)
            current = QJsonObject{{QStringLiteral("name"), phaseKey(p.kind)},
                                  {QStringLiteral("startedMs"), qint64(p.startedMs)}};
    }
    if (samples.isEmpty() && ended.isEmpty() && failing.isEmpty())
        return {};
    return {
        {QStringLiteral("stage"), stageKey(test.stage())},
        {QStringLiteral("samples"), samples},
        {QStringLiteral("ended"), ended},
        {QStringLiteral("current"), current},
        {QStringLiteral("failing"), failing},
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
        {QStringLiteral("ending"), endingKey(test.ending())},
        {QStringLiteral("failingAverage"), phaseAverageValue(test.failingAverage())},
        {QStringLiteral("ended"), ended.toString(Qt::ISODate)},
        {QStringLiteral("durationMs"), qint64(test.endedMs() >= 0 ? test.endedMs() : test.elapsedMs())},
        {QStringLiteral("attempt"), attempt},
        {QStringLiteral("oilAtStart"), optionalNumber(test.oilAtStartC())},
        {QStringLiteral("oilConfirmed"), test.oilConfirmed()},
        {QStringLiteral("phases"), phases},
    };
}

} // namespace vz::twospeed
