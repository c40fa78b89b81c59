#include "ProtocolRecord.h"

#include "TwoSpeedFormat.h"
#include "TwoSpeedLimits.h"
#include "TwoSpeedSetup.h"
#include "TwoSpeedTest.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>
#include <cmath>
#include <optional>
#include <tuple>

namespace vz {

using namespace twospeed;

namespace {

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1StringView(key)).toString();
}

std::optional<double> number(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1StringView(key));
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

QDateTime timeOf(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate);
}

QString dateOf(const QString& iso) {
    const QDate date = QDate::fromString(iso.left(10), Qt::ISODate);
    return date.isValid() ? dateText(date) : QString();
}

// The enumerations by the keys the record writes them with, so that the texts are the ones
// the live protocol prints.
std::optional<Verdict> verdictOf(const QString& key) {
    for (Verdict v : {Verdict::Pass, Verdict::Fail, Verdict::Void, Verdict::Aborted, Verdict::Interrupted,
                      Verdict::NotRun, Verdict::Pending}) {
        if (verdictKey(v) == key)
            return v;
    }
    return std::nullopt;
}

std::optional<Fuel> fuelOf(const QString& key) {
    for (Fuel f : {Fuel::Petrol, Fuel::Lpg, Fuel::Cng}) {
        if (fuelKey(f) == key)
            return f;
    }
    return std::nullopt;
}

PhaseKind phaseKindOf(const QString& key) {
    return key == phaseKey(PhaseKind::HighIdle) ? PhaseKind::HighIdle : PhaseKind::Idle;
}

std::optional<Quantity> quantityOf(const QString& key) {
    static const QList<std::pair<QString, Quantity>> keys = {
        {QStringLiteral("co"), Quantity::Co},         {QStringLiteral("co2"), Quantity::Co2},
        {QStringLiteral("hc"), Quantity::Hc},         {QStringLiteral("o2"), Quantity::O2},
        {QStringLiteral("lambda"), Quantity::Lambda},
    };
    for (const auto& [name, q] : keys) {
        if (name == key)
            return q;
    }
    return std::nullopt;
}

QString emissionControlOf(const QString& key) {
    if (key == u"lambda-catalyst")
        return emissionControlText(EmissionControl::LambdaCatalyst);
    if (key == u"no-lambda-control")
        return emissionControlText(EmissionControl::NoLambdaControl);
    return key;
}

QString typeApprovalOf(const QString& key) {
    for (TypeApproval a : {TypeApproval::BeforeEuro3, TypeApproval::Euro3OrLater, TypeApproval::BeforeEuro1,
                           TypeApproval::Euro1, TypeApproval::Euro2}) {
        if (approvalKey(a) == key)
            return typeApprovalText(a);
    }
    return {}; // unknown: not printed
}

// A {"key", "text"} object's text, or a plain string as it is.
QString textOf(const QJsonValue& v) {
    return v.isObject() ? v.toObject().value(QStringLiteral("text")).toString() : v.toString();
}

// The limits whose source is the vehicle's row of the limits table, from the limit set's
// "sources" (limit name -> source, a {"key", "text"} object or a text). A limit is named with
// its value where the limit set holds it. Lines the general source already says are left out.
QStringList tableSourcesOf(const QJsonObject& limits) {
    const QString checksum = text(limits, "tableChecksum");
    const QString general = text(limits, "source");
    const QJsonObject sources = limits.value(QStringLiteral("sources")).toObject();
    const auto window = [&](const char* key) {
        const QJsonObject w = limits.value(QLatin1StringView(key)).toObject();
        return w.isEmpty() ? QString()
                           : QStringLiteral(" %1–%2 min⁻¹")
                                 .arg(w.value(QStringLiteral("min")).toInt())
                                 .arg(w.value(QStringLiteral("max")).toInt());
    };
    const auto co = [&](const char* key) {
        const std::optional<double> v = number(limits, key);
        return v ? QStringLiteral(" ≤ %1 %").arg(unitsText(printedUnits(*v, kCoDecimals), kCoDecimals))
                 : QString();
    };
    const QList<std::pair<QString, QString>> names = {
        {QStringLiteral("idleCo"), QStringLiteral("CO на празен ход") + co("idleCo")},
        {QStringLiteral("idleWindow"), QStringLiteral("обороти на празен ход") + window("idleWindow")},
        {QStringLiteral("highIdleCo"), QStringLiteral("CO при повишени обороти") + co("highIdleCo")},
        {QStringLiteral("lambda"), QStringLiteral("λ при повишени обороти")},
        {QStringLiteral("highIdleWindow"), QStringLiteral("повишени обороти") + window("highIdleWindow")},
    };
    QStringList lines;
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        const QJsonValue v = it.value();
        const QString source = textOf(v);
        const bool fromTable = (v.isObject() && v.toObject().value(QStringLiteral("key")).toString() ==
                                                    QLatin1StringView("table")) ||
                               source.contains(QLatin1StringView("CarModel.DB"));
        if (!fromTable)
            continue;
        QString name = it.key();
        for (const auto& [key, title] : names) {
            if (key == it.key())
                name = title;
        }
        QString line = name + QStringLiteral(": ") + (source.isEmpty() ? kTableSource : source);
        if (!checksum.isEmpty() && !line.contains(checksum))
            line += QStringLiteral(", контролна сума ") + checksum;
        if (!general.contains(line.mid(name.size() + 2)))
            lines.append(line);
    }
    return lines;
}

// The ending's text, and the failing average a test that did not run to its end held.
void endingOf(const QJsonObject& result, ProtocolData& d) {
    const QJsonObject average = result.value(QStringLiteral("failingAverage")).toObject();
    if (!average.isEmpty()) {
        const PhaseKind kind = phaseKindOf(text(average, "phase"));
        QList<ProtocolValue> values;
        const QJsonArray checks = average.value(QStringLiteral("checks")).toArray();
        for (const QJsonValue& c : checks) {
            const QJsonObject check = c.toObject();
            if (const std::optional<Quantity> q = quantityOf(text(check, "quantity")))
                values.append({quantityName(*q), quantityUnit(*q), text(check, "text"), QString(),
                               check.value(QStringLiteral("pass")).toBool(true)});
        }
        if (checks.isEmpty()) {
            // Only the values: printed with the precision the test compares them in.
            const QList<std::tuple<const char*, Quantity, int>> keys = {
                {"co", Quantity::Co, kCoDecimals},
                {"co2", Quantity::Co2, kCo2Decimals},
                {"hc", Quantity::Hc, kHcDecimals},
                {"o2", Quantity::O2, kO2Decimals},
                {"lambda", Quantity::Lambda, kLambdaDecimals}};
            for (const auto& [key, q, decimals] : keys) {
                const QJsonValue v = average.value(QLatin1StringView(key));
                if (v.isDouble() || v.isString())
                    values.append({quantityName(q), quantityUnit(q),
                                   v.isDouble() ? decimalText(v.toDouble(), decimals) : v.toString(),
                                   QString(), true});
            }
        }
        const QJsonValue rpm = average.value(QStringLiteral("rpm"));
        d.failingAverage = failingAverageText(
            phaseName(kind), rpm.isDouble() ? decimalText(rpm.toDouble(), kRpmDecimals) : rpm.toString(),
            values);
    }
    d.ending = protocolEndingText(text(result, "ending"), !d.failingAverage.isEmpty());
    // A test that ran to its end shows its averages in the table; none is repeated.
    if (d.ending.isEmpty())
        d.failingAverage.clear();
}

QString degreesText(double celsius) {
    return compactUnitsText(printedUnits(celsius, 1), 1) + QStringLiteral(" °C");
}

// The set-up the test ran with, from the started line's "setup"; a value it lacks keeps its
// default (and so is not printed as a difference).
TwoSpeedSetup setupOf(const QJsonObject& s) {
    TwoSpeedSetup setup;
    const auto integer = [&](const char* key, int& into) {
        if (const std::optional<double> v = number(s, key))
            into = static_cast<int>(std::lround(*v));
    };
    const auto millis = [&](const char* key, int& into) {
        if (const std::optional<double> v = number(s, key))
            into = static_cast<int>(std::llround(*v * 1000));
    };
    integer("HighIdleMinRpm", setup.highIdle.min);
    integer("HighIdleMaxRpm", setup.highIdle.max);
    integer("IdleMinRpm", setup.idle.min);
    integer("IdleMaxRpm", setup.idle.max);
    millis("StabilisationSeconds", setup.stabilisationMs);
    millis("MeasuringSeconds", setup.measuringMs);
    millis("PhaseLimitSeconds", setup.phaseLimitMs);
    millis("AveragingSeconds", setup.averagingMs);
    integer("MinimumSamples", setup.minimumSamples);
    if (const std::optional<double> v = number(s, "DilutionPercent"))
        setup.dilutionPercent = *v;
    if (const std::optional<double> v = number(s, "OilMinimumCelsius"))
        setup.oilMinimumC = *v;
    return setup;
}

// The limit of a limited quantity of a phase without an average, from the limit set.
QString limitOf(Quantity q, PhaseKind kind, const QJsonObject& limits) {
    const bool highIdle = kind == PhaseKind::HighIdle;
    if (q == Quantity::Co) {
        const std::optional<double> co = number(limits, highIdle ? "highIdleCo" : "idleCo");
        return co ? QStringLiteral("≤ ") + unitsText(printedUnits(*co, kCoDecimals), kCoDecimals) : QString();
    }
    if (q == Quantity::Lambda && highIdle) {
        const std::optional<double> low = number(limits, "lambdaMin");
        const std::optional<double> high = number(limits, "lambdaMax");
        if (low && high)
            return unitsText(printedUnits(*low, kLambdaDecimals), kLambdaDecimals) + u'–' +
                   unitsText(printedUnits(*high, kLambdaDecimals), kLambdaDecimals);
    }
    return {};
}

ProtocolPhase phaseOf(const QJsonObject& p, const QJsonObject& limits) {
    ProtocolPhase phase;
    const PhaseKind kind = phaseKindOf(text(p, "name"));
    phase.name = phaseName(kind);
    const QJsonObject window = p.value(QStringLiteral("window")).toObject();
    if (!window.isEmpty())
        phase.window = QStringLiteral("%1–%2")
                           .arg(window.value(QStringLiteral("min")).toInt())
                           .arg(window.value(QStringLiteral("max")).toInt());
    const std::optional<Verdict> verdict = verdictOf(text(p, "verdict"));
    phase.verdict = p.contains(QStringLiteral("verdictText")) ? text(p, "verdictText")
                    : verdict                                 ? phaseVerdictText(*verdict)
                                                              : text(p, "verdict");
    phase.failed = verdict == Verdict::Fail;
    phase.reason = text(p, "reason");
    const QJsonObject deciding = p.value(QStringLiteral("deciding")).toObject();
    if (!deciding.isEmpty()) {
        const std::optional<double> rpm = number(deciding, "rpm");
        const std::optional<double> oil = number(deciding, "oil");
        phase.rpm = rpm ? decimalText(*rpm, kRpmDecimals) : kNoValue;
        phase.oil = oil ? decimalText(*oil, kOilDecimals) : kNoValue;
        for (const QJsonValue& c : deciding.value(QStringLiteral("checks")).toArray()) {
            const QJsonObject check = c.toObject();
            const std::optional<Quantity> q = quantityOf(text(check, "quantity"));
            if (!q)
                continue;
            const bool limited = check.value(QStringLiteral("limited")).toBool();
            phase.values.append({quantityName(*q), quantityUnit(*q), text(check, "text"),
                                 limited ? text(check, "limit") : QString(),
                                 check.value(QStringLiteral("pass")).toBool(true)});
        }
    } else {
        phase.rpm = kNoValue;
        phase.oil = kNoValue;
        for (const Quantity q : {Quantity::Co, Quantity::Co2, Quantity::Hc, Quantity::O2, Quantity::Lambda})
            phase.values.append({quantityName(q), quantityUnit(q), kNoValue, limitOf(q, kind, limits), true});
    }
    return phase;
}

} // namespace

ProtocolData protocolDataFromRecord(const QJsonObject& started, const QJsonObject& result,
                                    const QString& stationLine, const QByteArray& seal,
                                    const QString& sealTrouble) {
    ProtocolData d;
    d.stationLine = stationLine;
    d.number = started.value(QStringLiteral("number")).toInt();
    d.attempt = std::max(1, result.value(QStringLiteral("attempt")).toInt(1));
    const QDateTime begun = timeOf(text(started, "time"));
    d.date = begun.isValid() ? dateText(begun.date()) : QString();
    d.startTime = begun.isValid() ? begun.toString(QStringLiteral("HH:mm:ss")) : QString();
    const QDateTime ended =
        timeOf(result.contains(QStringLiteral("ended")) ? text(result, "ended") : text(result, "time"));
    d.endTime = ended.isValid() ? ended.toString(QStringLiteral("HH:mm:ss")) : QString();

    d.registration = text(started, "registration");
    d.makeModel =
        QStringList({text(started, "make").trimmed(), text(started, "model").trimmed()}).join(u' ').trimmed();
    const QString firstRegistration = dateOf(text(started, "firstRegistration"));
    d.firstRegistration = firstRegistration.isEmpty() ? QStringLiteral("неизвестна") : firstRegistration;
    const std::optional<Fuel> fuel = fuelOf(text(started, "fuel"));
    d.fuel = fuel ? fuelText(*fuel) : text(started, "fuel");
    d.emissionControl = emissionControlOf(text(started, "emissionControl"));
    d.typeApproval = typeApprovalOf(text(started, "typeApproval"));

    const QJsonObject declaration = started.value(QStringLiteral("declaration")).toObject();
    d.declaration = text(declaration, "text");

    const QJsonObject limits = started.value(QStringLiteral("limitSet")).toObject();
    d.limitExplanation = text(limits, "explanation");
    d.limitSource = text(limits, "source");
    d.limitSources = tableSourcesOf(limits);
    const QJsonObject row = started.value(QStringLiteral("f1Row")).toObject();
    if (!row.isEmpty()) {
        SelectedVehicle vehicle;
        vehicle.VehicleText = text(row, "text");
        vehicle.LimitCOmx = static_cast<uint16_t>(row.value(QStringLiteral("COmx")).toInt());
        vehicle.LimitCOmn = static_cast<uint16_t>(row.value(QStringLiteral("COmn")).toInt());
        vehicle.LimitCO2mx = static_cast<uint16_t>(row.value(QStringLiteral("CO2mx")).toInt());
        vehicle.LimitO2mx = static_cast<uint16_t>(row.value(QStringLiteral("O2mx")).toInt());
        vehicle.LimitCHmx = static_cast<uint16_t>(row.value(QStringLiteral("CHmx")).toInt());
        d.rowInformation = rowInformationText(vehicle);
    }

    const QJsonObject setupObject = started.value(QStringLiteral("setup")).toObject();
    const TwoSpeedSetup setup = setupOf(setupObject);
    d.analyserSerial = text(started, "analyserSerial");
    d.verificationExpires = dateOf(text(started, "verificationExpires"));
    d.oilConfirmed = result.value(QStringLiteral("oilConfirmed")).toBool();
    if (const std::optional<double> oil = number(result, "oilAtStart"))
        d.oilAtStart = degreesText(*oil);
    d.oilMinimum = degreesText(setup.oilMinimumC);

    for (const QJsonValue& phase : result.value(QStringLiteral("phases")).toArray())
        d.phases.append(phaseOf(phase.toObject(), limits));

    const std::optional<Verdict> verdict = verdictOf(text(result, "verdict"));
    d.outcome = verdict ? protocolOutcome(*verdict) : ProtocolOutcome::Invalid;
    d.verdict = result.contains(QStringLiteral("verdictTitle")) ? text(result, "verdictTitle")
                : verdict                                       ? verdictTitle(*verdict)
                                                                : text(result, "verdict");
    d.verdictReason = text(result, "reason");
    endingOf(result, d);
    d.operatorName = text(started, "operator");
    d.training = started.value(QStringLiteral("training")).toBool() ||
                 text(started, "series") == QLatin1StringView("training");
    d.trainingReason = text(started, "trainingText");
    for (const QJsonValue& reason : started.value(QStringLiteral("trainingReasons")).toArray()) {
        if (const QString t = textOf(reason); !t.isEmpty())
            d.trainingReasons.append(t);
    }
    if (d.trainingReasons.isEmpty() && d.training && !d.trainingReason.isEmpty())
        d.trainingReasons = {d.trainingReason};
    if (!setupObject.isEmpty()) {
        for (const SetupDifference& difference : differencesFromDefaults(setup))
            d.setupDifferences.append(difference.text());
    }

    if (!seal.isEmpty())
        d.seal = sealDigits(seal);
    else
        d.sealTrouble = sealTrouble.isEmpty() ? QStringLiteral("записът не е запечатан") : sealTrouble;
    return d;
}

} // namespace vz
