// One test found wherever it is, or where the series is broken around it.
#include "TestArchive.h"

#include "ArchiveReading.h"

#include <QJsonArray>
#include <algorithm>
#include <map>

namespace vz {

using archive_reading::find;
using archive_reading::firstTestOf;
using archive_reading::tellTorn;

namespace {

// Test `number` in one file, whole; false when the file has no started line for it.
bool readTestIn(const QString& dir, const ArchiveFile& file, int number, TestLookup& lookup) {
    ArchiveLineReader reader;
    if (!reader.open(stationPath(dir, file.name))) {
        lookup.problems.append({file.name, 0, reader.error()});
        return false;
    }
    const QByteArray mark = "\"number\":" + QByteArray::number(number);
    RecordedTest test;
    test.series = file.series;
    test.fileName = file.name;
    test.number = number;
    QList<QJsonObject> journal;
    QJsonObject clock;
    QByteArray resultBytes;
    ArchiveLine line;
    int last = 0;
    while (reader.next(line)) {
        last = line.number;
        // Most lines are another test's: the number is looked for before anything is parsed.
        qsizetype at = find(line.bytes, mark);
        while (at >= 0) {
            const qsizetype after = at + mark.size();
            if (after < line.bytes.size() && (line.bytes[after] == ',' || line.bytes[after] == '}'))
                break;
            at = find(line.bytes, mark, after);
        }
        if (at < 0)
            continue;
        const LinePeek peek = peekLine(line.bytes);
        if (peek.number != number)
            continue;
        if (peek.kind == QByteArrayView("clock") && test.startedLine == 0) {
            clock = parseArchiveLine(line.bytes);
        } else if (peek.kind == QByteArrayView("started") && test.startedLine == 0) {
            test.started = parseArchiveLine(line.bytes);
            test.startedLine = line.number;
        } else if (peek.kind == QByteArrayView("samples") && test.startedLine > 0 && !test.finished()) {
            journal.append(parseArchiveLine(line.bytes));
            ++test.journalLines;
        } else if (peek.kind == QByteArrayView("result") && test.startedLine > 0 && !test.finished()) {
            test.result = parseArchiveLine(line.bytes);
            test.resultLine = line.number;
            resultBytes = line.bytes.toByteArray();
        }
    }
    QList<ArchiveProblem> problems;
    tellTorn(reader, file, last, [&](const ArchiveProblem& problem) { problems.append(problem); });
    if (test.startedLine == 0) {
        lookup.problems += problems;
        return false;
    }
    if (!test.finished()) {
        for (const QJsonObject& line : journal) {
            for (const QJsonValue& phase : line.value(QStringLiteral("ended")).toArray())
                test.endedPhases.append(phase);
            const QJsonArray averages = line.value(QStringLiteral("failing")).toArray();
            if (!averages.isEmpty())
                test.journalFailing = averages.last();
        }
    }
    lookup.problems += problems;
    lookup.journal = std::move(journal);
    lookup.clock = clock;
    lookup.resultBytes = resultBytes;
    lookup.test = std::move(test);
    return true;
}

// The file the series' register gives test `number`; empty when it names none.
QString registeredFile(const QString& dir, ArchiveSeries series, int number) {
    const ArchiveFile registry = archiveRegisterFile(series);
    ArchiveLineReader reader;
    if (fileKindAt(stationPath(dir, registry.name)) != FileKind::Regular ||
        !reader.open(stationPath(dir, registry.name)))
        return QString();
    ArchiveLine line;
    QString file;
    while (reader.next(line)) {
        const LinePeek peek = peekLine(line.bytes);
        if (peek.kind == QByteArrayView("numbered") && peek.number == number)
            file = parseArchiveLine(line.bytes).value(QStringLiteral("file")).toString();
    }
    return file;
}

// Where the series is broken around a number no file holds; empty when the number is past
// every number the series has given.
QString whereBroken(const QString& dir, ArchiveSeries series, int number, const QString& registered) {
    std::map<int, QString> fileOf; // every test begun, by number
    for (const ArchiveFile& file : archiveFiles(dir, series)) {
        ArchiveLineReader reader;
        if (!reader.open(stationPath(dir, file.name)))
            continue;
        ArchiveLine line;
        while (reader.next(line)) {
            const LinePeek peek = peekLine(line.bytes);
            if (peek.kind == QByteArrayView("started") && peek.number > 0)
                fileOf.emplace(peek.number, file.name);
        }
    }
    int highest = fileOf.empty() ? 0 : fileOf.rbegin()->first;
    int mark = 0;
    QString markFile;
    {
        const ArchiveFile registry = archiveRegisterFile(series);
        ArchiveLineReader reader;
        if (fileKindAt(stationPath(dir, registry.name)) == FileKind::Regular &&
            reader.open(stationPath(dir, registry.name))) {
            ArchiveLine line;
            while (reader.next(line)) {
                const LinePeek peek = peekLine(line.bytes);
                if (peek.kind == QByteArrayView("numbered") && peek.number > mark) {
                    mark = peek.number;
                    markFile = parseArchiveLine(line.bytes).value(QStringLiteral("file")).toString();
                }
            }
        }
    }
    if (number > std::max(highest, mark))
        return QString();
    const auto n = [&](int value) { return testNumberText(series, value); };
    QString text;
    const auto above = fileOf.upper_bound(number);
    const auto below = above == fileOf.begin() ? fileOf.end() : std::prev(above);
    const int from = below == fileOf.end() ? 1 : below->first + 1;
    if (above != fileOf.end()) {
        const int to = above->first - 1;
        text = QStringLiteral("the series is broken there: %1 missing")
                   .arg(testRangeText(series, from, to) +
                        (to > from ? QStringLiteral(" are") : QStringLiteral(" is")));
        text += below == fileOf.end()
                    ? QStringLiteral(" before test %1 (%2)").arg(n(above->first), above->second)
                    : QStringLiteral(" between test %1 (%2) and test %3 (%4)")
                          .arg(n(below->first), below->second, n(above->first), above->second);
    } else {
        text =
            QStringLiteral("the series ends %1, below its register's highest number %2 (%3): %4 missing")
                .arg(below == fileOf.end() ? QStringLiteral("before its first test")
                                           : QStringLiteral("at test %1 (%2)").arg(n(highest), below->second),
                     n(mark), markFile.isEmpty() ? archiveRegisterFile(series).name : markFile,
                     testRangeText(series, highest + 1, mark) +
                         (mark > highest + 1 ? QStringLiteral(" are") : QStringLiteral(" is")));
    }
    if (!registered.isEmpty())
        text += QStringLiteral("; the register gives it to %1, which %2")
                    .arg(registered, fileKindAt(stationPath(dir, registered)) == FileKind::Missing
                                         ? QStringLiteral("is missing")
                                         : QStringLiteral("does not hold it"));
    return text;
}

} // namespace

TestLookup findTest(const QString& dir, ArchiveSeries series, int number) {
    TestLookup lookup;
    const QList<ArchiveFile> files = archiveFiles(dir, series);
    // The order to look in: the register's file, then the last file whose first test is not
    // after `number` (files with the same first test in the order of their months), then the rest.
    QList<std::pair<int, ArchiveFile>> byFirst;
    for (const ArchiveFile& file : files)
        byFirst.append({firstTestOf(dir, file), file});
    std::stable_sort(byFirst.begin(), byFirst.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList order;
    const QString registered = registeredFile(dir, series, number);
    if (std::optional<ArchiveFile> named = archiveFileNamed(registered); named && named->series == series)
        order.append(named->name);
    for (const auto& [first, file] : byFirst) {
        if (first > 0 && first <= number && !order.contains(file.name))
            order.append(file.name);
    }
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        if (!order.contains(files[i].name))
            order.append(files[i].name);
    }
    for (const QString& name : order) {
        if (fileKindAt(stationPath(dir, name)) == FileKind::Missing)
            continue;
        if (readTestIn(dir, *archiveFileNamed(name), number, lookup))
            return lookup;
    }
    lookup.whereBroken = whereBroken(dir, series, number, registered);
    return lookup;
}

} // namespace vz
