#include "TwoSpeedLimits.h"

#include "Lambda.h"
#include "TwoSpeedFormat.h"
#include "VehicleInputCheck.h"

#include <QRegularExpression>

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

const QString kDirectiveSource = QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2");

// The checksum a looser row value must be recorded with: 16 lower-case hex digits.
bool isTableChecksum(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{16}$"));
    return form.match(text).hasMatch();
}

QString vehicleText(const LimitSet& set, const VehicleFacts& vehicle) {
    QString text;
    if (set.highIdleApplies) {
        text = QStringLiteral("Катализатор");
        if (vehicle.control == EmissionControl::NoLambdaControl)
            text += QStringLiteral(" (декларацията „без ламбда-регулиран катализатор“ не е приета)");
    } else {
        text = QStringLiteral("Без ламбда-регулиран катализатор (декларация: %1)")
                   .arg(noCatalystReasonText(vehicle.declaration));
    }
    if (vehicle.approval != TypeApproval::Unknown)
        text += QStringLiteral(", тип ") + approvalLabel(vehicle.approval);
    if (vehicle.firstRegistration.isValid())
        text += QStringLiteral(", първа регистрация ") + dateText(vehicle.firstRegistration);
    else
        text += QStringLiteral(", дата на първа регистрация неизвестна");
    return text;
}

QString explanationOf(const LimitSet& set, const VehicleFacts& vehicle) {
    QString text = vehicleText(set, vehicle);
    text += QStringLiteral(" → CO ≤ %1 % на празен ход").arg(coText(set.idleCoLimit));
    if (set.idleWindowFromRow)
        text += QStringLiteral(" при ") + windowText(set.idleWindow);
    if (set.idleCoFromRow || set.idleWindowFromRow) {
        text += QStringLiteral(" (") + limitSourceText(set, LimitSource::Table);
        if (set.idleCoLimit > set.defaultIdleCoLimit)
            text += QStringLiteral("; по директивата CO ≤ %1 %").arg(coText(set.defaultIdleCoLimit));
        text += u')';
    }
    if (set.highIdleApplies)
        text += QStringLiteral(", CO ≤ %1 % и λ %2–%3 при ≥ %4 min⁻¹")
                    .arg(coText(set.highIdleCoLimit), compactUnitsText(set.lambdaMin, 3),
                         compactUnitsText(set.lambdaMax, 3))
                    .arg(kLegalHighIdleMinimum);
    if (!set.rowNotUsed.isEmpty())
        text += QStringLiteral("; ") + set.rowNotUsed;
    return text;
}

// Takes what the F1 row may give: its COmx as the idle CO limit and its RPM as the idle
// window, or says why the row (or its looser COmx) is not used.
void applyRow(LimitSet& set, const VehicleFacts& vehicle) {
    const SelectedVehicle& row = *vehicle.row;
    set.row = row;
    const QString rowName = QStringLiteral("ред „%1“ от CarModel.DB").arg(row.VehicleText);
    if (row.LimitCOmx > kRowIdleCoCeiling) {
        set.rowNotUsed = QStringLiteral("%1 не е използван: CO ≤ %2 % е над най-високата граница %3 %")
                             .arg(rowName, coText(row.LimitCOmx), coText(kRowIdleCoCeiling));
        return;
    }
    if (row.LimitCOmx != 0) {
        if (row.LimitCOmx > set.idleCoLimit && !isTableChecksum(vehicle.tableChecksum)) {
            set.rowNotUsed =
                QStringLiteral("CO ≤ %1 % по %2 не е използван: няма контролна сума на таблицата")
                    .arg(coText(row.LimitCOmx), rowName);
        } else {
            set.idleCoLimit = row.LimitCOmx;
            set.idleCoFromRow = true;
            set.sources.idleCo = LimitSource::Table;
        }
    }
    if (vehicle.rowRpm && *vehicle.rowRpm >= kRowRpmLowest && *vehicle.rowRpm <= kRowRpmHighest) {
        set.idleWindow = {*vehicle.rowRpm - kRowWindowHalfWidth, *vehicle.rowRpm + kRowWindowHalfWidth};
        set.idleWindowFromRow = true;
        set.sources.idleWindow = LimitSource::Table;
    }
    if (set.idleCoFromRow || set.idleWindowFromRow) {
        set.tableChecksum = vehicle.tableChecksum;
        QStringList taken;
        if (set.idleCoFromRow)
            taken << QStringLiteral("CO ≤ %1 %").arg(coText(set.idleCoLimit));
        if (set.idleWindowFromRow)
            taken << windowText(set.idleWindow);
        set.source += QStringLiteral("; празен ход %1 (%2)")
                          .arg(limitSourceText(set, LimitSource::Table), taken.join(QStringLiteral(", ")));
    }
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

QString approvalKey(TypeApproval approval) {
    switch (approval) {
    case TypeApproval::BeforeEuro3:
        return QStringLiteral("before-euro3");
    case TypeApproval::Euro3OrLater:
        return QStringLiteral("euro3-or-later");
    case TypeApproval::BeforeEuro1:
        return QStringLiteral("before-euro1");
    case TypeApproval::Euro1:
        return QStringLiteral("euro1");
    case TypeApproval::Euro2:
        return QStringLiteral("euro2");
    case TypeApproval::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString approvalLabel(TypeApproval approval) {
    switch (approval) {
    case TypeApproval::BeforeEuro3:
        return QStringLiteral("преди Евро 3");
    case TypeApproval::Euro3OrLater:
        return QStringLiteral("Евро 3 или по-нов");
    case TypeApproval::BeforeEuro1:
        return QStringLiteral("преди Евро 1");
    case TypeApproval::Euro1:
        return QStringLiteral("Евро 1");
    case TypeApproval::Euro2:
        return QStringLiteral("Евро 2");
    case TypeApproval::Unknown:
        break;
    }
    return {};
}

bool impliesLambdaCatalyst(TypeApproval approval) {
    return approval == TypeApproval::Euro1 || approval == TypeApproval::Euro2 ||
           approval == TypeApproval::Euro3OrLater;
}

QList<NoCatalystReason> noCatalystReasons() {
    return {NoCatalystReason::RegisteredBeforeRequirement, NoCatalystReason::ImportedFromOutsideEu,
            NoCatalystReason::MakersDeclaration};
}

QString noCatalystReasonKey(NoCatalystReason reason) {
    switch (reason) {
    case NoCatalystReason::RegisteredBeforeRequirement:
        return QStringLiteral("registered-before-requirement");
    case NoCatalystReason::ImportedFromOutsideEu:
        return QStringLiteral("imported-from-outside-eu");
    case NoCatalystReason::MakersDeclaration:
        return QStringLiteral("makers-declaration");
    case NoCatalystReason::None:
        break;
    }
    return {};
}

QString noCatalystReasonText(NoCatalystReason reason) {
    switch (reason) {
    case NoCatalystReason::RegisteredBeforeRequirement:
        return QStringLiteral("първа регистрация преди катализаторът да стане задължителен за класа му");
    case NoCatalystReason::ImportedFromOutsideEu:
        return QStringLiteral("внесен от държава извън ЕС, произведен без катализатор");
    case NoCatalystReason::MakersDeclaration:
        return QStringLiteral("декларация на производителя");
    case NoCatalystReason::None:
        break;
    }
    return {};
}

QString declarationLine(const VehicleFacts& vehicle) {
    if (vehicle.control != EmissionControl::NoLambdaControl || vehicle.declaration == NoCatalystReason::None)
        return {};
    return QStringLiteral("Декларация на оператора: без ламбда-регулиран катализатор – ") +
           noCatalystReasonText(vehicle.declaration);
}

QString limitSourceKey(LimitSource source) {
    switch (source) {
    case LimitSource::Table:
        return QStringLiteral("table");
    case LimitSource::SetupFile:
        return QStringLiteral("setup");
    case LimitSource::Directive:
        break;
    }
    return QStringLiteral("directive");
}

QString limitSourceText(const LimitSet& set, LimitSource source) {
    switch (source) {
    case LimitSource::Table:
        return QStringLiteral("по таблица CarModel.DB, ред „%1“, контролна сума %2")
            .arg(set.row ? set.row->VehicleText : QString(),
                 set.tableChecksum.isEmpty() ? QStringLiteral("неизвестна") : set.tableChecksum);
    case LimitSource::SetupFile:
        return QStringLiteral("по TWOSPEED.ini");
    case LimitSource::Directive:
        break;
    }
    return kDirectiveSource;
}

LimitSet selectLimits(const VehicleFacts& vehicle, const TwoSpeedSetup& setup) {
    LimitSet set;
    const QDate& date = vehicle.firstRegistration;
    if (noCatalystLimitsApply(vehicle)) {
        const bool early = date.isValid() && date < kNoCatalystBoundary;
        set.basis = early ? LimitBasis::NoCatalystBefore1986 : LimitBasis::NoCatalystFrom1986;
        set.highIdleApplies = false;
        set.idleCoLimit = early ? 450 : 350;
        set.highIdleCoLimit = 0;
    } else if (vehicle.approval == TypeApproval::Euro3OrLater) {
        // The class decides over the date, whichever set the date alone would give.
        set.basis = LimitBasis::CatalystEuro3;
        set.idleCoLimit = 30;
        set.highIdleCoLimit = 20;
    } else {
        // Before Euro 3 (or Euro 1, Euro 2) is no exemption: the directive takes the stricter
        // set for a car registered from the boundary on, whatever its type approval.
        const bool early = date.isValid() && date < kCatalystBoundary;
        set.basis = early ? LimitBasis::CatalystBefore2002 : LimitBasis::CatalystFrom2002;
        set.idleCoLimit = early ? 50 : 30;
        set.highIdleCoLimit = early ? 30 : 20;
    }
    set.defaultIdleCoLimit = set.idleCoLimit;
    set.idleWindow = setup.idle;
    set.highIdleWindow = setup.highIdle;
    set.source = kDirectiveSource;

    // Only a chosen vehicle counts: LimitCO2mx == 0 marks an empty record.
    if (vehicle.row && vehicle.row->LimitCO2mx != 0)
        applyRow(set, vehicle);
    set.explanation = explanationOf(set, vehicle);
    return set;
}

} // namespace vz::twospeed
