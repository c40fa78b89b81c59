// Every test of a series, in the order of their numbers, one file at a time.
#include "TestArchive.h"

#include "ArchiveReading.h"

#include <QJsonArray>
#include <algorithm>
#include <climits>
#include <map>

namespace vz {

namespace archive_reading {

void tellTorn(const ArchiveLineReader& reader, const ArchiveFile& file, int lastLine,
              const ArchiveProblemSink& problems) {
    if (!reader.error().isEmpty())
        problems(
            {file.name, lastLine + 1, QStringLiteral("cannot be read on from here: %1").arg(reader.error())});
    else if (reader.tornBytes() > 0)
        problems({file.name, lastLine + 1,
                  QStringLiteral("its end is torn: %1 bytes after the last whole line (a crash while it was "
                                 "written); the station sets them aside at its next line")
                      .arg(reader.tornBytes())});
}

int firstTestOf(const QString& dir, const ArchiveFile& file) {
    ArchiveLineReader reader;
    if (!reader.open(stationPath(dir, file.name)))
        return 0;
    ArchiveLine line;
    while (reader.next(line) && line.number <= 64) {
        const LinePeek peek = peekLine(line.bytes);
        if (peek.kind == QByteArrayView("started"))
            return peek.number;
    }
    return 0;
}

} // namespace archive_reading

bool RecordedTest::training() const {
    return series == ArchiveSeries::Training || started.value(QStringLiteral("training")).toBool();
}

QDateTime RecordedTest::startedAt() const {
    return QDateTime::fromString(started.value(QStringLiteral("time")).toString(), Qt::ISODate);
}

QString describeArchiveProblem(const ArchiveProblem& problem) {
    if (problem.line > 0)
        return QStringLiteral("%1 line %2: %3").arg(problem.fileName).arg(problem.line).arg(problem.text);
    return QStringLiteral("%1: %2").arg(problem.fileName, problem.text);
}

using archive_reading::find;
using archive_reading::firstTestOf;
using archive_reading::tellTorn;

namespace {

const QList<QByteArrayView> kListDropped = {"samples", "deciding", "lastAverage"};

// What an unfinished test's journal holds, from its started line on: the phases it saw end and
// the last valid failing average it wrote down.
void readJournalOf(ArchiveLineReader& reader, int64_t offset, RecordedTest& test) {
    static const QByteArray endedMark = "\"ended\":[{";
    static const QByteArray failingMark = "\"failing\":[{";
    reader.seek(offset, test.startedLine - 1);
    ArchiveLine line;
    while (reader.next(line)) {
        const LinePeek peek = peekLine(line.bytes);
        if (peek.number != test.number || peek.kind != QByteArrayView("samples"))
            continue;
        const bool ended = find(line.bytes, endedMark) >= 0;
        const bool failing = find(line.bytes, failingMark) >= 0;
        if (!ended && !failing)
            continue;
        const QJsonObject journal = parseArchiveLine(line.bytes, {"samples", "deciding", "lastAverage"});
        for (const QJsonValue& phase : journal.value(QStringLiteral("ended")).toArray())
            test.endedPhases.append(phase);
        const QJsonArray averages = journal.value(QStringLiteral("failing")).toArray();
        if (!averages.isEmpty())
            test.journalFailing = averages.last();
    }
}

// Reads the tests of one file in the order of their started lines, each handed over once its
// result line is read (or at the end of the file).
void readFileTests(const QString& dir, const ArchiveFile& file, const TestSink& tests,
                   const ArchiveProblemSink& problems) {
    ArchiveLineReader reader;
    if (!reader.open(stationPath(dir, file.name))) {
        problems({file.name, 0, reader.error()});
        return;
    }
    // The tests begun in this file, by their started lines, until their turn comes.
    struct Pending {
        RecordedTest test;
        int64_t offset = 0;
    };
    std::map<int, Pending> pending;   // by started line
    std::map<int, int> startedLineOf; // test number -> started line
    auto flush = [&](bool all) {
        while (!pending.empty() && (all || pending.begin()->second.test.finished())) {
            Pending& first = pending.begin()->second;
            if (!first.test.finished()) {
                ArchiveLineReader again;
                if (again.open(stationPath(dir, file.name)))
                    readJournalOf(again, first.offset, first.test);
            }
            tests(first.test);
            startedLineOf.erase(first.test.number);
            pending.erase(pending.begin());
        }
    };
    ArchiveLine line;
    int last = 0;
    while (reader.next(line)) {
        last = line.number;
        const LinePeek peek = peekLine(line.bytes);
        if (peek.kind == QByteArrayView("samples") || peek.anchor())
            continue;
        if (line.overlong) {
            problems({file.name, line.number,
                      QStringLiteral("longer than any line the station writes; not read")});
            continue;
        }
        if (peek.kind == QByteArrayView("started")) {
            RecordedTest test;
            test.series = file.series;
            test.fileName = file.name;
            test.started = parseArchiveLine(line.bytes);
            test.number = test.started.value(QStringLiteral("number")).toInt();
            test.startedLine = line.number;
            if (test.number <= 0) {
                problems({file.name, line.number, QStringLiteral("a started line without a test number")});
                continue;
            }
            if (startedLineOf.count(test.number)) {
                problems({file.name, line.number,
                          QStringLiteral("test %1 is begun a second time here")
                              .arg(testNumberText(file.series, test.number))});
                continue;
            }
            startedLineOf[test.number] = line.number;
            pending[line.number] = {std::move(test), line.offset};
        } else if (peek.kind == QByteArrayView("result")) {
            const auto known = startedLineOf.find(peek.number);
            if (known == startedLineOf.end()) {
                problems({file.name, line.number,
                          QStringLiteral(
                              "a result line of test %1, whose started line is not before it in this file")
                              .arg(testNumberText(file.series, peek.number))});
                continue;
            }
            RecordedTest& test = pending[known->second].test;
            if (test.finished()) {
                problems({file.name, line.number,
                          QStringLiteral("a second result line of test %1; the first one counts")
                              .arg(testNumberText(file.series, peek.number))});
                continue;
            }
            test.result = parseArchiveLine(line.bytes, {kListDropped[0], kListDropped[1], kListDropped[2]});
            test.resultLine = line.number;
            flush(false);
        } else {
            problems({file.name, line.number,
                      QStringLiteral("not a line of the archive (no kind the station writes)")});
        }
    }
    tellTorn(reader, file, last, problems);
    flush(true);
}

} // namespace

void readTests(const QString& dir, ArchiveSeries series, std::optional<QDate> from, std::optional<QDate> to,
               const TestSink& tests, const ArchiveProblemSink& problems) {
    const QDate fromMonth = from ? QDate(from->year(), from->month(), 1) : QDate();
    struct Ordered {
        ArchiveFile file;
        int first = 0; // its first test's number; a file without one keeps the place of the one before
    };
    QList<Ordered> files;
    for (const ArchiveFile& file : archiveFiles(dir, series)) {
        if ((fromMonth.isValid() && file.month < fromMonth) || (to && file.month > *to))
            continue;
        const int first = firstTestOf(dir, file);
        files.append({file, first > 0 ? first : files.isEmpty() ? 0 : files.last().first});
    }
    // Numbers, not months, give the order (a clock that was behind puts a later test in an
    // earlier month).
    std::stable_sort(files.begin(), files.end(),
                     [](const Ordered& a, const Ordered& b) { return a.first < b.first; });
    std::multimap<int, RecordedTest> heldBack;
    auto handOver = [&](const RecordedTest& test) {
        while (!heldBack.empty() && heldBack.begin()->first < test.number) {
            tests(heldBack.begin()->second);
            heldBack.erase(heldBack.begin());
        }
        tests(test);
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        const int nextFirst = i + 1 < files.size() && files[i + 1].first > 0 ? files[i + 1].first : INT_MAX;
        readFileTests(
            dir, files[i].file,
            [&](const RecordedTest& test) {
                if (test.number > nextFirst)
                    heldBack.emplace(test.number, test);
                else
                    handOver(test);
            },
            problems);
    }
    for (const auto& [number, test] : heldBack)
        tests(test);
}

} // namespace vz
