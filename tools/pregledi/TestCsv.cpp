// The tests' CSV of `export --tests`: the header and one row per test.
#include "TestCommands.h"

#include "TestRecordFields.h"

#include <QJsonArray>

namespace vz {

using test_fields::scalarText;
using test_fields::sourcePhases;
using test_fields::str;

namespace {

const char* const kCsvPhaseColumns[] = {"rpm", "co", "co2", "hc", "o2", "lambda", "verdict"};

} // namespace

QString testCsvHeader() {
    QString line = QStringLiteral(
        "number,series,started,ended,registration,make,model,firstRegistration,fuel,emissionControl,"
        "typeApproval,operator,limitSet,limitSource,limitExplanation,verdict,reason,attempt");
    for (const char* phase : {"highIdle", "idle"}) {
        for (const char* column : kCsvPhaseColumns) {
            QString name = QLatin1StringView(column);
            name[0] = name[0].toUpper();
            line += u',' + QLatin1StringView(phase) + name;
        }
    }
    line += QStringLiteral(",analyserSerial,file,line,ending,failingAverage,declaration\r\n");
    return line;
}

QString testCsvRow(const RecordedTest& test) {
    const QList<TestField> fields = testFields(test, false);
    auto value = [&](const char* key) {
        for (const TestField& field : fields) {
            if (qstrcmp(field.first, key) == 0)
                return field.second;
        }
        return QJsonValue();
    };
    const QJsonObject limits = test.started.value(QStringLiteral("limitSet")).toObject();
    QString line = QString::number(test.number);
    auto cell = [&](const QString& text) { line += u',' + csvCell(text); };
    cell(archiveSeriesKey(test.series));
    for (const char* key : {"started", "ended", "registration", "make", "model", "firstRegistration", "fuel",
                            "emissionControl", "typeApproval", "operator"})
        cell(scalarText(value(key)));
    cell(str(limits, "basis"));
    cell(str(limits, "source"));
    cell(str(limits, "explanation"));
    for (const char* key : {"verdict", "reason", "attempt"})
        cell(scalarText(value(key)));
    const QJsonArray phases = sourcePhases(test);
    for (const char* name : {"high-idle", "idle"}) {
        QJsonObject phase;
        for (const QJsonValue& p : phases) {
            if (p.toObject().value(QStringLiteral("name")).toString() == QLatin1StringView(name))
                phase = p.toObject();
        }
        for (const char* column : kCsvPhaseColumns)
            cell(scalarText(phase.value(QLatin1StringView(column))));
    }
    cell(scalarText(value("analyserSerial")));
    cell(test.fileName);
    line += u',' + QString::number(test.startedLine);
    cell(testEnding(test));
    const QJsonValue failing = testFailingAverage(test);
    cell(failing.isObject() ? scalarText(failing) : QString());
    cell(str(test.started.value(QStringLiteral("declaration")).toObject(), "text"));
    line += QStringLiteral("\r\n");
    return line;
}

} // namespace vz
