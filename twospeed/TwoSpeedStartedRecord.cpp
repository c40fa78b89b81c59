// The "started" line of a two-speed test: the vehicle and the operator's declaration, the
// limits and the source of each, the set-up, the line and the training mark with every
// reason for it, as the test begins. Keys are only ever added: readers of older lines rely
// on every one of them.
#include "RecordJson.h"
#include "Registration.h"
#include "TwoSpeedRecord.h"

#include <QJsonArray>

namespace vz::twospeed {

namespace {

QString controlKey(EmissionControl control) {
    return control == EmissionControl::LambdaCatalyst ? QStringLiteral("lambda-catalyst")
                                                      : QStringLiteral("no-lambda-control");
}

QJsonValue declarationValue(const VehicleFacts& v) {
    if (v.control != EmissionControl::NoLambdaControl || v.declaration == NoCatalystReason::None)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("key"), noCatalystReasonKey(v.declaration)},
                       {QStringLiteral("text"), noCatalystReasonText(v.declaration)}};
}

QJsonArray trainingReasons(const TrainingMode& training) {
    QJsonArray list;
    for (const TrainingCause& cause : training.allReasons())
        list.append(QJsonObject{{QStringLiteral("key"), trainingReasonKey(cause.reason)},
                                {QStringLiteral("text"), cause.text}});
    return list;
}

QJsonObject setupObject(const TwoSpeedSetup& s) {
    return {
        {QStringLiteral("HighIdleMinRpm"), s.highIdle.min},
        {QStringLiteral("HighIdleMaxRpm"), s.highIdle.max},
        {QStringLiteral("IdleMinRpm"), s.idle.min},
        {QStringLiteral("IdleMaxRpm"), s.idle.max},
        {QStringLiteral("StabilisationSeconds"), s.stabilisationMs / 1000.0},
        {QStringLiteral("MeasuringSeconds"), s.measuringMs / 1000.0},
        {QStringLiteral("PhaseLimitSeconds"), s.phaseLimitMs / 1000.0},
        {QStringLiteral("AveragingSeconds"), s.averagingMs / 1000.0},
        {QStringLiteral("MinimumSamples"), s.minimumSamples},
        {QStringLiteral("DilutionPercent"), s.dilutionPercent},
        {QStringLiteral("OilMinimumCelsius"), s.oilMinimumC},
        {QStringLiteral("AnalyserSerial"), s.analyserSerial},
        {QStringLiteral("VerificationExpires"), dateValue(s.verificationExpires)},
    };
}

QJsonObject rowObject(const SelectedVehicle& row) {
    return {
        {QStringLiteral("text"), row.VehicleText}, {QStringLiteral("COmx"), row.LimitCOmx},
        {QStringLiteral("COmn"), row.LimitCOmn},   {QStringLiteral("CO2mx"), row.LimitCO2mx},
        {QStringLiteral("O2mx"), row.LimitO2mx},   {QStringLiteral("CHmx"), row.LimitCHmx},
    };
}

// Each limit's source: {"key", "text"}; the high-idle ones only where high idle is measured.
QJsonObject sourcesObject(const LimitSet& l) {
    const auto source = [&](LimitSource s) {
        return QJsonObject{{QStringLiteral("key"), limitSourceKey(s)},
                           {QStringLiteral("text"), limitSourceText(l, s)}};
    };
    QJsonObject o{
        {QStringLiteral("idleCo"), source(l.sources.idleCo)},
        {QStringLiteral("idleWindow"), source(l.sources.idleWindow)},
    };
    if (l.highIdleApplies) {
        o.insert(QStringLiteral("highIdleCo"), source(l.sources.highIdleCo));
        o.insert(QStringLiteral("lambda"), source(l.sources.lambda));
        o.insert(QStringLiteral("highIdleWindow"), source(l.sources.highIdleWindow));
    }
    return o;
}

QJsonObject limitObject(const LimitSet& l) {
    QJsonObject o{
        {QStringLiteral("basis"), limitBasisKey(l.basis)},
        {QStringLiteral("source"), l.source},
        {QStringLiteral("explanation"), l.explanation},
        {QStringLiteral("highIdleApplies"), l.highIdleApplies},
        {QStringLiteral("idleCo"), l.idleCoLimit / 100.0},
        {QStringLiteral("idleWindow"), windowObject(l.idleWindow)},
        {QStringLiteral("idleCoFromRow"), l.idleCoFromRow},
        {QStringLiteral("idleWindowFromRow"), l.idleWindowFromRow},
        {QStringLiteral("defaultIdleCo"), l.defaultIdleCoLimit / 100.0},
        {QStringLiteral("sources"), sourcesObject(l)},
        {QStringLiteral("tableChecksum"),
         l.tableChecksum.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(l.tableChecksum)},
        {QStringLiteral("rowNotUsed"),
         l.rowNotUsed.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(l.rowNotUsed)},
    };
    if (l.highIdleApplies) {
        o.insert(QStringLiteral("highIdleCo"), l.highIdleCoLimit / 100.0);
        o.insert(QStringLiteral("lambdaMin"), l.lambdaMin / 1000.0);
        o.insert(QStringLiteral("lambdaMax"), l.lambdaMax / 1000.0);
        o.insert(QStringLiteral("highIdleWindow"), windowObject(l.highIdleWindow));
    }
    return o;
}

} // namespace

QJsonObject startedRecord(const TwoSpeedTest& test, const RecordContext& context) {
    const VehicleFacts& v = test.vehicle();
    const TwoSpeedSetup& setup = test.setup();
    QJsonObject o{
        {QStringLiteral("registration"), v.registration},
        {QStringLiteral("registrationKey"), normaliseRegistration(v.registration)},
        {QStringLiteral("make"), v.make},
        {QStringLiteral("model"), v.model},
        {QStringLiteral("firstRegistration"), dateValue(v.firstRegistration)},
        {QStringLiteral("fuel"), fuelKey(v.fuel)},
        {QStringLiteral("emissionControl"), controlKey(v.control)},
        {QStringLiteral("typeApproval"), approvalKey(v.approval)},
        {QStringLiteral("declaration"), declarationValue(v)},
        {QStringLiteral("f1Row"),
         v.row && v.row->LimitCO2mx != 0 ? QJsonValue(rowObject(*v.row)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("f1RowRpm"), optionalNumber(v.rowRpm)},
        {QStringLiteral("operator"), context.operatorName},
        {QStringLiteral("limitSet"), limitObject(test.limits())},
        {QStringLiteral("setup"), setupObject(setup)},
        {QStringLiteral("program"), context.program},
        {QStringLiteral("version"), context.version},
        {QStringLiteral("line"), QJsonObject{{QStringLiteral("port"), context.port},
                                             {QStringLiteral("device"), context.device},
                                             {QStringLiteral("rate"), qint64(context.baudRate)}}},
        {QStringLiteral("demoMode"), context.demoMode},
        {QStringLiteral("analyserSerial"), setup.analyserSerial},
        {QStringLiteral("verificationExpires"), dateValue(setup.verificationExpires)},
        {QStringLiteral("training"), test.training().active},
        {QStringLiteral("trainingReason"), trainingReasonKey(test.training().reason)},
        {QStringLiteral("trainingText"), test.training().reasonText},
        {QStringLiteral("trainingReasons"), trainingReasons(test.training())},
    };
    return o;
}

} // namespace vz::twospeed
