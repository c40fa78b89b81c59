#include "TwoSpeedFormat.h"

#include <cmath>

namespace vz::twospeed {

namespace {

int64_t powerOfTen(int decimals) {
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return scale;
}

} // namespace

int64_t printedUnits(double value, int decimals) {
    const double scaled = value * double(powerOfTen(decimals));
    // Readings carry at most three decimals, so 1e-7 of a printed unit is far below any real
    // difference and far above the error of the multiplication.
    const double allowance = scaled >= 0 ? 1e-7 : -1e-7;
    return std::llround(scaled + allowance);
}

QString unitsText(int64_t units, int decimals) {
    const bool negative = units < 0;
    const uint64_t magnitude = negative ? uint64_t(-(units + 1)) + 1 : uint64_t(units);
    const uint64_t scale = uint64_t(powerOfTen(decimals));
    QString text = QString::number(magnitude / scale);
    if (decimals > 0)
        text += u',' + QString::number(magnitude % scale).rightJustified(decimals, u'0');
    return negative ? u'-' + text : text;
}

QString compactUnitsText(int64_t units, int decimals) {
    QString text = unitsText(units, decimals);
    if (text.contains(u',')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u','))
            text.chop(1);
    }
    return text;
}

QString decimalText(double value, int decimals) {
    return unitsText(printedUnits(value, decimals), decimals);
}

QString dateText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

} // namespace vz::twospeed
