#include "Conversions.h"

#include <algorithm>
#include <limits>

namespace vz {

std::optional<int32_t> strToInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    int64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

int32_t leadingDigitsValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value > std::numeric_limits<int32_t>::max())
            return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

std::optional<double> strToFloat(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    const QString rest = text.mid(i);
    if (rest.isEmpty())
        return std::nullopt;
    int digits = 0;
    int points = 0;
    for (qsizetype k = 0; k < rest.size(); ++k) {
        const QChar c = rest[k];
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            ++digits;
        else if (c == u'.')
            ++points;
        else if ((c == u'+' || c == u'-') && k == 0)
            continue;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double v = rest.toDouble(&ok); // QString::toDouble is locale-independent
    if (!ok)
        return std::nullopt;
    return v;
}

DecimalUnits strToDecimalUnits(const QString& text, int decimals) {
    DecimalUnits result;
    int64_t whole = 0;
    int64_t fraction = 0;
    int wholeDigits = 0;
    int fractionDigits = 0;
    bool point = false;
    for (const QChar c : text) {
        if (c == u'.' || c == u',') {
            if (point)
                return result;
            point = true;
        } else if (c >= u'0' && c <= u'9') {
            const int digit = c.unicode() - u'0';
            if (point) {
                if (++fractionDigits > decimals) {
                    if (digit != 0) {
                        result.error = DecimalUnits::Error::TooManyDecimals;
                        return result;
                    }
                    continue;
                }
                fraction = fraction * 10 + digit;
            } else {
                if (++wholeDigits > 9) // keeps whole * 10^decimals far inside int64_t
                    return result;
                whole = whole * 10 + digit;
            }
        } else {
            return result;
        }
    }
    if (wholeDigits + fractionDigits == 0)
        return result;
    for (int i = std::min(fractionDigits, decimals); i < decimals; ++i)
        fraction *= 10;
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    result.units = whole * scale + fraction;
    result.error = DecimalUnits::Error::None;
    return result;
}

} // namespace vz
