#pragma once
// An average of the two-speed test as the archive's lines keep it, and back: the "deciding",
// "lastAverage" and "failing" objects, and the printed values a phase carries for lists.
#include "TwoSpeedTest.h"

#include <QJsonObject>
#include <QJsonValue>
#include <optional>

namespace vz::twospeed {

// {"atMs", "samples", "rpm", "oil", "co", "co2", "hc", "o2", "lambda", "valid",
//  "invalidReason", "withinLimits", "checks": [{"quantity", "value", "text", "limited", "pass",
//  "limit" (when limited)}...]}, or null.
QJsonValue averageValue(const std::optional<Average>& a);
// The same with "phase" (high-idle, idle) added, or null: a failing average and its phase.
QJsonValue phaseAverageValue(const std::optional<PhaseAverage>& a);
// Back from a line: none for null or anything but an object.
std::optional<Average> averageFromValue(const QJsonValue& value);
std::optional<PhaseAverage> phaseAverageFromValue(const QJsonValue& value);

// "rpm", "co", "co2", "hc", "o2", "lambda" of the average as the protocol prints them (0.304
// -> 0.3), each null without an average.
QJsonObject printedAverage(const std::optional<Average>& a);

} // namespace vz::twospeed
