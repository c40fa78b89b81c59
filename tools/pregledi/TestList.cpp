// `pregledi tests`: the list's header and one line per test.
#include "TestCommands.h"

#include "TestRecordFields.h"

namespace vz {

using test_fields::str;

namespace {

void pad(QString& line, const QString& value, int width) {
    line += QStringLiteral("  ");
    line += value;
    if (value.size() < width)
        line.append(QString(width - value.size(), u' '));
}

} // namespace

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

} // namespace vz
