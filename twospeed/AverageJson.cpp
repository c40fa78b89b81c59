#include "AverageJson.h"

#include "RecordJson.h"
#include "TwoSpeedFormat.h"

#include <QJsonArray>

namespace vz::twospeed {

namespace {

// A value as the protocol prints it, as a number: 0.304 -> 0.3 (CO in 0.01 %).
double printedValue(double value, int decimals) {
    double scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return double(printedUnits(value, decimals)) / scale;
}

std::optional<double> optionalDouble(const QJsonValue& v) {
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

PhaseKind phaseOfKey(const QString& key) {
    return key == phaseKey(PhaseKind::HighIdle) ? PhaseKind::HighIdle : PhaseKind::Idle;
}

} // namespace

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

QJsonValue phaseAverageValue(const std::optional<PhaseAverage>& a) {
    if (!a)
        return QJsonValue(QJsonValue::Null);
    QJsonObject o = averageValue(a->average).toObject();
    o.insert(QStringLiteral("phase"), phaseKey(a->phase));
    return o;
}

std::optional<Average> averageFromValue(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    Average a;
    a.atMs = o.value(QStringLiteral("atMs")).toInteger();
    a.samples = o.value(QStringLiteral("samples")).toInt();
    a.rpm = o.value(QStringLiteral("rpm")).toDouble();
    a.oilC = optionalDouble(o.value(QStringLiteral("oil")));
    a.co = o.value(QStringLiteral("co")).toDouble();
    a.co2 = o.value(QStringLiteral("co2")).toDouble();
    a.hcPpm = o.value(QStringLiteral("hc")).toDouble();
    a.o2 = o.value(QStringLiteral("o2")).toDouble();
    a.lambda = optionalDouble(o.value(QStringLiteral("lambda")));
    a.valid = o.value(QStringLiteral("valid")).toBool();
    a.invalidReason = o.value(QStringLiteral("invalidReason")).toString();
    a.withinLimits = o.value(QStringLiteral("withinLimits")).toBool();
    for (const QJsonValue& v : o.value(QStringLiteral("checks")).toArray()) {
        const QJsonObject c = v.toObject();
        const std::optional<Quantity> q = quantityOfKey(c.value(QStringLiteral("quantity")).toString());
        if (!q)
            continue;
        QuantityCheck check;
        check.quantity = *q;
        check.value = optionalDouble(c.value(QStringLiteral("value")));
        check.valueText = c.value(QStringLiteral("text")).toString();
        check.limited = c.value(QStringLiteral("limited")).toBool();
        check.limitText = c.value(QStringLiteral("limit")).toString();
        check.pass = c.value(QStringLiteral("pass")).toBool(true);
        a.checks.append(check);
    }
    return a;
}

std::optional<PhaseAverage> phaseAverageFromValue(const QJsonValue& value) {
    const std::optional<Average> a = averageFromValue(value);
    if (!a)
        return std::nullopt;
    return PhaseAverage{phaseOfKey(value.toObject().value(QStringLiteral("phase")).toString()), *a};
}

QJsonObject printedAverage(const std::optional<Average>& a) {
    const auto printed = [&](double v, int decimals) {
        return a ? QJsonValue(printedValue(v, decimals)) : QJsonValue(QJsonValue::Null);
    };
    return {
        {QStringLiteral("rpm"), a ? printed(a->rpm, kRpmDecimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("co"), a ? printed(a->co, kCoDecimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("co2"), a ? printed(a->co2, kCo2Decimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("hc"), a ? printed(a->hcPpm, kHcDecimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("o2"), a ? printed(a->o2, kO2Decimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lambda"), a && a->lambda ? QJsonValue(printedValue(*a->lambda, kLambdaDecimals))
                                                  : QJsonValue(QJsonValue::Null)},
    };
}

} // namespace vz::twospeed
