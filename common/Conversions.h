#pragma once
// Locale-independent number conversions with the rules the station's files and frames use.
#include <QString>
#include <cstdint>
#include <optional>

namespace vz {

// Strict integer conversion: optional leading blanks, an optional sign, decimal digits,
// nothing after them, within 32-bit signed range. Anything else gives nullopt.
std::optional<int32_t> strToInt(const QString& text);

// The integer formed by the leading digits of a text: skip leading blanks, take the
// decimal digits up to the first other character; no digits gives 0. Saturates at INT32_MAX.
int32_t leadingDigitsValue(const QString& text);

// A decimal number with a point, as the reading labels hold them: optional leading blanks,
// optional sign, digits with at most one '.', and nothing else. Never locale-dependent.
std::optional<double> strToFloat(const QString& text);

// A plain decimal number counted in units of 10^-decimals, as a set-up file writes its
// values ("0,5" seconds with 3 decimals is 500 ms): decimal digits with at most one '.' or
// ',', no blanks, no sign, no exponent, at most nine digits before the point. Digits after
// the point beyond `decimals` (0..9) are allowed only when they are zeros, since they change
// nothing. The first fault from the left decides the error. Integer units keep bounds and
// defaults exact where a double would not.
struct DecimalUnits {
    enum class Error {
        None,
        NotANumber,      // empty, a sign, a blank, a second point, too many whole digits, ...
        TooManyDecimals, // a number, but with a non-zero digit beyond `decimals`
    };
    int64_t units = 0; // valid when error is None
    Error error = Error::NotANumber;
    bool ok() const { return error == Error::None; }
};
DecimalUnits strToDecimalUnits(const QString& text, int decimals);

} // namespace vz
