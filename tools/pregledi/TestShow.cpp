// `pregledi show-test`: every field of a test's lines, labelled, with the samples as tables,
// and its seal.
#include "TestCommands.h"

#include "TestRecordFields.h"

#include <QJsonArray>
#include <QSet>
#include <algorithm>

namespace vz {

using test_fields::kUnfinishedReason;
using test_fields::scalarText;
using test_fields::str;

namespace {

QString dateTimeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy  HH:mm:ss")) : QStringLiteral("?");
}

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

} // namespace vz
