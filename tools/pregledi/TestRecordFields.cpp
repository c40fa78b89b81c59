// The fields of a test's lines as text and as JSON, and its phases.
#include "TestRecordFields.h"

#include <QJsonDocument>
#include <QLocale>
#include <cmath>

namespace vz::test_fields {

QString str(const QJsonObject& o, const char* key) {
    return o.value(QLatin1StringView(key)).toString();
}

QJsonValue orNull(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1StringView(key));
    return v.isUndefined() ? QJsonValue(QJsonValue::Null) : v;
}

QString scalarText(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QString();
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (d == static_cast<double>(static_cast<qint64>(d)) && std::abs(d) < 1e15)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case QJsonValue::String:
        return v.toString();
    default:
        return QString::fromUtf8(
            QJsonDocument(v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject()))
                .toJson(QJsonDocument::Compact));
    }
}

QJsonArray sourcePhases(const RecordedTest& test) {
    return test.finished() ? test.result.value(QStringLiteral("phases")).toArray() : test.endedPhases;
}

QJsonArray phasesOf(const RecordedTest& test) {
    const QJsonArray source = sourcePhases(test);
    QJsonArray phases;
    for (const QJsonValue& value : source) {
        const QJsonObject p = value.toObject();
        QJsonObject phase;
        for (const char* key : kPhaseKeys)
            phase.insert(QLatin1StringView(key), orNull(p, key));
        phases.append(phase);
    }
    return phases;
}

} // namespace vz::test_fields
