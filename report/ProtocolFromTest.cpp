// The protocol's data from a finished test, and the texts the page builders share.
#include "ProtocolPage.h"

#include "Diagnostics.h"
#include "PrinterService.h"
#include "StationFile.h"
#include "TwoSpeedFormat.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRawFont>
#include <algorithm>
#include <cmath>

namespace vz {

using namespace twospeed;

// ---------------------------------------------------------------------------------------
// From a finished test
// ---------------------------------------------------------------------------------------

namespace {

QString degreesText(double celsius) {
    return compactUnitsText(printedUnits(celsius, 1), 1) + QStringLiteral(" °C");
}

// The limit of each limited quantity of a phase, as the procedure writes it in its checks;
// used for a phase without an average, so that the page still shows what applied.
QString limitOf(Quantity q, PhaseKind kind, const LimitSet& limits) {
    const bool highIdle = kind == PhaseKind::HighIdle;
    if (q == Quantity::Co)
        return QStringLiteral("≤ ") +
               unitsText(highIdle ? limits.highIdleCoLimit : limits.idleCoLimit, kCoDecimals);
    if (q == Quantity::Lambda && highIdle)
        return unitsText(limits.lambdaMin, kLambdaDecimals) + u'–' +
               unitsText(limits.lambdaMax, kLambdaDecimals);
    return {};
}

ProtocolPhase phaseOf(const PhaseResult& result, const LimitSet& limits) {
    ProtocolPhase phase;
    phase.name = phaseName(result.kind);
    phase.window = QStringLiteral("%1–%2").arg(result.window.min).arg(result.window.max);
    phase.verdict = phaseVerdictText(result.verdict);
    phase.failed = result.verdict == Verdict::Fail;
    phase.reason = result.reason;
    if (result.deciding) {
        const Average& a = *result.deciding;
        phase.rpm = decimalText(a.rpm, kRpmDecimals);
        phase.oil = a.oilC ? decimalText(*a.oilC, kOilDecimals) : kNoValue;
        for (const QuantityCheck& c : a.checks)
            phase.values.append({quantityName(c.quantity), quantityUnit(c.quantity), c.valueText,
                                 c.limited ? c.limitText : QString(), c.pass});
    } else {
        phase.rpm = kNoValue;
        phase.oil = kNoValue;
        for (const Quantity q : {Quantity::Co, Quantity::Co2, Quantity::Hc, Quantity::O2, Quantity::Lambda})
            phase.values.append(
                {quantityName(q), quantityUnit(q), kNoValue, limitOf(q, result.kind, limits), true});
    }
    return phase;
}

} // namespace

QString emissionControlText(EmissionControl control) {
    return control == EmissionControl::LambdaCatalyst ? QStringLiteral("катализатор с ламбда регулиране")
                                                      : QStringLiteral("без катализатор с ламбда регулиране");
}

QString typeApprovalText(TypeApproval approval) {
    return approvalLabel(approval);
}

ProtocolOutcome protocolOutcome(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return ProtocolOutcome::Pass;
    case Verdict::Fail:
        return ProtocolOutcome::Fail;
    default:
        return ProtocolOutcome::Invalid;
    }
}

QString sealDigits(const QByteArray& seal) {
    return QString::fromLatin1(seal.left(8).toHex());
}

QString rowInformationText(const SelectedVehicle& row) {
    // The limits table's units: CO and O2 in hundredths of %, CO2 in tenths, HC in ppm.
    return QStringLiteral("COmn %1 %, CO₂mx %2 %, HCmx %3 ppm, O₂mx %4 %")
        .arg(unitsText(row.LimitCOmn, 2), unitsText(row.LimitCO2mx, 1), QString::number(row.LimitCHmx),
             unitsText(row.LimitO2mx, 2));
}

ProtocolData protocolData(const TwoSpeedTest& test, const ProtocolContext& context) {
    ProtocolData d;
    d.stationLine = context.stationLine;
    d.number = context.number;
    d.attempt = context.attempt;
    d.date = dateText(context.started.date());
    d.startTime =
        context.started.isValid() ? context.started.toString(QStringLiteral("HH:mm:ss")) : QString();
    d.endTime = context.ended.isValid() ? context.ended.toString(QStringLiteral("HH:mm:ss")) : QString();

    const VehicleFacts& v = test.vehicle();
    d.registration = v.registration;
    d.makeModel = QStringList({v.make.trimmed(), v.model.trimmed()}).join(u' ').trimmed();
    d.firstRegistration =
        v.firstRegistration.isValid() ? dateText(v.firstRegistration) : QStringLiteral("неизвестна");
    d.fuel = fuelText(v.fuel);
    d.emissionControl = emissionControlText(v.control);
    d.typeApproval = typeApprovalText(v.approval);

    const LimitSet& limits = test.limits();
    d.limitExplanation = limits.explanation;
    d.limitSource = limits.source;
    if (limits.row)
        d.rowInformation = rowInformationText(*limits.row);

    const TwoSpeedSetup& setup = test.setup();
    d.analyserSerial = setup.analyserSerial;
    d.verificationExpires = dateText(setup.verificationExpires);
    d.oilConfirmed = test.oilConfirmed();
    if (test.oilAtStartC())
        d.oilAtStart = degreesText(*test.oilAtStartC());
    d.oilMinimum = degreesText(setup.oilMinimumC);

    for (const PhaseResult& phase : test.phases())
        d.phases.append(phaseOf(phase, limits));

    d.outcome = protocolOutcome(test.verdict());
    d.verdict = verdictTitle(test.verdict());
    d.verdictReason = test.reason();
    d.operatorName = context.operatorName;
    // A test that ran to its end shows its deciding averages in the table; one cut short
    // shows the failing average it held beside how it ended.
    const QString ending = endingKey(test.ending());
    if (const std::optional<PhaseAverage> failing = test.failingAverage();
        failing && test.ending() != Ending::Completed) {
        QList<ProtocolValue> values;
        for (const QuantityCheck& c : failing->average.checks)
            values.append({quantityName(c.quantity), quantityUnit(c.quantity), c.valueText,
                           c.limited ? c.limitText : QString(), c.pass});
        d.failingAverage = failingAverageText(phaseName(failing->phase),
                                              decimalText(failing->average.rpm, kRpmDecimals), values);
    }
    d.ending = protocolEndingText(ending, !d.failingAverage.isEmpty());
    d.training = test.training().active;
    d.trainingReason = test.training().reasonText;
    if (d.training) {
        for (const TrainingCause& cause : test.training().allReasons())
            d.trainingReasons.append(cause.text);
    }
    if (v.control == EmissionControl::NoLambdaControl && v.declaration != NoCatalystReason::None)
        d.declaration = noCatalystReasonText(v.declaration);
    for (const SetupDifference& difference : differencesFromDefaults(setup))
        d.setupDifferences.append(difference.text());

    d.unrecorded = context.unrecorded;
    if (!context.seal.isEmpty() && !context.unrecorded)
        d.seal = sealDigits(context.seal);
    else if (context.unrecorded)
        d.sealTrouble = context.sealTrouble.isEmpty() ? QStringLiteral("записът не можа да бъде направен")
                                                      : context.sealTrouble;
    else
        d.sealTrouble =
            context.sealTrouble.isEmpty() ? QStringLiteral("записът не е запечатан") : context.sealTrouble;
    return d;
}

} // namespace vz
