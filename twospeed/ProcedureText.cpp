#include "ProcedureText.h"

namespace vz::twospeed::procedure {

bool speedFromRecord(int rpmMode) {
    return rpmMode == 1 || rpmMode == 2;
}

QString opStateText(const CycleState& c) {
    switch (c.opState) {
    case 1:
        return QStringLiteral("измерва");
    case 2:
        return QStringLiteral("измерването спира");
    case 3:
        return c.runTicks > c.runTickLimit ? QStringLiteral("времето на измерването свърши")
                                           : QStringLiteral("измерването е спряно");
    case 4:
        return QStringLiteral("анализаторът загрява");
    case 5:
        return QStringLiteral("анализаторът се нулира");
    case 6:
        return QStringLiteral("анализаторът се инициализира");
    default:
        return QStringLiteral("измерването не е пуснато");
    }
}

QString windowText(const SpeedWindow& w) {
    return QStringLiteral("%1–%2 min⁻¹").arg(w.min).arg(w.max);
}

QString wholeSeconds(int64_t ms) {
    return QString::number((ms + 999) / 1000);
}

} // namespace vz::twospeed::procedure
