#pragma once
// JSON pieces shared by the archive's line writers (TwoSpeedRecord.cpp, TwoSpeedStartedRecord.cpp).
#include "TwoSpeedLimits.h"

#include <QDate>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

namespace vz::twospeed {

inline QJsonValue optionalNumber(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

inline QJsonValue optionalNumber(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

inline QJsonObject windowObject(const SpeedWindow& w) {
    return {{QStringLiteral("min"), w.min}, {QStringLiteral("max"), w.max}};
}

inline QJsonValue dateValue(const QDate& date) {
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

} // namespace vz::twospeed
