// The "started" line of a two-speed test: the vehicle, the limits and their sources, the
// set-up, the line and the training mark, as the test begins.
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

QString approvalKey(TypeApproval approval) {
    switch (approval) {
    case TypeApproval::BeforeEuro3:
        return QStringLiteral("before-euro3");
    case TypeApproval::Euro3OrLater:
        return QStringLiteral("euro3-or-later");
    default:
        return QStringLiteral("unknown");
    }
}

QString trainingKey(TrainingReason reason) {
    switch (reason) {
    case TrainingReason::DemoMode:
        return QStringLiteral("demo-mode");
    case TrainingReason::PseudoTerminal:
        return QStringLiteral("pseudo-terminal");
    case TrainingReason::VerificationExpired:
        return QStringLiteral("verification-expired");
    default:
        return {};
    }
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
        {QStringLiteral("trainingReason"), trainingKey(test.training().reason)},
        {QStringLiteral("trainingText"), test.training().reasonText},
    };
    return o;
}

} // namespace vz::twospeed
