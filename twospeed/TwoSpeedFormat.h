#pragma once
// Numbers and dates as the two-speed test prints them: decimal commas, dd.mm.yyyy. The test
// compares values in the same rounded units it prints, so a printed value and its verdict
// can never disagree (a CO average of 0.304 % prints "0,30" and passes a 0.30 % limit).
#include <QDate>
#include <QString>
#include <cstdint>

namespace vz::twospeed {

// `value` in units of 10^-decimals, rounded half away from zero. A tiny allowance absorbs
// the binary representation of decimal halves: 0.305 (stored as 0.30499999...) gives 31.
int64_t printedUnits(double value, int decimals);

// The printed text of `value` with `decimals` decimals and a decimal comma: 0.305 -> "0,31".
QString decimalText(double value, int decimals);
// The same for a value already held in printed units: (30, 2) -> "0,30", (970, 3) -> "0,970".
QString unitsText(int64_t units, int decimals);

// The same without trailing zeros, as limits are written: (30, 2) -> "0,3", (600, 2) -> "6".
QString compactUnitsText(int64_t units, int decimals);

// dd.mm.yyyy; an invalid date gives an empty text.
QString dateText(const QDate& date);

// Printed precision of each quantity.
inline constexpr int kCoDecimals = 2;
inline constexpr int kCo2Decimals = 2;
inline constexpr int kO2Decimals = 2;
inline constexpr int kHcDecimals = 0;
inline constexpr int kLambdaDecimals = 3;
inline constexpr int kRpmDecimals = 0;
inline constexpr int kOilDecimals = 0;

} // namespace vz::twospeed
