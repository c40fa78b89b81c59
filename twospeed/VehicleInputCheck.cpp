#include "VehicleInputCheck.h"

#include "TwoSpeedFormat.h"

namespace vz::twospeed {

namespace {

QString quoted(const QString& text) {
    return QStringLiteral("„%1“").arg(text);
}

bool registeredBeforeRequirement(const QDate& date) {
    return date.isValid() && date < kCatalystRequiredFrom;
}

} // namespace

QList<VehicleRefusal> vehicleRefusals(const VehicleFacts& v) {
    using Field = VehicleRefusal::Field;
    QList<VehicleRefusal> refusals;
    if (v.control != EmissionControl::NoLambdaControl)
        return refusals;
    const QString noCatalyst = quoted(QStringLiteral("без ламбда-регулиран катализатор"));
    const QString requiredFrom = dateText(kCatalystRequiredFrom);

    if (impliesLambdaCatalyst(v.approval)) {
        refusals.append({Field::TypeApproval,
                         QStringLiteral("Одобрението на типа %1 предполага ламбда-регулиран катализатор: "
                                        "%2 не се приема.")
                             .arg(quoted(approvalLabel(v.approval)), noCatalyst)});
    }
    if (v.declaration == NoCatalystReason::None) {
        refusals.append({Field::Declaration, QStringLiteral("Изберете основанието за %1.").arg(noCatalyst)});
        return refusals;
    }
    if (!refusals.isEmpty())
        return refusals; // the class has decided; the date says nothing more

    const QString reason = quoted(noCatalystReasonText(v.declaration));
    if (v.declaration == NoCatalystReason::RegisteredBeforeRequirement) {
        if (!v.firstRegistration.isValid())
            refusals.append({Field::FirstRegistration,
                             QStringLiteral("Основанието %1 иска дата на първа регистрация преди %2.")
                                 .arg(reason, requiredFrom)});
        else if (!registeredBeforeRequirement(v.firstRegistration))
            refusals.append({Field::FirstRegistration,
                             QStringLiteral("Първата регистрация %1 не е преди %2, от когато катализаторът е "
                                            "задължителен: основанието %3 не се приема.")
                                 .arg(dateText(v.firstRegistration), requiredFrom, reason)});
        return refusals;
    }
    if (v.approval != TypeApproval::BeforeEuro1 && !registeredBeforeRequirement(v.firstRegistration)) {
        const QString since =
            v.firstRegistration.isValid()
                ? QStringLiteral("С първа регистрация %1 (катализаторът е задължителен от %2)")
                      .arg(dateText(v.firstRegistration), requiredFrom)
                : QStringLiteral("Без дата на първа регистрация");
        refusals.append({Field::TypeApproval,
                         QStringLiteral("%1 %2 се приема само с одобрение на типа %3.")
                             .arg(since, noCatalyst, quoted(approvalLabel(TypeApproval::BeforeEuro1)))});
    }
    return refusals;
}

bool noCatalystLimitsApply(const VehicleFacts& vehicle) {
    return vehicle.control == EmissionControl::NoLambdaControl && vehicleRefusals(vehicle).isEmpty();
}

} // namespace vz::twospeed
