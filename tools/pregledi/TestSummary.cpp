// A recorded test in short: whether it matches a filter, its verdict, ending, failing average
// and the notes the list adds.
#include "TestCommands.h"

#include "Registration.h"
#include "TestRecordFields.h"

namespace vz {

using test_fields::str;

bool testMatches(const RecordedTest& test, const ExamFilter& filter) {
    if (filter.from || filter.to) {
        const QDate day = test.startedAt().date();
        if (!day.isValid() || (filter.from && day < *filter.from) || (filter.to && day > *filter.to))
            return false;
    }
    if (!filter.reg.isEmpty() && !twospeed::normaliseRegistration(str(test.started, "registration"))
                                      .contains(twospeed::normaliseRegistration(filter.reg)))
        return false;
    if (!filter.text.isEmpty()) {
        bool found = false;
        for (const char* key : {"registration", "make", "model", "operator", "fuel", "analyserSerial"})
            found = found || str(test.started, key).contains(filter.text, Qt::CaseInsensitive);
        found = found || str(test.started.value(QStringLiteral("limitSet")).toObject(), "explanation")
                             .contains(filter.text, Qt::CaseInsensitive);
        for (const char* key : {"verdict", "verdictTitle", "reason"})
            found = found || str(test.result, key).contains(filter.text, Qt::CaseInsensitive);
        if (!found)
            return false;
    }
    return true;
}

QString testVerdict(const RecordedTest& test) {
    if (!test.finished())
        return kUnfinishedVerdict;
    const QString verdict = str(test.result, "verdict");
    return verdict.isEmpty() ? QStringLiteral("?") : verdict;
}

QString testNumberText(const RecordedTest& test) {
    return testNumberText(test.series, test.number);
}

QString testEnding(const RecordedTest& test) {
    return test.finished() ? str(test.result, "ending") : QString();
}

QJsonValue testFailingAverage(const RecordedTest& test) {
    const QJsonValue average =
        test.finished() ? test.result.value(QStringLiteral("failingAverage")) : test.journalFailing;
    return average.isObject() ? average : QJsonValue(QJsonValue::Null);
}

QString averageText(const QJsonObject& average) {
    QStringList values;
    auto add = [&](const char* key, const char* label, int decimals, const char* unit) {
        const QJsonValue v = average.value(QLatin1StringView(key));
        if (v.isDouble())
            values.append(QStringLiteral("%1 %2%3").arg(QLatin1StringView(label),
                                                        QString::number(v.toDouble(), 'f', decimals),
                                                        QLatin1StringView(unit)));
    };
    add("co", "CO", 2, " %");
    add("co2", "CO2", 1, " %");
    add("hc", "HC", 0, " ppm");
    add("o2", "O2", 2, " %");
    add("lambda", "lambda", 3, "");
    const QJsonValue rpm = average.value(QStringLiteral("rpm"));
    if (rpm.isDouble())
        values.append(QStringLiteral("%1 rpm").arg(qRound(rpm.toDouble())));
    const QString phase = terminalText(str(average, "phase"));
    return (phase.isEmpty() ? QString() : phase + QStringLiteral(": ")) + values.join(QStringLiteral(", "));
}

QString testNotes(const RecordedTest& test) {
    QStringList notes;
    const QString ending = testEnding(test);
    const QJsonValue failing = testFailingAverage(test);
    const bool interruptedAfterFailing = failing.isObject() && test.finished() &&
                                         (ending == u"interrupted" || testVerdict(test) == u"interrupted");
    if (!ending.isEmpty() && ending != u"completed" && !interruptedAfterFailing)
        notes.append(QStringLiteral("ending: %1").arg(terminalText(ending)));
    if (interruptedAfterFailing)
        notes.append(
            QStringLiteral("interrupted after a failing average: %1").arg(averageText(failing.toObject())));
    else if (failing.isObject())
        notes.append(QStringLiteral("failing average: %1").arg(averageText(failing.toObject())));
    const QJsonObject declaration = test.started.value(QStringLiteral("declaration")).toObject();
    if (!declaration.isEmpty())
        notes.append(QStringLiteral("declaration: %1")
                         .arg(terminalText(str(declaration, "text").isEmpty() ? str(declaration, "key")
                                                                              : str(declaration, "text"))));
    return notes.join(QStringLiteral("; "));
}

} // namespace vz
