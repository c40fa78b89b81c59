#include "LimitMarkers.h"

#include <algorithm>

namespace vz {

namespace {
// Inserts at a 1-based position; a position past the end appends, so short texts never gain
// filler blanks.
QString insertedAt(QString text, int position, QStringView what) {
    const qsizetype at = std::clamp<qsizetype>(position - 1, 0, text.size());
    text.insert(at, what);
    return text;
}

// Hundredths of %: "<" and the digits, zero-filled to four characters after position 2,
// then the point at position 3.
QString hundredthsMarker(uint16_t limit) {
    QString text = u'<' + QString::number(limit);
    while (text.size() < 4)
        text = insertedAt(text, 2, u"0");
    return insertedAt(text, 3, u".");
}
} // namespace

MarkerTexts markerTexts(const SelectedVehicle& vehicle) {
    MarkerTexts t;
    t.Label37 = hundredthsMarker(vehicle.LimitCOmn);
    t.Label38 = hundredthsMarker(vehicle.LimitCOmx);
    t.Label39 = insertedAt(u'<' + QString::number(vehicle.LimitCO2mx), 4, u".");
    t.Label40 = u'<' + QString::number(vehicle.LimitCHmx);
    t.Label41 = hundredthsMarker(vehicle.LimitO2mx);
    return t;
}

QString vehicleCaption(const QString& baseCaption, const SelectedVehicle& vehicle) {
    return baseCaption + QStringLiteral("  on   ") + vehicle.VehicleText;
}

} // namespace vz
