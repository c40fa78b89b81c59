#include "TestCommands.h"

#include "LogExport.h"
#include "Registration.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <algorithm>

namespace vz {
namespace {

const QString kUnfinishedReason =
    QStringLiteral("no result line: the test is under way, or the station stopped during it and has not "
                   "recorded it since");

QString str(const QJsonObject& o, const char* key) {
    return o.value(QLatin1StringView(key)).toString();
}

QJsonValue orNull(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1StringView(key));
    return v.isUndefined() ? QJsonValue(QJsonValue::Null) : v;
}

// A JSON scalar as the show text and the CSV write it: numbers as JSON writes them.
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

// The keys of each phase that the tests' JSON and CSV give.
const char* const kPhaseKeys[] = {"name", "window", "rpm",    "co",      "co2",
                                  "hc",   "o2",     "lambda", "verdict", "reason"};

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

QString dateTimeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy  HH:mm:ss")) : QStringLiteral("?");
}

void pad(QString& line, const QString& value, int width) {
    line += QStringLiteral("  ");
    line += value;
    if (value.size() < width)
        line.append(QString(width - value.size(), u' '));
}

// ---------------------------------------------------------------------------------------
// show-test: every field, labelled

void dumpValue(QString& out, const QString& key, const QJsonValue& value, int indent);

// Samples as a table: one row each, the columns of every key they have.
void dumpSamples(QString& out, const QString& key, const QJsonArray& samples, int indent) {
    const QString margin(indent, u' ');
    out += QStringLiteral("%1%2: %3\n").arg(margin, key).arg(samples.size());
    if (samples.isEmpty())
        return;
    QStringList columns;
    QSet<QString> seen;
    for (const QJsonValue& s : samples) {
        for (const QString& k : s.toObject().keys()) {
            if (!seen.contains(k)) {
                seen.insert(k);
                columns.append(k);
            }
        }
    }
    // Time first, then the rest as the record orders them.
    if (columns.removeOne(QStringLiteral("t")))
        columns.prepend(QStringLiteral("t"));
    QList<int> widths;
    for (const QString& c : columns) {
        int width = int(terminalText(c).size());
        for (const QJsonValue& s : samples)
            width = std::max(width, int(terminalText(scalarText(s.toObject().value(c))).size()));
        widths.append(width);
    }
    QString line = margin + QStringLiteral("  ");
    for (qsizetype i = 0; i < columns.size(); ++i)
        line += terminalText(columns[i]).rightJustified(widths[i]) + u' ';
    out += line.trimmed().prepend(margin + QStringLiteral("  ")) + u'\n';
    for (const QJsonValue& s : samples) {
        const QJsonObject sample = s.toObject();
        line = margin + QStringLiteral("  ");
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const QJsonValue v = sample.value(columns[i]);
            line += terminalText(v.isUndefined() || v.isNull() ? QStringLiteral("-") : scalarText(v))
                        .rightJustified(widths[i]) +
                    u' ';
        }
        while (line.endsWith(u' '))
            line.chop(1);
        out += line + u'\n';
    }
}

void dumpValue(QString& out, const QString& rawKey, const QJsonValue& value, int indent) {
    const QString margin(indent, u' ');
    const QString key = terminalText(rawKey); // keys come from the station's lines too
    if (value.isObject()) {
        const QJsonObject o = value.toObject();
        out += QStringLiteral("%1%2:%3\n").arg(margin, key, o.isEmpty() ? QStringLiteral(" {}") : QString());
        for (auto it = o.constBegin(); it != o.constEnd(); ++it)
            dumpValue(out, it.key(), it.value(), indent + 2);
        return;
    }
    if (value.isArray()) {
        const QJsonArray a = value.toArray();
        bool objects = !a.isEmpty();
        for (const QJsonValue& v : a)
            objects = objects && v.isObject();
        if (objects && rawKey == u"samples") {
            dumpSamples(out, key, a, indent);
            return;
        }
        if (objects) {
            out += QStringLiteral("%1%2: %3\n").arg(margin, key).arg(a.size());
            for (qsizetype i = 0; i < a.size(); ++i)
                dumpValue(out, QStringLiteral("%1 %2").arg(rawKey).arg(i + 1), a[i], indent + 2);
            return;
        }
        QStringList items;
        for (const QJsonValue& v : a)
            items.append(terminalText(scalarText(v)));
        out += QStringLiteral("%1%2: [%3]\n").arg(margin, key, items.join(QStringLiteral(", ")));
        return;
    }
    out += QStringLiteral("%1%2: %3\n")
               .arg(margin, key, value.isNull() ? QStringLiteral("null") : terminalText(scalarText(value)));
}

void dumpObject(QString& out, const QString& title, const QJsonObject& object) {
    out += title + u'\n';
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        dumpValue(out, it.key(), it.value(), 2);
}

} // namespace

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

QString testListHeader() {
    QString line = QStringLiteral("%1").arg(QStringLiteral("No."), 8);
    pad(line, QStringLiteral("Date"), 10);
    pad(line, QStringLiteral("Time"), 8);
    pad(line, QStringLiteral("Reg."), 10);
    pad(line, QStringLiteral("Fuel"), 6);
    pad(line, QStringLiteral("Limit set"), 20);
    pad(line, QStringLiteral("Verdict"), 11);
    line += QStringLiteral("  Attempt");
    return line;
}

QString testListLine(const RecordedTest& test) {
    QString line = QStringLiteral("%1").arg(testNumberText(test), 8);
    const QDateTime started = test.startedAt();
    pad(line, started.isValid() ? started.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("?"), 10);
    pad(line, started.isValid() ? started.toString(QStringLiteral("HH:mm:ss")) : QString(), 8);
    pad(line, terminalText(str(test.started, "registration")), 10);
    pad(line, terminalText(str(test.started, "fuel")), 6);
    pad(line, terminalText(str(test.started.value(QStringLiteral("limitSet")).toObject(), "basis")), 20);
    const QString notes = testNotes(test);
    if (!test.finished()) {
        line += QStringLiteral("  in progress or interrupted");
        if (!notes.isEmpty())
            line += QStringLiteral("; ") + notes;
        return line;
    }
    pad(line, terminalText(testVerdict(test)), 11);
    const QJsonValue attempt = test.result.value(QStringLiteral("attempt"));
    line +=
        QStringLiteral("  ") + (attempt.isDouble() ? QString::number(attempt.toInt()) : QStringLiteral("-"));
    if (!notes.isEmpty())
        line += QStringLiteral("  ") + notes;
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

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

QString testShowText(const TestLookup& lookup, const LineSeal& seal) {
    const RecordedTest& test = *lookup.test;
    QString text =
        QStringLiteral("Test: %1 (%2%3)\n")
            .arg(testNumberText(test))
            .arg(archiveSeriesKey(test.series), test.training() && test.series == ArchiveSeries::Official
                                                    ? QStringLiteral(", marked training")
                                                    : QString());
    text +=
        QStringLiteral("Archive: %1, started line %2").arg(terminalText(test.fileName)).arg(test.startedLine);
    if (test.finished())
        text += QStringLiteral(", result line %1").arg(test.resultLine);
    text +=
        QStringLiteral(", %1 journal line%2\n").arg(test.journalLines).arg(test.journalLines == 1 ? "" : "s");
    text += QStringLiteral("Started: %1\n").arg(dateTimeText(test.startedAt()));
    if (!lookup.clock.isEmpty())
        text +=
            QStringLiteral(
                "Clock: behind the series' latest test when it began (test %1 began %2 in %3); the "
                "archive's clock line records the jump\n")
                .arg(testNumberText(test.series, lookup.clock.value(QStringLiteral("latestNumber")).toInt()))
                .arg(terminalText(str(lookup.clock, "latest")),
                     terminalText(str(lookup.clock, "latestFile")));
    text += QStringLiteral("Registration: %1\n").arg(terminalText(str(test.started, "registration")));
    const QJsonValue failing = testFailingAverage(test);
    const QJsonObject declaration = test.started.value(QStringLiteral("declaration")).toObject();
    if (!declaration.isEmpty())
        text += QStringLiteral("Declaration: %1\n")
                    .arg(terminalText(str(declaration, "text").isEmpty() ? str(declaration, "key")
                                                                         : str(declaration, "text")));
    if (!test.finished()) {
        text +=
            QStringLiteral("Verdict: unfinished (in progress or interrupted): %1\n").arg(kUnfinishedReason);
        if (failing.isObject())
            text += QStringLiteral("Failing average: %1 (written down before the window showed it)\n")
                        .arg(averageText(failing.toObject()));
        text += QStringLiteral("Seal: none yet (no result line)\n");
    } else {
        text += QStringLiteral("Verdict: %1 (%2)\n")
                    .arg(terminalText(testVerdict(test)), terminalText(str(test.result, "verdictTitle")));
        if (!testEnding(test).isEmpty())
            text += QStringLiteral("Ending: %1\n").arg(terminalText(testEnding(test)));
        if (failing.isObject())
            text += (testVerdict(test) == u"interrupted"
                         ? QStringLiteral("Interrupted after a failing average: %1\n")
                         : QStringLiteral("Failing average: %1\n"))
                        .arg(averageText(failing.toObject()));
        if (!str(test.result, "reason").isEmpty())
            text += QStringLiteral("Reason: %1\n").arg(terminalText(str(test.result, "reason")));
        const QString where =
            QStringLiteral("the entry of line %1 in %2")
                .arg(test.resultLine)
                .arg(terminalText(archiveFileNamed(test.fileName) ? archiveFileNamed(test.fileName)->chainName
                                                                  : test.fileName));
        switch (seal.state) {
        case LineSeal::State::Matches:
            text += QStringLiteral("Seal: %1 (%2): matches the result line\n")
                        .arg(QString::fromLatin1(seal.hash.toHex()), where);
            break;
        case LineSeal::State::Differs:
            text += QStringLiteral("Seal: %1 (%2): does NOT match the result line: the line or the chain was "
                                   "changed; see pregledi verify\n")
                        .arg(QString::fromLatin1(seal.hash.toHex()), where);
            break;
        case LineSeal::State::Unchecked:
            text += QStringLiteral("Seal: %1 (%2): keyed, not checked: no usable station key\n")
                        .arg(QString::fromLatin1(seal.hash.toHex()), where);
            break;
        case LineSeal::State::NoEntry:
            text += QStringLiteral("Seal: none: the chain has no entry for line %1\n").arg(test.resultLine);
            break;
        case LineSeal::State::NoChain:
            text += QStringLiteral("Seal: none: %1\n").arg(terminalText(seal.trouble));
            break;
        }
    }
    text += u'\n';
    dumpObject(text, QStringLiteral("Started line:"), test.started);
    for (qsizetype i = 0; i < lookup.journal.size(); ++i) {
        text += u'\n';
        dumpObject(text, QStringLiteral("Journal line %1:").arg(i + 1), lookup.journal[i]);
    }
    text += u'\n';
    if (test.finished())
        dumpObject(text, QStringLiteral("Result line:"), test.result);
    else
        text += QStringLiteral("Result line: none\n");
    return text;
}

int runTestsCommand(const QString& dir, ArchiveSeries series, const ExamFilter& filter, bool json,
                    QTextStream& out, QTextStream& err) {
    int status = 0;
    out << (json ? jsonBegin() : testListHeader() + u'\n');
    bool first = true;
    readTests(
        dir, series, filter.from, filter.to,
        [&](const RecordedTest& test) {
            if (!testMatches(test, filter))
                return;
            if (json)
                out << testJsonElement(test, first);
            else
                out << testListLine(test) << '\n';
            first = false;
        },
        [&](const ArchiveProblem& problem) {
            err << "pregledi: " << terminalText(describeArchiveProblem(problem)) << '\n';
            status = 1;
        });
    if (json)
        out << jsonEnd();
    return status;
}

int runShowTestCommand(const QString& dir, ArchiveSeries series, int number, QTextStream& out,
                       QTextStream& err) {
    const TestLookup lookup = findTest(dir, series, number);
    int status = 0;
    for (const ArchiveProblem& problem : lookup.problems) {
        err << "pregledi: " << terminalText(describeArchiveProblem(problem)) << '\n';
        status = 1;
    }
    if (!lookup.test) {
        err << "pregledi: " << (series == ArchiveSeries::Training ? "training test " : "test ")
            << testNumberText(series, number) << " is not in the archive"
            << (series == ArchiveSeries::Official ? "" : " (Obuchenie-*.jsonl)");
        if (!lookup.whereBroken.isEmpty())
            err << ": " << terminalText(lookup.whereBroken);
        err << '\n';
        return 1;
    }
    LineSeal seal;
    if (lookup.test->finished()) {
        if (const std::optional<ArchiveFile> file = archiveFileNamed(lookup.test->fileName))
            seal = sealOfLine(dir, *file, lookup.test->resultLine, lookup.resultBytes);
    }
    out << testShowText(lookup, seal);
    if (seal.state == LineSeal::State::Differs)
        status = 1;
    return status;
}

} // namespace vz
