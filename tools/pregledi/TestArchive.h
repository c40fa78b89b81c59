#pragma once
// The archive of two-speed tests read back (ProtocolArchive.h writes it): its files told by
// their names, their lines read forward in large blocks, and the tests they record handed
// over one at a time. Only the lines a command needs are parsed, and of those only the parts
// it needs: most of the archive's bytes are samples (a result line holds every sample of its
// test again), which a list never looks at. Memory stays the same whatever the age of the
// archive: one block, and the tests of one file that are still waiting for their result line.
#include "ProtocolArchive.h"
#include "StationFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>

namespace vz {

// "official", "training": as the lines' "series" says it.
QString archiveSeriesKey(ArchiveSeries series);

// A test's number as pregledi prints it: a training test's carries its series, "О-12" (a
// Cyrillic О), an official one is the number alone. JSON and CSV keep the number itself.
QString testNumberText(ArchiveSeries series, int number);
// "test 5", "tests 5-7"; in the training series "test О-5", "tests О-5 to О-7".
QString testRangeText(ArchiveSeries series, int from, int to);

// A file of the archive: the lines (Protokoli-2026-12.jsonl) and their chain (.chain), or the
// series' register of numbers (Protokoli-nomera.jsonl, ArchiveAnchors.h).
struct ArchiveFile {
    ArchiveSeries series = ArchiveSeries::Official;
    QDate month;       // its first day; invalid for the register
    QString name;      // Protokoli-2026-12.jsonl
    QString chainName; // Protokoli-2026-12.chain
    bool isRegister = false;
};
// The register of `series`: Protokoli-nomera.jsonl, Obuchenie-nomera.jsonl.
ArchiveFile archiveRegisterFile(ArchiveSeries series);

// What a name of the station directory is to the archive.
enum class ArchiveName {
    None,          // not an archive name (does not begin with Protokoli or Obuchenie)
    Lines,         // Protokoli-YYYY-MM.jsonl, Obuchenie-YYYY-MM.jsonl
    Chain,         // Protokoli-YYYY-MM.chain, Obuchenie-YYYY-MM.chain
    Torn,          // Protokoli-YYYY-MM.jsonl.torn-YYYYMMDD-HHMMSS (or the register's): a torn last
                   // line the station set aside
    Register,      // Protokoli-nomera.jsonl, Obuchenie-nomera.jsonl
    RegisterChain, // Protokoli-nomera.chain, Obuchenie-nomera.chain
    Stray,         // any other name beginning with Protokoli or Obuchenie
};
struct ArchiveNameKind {
    ArchiveName kind = ArchiveName::None;
    ArchiveFile file; // all but None and Stray: the file it belongs to
};
ArchiveNameKind archiveNameKind(const QString& name);

// The line files of one series in `dir`, oldest month first, told by their names only.
QList<ArchiveFile> archiveFiles(const QString& dir, ArchiveSeries series);

// The station never writes a line near this long; a longer one is read only in part.
constexpr qsizetype kMaxArchiveLineRead = 16 * 1024 * 1024;
// Nor a file near this large.
constexpr int64_t kMaxArchiveFileRead = int64_t(2) * 1024 * 1024 * 1024;

struct ArchiveLine {
    int number = 0; // its number in the file, from 1: the number of its chain entry
    int64_t offset = 0;
    QByteArrayView bytes;  // with its LF; valid until the next call of next()
    bool overlong = false; // longer than kMaxArchiveLineRead: `bytes` holds its beginning
};

// The whole lines of an archive file, forward, in blocks of a megabyte. A last line without
// its LF (a crash while it was written) is no line: tornBytes() tells its size at the end.
class ArchiveLineReader {
public:
    // Opens `path` as StationFile does (a regular file only, never through a link).
    bool open(const QString& path);
    // Starts again at `offset`, the beginning of line `number`.
    void seek(int64_t offset, int number);
    bool next(ArchiveLine& line); // false at the end, or on an error (error())
    int64_t tornBytes() const { return torn_; }
    int64_t tornOffset() const { return tornOffset_; }
    const QString& error() const { return error_; }
    int64_t size() const { return size_; }

private:
    bool fill();
    StationFile file_;
    QString path_;
    QByteArray buffer_;
    QByteArray overlong_; // the beginning of an overlong line
    qsizetype position_ = 0;
    int64_t bufferOffset_ = 0; // of buffer_[0]
    int64_t size_ = 0;
    int number_ = 0;
    bool end_ = false;
    int64_t torn_ = 0;
    int64_t tornOffset_ = 0;
    QString error_;
};

// A line's kind and test number, found without parsing it (the station writes compact JSON,
// keys in order, and no nested object of its lines has a "kind" or a "number").
struct LinePeek {
    QByteArrayView kind; // "started", "samples", "result", "link", "clock", "numbered"; empty
                         // when there is none
    int number = 0;      // a link line has none

    // The lines that tie the months together (ArchiveAnchors.h): no test's own line.
    bool anchor() const { return kind == QByteArrayView("link") || kind == QByteArrayView("clock"); }
};
LinePeek peekLine(QByteArrayView line);

// The line's object with the values of the `dropped` keys left out wherever they stand, so
// that the samples of a result line are skipped instead of parsed. An empty object when the
// line is not a JSON object.
QJsonObject parseArchiveLine(QByteArrayView line, std::initializer_list<QByteArrayView> dropped = {});

// One recorded test as the commands see it.
struct RecordedTest {
    ArchiveSeries series = ArchiveSeries::Official;
    QString fileName;
    int number = 0;
    int startedLine = 0;
    int resultLine = 0;   // 0: there is no result line (in progress, or interrupted)
    int journalLines = 0; // its "samples" lines (show-test only)
    QJsonObject started;  // its started line
    QJsonObject result;   // its result line; empty when unfinished
    // An unfinished test: the phases its journal saw end ("ended" of its samples lines), and
    // the last valid failing average it journalled ("failing" of its samples lines; null when
    // none).
    QJsonArray endedPhases;
    QJsonValue journalFailing = QJsonValue(QJsonValue::Null);

    bool finished() const { return resultLine > 0; }
    bool training() const;
    QDateTime startedAt() const;
};

// Something wrong with the archive, told by file and line (line 0: the file as a whole).
struct ArchiveProblem {
    QString fileName;
    int line = 0;
    QString text;
};
QString describeArchiveProblem(const ArchiveProblem& problem);

using TestSink = std::function<void(const RecordedTest&)>;
using ArchiveProblemSink = std::function<void(const ArchiveProblem&)>;

// Every test of `series` begun in the months from..to (each optional), in the order of their
// numbers, one file at a time: the files in the order of their first test, and a test whose
// number comes after the next file's first (a clock that was ahead put it in a later month)
// held back until its turn. Result lines are parsed without their phases' samples and averages
// ("samples", "deciding", "lastAverage"): what a list shows is in the phases' own "rpm", "co",
// ... and "verdict". Link and clock lines are passed over.
void readTests(const QString& dir, ArchiveSeries series, std::optional<QDate> from, std::optional<QDate> to,
               const TestSink& tests, const ArchiveProblemSink& problems);

// Test `number` of `series`, whole, wherever it is: first in the file the series' register
// gives it, then in the last file whose first test is not after it (numbers only grow), then in
// every other file. Normally one file is read. When no file holds it, `whereBroken` says where
// the series is broken when the number is below its highest (tests missing around it, or the
// series ending below its register).
struct TestLookup {
    std::optional<RecordedTest> test; // with every field of its lines
    QList<QJsonObject> journal;       // its samples lines, in order
    QJsonObject clock;                // the clock line before its started line, if any
    QByteArray resultBytes;           // its result line as written, with its LF
    QList<ArchiveProblem> problems;
    QString whereBroken;
};
TestLookup findTest(const QString& dir, ArchiveSeries series, int number);

// The chain entry of a line: what `verify` checks for every line, for one line.
struct LineSeal {
    enum class State {
        NoChain,   // the file has no chain, or it cannot be read (`trouble` says why)
        NoEntry,   // the chain has no entry for the line
        Matches,   // the entry matches the line after the entry before it
        Differs,   // it does not: the line or the chain was changed
        Unchecked, // keyed, and no key to check it with
    } state = State::NoChain;
    QByteArray hash; // the entry's value, when there is an entry
    bool keyed = false;
    QString trouble;
};
LineSeal sealOfLine(const QString& dir, const ArchiveFile& file, int line, const QByteArray& bytes);

// The file of `name` (a line file's name) in its series.
std::optional<ArchiveFile> archiveFileNamed(const QString& name);

} // namespace vz
