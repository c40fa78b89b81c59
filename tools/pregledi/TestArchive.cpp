#include "TestArchive.h"

#include "ChainFile.h"
#include "ExamChain.h"

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <unistd.h>

namespace vz {
namespace {

constexpr qsizetype kBlock = 1024 * 1024;

// `needle` in `hay` from `from` on: glibc's memmem, many times faster than a byte-wise search
// over the long lines of the archive.
qsizetype find(QByteArrayView hay, QByteArrayView needle, qsizetype from = 0) {
    if (from >= hay.size())
        return -1;
    const void* at =
        ::memmem(hay.data() + from, size_t(hay.size() - from), needle.data(), size_t(needle.size()));
    return at ? static_cast<const char*>(at) - hay.data() : -1;
}

const char* prefixOf(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? "Protokoli" : "Obuchenie";
}

// The end of the JSON value that begins at `from` (the index just after it), or -1 when the
// line ends first. Strings are skipped whole, so brackets inside them do not count. Most of
// what is skipped is samples, so the loop looks at each byte once, through a table.
qsizetype valueEnd(QByteArrayView s, qsizetype from) {
    static const std::array<bool, 256> special = [] {
        std::array<bool, 256> table{};
        for (unsigned char c : {'"', '[', ']', '{', '}'})
            table[c] = true;
        return table;
    }();
    const char* const begin = s.data();
    const char* const end = begin + s.size();
    const char* p = begin + from;
    if (p >= end)
        return -1;
    // From an opening quote to its closing one, or nullptr.
    auto skipString = [&](const char* q) -> const char* {
        for (++q; q < end; ++q) {
            if (*q == '\\')
                ++q;
            else if (*q == '"')
                return q;
        }
        return nullptr;
    };
    if (*p == '"') {
        const char* close = skipString(p);
        return close ? close + 1 - begin : -1;
    }
    if (*p == '[' || *p == '{') {
        int depth = 0;
        for (; p < end; ++p) {
            if (!special[static_cast<unsigned char>(*p)])
                continue;
            const char c = *p;
            if (c == '"') {
                p = skipString(p);
                if (!p)
                    return -1;
            } else if (c == '[' || c == '{') {
                ++depth;
            } else if (--depth == 0) {
                return p + 1 - begin;
            }
        }
        return -1;
    }
    while (p < end && *p != ',' && *p != '}' && *p != ']' && *p != '\n')
        ++p;
    return p - begin;
}

QDate monthOf(const QString& year, const QString& month) {
    return QDate(year.toInt(), month.toInt(), 1);
}

} // namespace

QString archiveSeriesKey(ArchiveSeries series) {
    return series == ArchiveSeries::Official ? QStringLiteral("official") : QStringLiteral("training");
}

QString testNumberText(ArchiveSeries series, int number) {
    return series == ArchiveSeries::Training ? QStringLiteral("О-%1").arg(number) : QString::number(number);
}

QString testRangeText(ArchiveSeries series, int from, int to) {
    if (to <= from)
        return QStringLiteral("test ") + testNumberText(series, from);
    return series == ArchiveSeries::Training ? QStringLiteral("tests О-%1 to О-%2").arg(from).arg(to)
                                             : QStringLiteral("tests %1-%2").arg(from).arg(to);
}

ArchiveFile archiveRegisterFile(ArchiveSeries series) {
    const QString stem = QLatin1StringView(prefixOf(series)) + QStringLiteral("-nomera");
    return {series, QDate(), stem + QStringLiteral(".jsonl"), stem + QStringLiteral(".chain"), true};
}

ArchiveNameKind archiveNameKind(const QString& name) {
    ArchiveNameKind result;
    const bool official = name.startsWith(QLatin1StringView("Protokoli"));
    if (!official && !name.startsWith(QLatin1StringView("Obuchenie")))
        return result;
    result.kind = ArchiveName::Stray;
    const ArchiveSeries series = official ? ArchiveSeries::Official : ArchiveSeries::Training;
    static const QRegularExpression pattern(QStringLiteral(
        "^(?:Protokoli|Obuchenie)-(?:([0-9]{4})-([0-9]{2})|(nomera))\\.(jsonl|chain)(\\.torn-[0-9]{8}-"
        "[0-9]{6}(?:-[0-9]+)?)?$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return result;
    const bool lines = match.captured(4) == QLatin1StringView("jsonl");
    const bool torn = !match.captured(5).isEmpty();
    if (torn && !lines)
        return result;
    if (!match.captured(3).isEmpty()) {
        result.file = archiveRegisterFile(series);
        result.kind = torn ? ArchiveName::Torn : lines ? ArchiveName::Register : ArchiveName::RegisterChain;
        return result;
    }
    const QDate month = monthOf(match.captured(1), match.captured(2));
    if (!month.isValid())
        return result;
    const QString stem = name.left(17); // Protokoli-2026-12, Obuchenie-2026-12
    result.file = {series, month, stem + QStringLiteral(".jsonl"), stem + QStringLiteral(".chain")};
    result.kind = torn ? ArchiveName::Torn : lines ? ArchiveName::Lines : ArchiveName::Chain;
    return result;
}

std::optional<ArchiveFile> archiveFileNamed(const QString& name) {
    const ArchiveNameKind kind = archiveNameKind(name);
    if (kind.kind != ArchiveName::Lines)
        return std::nullopt;
    return kind.file;
}

QList<ArchiveFile> archiveFiles(const QString& dir, ArchiveSeries series) {
    QList<ArchiveFile> files;
    const QString prefix = QLatin1StringView(prefixOf(series)) + QStringLiteral("-*.jsonl");
    for (const QString& name : QDir(dir).entryList({prefix}, QDir::AllEntries | QDir::System | QDir::Hidden |
                                                                 QDir::NoDotAndDotDot)) {
        if (const std::optional<ArchiveFile> file = archiveFileNamed(name); file && file->series == series)
            files.append(*file);
    }
    std::sort(files.begin(), files.end(),
              [](const ArchiveFile& a, const ArchiveFile& b) { return a.month < b.month; });
    return files;
}

// ---------------------------------------------------------------------------------------
// Lines

bool ArchiveLineReader::open(const QString& path) {
    path_ = path;
    if (!file_.open(path, StationFile::Access::Read, kMaxArchiveFileRead)) {
        error_ = file_.error();
        return false;
    }
    size_ = file_.size();
    seek(0, 0);
    return true;
}

void ArchiveLineReader::seek(int64_t offset, int number) {
    buffer_.clear();
    position_ = 0;
    bufferOffset_ = offset;
    number_ = number;
    end_ = false;
    torn_ = 0;
}

bool ArchiveLineReader::fill() {
    if (end_)
        return false;
    // What is left of the buffer goes to its front, and the next block is read in after it:
    // the buffer is made once and every byte copied once.
    const qsizetype left = buffer_.size() - position_;
    if (position_ > 0) {
        std::memmove(buffer_.data(), buffer_.constData() + position_, size_t(left));
        bufferOffset_ += position_;
        position_ = 0;
    }
    buffer_.resize(left + kBlock);
    const int64_t at = bufferOffset_ + left;
    ssize_t got;
    do {
        got = ::pread(file_.fd(), buffer_.data() + left, size_t(kBlock), at);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        error_ = systemErrorText(path_, errno);
        buffer_.resize(left);
        end_ = true;
        return false;
    }
    buffer_.resize(left + got);
    if (got == 0) {
        end_ = true;
        return false;
    }
    return true;
}

bool ArchiveLineReader::next(ArchiveLine& line) {
    for (;;) {
        const qsizetype lf = buffer_.indexOf('\n', position_);
        if (lf >= 0) {
            line.number = ++number_;
            line.offset = bufferOffset_ + position_;
            line.bytes = QByteArrayView(buffer_).sliced(position_, lf + 1 - position_);
            line.overlong = false;
            position_ = lf + 1;
            return true;
        }
        if (buffer_.size() - position_ >= kMaxArchiveLineRead) {
            // Longer than any line of the station: its beginning, then on to its end.
            overlong_ = buffer_.mid(position_, kMaxArchiveLineRead);
            const int64_t offset = bufferOffset_ + position_;
            qsizetype end = -1;
            while (end < 0) {
                position_ = buffer_.size(); // what was read of it is dropped at the next fill
                if (!fill())
                    break;
                end = buffer_.indexOf('\n', position_);
            }
            if (end < 0) {
                if (error_.isEmpty()) {
                    torn_ = bufferOffset_ + buffer_.size() - offset;
                    tornOffset_ = offset;
                }
                position_ = buffer_.size();
                return false;
            }
            position_ = end + 1;
            line.number = ++number_;
            line.offset = offset;
            line.bytes = QByteArrayView(overlong_);
            line.overlong = true;
            return true;
        }
        if (!fill()) {
            const qsizetype left = buffer_.size() - position_;
            if (left > 0 && error_.isEmpty()) {
                torn_ = left;
                tornOffset_ = bufferOffset_ + position_;
            }
            position_ = buffer_.size();
            return false;
        }
    }
}

LinePeek peekLine(QByteArrayView line) {
    LinePeek peek;
    static const QByteArray kind = "\"kind\":\"";
    static const QByteArray number = "\"number\":";
    const qsizetype k = find(line, kind);
    qsizetype from = 0;
    if (k >= 0) {
        from = k + kind.size();
        const qsizetype close = line.indexOf('"', from);
        if (close > from && close - from <= 16)
            peek.kind = line.sliced(from, close - from);
    }
    // "number" follows "kind" in a line's keys; a line without a kind is looked at whole.
    qsizetype n = find(line, number, from);
    if (n < 0 && from > 0)
        n = find(line, number);
    if (n >= 0) {
        qint64 value = 0;
        qsizetype i = n + number.size();
        const qsizetype start = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - start < 10)
            value = value * 10 + (line[i++] - '0');
        if (i > start && value <= INT_MAX)
            peek.number = static_cast<int>(value);
    }
    return peek;
}

QJsonObject parseArchiveLine(QByteArrayView line, std::initializer_list<QByteArrayView> dropped) {
    if (dropped.size() == 0)
        return QJsonDocument::fromJson(line.toByteArray()).object();
    // The nearest of the keys from `from` on. Each key is looked for only up to the nearest one
    // found so far, so that no search runs across values about to be skipped.
    QList<QByteArray> keys;
    for (QByteArrayView key : dropped)
        keys.append('"' + key.toByteArray() + "\":");
    QByteArray kept;
    kept.reserve(std::min<qsizetype>(line.size(), 64 * 1024));
    qsizetype from = 0;
    for (;;) {
        qsizetype at = -1;
        qsizetype length = 0;
        for (const QByteArray& key : keys) {
            const QByteArrayView hay = at < 0 ? line : line.first(at + key.size());
            const qsizetype found = find(hay, key, from);
            if (found >= 0 && (at < 0 || found < at)) {
                at = found;
                length = key.size();
            }
        }
        if (at < 0)
            break;
        // A key, not text: inside a string every quote is escaped, so `"key":` is a key.
        const qsizetype end = valueEnd(line, at + length);
        if (end < 0)
            break;
        qsizetype cut = at;
        qsizetype resume = end;
        if (at > from && line[at - 1] == ',')
            cut = at - 1; // drop the comma before it
        else if (resume < line.size() && line[resume] == ',')
            ++resume; // the first member: drop the comma after it
        kept.append(line.sliced(from, cut - from));
        from = resume;
    }
    kept.append(line.sliced(from));
    return QJsonDocument::fromJson(kept).object();
}

// ---------------------------------------------------------------------------------------
// Tests

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

namespace {

const QList<QByteArrayView> kListDropped = {"samples", "deciding", "lastAverage"};

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

// The number of the first test begun in a file (0: none in its first lines).
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

LineSeal sealOfLine(const QString& dir, const ArchiveFile& file, int lineNumber, const QByteArray& bytes) {
    LineSeal seal;
    const QString path = stationPath(dir, file.chainName);
    if (fileKindAt(path) == FileKind::Missing) {
        seal.trouble = QStringLiteral("%1 is missing").arg(file.chainName);
        return seal;
    }
    StationFile chain;
    if (!chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        seal.trouble = chain.error();
        return seal;
    }
    ChainLineReader reader(chain);
    ChainLine line;
    QByteArray previous;
    while (reader.next(line)) {
        if (!line.entry)
            continue;
        const ChainEntry& entry = *line.entry;
        if (entry.examNumber == lineNumber && entry.sealsRecord()) {
            seal.hash = entry.hash;
            seal.keyed = entry.keyed;
            const StationKey key = readStationKey(dir);
            if (entry.keyed && (!key.present || !key.error.isEmpty())) {
                seal.state = LineSeal::State::Unchecked;
                return seal;
            }
            seal.state = chainHash(previous, bytes, entry.keyed ? &key.key : nullptr) == entry.hash
                             ? LineSeal::State::Matches
                             : LineSeal::State::Differs;
            return seal;
        }
        previous = entry.hash;
    }
    if (!reader.error().isEmpty()) {
        seal.trouble = reader.error();
        return seal;
    }
    seal.state = LineSeal::State::NoEntry;
    return seal;
}

} // namespace vz
