#include "TwoSpeedLimits.h"

#include "Lambda.h"
#include "TwoSpeedFormat.h"

namespace vz::twospeed {

namespace {

constexpr int kRowWindowHalfWidth = 100;
constexpr int kRowRpmLowest = 400;
constexpr int kRowRpmHighest = 1800;

// The fuel box's item for each fuel: 0 BENZIN, 1 LPG, 2 METAN.
int fuelBoxIndex(Fuel fuel) {
    switch (fuel) {
    case Fuel::Lpg:
        return 1;
    case Fuel::Cng:
        return 2;
    default:
        return 0;
    }
}

QString coText(int hundredths) {
    return compactUnitsText(hundredths, 2);
}

QString windowText(const SpeedWindow& w) {
    return QStringLiteral("%1–%2 min⁻¹").arg(w.min).arg(w.max);
}

QString explanationOf(const LimitSet& set, const VehicleFacts& vehicle) {
    QString text = vehicle.control == EmissionControl::LambdaCatalyst
                       ? QStringLiteral("Катализатор")
                       : QStringLiteral("Без ламбда-регулиран катализатор");
    if (set.basis == LimitBasis::CatalystEuro3)
        text += QStringLiteral(", тип Евро 3 или по-нов");
    if (vehicle.firstRegistration.isValid())
        text += QStringLiteral(", първа регистрация ") + dateText(vehicle.firstRegistration);
    else
        text += QStringLiteral(", дата на първа регистрация неизвестна");
    text += QStringLiteral(" → CO ≤ %1 % на празен ход").arg(coText(set.idleCoLimit));
    if (set.idleWindowFromRow)
        text += QStringLiteral(" при ") + windowText(set.idleWindow);
    if (set.idleCoFromRow || set.idleWindowFromRow)
        text += QStringLiteral(" (ред F1: %1)").arg(set.row->VehicleText);
    if (set.highIdleApplies)
        text += QStringLiteral(", CO ≤ %1 % и λ %2–%3 при ≥ %4 min⁻¹")
                    .arg(coText(set.highIdleCoLimit), compactUnitsText(set.lambdaMin, 3),
                         compactUnitsText(set.lambdaMax, 3))
                    .arg(kLegalHighIdleMinimum);
    return text;
}

} // namespace

double fuelLambdaConstant(Fuel fuel) {
    return fuelConstant(fuelBoxIndex(fuel));
}

QString fuelText(Fuel fuel) {
    switch (fuel) {
    case Fuel::Lpg:
        return QStringLiteral("пропан-бутан");
    case Fuel::Cng:
        return QStringLiteral("метан");
    default:
        return QStringLiteral("бензин");
    }
}

QString fuelKey(Fuel fuel) {
    switch (fuel) {
    case Fuel::Lpg:
        return QStringLiteral("lpg");
    case Fuel::Cng:
        return QStringLiteral("cng");
    default:
        return QStringLiteral("petrol");
    }
}

QString limitBasisKey(LimitBasis basis) {
    switch (basis) {
    case LimitBasis::NoCatalystBefore1986:
        return QStringLiteral("no-catalyst-before-1986");
    case LimitBasis::NoCatalystFrom1986:
        return QStringLiteral("no-catalyst-from-1986");
    case LimitBasis::CatalystBefore2002:
        return QStringLiteral("catalyst-before-2002");
    case LimitBasis::CatalystFrom2002:
        return QStringLiteral("catalyst-from-2002");
    case LimitBasis::CatalystEuro3:
        return QStringLiteral("catalyst-euro3");
    }
    return {};
}

LimitSet selectLimits(const VehicleFacts& vehicle, const TwoSpeedSetup& setup) {
    LimitSet set;
    const QDate& date = vehicle.firstRegistration;
    if (vehicle.control == EmissionControl::NoLambdaControl) {
        const bool early = date.isValid() && date < kNoCatalystBoundary;
        set.basis = early ? LimitBasis::NoCatalystBefore1986 : LimitBasis::NoCatalystFrom1986;
        set.highIdleApplies = false;
        set.idleCoLimit = early ? 450 : 350;
        set.highIdleCoLimit = 0;
    } else if (vehicle.approval == TypeApproval::Euro3OrLater &&
               !(date.isValid() && date >= kCatalystBoundary)) {
        // Euro 3 decides only where the date alone would give the older limits; a car
        // registered after the boundary is named by its date.
        set.basis = LimitBasis::CatalystEuro3;
        set.idleCoLimit = 30;
        set.highIdleCoLimit = 20;
    } else {
        const bool early = date.isValid() && date < kCatalystBoundary;
        set.basis = early ? LimitBasis::CatalystBefore2002 : LimitBasis::CatalystFrom2002;
        set.idleCoLimit = early ? 50 : 30;
        set.highIdleCoLimit = early ? 30 : 20;
    }
    set.idleWindow = setup.idle;
    set.highIdleWindow = setup.highIdle;
    set.source = QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2");

    // Only a chosen vehicle counts: LimitCO2mx == 0 marks an empty record.
    if (vehicle.row && vehicle.row->LimitCO2mx != 0) {
        set.row = vehicle.row;
        if (vehicle.row->LimitCOmx != 0) {
            set.idleCoLimit = vehicle.row->LimitCOmx;
            set.idleCoFromRow = true;
        }
        if (vehicle.rowRpm && *vehicle.rowRpm >= kRowRpmLowest && *vehicle.rowRpm <= kRowRpmHighest) {
            set.idleWindow = {*vehicle.rowRpm - kRowWindowHalfWidth, *vehicle.rowRpm + kRowWindowHalfWidth};
            set.idleWindowFromRow = true;
        }
        if (set.idleCoFromRow || set.idleWindowFromRow) {
            QStringList taken;
            if (set.idleCoFromRow)
                taken << QStringLiteral("CO ≤ %1 %").arg(coText(set.idleCoLimit));
            if (set.idleWindowFromRow)
                taken << windowText(set.idleWindow);
            set.source += QStringLiteral("; празен ход по ред F1 „%1“ (%2)")
                              .arg(vehicle.row->VehicleText, taken.join(QStringLiteral(", ")));
        }
    }
    set.explanation = explanationOf(set, vehicle);
    return set;
}

} // namespace vz::twospeed
