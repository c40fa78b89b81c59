// A recorded test as JSON: its fields, the object, and an element of an array written as it
// goes.
#include "TestCommands.h"

#include "Registration.h"
#include "TestRecordFields.h"

#include <QJsonArray>
#include <algorithm>
#include <iterator>

namespace vz {

using test_fields::kPhaseKeys;
using test_fields::kUnfinishedReason;
using test_fields::orNull;
using test_fields::phasesOf;
using test_fields::scalarText;
using test_fields::sourcePhases;
using test_fields::str;

QList<TestField> testFields(const RecordedTest& test, bool withPhases) {
    const QJsonObject& s = test.started;
    const QJsonObject& r = test.result;
    const bool done = test.finished();
    const QJsonValue none(QJsonValue::Null);
    return {
        {"number", test.number},
        {"series", archiveSeriesKey(test.series)},
        {"training", test.training()},
        {"started", orNull(s, "time")},
        {"ended", !done                                 ? none
                  : r.contains(QStringLiteral("ended")) ? r.value(QStringLiteral("ended"))
                                                        : orNull(r, "time")},
        {"registration", orNull(s, "registration")},
        {"registrationKey", twospeed::normaliseRegistration(str(s, "registration"))},
        {"make", orNull(s, "make")},
        {"model", orNull(s, "model")},
        {"firstRegistration", orNull(s, "firstRegistration")},
        {"fuel", orNull(s, "fuel")},
        {"emissionControl", orNull(s, "emissionControl")},
        {"typeApproval", orNull(s, "typeApproval")},
        {"operator", orNull(s, "operator")},
        {"limitSet", orNull(s, "limitSet")},
        {"analyserSerial", orNull(s, "analyserSerial")},
        {"verdict", testVerdict(test)},
        {"verdictTitle", done ? orNull(r, "verdictTitle") : none},
        {"reason", done ? orNull(r, "reason") : QJsonValue(kUnfinishedReason)},
        {"attempt", done ? orNull(r, "attempt") : none},
        {"durationMs", done ? orNull(r, "durationMs") : none},
        {"ending", done ? orNull(r, "ending") : none},
        {"failingAverage", testFailingAverage(test)},
        {"declaration", orNull(s, "declaration")},
        {"trainingReasons", orNull(s, "trainingReasons")},
        {"phases", withPhases ? QJsonValue(phasesOf(test)) : QJsonValue(QJsonValue::Null)},
        {"file", test.fileName},
        {"line", test.startedLine},
        {"resultLine", done ? QJsonValue(test.resultLine) : none},
    };
}

QJsonObject testJson(const RecordedTest& test) {
    QJsonObject o;
    for (const TestField& field : testFields(test))
        o.insert(QLatin1StringView(field.first), field.second);
    return o;
}

namespace {

// A value as compact JSON, keys in the order QJsonObject keeps them: what QJsonDocument
// writes, without building a document for every test.
void appendJsonValue(QString& out, const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        appendJsonString(out, value.toString());
        break;
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        out += u'{';
        bool first = true;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (!first)
                out += u',';
            first = false;
            appendJsonString(out, it.key());
            out += u':';
            appendJsonValue(out, it.value());
        }
        out += u'}';
        break;
    }
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        out += u'[';
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0)
                out += u',';
            appendJsonValue(out, array[i]);
        }
        out += u']';
        break;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out += QStringLiteral("null");
        break;
    default:
        out += scalarText(value);
        break;
    }
}

} // namespace

QString testJsonElement(const RecordedTest& test, bool first) {
    QString out;
    out.reserve(2048);
    out += first ? QStringLiteral("\n{") : QStringLiteral(",\n{");
    bool firstField = true;
    for (const TestField& field : testFields(test, false)) {
        if (!firstField)
            out += u',';
        firstField = false;
        out += u'"';
        out += QLatin1StringView(field.first);
        out += QStringLiteral("\":");
        if (qstrcmp(field.first, "phases") != 0) {
            appendJsonValue(out, field.second);
            continue;
        }
        // The phases straight from the record's, their keys in the order phasesOf() gives.
        out += u'[';
        const QJsonArray phases = sourcePhases(test);
        for (qsizetype i = 0; i < phases.size(); ++i) {
            const QJsonObject phase = phases[i].toObject();
            out += i > 0 ? QStringLiteral(",{") : QStringLiteral("{");
            static const QList<const char*> keys = [] {
                QList<const char*> sorted(std::begin(kPhaseKeys), std::end(kPhaseKeys));
                std::sort(sorted.begin(), sorted.end(),
                          [](const char* a, const char* b) { return qstrcmp(a, b) < 0; });
                return sorted;
            }();
            bool firstKey = true;
            for (const char* key : keys) {
                if (!firstKey)
                    out += u',';
                firstKey = false;
                out += u'"';
                out += QLatin1StringView(key);
                out += QStringLiteral("\":");
                appendJsonValue(out, orNull(phase, key));
            }
            out += u'}';
        }
        out += u']';
    }
    out += u'}';
    return out;
}

} // namespace vz
