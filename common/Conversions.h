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

} // namespace vz
