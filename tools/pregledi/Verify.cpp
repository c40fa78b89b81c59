#include "Verify.h"

#include "ArchiveVerify.h"
#include "ChainFile.h"
#include "ExamChain.h"
#include "ExamLogReader.h"
#include "LogExport.h"
#include "LogFiles.h"
#include "StationFile.h"
#include "TrailNames.h"
#include "TrailRecovery.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <deque>
#include <dirent.h>
#include <map>
#include <set>
#include <vector>

namespace vz {
namespace {

// How far from its own place an entry's record is looked for: records removed or inserted
// before it move it by as many places.
constexpr int kSearchWindow = 8;
// Keyed entries tried before the key is judged not to be the chain's.
constexpr int kKeyProbeEntries = 8;
// A log file is read no further than this; what a station writes is at most 32000 bytes.
constexpr int64_t kLargestLogFileOpened = 64 * 1024 * 1024;

const QString kChainName = QString::fromLatin1(kChainFileName);
const QString kKeyName = QString::fromLatin1(kStationKeyFileName);

QString examinations(int first, int last) {
    if (last <= first)
        return QStringLiteral("examination %1").arg(first);
    return QStringLiteral("examinations %1-%2").arg(first).arg(last);
}

// "Pregledi00000.GPG record 5", "Pregledi00000.GPG records 5-7", or across two files.
QString logPlaces(int first, int last) {
    const ExamPlace from = examPlace(first);
    if (last <= first)
        return QStringLiteral("%1 record %2").arg(examLogFileName(from.fileIndex)).arg(from.recordInFile);
    const ExamPlace to = examPlace(last);
    if (from.fileIndex == to.fileIndex)
        return QStringLiteral("%1 records %2-%3")
            .arg(examLogFileName(from.fileIndex))
            .arg(from.recordInFile)
            .arg(to.recordInFile);
    return QStringLiteral("%1 record %2 to %3 record %4")
        .arg(examLogFileName(from.fileIndex))
        .arg(from.recordInFile)
        .arg(examLogFileName(to.fileIndex))
        .arg(to.recordInFile);
}

QString plural(int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1StringView(count == 1 ? one : many));
}

// The error of a StationFile without the path in front: the finding names the file already.
QString withoutPath(const QString& error, const QString& path) {
    const QString prefix = path + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
}

bool allZero(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

// ---------------------------------------------------------------------------------------
// The log's places: which examination numbers have a whole record, read on demand.

class LogPlaces {
public:
    using Add = std::function<void(int key, VerifyFinding)>;
    LogPlaces(const QString& dir, Add add) : dir_(dir), add_(std::move(add)) {}

    void load();

    enum class State { None, Unusable, Record };
    State at(int number) const;
    // The record of a place in State::Record; false when it cannot be read (then a finding).
    bool read(int number, QByteArray& record);

    int lastNumber() const { return last_; }
    int fileCount() const { return static_cast<int>(files_.size()); }
    int64_t recordCount() const { return records_; }

private:
    struct File {
        int index = 0;
        int64_t size = 0;
        int records = 0; // whole records counted as places
        bool usable = false;
    };
    File* fileOf(int index);
    const File* fileOf(int index) const;
    bool readFile(File& file, QByteArray& bytes);

    QString dir_;
    Add add_;
    std::vector<File> files_; // by index
    int last_ = 0;
    int64_t records_ = 0;
    struct Cached {
        int index = -1;
        QByteArray bytes;
    };
    std::array<Cached, 3> cache_;
    size_t nextSlot_ = 0;
};

const LogPlaces::File* LogPlaces::fileOf(int index) const {
    const auto found = std::lower_bound(files_.begin(), files_.end(), index,
                                        [](const File& file, int wanted) { return file.index < wanted; });
    return found != files_.end() && found->index == index ? &*found : nullptr;
}

LogPlaces::File* LogPlaces::fileOf(int index) {
    return const_cast<File*>(std::as_const(*this).fileOf(index));
}

bool LogPlaces::readFile(File& file, QByteArray& bytes) {
    const QString name = examLogFileName(file.index);
    const QString path = QDir(dir_).filePath(name);
    StationFile station;
    if (!station.open(path, StationFile::Access::Read, kLargestLogFileOpened) ||
        !station.readAt(0, std::min(file.size, kFullLogFileSize), bytes)) {
        file.usable = false;
        add_(examNumberAt(file.index, 1), {FindingClass::Tampering, 0, 0, name, 0,
                                           QStringLiteral("cannot be read (%1); its records are not checked")
                                               .arg(withoutPath(station.error(), path))});
        return false;
    }
    return true;
}

void LogPlaces::load() {
    const LogFileNames names = listLogFiles(dir_);
    for (int index : names.indexes) {
        const QString name = examLogFileName(index);
        const QString path = QDir(dir_).filePath(name);
        File file;
        file.index = index;
        StationFile station;
        if (!station.open(path, StationFile::Access::Read, kLargestLogFileOpened)) {
            add_(examNumberAt(index, 1),
                 {FindingClass::Tampering, 0, 0, name, 0,
                  QStringLiteral("%1: the station writes no such log file; its records are not checked")
                      .arg(withoutPath(station.error(), path))});
            files_.push_back(file);
            continue;
        }
        file.usable = true;
        file.size = station.size();
        file.records = static_cast<int>(std::min<int64_t>(file.size / kLogRecordSize, kRecordsPerLogFile));
        if (file.size > kFullLogFileSize)
            add_(examNumberAt(index, 1),
                 {FindingClass::Tampering, 0, 0, name, 0,
                  QStringLiteral("%1 bytes: more than %2 records, which no station writes; what is beyond "
                                 "them is not read")
                      .arg(file.size)
                      .arg(kRecordsPerLogFile)});
        files_.push_back(file);
    }

    // The log's end: the last usable file with bytes in it. A crash can leave a torn record
    // there, or whole records of zeros that never reached the disk; the station sets them
    // aside at its next start. Anywhere else a piece of a record is not a crash's doing.
    File* end = nullptr;
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
        if (file->usable && file->size > 0) {
            end = &*file;
            break;
        }
    }
    for (File& file : files_) {
        if (!file.usable || &file == end || file.size % kLogRecordSize == 0 || file.size > kFullLogFileSize)
            continue;
        add_(examNumberAt(file.index, file.records + 1),
             {FindingClass::Tampering, 0, 0, examLogFileName(file.index), 0,
              QStringLiteral("%1 bytes is not a whole number of %2-byte records, and later log files exist: "
                             "a crash leaves a torn record only at the end of the log")
                  .arg(file.size)
                  .arg(kLogRecordSize)});
    }
    if (end && end->size <= kFullLogFileSize) {
        int64_t torn = end->size - int64_t(end->records) * kLogRecordSize;
        QByteArray bytes;
        if (readFile(*end, bytes)) {
            while (end->records > 0 &&
                   allZero(bytes.mid(qsizetype(end->records - 1) * kLogRecordSize, kLogRecordSize))) {
                --end->records;
                torn += kLogRecordSize;
            }
            if (torn > 0)
                add_(examNumberAt(end->index, end->records + 1),
                     {FindingClass::Break, 0, 0, examLogFileName(end->index), 0,
                      QStringLiteral("its end is torn: %1 after its last whole record (a crash while "
                                     "logging); the station sets them aside at its next start")
                          .arg(plural(torn, "byte", "bytes"))});
        }
    }
    for (const File& file : files_) {
        if (file.usable && file.records > 0) {
            records_ += file.records;
            last_ = examNumberAt(file.index, file.records);
        }
    }
}

LogPlaces::State LogPlaces::at(int number) const {
    if (number < 1 || number > kLastExamNumber)
        return State::None;
    const ExamPlace place = examPlace(number);
    const File* file = fileOf(place.fileIndex);
    if (!file)
        return State::None;
    if (!file->usable)
        return State::Unusable;
    return place.recordInFile <= file->records ? State::Record : State::None;
}

bool LogPlaces::read(int number, QByteArray& record) {
    const ExamPlace place = examPlace(number);
    Cached* cached = nullptr;
    for (Cached& slot : cache_) {
        if (slot.index == place.fileIndex)
            cached = &slot;
    }
    if (!cached) {
        File* file = fileOf(place.fileIndex);
        if (!file || !file->usable)
            return false;
        cached = &cache_[nextSlot_];
        nextSlot_ = (nextSlot_ + 1) % cache_.size();
        cached->index = -1;
        if (!readFile(*file, cached->bytes))
            return false;
        cached->index = place.fileIndex;
    }
    record = cached->bytes.mid(place.offset(), kLogRecordSize);
    return record.size() == kLogRecordSize;
}

// ---------------------------------------------------------------------------------------
// The pass over the chain.

enum class Outcome { Ok, Moved, Mismatch, Missing, Filler, Unchecked, Skipped };

// Entries in a row with the same outcome: one event, one finding.
struct EntryRun {
    enum class Kind { Mismatch, Missing, Filler, Moved, Removal } kind = Kind::Mismatch;
    int first = 0;
    int last = 0;
    int shift = 0;     // Moved: where the records stand from their own places; Removal: -removed
    bool link = false; // a mismatch right after examinations with no entry and no break
    int linkFrom = 0;  // those examinations
    int linkTo = 0;
    int length() const { return last - first + 1; }
};

// Places in a row with the same verdict.
struct PlaceRun {
    enum class Kind { Hole, Unsealed, NoChain, AfterBreak, NoEntry, LastUnsealed, Zero } kind = Kind::Hole;
    int first = 0;
    int last = 0;
    int breakNumber = 0;
};

// Examinations between two record entries (or before the first, or after the last).
struct Gap {
    enum class Context { BeforeChain, NoChain, Covered, Uncovered, Trailing, Unchecked } context;
    int from = 0;
    int to = 0; // inclusive
    int breakNumber = 0;
    bool explained = false; // told as part of an entry's finding
};

class TrailVerifier {
public:
    TrailVerifier(const QString& dir, const VerifyOptions& options, const FindingSink& sink)
        : dir_(dir), options_(options), sink_(sink),
          log_(dir, [this](int key, VerifyFinding finding) { add(key, std::move(finding)); }) {}

    VerifyResult run();

private:
    // Findings are held until no earlier one can come, then passed on in order.
    void add(int key, VerifyFinding finding);
    void flushBelow(int key);
    int watermark() const;

    void listDirectory();
    void setUpKey();
    bool openChain();
    void probeKey();
    void readChain();
    void chainLineNotEntry(int lineNumber, const ChainLine& line);
    void endNotEntries(bool atEnd);
    void processEntry(const ChainEntry& entry, int lineNumber);
    void processBreak(const ChainEntry& entry, int lineNumber, const QByteArray* key, bool checkable);
    void processSeal(const ChainEntry& entry, const QByteArray* key, bool checkable);
    Outcome check(const ChainEntry& entry, const QByteArray* key, int* shift);
    void keyedRun(const ChainEntry& entry);
    void endKeyedRun();
    void registerGaps(int from, int to);
    void feed(int number, Outcome outcome, int shift, const Gap* link);
    void closeOpenRun();
    void emitRun(const EntryRun& run);
    void finalizeUpTo(int limit);
    void placeVerdict(PlaceRun::Kind kind, int number, int breakNumber);
    void closePlaceRun();
    void layoutNote(int number, const QString& problem);
    void closeNoteRun();
    void finish();

    QString dir_;
    const VerifyOptions& options_;
    const FindingSink& sink_;
    VerifyResult result_;
    LogPlaces log_;

    std::multimap<int, VerifyFinding> pending_;
    int flushed_ = 0; // findings below this key have been passed on
    int minTamperingKey_ = INT_MAX;

    std::optional<QByteArray> key_; // what keyed entries are checked with
    bool keyFits_ = true;
    bool keyedSeen_ = false; // a keyed entry anywhere in the chain (from the probe)
    bool requireKeyed_ = false;

    StationFile chain_;
    bool chainUsable_ = false;
    int64_t chainSize_ = 0;

    // Chain state.
    QByteArray previous_;
    int lastEntryNumber_ = 0;
    int lastSeal_ = 0;
    int firstEntryNumber_ = 0;
    bool firstIsBreak_ = false;
    int breakSinceSeal_ = 0; // the first break after the last record entry (0: none)
    bool sawKeyed_ = false;
    struct LineRun {
        int firstLine = 0;
        int lastLine = 0;
        int64_t from = 0;
    } notEntries_;
    struct KeyRun {
        int first = 0;
        int last = 0;
        bool downgrade = false;
    } keyRun_;

    std::optional<EntryRun> open_;
    std::optional<EntryRun> held_;

    // Place state.
    int nextPlace_ = 1;
    std::deque<int> ownSeals_; // record entries' numbers not yet passed
    std::set<int> claimed_;    // places holding a moved record of an entry
    std::deque<Gap> gaps_;
    std::optional<PlaceRun> placeRun_;
    struct NoteRun {
        int first = 0;
        int last = 0;
        QString text;
    } noteRun_;
    bool headFound_ = false;
    std::optional<QByteArray> headOther_; // the entry at the head's number, with another hash
};

void TrailVerifier::add(int key, VerifyFinding finding) {
    result_.count(finding.kind);
    if (finding.kind == FindingClass::Tampering)
        minTamperingKey_ = std::min(minTamperingKey_, key);
    pending_.emplace(std::max(key, flushed_), std::move(finding));
}

void TrailVerifier::flushBelow(int key) {
    while (!pending_.empty() && pending_.begin()->first < key) {
        sink_(pending_.begin()->second);
        pending_.erase(pending_.begin());
    }
    flushed_ = std::max(flushed_, key);
}

int TrailVerifier::watermark() const {
    int mark = nextPlace_;
    if (open_)
        mark = std::min(mark, open_->first);
    if (held_)
        mark = std::min(mark, held_->first);
    if (placeRun_)
        mark = std::min(mark, placeRun_->first);
    if (noteRun_.first > 0)
        mark = std::min(mark, noteRun_.first);
    if (keyRun_.first > 0)
        mark = std::min(mark, keyRun_.first);
    if (notEntries_.firstLine > 0)
        mark = std::min(mark, lastEntryNumber_);
    return mark;
}

void TrailVerifier::listDirectory() {
    const QStringList names = QDir(dir_).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const TrailName kind = trailNameKind(name);
        const QString path = QDir(dir_).filePath(name);
        switch (kind) {
        case TrailName::ChainTorn:
        case TrailName::ChainAside:
        case TrailName::LogTorn: {
            const FileKind fileKind = fileKindAt(path);
            if (fileKind != FileKind::Regular) {
                add(0, {FindingClass::Tampering, 0, 0, name, 0,
                        QStringLiteral("%1: the station sets aside regular files only")
                            .arg(describeFileKind(fileKind))});
                break;
            }
            StationFile file;
            const QString size = file.open(path, StationFile::Access::Read)
                                     ? plural(file.size(), "byte", "bytes")
                                     : withoutPath(file.error(), path);
            QString what;
            if (kind == TrailName::ChainTorn)
                what = QStringLiteral("the torn end of %1 (%2), set aside by the station after a crash")
                           .arg(kChainName, size);
            else if (kind == TrailName::ChainAside)
                what =
                    QStringLiteral("a chain (%1) the station could not read and set aside; a new chain began "
                                   "after it with a break")
                        .arg(size);
            else
                what = QStringLiteral("the torn end of %1 (%2), set aside by the station after a crash")
                           .arg(name.left(17), size);
            add(0, {FindingClass::Break, 0, 0, name, 0, what});
            break;
        }
        case TrailName::Printing: {
            StationFile file;
            QByteArray text;
            if (file.open(path, StationFile::Access::Read, 64) && file.readAt(0, 64, text))
                add(0, {FindingClass::Note, 0, 0, name, 0,
                        QStringLiteral("examination %1 was logged but its printing had not finished (the "
                                       "station is printing, or it stopped while printing)")
                            .arg(QString::fromLatin1(text.trimmed()))});
            break;
        }
        case TrailName::Leftover:
            add(0, {FindingClass::Note, 0, 0, name, 0,
                    QStringLiteral("left over from a write that did not finish; not part of the trail")});
            break;
        case TrailName::Stray:
            add(0, {FindingClass::Note, 0, 0, name, 0,
                    QStringLiteral("not a name of the trail's files; not checked")});
            break;
        case TrailName::None:
        case TrailName::LogFile:
        case TrailName::Chain:
        case TrailName::Key:
        case TrailName::Lock:
            break;
        }
    }
}

void TrailVerifier::setUpKey() {
    const StationKey station = readStationKey(dir_);
    if (station.present && !station.error.isEmpty())
        add(0, {FindingClass::Tampering, 0, 0, kKeyName, 0,
                withoutPath(station.error, QDir(dir_).filePath(kKeyName)) +
                    QStringLiteral(": the station makes its key whole or not at all")});
    if (options_.offStationKey) {
        key_ = options_.offStationKey;
        requireKeyed_ = true;
        result_.checkedWith = options_.offStationKeyName;
    } else if (station.present && station.error.isEmpty()) {
        key_ = station.key;
        result_.checkedWith = kKeyName;
    } else if (options_.fallbackKey) {
        key_ = options_.fallbackKey;
        result_.checkedWith = options_.fallbackKeyName;
    }
}

bool TrailVerifier::openChain() {
    const QString path = QDir(dir_).filePath(kChainName);
    const FileKind kind = fileKindAt(path);
    if (kind == FileKind::Missing) {
        if (requireKeyed_)
            add(0, {FindingClass::Tampering, 0, 0, kChainName, 0,
                    QStringLiteral("missing: there is no chain to check with the key kept off the station")});
        return false;
    }
    result_.chainFound = true;
    if (!chain_.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        add(0, {FindingClass::Tampering, 0, 0, kChainName, 0,
                QStringLiteral("%1: the station writes no such chain; no examination can be checked")
                    .arg(withoutPath(chain_.error(), path))});
        return false;
    }
    chainSize_ = chain_.size();
    return true;
}

// Whether the key fits the chain, from its first keyed entries: a keyed break needs no record,
// so one of those decides; otherwise a record entry whose record is at its place. When none of
// the first few matches, the chain was keyed with another key (or the key was replaced), and
// that is one finding instead of one for every entry.
void TrailVerifier::probeKey() {
    ChainLineReader reader(chain_);
    ChainLine line;
    QByteArray previous;
    int tried = 0;
    while (reader.next(line)) {
        if (!line.entry)
            continue;
        const ChainEntry& entry = *line.entry;
        if (entry.keyed) {
            keyedSeen_ = true;
            if (!key_)
                break;
            QByteArray record;
            const bool isBreak = entry.kind == ChainEntryKind::Break;
            if (isBreak || (log_.at(entry.examNumber) == LogPlaces::State::Record &&
                            log_.read(entry.examNumber, record) && !isFillerRecord(record))) {
                if (expectedHash(previous, entry, record, &*key_) == entry.hash)
                    return;
                if (++tried >= kKeyProbeEntries)
                    break;
            }
        }
        previous = entry.hash;
    }
    if (keyedSeen_ && !key_) {
        add(0, {FindingClass::Tampering, 0, 0, kKeyName, 0,
                QStringLiteral("the chain has keyed entries, but there is no usable key to check them with: "
                               "they are not checked")});
    } else if (tried > 0) {
        keyFits_ = false;
        add(0, {FindingClass::Tampering, 0, 0, result_.checkedWith, 0,
                QStringLiteral(
                    "none of the chain's first keyed entries matches with this key: the chain was "
                    "keyed with another key, or the key was replaced; keyed entries are not checked")});
    }
}

void TrailVerifier::readChain() {
    ChainLineReader reader(chain_);
    ChainLine line;
    int lineNumber = 0;
    while (reader.next(line)) {
        ++lineNumber;
        if (!line.entry) {
            chainLineNotEntry(lineNumber, line);
            continue;
        }
        if (notEntries_.firstLine > 0)
            endNotEntries(false);
        processEntry(*line.entry, lineNumber);
    }
    if (!reader.error().isEmpty())
        add(lastEntryNumber_, {FindingClass::Tampering, 0, 0, kChainName, lineNumber + 1,
                               QStringLiteral("cannot be read on from here: %1").arg(reader.error())});
    if (notEntries_.firstLine > 0)
        endNotEntries(true);
}

void TrailVerifier::chainLineNotEntry(int lineNumber, const ChainLine& line) {
    if (notEntries_.firstLine == 0) {
        notEntries_.firstLine = lineNumber;
        notEntries_.from = line.offset;
    }
    notEntries_.lastLine = lineNumber;
}

void TrailVerifier::endNotEntries(bool atEnd) {
    LineRun run = notEntries_;
    notEntries_ = LineRun();
    if (atEnd) {
        // A write cut short by a crash leaves part of one line, or zeros, and no line end.
        QByteArray last;
        const bool lineEnd = chain_.readAt(chainSize_ - 1, 1, last) && last == "\n";
        if (!lineEnd && run.firstLine == run.lastLine) {
            add(lastEntryNumber_,
                {FindingClass::Break, 0, 0, kChainName, run.firstLine,
                 QStringLiteral(
                     "its end is torn: %1 after the last entry (a crash while it was written); the "
                     "station sets them aside at its next start")
                     .arg(plural(chainSize_ - run.from, "byte", "bytes"))});
            return;
        }
    }
    add(lastEntryNumber_,
        {FindingClass::Tampering, 0, 0, kChainName, run.firstLine,
         run.firstLine == run.lastLine
             ? QStringLiteral("not a chain entry: the chain was edited")
             : QStringLiteral(
                   "not a chain entry, nor are the lines after it up to line %1: the chain was edited")
                   .arg(run.lastLine)});
}

// Unkeyed entries where they may not be: after keyed ones (a chain rewritten without the key),
// or, checked with a key kept off the station, anywhere.
void TrailVerifier::keyedRun(const ChainEntry& entry) {
    const bool downgrade = !entry.keyed && sawKeyed_ && entry.kind != ChainEntryKind::Break;
    const bool offending = requireKeyed_ ? !entry.keyed : downgrade;
    sawKeyed_ = sawKeyed_ || entry.keyed;
    if (!offending) {
        // An unkeyed break between downgraded entries (the station writes one when its key is
        // gone) does not end the run.
        if (entry.keyed || requireKeyed_)
            endKeyedRun();
        return;
    }
    if (keyRun_.first == 0) {
        keyRun_.first = entry.examNumber;
        keyRun_.downgrade = downgrade;
    }
    keyRun_.last = entry.examNumber;
    keyRun_.downgrade = keyRun_.downgrade || downgrade;
}

void TrailVerifier::endKeyedRun() {
    if (keyRun_.first == 0)
        return;
    const KeyRun run = keyRun_;
    keyRun_ = KeyRun();
    QString text;
    if (requireKeyed_)
        text = QStringLiteral("chain entries not keyed with %1: an off-station key vouches only for keyed "
                              "entries%2")
                   .arg(options_.offStationKeyName,
                        run.downgrade ? QStringLiteral("; these follow keyed ones: the chain was rewritten "
                                                       "without the key")
                                      : QString());
    else
        text =
            QStringLiteral("unkeyed chain entries after keyed ones: the chain was rewritten without the key");
    add(run.first, {FindingClass::Tampering, run.first, run.last, kChainName, 0, text});
}

void TrailVerifier::processEntry(const ChainEntry& entry, int lineNumber) {
    ++result_.entries;
    if (entry.keyed)
        ++result_.keyedEntries;
    const int number = entry.examNumber;
    if (number < 1 || number > kLastExamNumber) {
        add(lastEntryNumber_,
            {FindingClass::Tampering, 0, 0, kChainName, lineNumber,
             QStringLiteral("entry for examination %1, which no log can hold").arg(number)});
        previous_ = entry.hash;
        return;
    }
    if (number < lastEntryNumber_ || (entry.sealsRecord() && number <= lastSeal_)) {
        add(number,
            {FindingClass::Tampering, number, number, kChainName, lineNumber,
             QStringLiteral("entry after the entry for examination %1: out of order, the chain was edited")
                 .arg(lastEntryNumber_)});
        previous_ = entry.hash;
        return;
    }
    keyedRun(entry);
    const QByteArray* key = nullptr;
    bool checkable = true;
    if (entry.keyed) {
        checkable = key_.has_value() && keyFits_;
        key = checkable ? &*key_ : nullptr;
    }
    if (firstEntryNumber_ == 0) {
        firstEntryNumber_ = number;
        firstIsBreak_ = entry.kind == ChainEntryKind::Break;
    }
    if (entry.kind == ChainEntryKind::Break)
        processBreak(entry, lineNumber, key, checkable);
    else
        processSeal(entry, key, checkable);

    if (options_.expectHead && number == options_.expectHead->examNumber) {
        if (entry.hash.toHex().startsWith(options_.expectHead->hexPrefix)) {
            headFound_ = true;
            result_.headHash = entry.hash;
        } else {
            headOther_ = entry.hash;
        }
    }
    previous_ = entry.hash;
    lastEntryNumber_ = number;
    flushBelow(watermark());
}

void TrailVerifier::processBreak(const ChainEntry& entry, int lineNumber, const QByteArray* key,
                                 bool checkable) {
    ++result_.breaks;
    const QString reason = QString::fromLatin1(entry.reason);
    if (checkable && breakHash(previous_, entry.examNumber, entry.reason, key) != entry.hash)
        add(entry.examNumber,
            {FindingClass::Tampering, entry.examNumber, entry.examNumber, kChainName, lineNumber,
             QStringLiteral("break entry that does not match: it was changed, or the chain does not link "
                            "here (its reason reads: %1)")
                 .arg(reason)});
    else
        add(entry.examNumber, {FindingClass::Break, entry.examNumber, entry.examNumber, kChainName,
                               lineNumber, QStringLiteral("break: %1").arg(reason)});
    if (breakSinceSeal_ == 0)
        breakSinceSeal_ = entry.examNumber;
}

void TrailVerifier::registerGaps(int from, int to) {
    if (from > to)
        return;
    // Before the chain's first entry (up to a first break's number: what was logged when the
    // chain began with it).
    const int beforeLimit = firstEntryNumber_ == 0 ? INT_MAX
                            : firstIsBreak_        ? firstEntryNumber_
                                                   : firstEntryNumber_ - 1;
    if (from <= beforeLimit) {
        Gap gap{firstEntryNumber_ == 0 ? Gap::Context::NoChain : Gap::Context::BeforeChain, from,
                std::min(to, beforeLimit), 0, false};
        gaps_.push_back(gap);
        if (gap.to == to)
            return;
        from = gap.to + 1;
    }
    Gap::Context context = breakSinceSeal_ > 0 ? Gap::Context::Covered : Gap::Context::Uncovered;
    if (to == INT_MAX && context == Gap::Context::Uncovered)
        context = Gap::Context::Trailing;
    gaps_.push_back({context, from, to, breakSinceSeal_, false});
}

void TrailVerifier::processSeal(const ChainEntry& entry, const QByteArray* key, bool checkable) {
    const int number = entry.examNumber;
    // Places past the log's last record need no verdict: only what lies within it is kept.
    registerGaps(lastSeal_ + 1, std::min(number - 1, log_.lastNumber()));
    if (number <= log_.lastNumber())
        ownSeals_.push_back(number);
    int shift = 0;
    const Outcome outcome = checkable ? check(entry, key, &shift) : Outcome::Unchecked;
    // A mismatch right after examinations with no entry and no break: entries removed from
    // the chain (or this record changed); the examinations between are part of it.
    const Gap* link = nullptr;
    if (outcome == Outcome::Mismatch && !gaps_.empty() && gaps_.back().context == Gap::Context::Uncovered &&
        gaps_.back().to == number - 1) {
        gaps_.back().explained = true;
        link = &gaps_.back();
    }
    feed(number, outcome, shift, link);
    if (outcome == Outcome::Ok) {
        ++result_.matched;
        if (entry.kind == ChainEntryKind::Recovered)
            add(number,
                {FindingClass::Break, number, number, QString(), 0,
                 QStringLiteral("sealed after a crash, at the station's next start (a recovered entry): "
                                "the station stopped between logging it and sealing it")});
    }
    if (entry.kind == ChainEntryKind::Recovered)
        ++result_.recovered;
    lastSeal_ = number;
    breakSinceSeal_ = 0;
    // Later entries have higher numbers and find their records no further back than this.
    finalizeUpTo(number - kSearchWindow);
}

Outcome TrailVerifier::check(const ChainEntry& entry, const QByteArray* key, int* shift) {
    const int number = entry.examNumber;
    const LogPlaces::State state = log_.at(number);
    if (state == LogPlaces::State::Unusable)
        return Outcome::Skipped;
    QByteArray record;
    const bool have = state == LogPlaces::State::Record && log_.read(number, record);
    if (state == LogPlaces::State::Record && !have)
        return Outcome::Skipped;
    if (have && expectedHash(previous_, entry, record, key) == entry.hash)
        return Outcome::Ok;
    // Its record elsewhere nearby: records removed or inserted before it. The shift of the
    // run it would continue is tried first.
    std::vector<int> shifts;
    if (open_ && (open_->kind == EntryRun::Kind::Moved || open_->kind == EntryRun::Kind::Removal))
        shifts.push_back(open_->shift);
    for (int distance = 1; distance <= kSearchWindow; ++distance) {
        shifts.push_back(-distance);
        shifts.push_back(distance);
    }
    for (int candidate : shifts) {
        const int place = number + candidate;
        QByteArray other;
        if (log_.at(place) == LogPlaces::State::Record && log_.read(place, other) &&
            expectedHash(previous_, entry, other, key) == entry.hash) {
            *shift = candidate;
            claimed_.insert(place);
            return Outcome::Moved;
        }
    }
    if (!have)
        return Outcome::Missing;
    return isFillerRecord(record) ? Outcome::Filler : Outcome::Mismatch;
}

void TrailVerifier::feed(int number, Outcome outcome, int shift, const Gap* link) {
    if (held_) {
        // A held run can still take part in an event only until the entries it could meet.
        const int expiry = held_->kind == EntryRun::Kind::Moved && held_->shift > 0
                               ? held_->first + held_->shift
                               : held_->last + 1;
        if (number > expiry) {
            emitRun(*held_);
            held_.reset();
        }
    }
    if (outcome == Outcome::Ok || outcome == Outcome::Unchecked || outcome == Outcome::Skipped) {
        closeOpenRun();
        return;
    }
    EntryRun::Kind kind = EntryRun::Kind::Mismatch;
    if (outcome == Outcome::Missing)
        kind = EntryRun::Kind::Missing;
    else if (outcome == Outcome::Filler)
        kind = EntryRun::Kind::Filler;
    else if (outcome == Outcome::Moved)
        kind = EntryRun::Kind::Moved;

    if (open_ && !open_->link && !link && number == open_->last + 1) {
        const bool sameShift =
            kind == EntryRun::Kind::Moved &&
            (open_->kind == EntryRun::Kind::Moved || open_->kind == EntryRun::Kind::Removal) &&
            open_->shift == shift;
        if (sameShift || (kind != EntryRun::Kind::Moved && open_->kind == kind)) {
            open_->last = number;
            return;
        }
    }
    closeOpenRun();
    EntryRun run;
    run.kind = kind;
    run.first = run.last = number;
    run.shift = shift;
    if (link) {
        run.link = true;
        run.linkFrom = link->from;
        run.linkTo = link->to;
    }
    if (held_ && kind == EntryRun::Kind::Moved) {
        // Records removed: the entries of the removed records match nothing, and the ones
        // after them find their records as many places earlier.
        const bool lost = held_->kind == EntryRun::Kind::Mismatch || held_->kind == EntryRun::Kind::Missing ||
                          held_->kind == EntryRun::Kind::Filler;
        if (lost && !held_->link && held_->last == number - 1 && held_->length() == -shift) {
            run.kind = EntryRun::Kind::Removal;
            run.first = held_->first;
            held_.reset();
        } else if (held_->kind == EntryRun::Kind::Moved && held_->length() == 1 && held_->shift > 0 &&
                   shift == -held_->shift && number + shift == held_->first) {
            // Two records that changed places.
            run.kind = EntryRun::Kind::Moved;
            run.first = held_->first;
            run.shift = 0;
            held_.reset();
            emitRun(run);
            return;
        }
    }
    open_ = run;
    if (run.link)
        closeOpenRun();
}

void TrailVerifier::closeOpenRun() {
    if (!open_)
        return;
    if (held_)
        emitRun(*held_);
    held_ = open_;
    open_.reset();
}

void TrailVerifier::emitRun(const EntryRun& run) {
    const bool many = run.length() > 1;
    QString text;
    switch (run.kind) {
    case EntryRun::Kind::Mismatch:
        if (run.link)
            text =
                QStringLiteral("does not match its chain entry, and %1 before it %2 no entry and no break: "
                               "entries were removed from the chain, or this record was changed")
                    .arg(examinations(run.linkFrom, run.linkTo),
                         run.linkTo > run.linkFrom ? QStringLiteral("have") : QStringLiteral("has"));
        else
            text = many
                       ? QStringLiteral("do not match their chain entries: the records or the chain were "
                                        "changed after they were logged")
                       : QStringLiteral("does not match its chain entry: the record or the chain was changed "
                                        "after it was logged");
        break;
    case EntryRun::Kind::Missing:
        text = many ? QStringLiteral("in the chain, but the log holds no record at their places: removed")
                    : QStringLiteral("in the chain, but the log holds no record at its place: removed");
        break;
    case EntryRun::Kind::Filler:
        text = many ? QStringLiteral("in the chain, but filler records stand in their places: their records "
                                     "were lost")
                    : QStringLiteral("in the chain, but a filler record stands in its place: its record was "
                                     "lost");
        break;
    case EntryRun::Kind::Moved:
        if (run.shift == 0) {
            text = QStringLiteral("the records of examinations %1 and %2 have changed places")
                       .arg(run.first)
                       .arg(run.last);
        } else {
            const int distance = std::abs(run.shift);
            text =
                QStringLiteral("%1 %2 %3 %4, at %5: %6")
                    .arg(many ? QStringLiteral("their records stand") : QStringLiteral("its record stands"),
                         plural(distance, "place", "places"),
                         run.shift > 0 ? QStringLiteral("later") : QStringLiteral("earlier"),
                         many ? QStringLiteral("than their numbers") : QStringLiteral("than its number"),
                         logPlaces(run.first + run.shift, run.last + run.shift),
                         run.shift > 0 ? QStringLiteral("records were inserted before them")
                                       : QStringLiteral("records were removed before them"));
        }
        break;
    case EntryRun::Kind::Removal: {
        const int removed = -run.shift;
        const int movedFrom = run.first + removed;
        text = QStringLiteral("%1 removed from the log: the records after %2 moved up %3 (%4)")
                   .arg(removed == 1
                            ? QStringLiteral("the record of examination %1").arg(run.first)
                            : QStringLiteral("the records of %1").arg(examinations(run.first, movedFrom - 1)),
                        removed == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                        plural(removed, "place", "places"), examinations(movedFrom, run.last));
        break;
    }
    }
    add(run.first, {FindingClass::Tampering, run.first, run.last, QString(), 0, text});
}

void TrailVerifier::placeVerdict(PlaceRun::Kind kind, int number, int breakNumber) {
    if (placeRun_ && placeRun_->kind == kind && placeRun_->breakNumber == breakNumber &&
        placeRun_->last == number - 1) {
        placeRun_->last = number;
        return;
    }
    closePlaceRun();
    placeRun_ = PlaceRun{kind, number, number, breakNumber};
}

void TrailVerifier::closePlaceRun() {
    if (!placeRun_)
        return;
    const PlaceRun run = *placeRun_;
    placeRun_.reset();
    const bool many = run.last > run.first;
    FindingClass kind = FindingClass::Break;
    QString text;
    switch (run.kind) {
    case PlaceRun::Kind::Hole:
        kind = FindingClass::Tampering;
        text = QStringLiteral("no record at %1, though the log goes on after %2: records removed, or a log "
                              "file missing or cut short")
                   .arg(many ? QStringLiteral("their places") : QStringLiteral("its place"),
                        many ? QStringLiteral("them") : QStringLiteral("it"));
        break;
    case PlaceRun::Kind::Unsealed:
        text = QStringLiteral("logged before the chain began: unsealed, a change in %1 cannot be seen")
                   .arg(many ? QStringLiteral("them") : QStringLiteral("it"));
        break;
    case PlaceRun::Kind::NoChain:
        text =
            QStringLiteral("unsealed: there is no chain (%1 is missing or holds no entry), a change cannot "
                           "be seen")
                .arg(kChainName);
        break;
    case PlaceRun::Kind::AfterBreak:
        text = QStringLiteral("no chain entry: logged while the chain could not be written (the break at "
                              "examination %1 says why); unsealed")
                   .arg(run.breakNumber);
        break;
    case PlaceRun::Kind::NoEntry:
        kind = FindingClass::Tampering;
        text = QStringLiteral("no chain entry, and no break accounts for %1: added outside the station, or "
                              "%2 removed from the chain")
                   .arg(many ? QStringLiteral("them") : QStringLiteral("it"),
                        many ? QStringLiteral("their entries") : QStringLiteral("its entry"));
        break;
    case PlaceRun::Kind::LastUnsealed:
        text =
            QStringLiteral("the last record has no chain entry: the station stopped between logging it and "
                           "sealing it; it seals it at its next start");
        break;
    case PlaceRun::Kind::Zero:
        text =
            QStringLiteral("zero bytes and no chain entry: a torn record the station padded after a crash");
        break;
    }
    add(run.first, {kind, run.first, run.last, QString(), 0, text});
}

// Records that do not follow the layout, told in runs of the same problem (a log from an
// older station can have one in every record).
void TrailVerifier::layoutNote(int number, const QString& problem) {
    if (noteRun_.first > 0 && noteRun_.last == number - 1 && noteRun_.text == problem) {
        noteRun_.last = number;
        return;
    }
    closeNoteRun();
    noteRun_ = {number, number, problem};
}

void TrailVerifier::closeNoteRun() {
    if (noteRun_.first == 0)
        return;
    const NoteRun run = std::exchange(noteRun_, NoteRun());
    add(run.first, {FindingClass::Note, run.first, run.last, QString(), 0,
                    QStringLiteral("not laid out as the station writes a record: %1").arg(run.text)});
}

void TrailVerifier::finalizeUpTo(int limit) {
    limit = std::min(limit, log_.lastNumber());
    while (nextPlace_ <= limit) {
        const int number = nextPlace_++;
        bool accounted = false;
        while (!ownSeals_.empty() && ownSeals_.front() <= number) {
            accounted = accounted || ownSeals_.front() == number;
            ownSeals_.pop_front();
        }
        while (!claimed_.empty() && *claimed_.begin() <= number) {
            accounted = accounted || *claimed_.begin() == number;
            claimed_.erase(claimed_.begin());
        }
        while (!gaps_.empty() && gaps_.front().to < number)
            gaps_.pop_front();
        const Gap* gap = !gaps_.empty() && gaps_.front().from <= number ? &gaps_.front() : nullptr;
        accounted = accounted || (gap && gap->explained);

        const LogPlaces::State state = log_.at(number);
        if (state == LogPlaces::State::Unusable) {
            closePlaceRun();
            continue;
        }
        if (state == LogPlaces::State::None) {
            // Below the log's last record: a hole.
            if (accounted)
                closePlaceRun();
            else
                placeVerdict(PlaceRun::Kind::Hole, number, 0);
            continue;
        }
        QByteArray record;
        if (!log_.read(number, record)) {
            closePlaceRun();
            continue;
        }
        const bool zero = allZero(record);
        if (!zero && !isFillerRecord(record)) {
            if (const std::optional<QString> problem = recordProblem(record))
                layoutNote(number, *problem);
        }
        if (accounted || !gap || gap->context == Gap::Context::Unchecked) {
            closePlaceRun();
            continue;
        }
        if (zero) {
            placeVerdict(PlaceRun::Kind::Zero, number, 0);
            continue;
        }
        switch (gap->context) {
        case Gap::Context::BeforeChain:
            placeVerdict(PlaceRun::Kind::Unsealed, number, 0);
            break;
        case Gap::Context::NoChain:
            placeVerdict(PlaceRun::Kind::NoChain, number, 0);
            break;
        case Gap::Context::Covered:
            placeVerdict(PlaceRun::Kind::AfterBreak, number, gap->breakNumber);
            break;
        case Gap::Context::Uncovered:
            placeVerdict(PlaceRun::Kind::NoEntry, number, 0);
            break;
        case Gap::Context::Trailing:
            // Only the very last record may lack its entry: the station logs, then seals.
            placeVerdict(number == lastSeal_ + 1 && number == log_.lastNumber() ? PlaceRun::Kind::LastUnsealed
                                                                                : PlaceRun::Kind::NoEntry,
                         number, 0);
            break;
        case Gap::Context::Unchecked:
            break;
        }
    }
}

void TrailVerifier::finish() {
    closeOpenRun();
    if (held_) {
        emitRun(*held_);
        held_.reset();
    }
    endKeyedRun();
    if (chainUsable_) {
        registerGaps(lastSeal_ + 1, INT_MAX);
    } else {
        const Gap::Context context = result_.chainFound ? Gap::Context::Unchecked : Gap::Context::NoChain;
        gaps_.push_back({context, lastSeal_ + 1, INT_MAX, 0, false});
    }
    if (requireKeyed_ && chainUsable_ && result_.entries == 0)
        add(INT_MAX, {FindingClass::Tampering, 0, 0, kChainName, 0,
                      QStringLiteral("holds no entry: nothing is keyed with the key kept off the station")});
    finalizeUpTo(INT_MAX);
    closePlaceRun();
    closeNoteRun();

    if (const std::optional<ExpectedHead>& head = options_.expectHead) {
        const QString sealed =
            QStringLiteral("%1 %2").arg(head->examNumber).arg(QString::fromLatin1(head->hexPrefix));
        if (!headFound_) {
            result_.head = VerifyResult::Head::Missing;
            const QString text =
                headOther_
                    ? QStringLiteral("the sealed head %1 is not in the chain: its entry for examination %2 "
                                     "now reads %3; the chain was rewritten at or before it")
                          .arg(sealed)
                          .arg(head->examNumber)
                          .arg(QString::fromLatin1(headOther_->toHex()))
                    : QStringLiteral("the sealed head %1 is not in the chain: the chain was rewritten, "
                                     "cut short or removed")
                          .arg(sealed);
            add(INT_MAX, {FindingClass::Tampering, 0, 0, kChainName, 0, text});
        } else {
            result_.head =
                minTamperingKey_ <= head->examNumber ? VerifyResult::Head::Broken : VerifyResult::Head::Holds;
        }
    }
    flushBelow(INT_MAX);
    if (!pending_.empty()) {
        for (const auto& [key, finding] : pending_)
            sink_(finding);
        pending_.clear();
    }
}

VerifyResult TrailVerifier::run() {
    DIR* directory = ::opendir(QFile::encodeName(dir_).constData());
    if (!directory) {
        result_.error = systemErrorText(dir_, errno);
        return result_;
    }
    ::closedir(directory);

    listDirectory();
    log_.load();
    result_.logFiles = log_.fileCount();
    result_.records = log_.recordCount();
    result_.lastNumber = log_.lastNumber();
    setUpKey();
    chainUsable_ = openChain();
    if (chainUsable_) {
        probeKey();
        readChain();
    }
    finish();
    return result_;
}

} // namespace

QString describeFinding(const VerifyFinding& finding) {
    QString label;
    switch (finding.kind) {
    case FindingClass::Tampering:
        label = QStringLiteral("TAMPERING");
        break;
    case FindingClass::Break:
        label = QStringLiteral("BREAK");
        break;
    case FindingClass::Note:
        label = QStringLiteral("NOTE");
        break;
    }
    QString where;
    if (!finding.file.isEmpty()) {
        where = finding.file;
        if (finding.line > 0)
            where += QStringLiteral(" line %1").arg(finding.line);
        if (finding.first > 0)
            where += QStringLiteral(" (%1)").arg(examinations(finding.first, finding.last));
    } else if (finding.first > 0) {
        where =
            QStringLiteral("%1 (%2)").arg(examinations(finding.first, finding.last),
                                          logPlaces(finding.first, std::max(finding.first, finding.last)));
    }
    return where.isEmpty() ? QStringLiteral("%1 %2").arg(label, finding.text)
                           : QStringLiteral("%1 %2: %3").arg(label, where, finding.text);
}

std::optional<ExpectedHead> parseExpectedHead(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.startsWith(u'E') || trimmed.startsWith(u'e'))
        trimmed.remove(0, 1);
    qsizetype split = trimmed.indexOf(u':');
    if (split < 0)
        split = trimmed.indexOf(u' ');
    if (split <= 0)
        return std::nullopt;
    bool ok = false;
    const int number = trimmed.left(split).toInt(&ok);
    const QByteArray hex = trimmed.mid(split + 1).trimmed().toLatin1().toLower();
    if (!ok || number < 1 || number > kLastExamNumber || hex.size() < kMinHeadHexDigits ||
        hex.size() > 2 * kChainHashSize)
        return std::nullopt;
    for (char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    }
    return ExpectedHead{number, hex};
}

std::optional<ProtocolHead> parseProtocolHead(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(u'P') && !trimmed.startsWith(u'p'))
        return std::nullopt;
    // P2026-12/45: the month of the file, then the same form as an examination's head.
    QString rest = trimmed.mid(1);
    QDate month;
    static const QRegularExpression monthPrefix(QStringLiteral("^([0-9]{4})-([0-9]{2})/"));
    if (const QRegularExpressionMatch match = monthPrefix.match(rest); match.hasMatch()) {
        month = QDate(match.captured(1).toInt(), match.captured(2).toInt(), 1);
        if (!month.isValid())
            return std::nullopt;
        rest = rest.mid(match.capturedLength());
    }
    const std::optional<ExpectedHead> head = parseExpectedHead(rest);
    if (!head || rest.startsWith(u'E') || rest.startsWith(u'e'))
        return std::nullopt;
    return ProtocolHead{head->examNumber, head->hexPrefix, month};
}

QString ProtocolHead::text() const {
    return QStringLiteral("P%1%2 %3")
        .arg(month.isValid() ? month.toString(QStringLiteral("yyyy-MM/")) : QString())
        .arg(testNumber)
        .arg(QString::fromLatin1(hexPrefix));
}

int VerifyResult::status() const {
    if (!error.isEmpty())
        return kVerifyUsage;
    if (tampering > 0)
        return kVerifyTampering;
    return breakFindings > 0 ? kVerifyBreaks : kVerifyClean;
}

VerifyResult verifyTrail(const QString& dir, const VerifyOptions& options, const FindingSink& sink) {
    TrailVerifier verifier(dir, options, sink);
    VerifyResult result = verifier.run();
    if (result.error.isEmpty())
        verifyArchive(dir, options, result, sink);
    return result;
}

int reportVerify(const QString& dir, const VerifyOptions& options, QTextStream& out) {
    // The findings are printed as they are found; what was read, and the counts, follow them.
    // Names and texts from the station directory reach the terminal escaped (LogExport.h):
    // a file name holding a line break cannot print a line of its own.
    out << "verify: the trail in " << terminalText(QDir::toNativeSeparators(dir)) << '\n';
    out.flush();
    const VerifyResult result = verifyTrail(dir, options, [&](const VerifyFinding& finding) {
        out << terminalText(describeFinding(finding)) << '\n';
    });
    if (!result.error.isEmpty()) {
        out << "verify: cannot read the station directory: " << terminalText(result.error) << '\n';
        return result.status();
    }
    out << "log: " << plural(result.logFiles, "file", "files") << ", "
        << plural(result.records, "record", "records");
    if (result.lastNumber > 0)
        out << ", the last examination " << result.lastNumber;
    out << '\n';
    if (!result.chainFound) {
        out << "chain: none\n";
    } else {
        out << "chain: " << plural(result.entries, "entry", "entries") << " (" << result.matched
            << " matching their records, " << plural(result.recovered, "recovered entry", "recovered entries")
            << ", " << plural(result.breaks, "break", "breaks") << ")";
        if (result.keyedEntries > 0)
            out << "; " << result.keyedEntries << " keyed, checked with "
                << (result.checkedWith.isEmpty() ? QStringLiteral("no key")
                                                 : terminalText(result.checkedWith));
        out << '\n';
    }
    if (result.archiveFiles > 0)
        out << "test archive: " << plural(result.archiveFiles, "file", "files") << ", "
            << plural(result.archiveLines, "line", "lines") << " ("
            << plural(result.archiveTests, "test", "tests") << "), "
            << plural(result.archiveEntries, "chain entry", "chain entries") << " (" << result.archiveMatched
            << " matching their lines, " << plural(result.archiveBreaks, "break", "breaks") << ")\n";
    if (options.expectHead) {
        const QString sealed = QStringLiteral("%1 %2")
                                   .arg(options.expectHead->examNumber)
                                   .arg(QString::fromLatin1(options.expectHead->hexPrefix));
        switch (result.head) {
        case VerifyResult::Head::Holds:
            out << "seal: " << sealed << " is in the chain, and every record and link up to it matches\n";
            break;
        case VerifyResult::Head::Broken:
            out << "seal: " << sealed
                << " is in the chain, but the trail up to it was changed (the findings above)\n";
            break;
        case VerifyResult::Head::Missing:
            out << "seal: " << sealed << " is NOT in the chain\n";
            break;
        case VerifyResult::Head::Ambiguous:
        case VerifyResult::Head::NotAsked:
            break;
        }
    }
    if (options.expectProtocolHead) {
        const QString sealed = options.expectProtocolHead->text();
        switch (result.protocolHead) {
        case VerifyResult::Head::Holds:
            out << "seal: " << sealed
                << " is in the test archive, and every line and link of its file up to it "
                << "matches\n";
            break;
        case VerifyResult::Head::Broken:
            out << "seal: " << sealed
                << " is in the test archive, but its file up to it was changed (the findings above)\n";
            break;
        case VerifyResult::Head::Missing:
            out << "seal: " << sealed << " is NOT in the test archive\n";
            break;
        case VerifyResult::Head::Ambiguous:
            out << "seal: " << sealed << " does NOT say which month: its test is in more than one file\n";
            break;
        case VerifyResult::Head::NotAsked:
            break;
        }
    }
    // What the station's next start would repair: told, never done here.
    const RecoveryPlan plan = decideRecovery(inspectTrail(dir));
    const QStringList repairs = plan.describe();
    if (!repairs.isEmpty()) {
        out << "the station's next start:\n";
        for (const QString& line : repairs)
            out << "  " << terminalText(line) << '\n';
    }
    out << "summary: " << plural(result.tampering, "sign of tampering", "signs of tampering") << ", "
        << plural(result.breakFindings, "crash remnant or recorded break",
                  "crash remnants or recorded breaks");
    if (result.notes > 0)
        out << ", " << plural(result.notes, "note", "notes");
    out << '\n';
    switch (result.status()) {
    case kVerifyClean:
        out << "verify: every record is sealed and matches its entry, with no break (exit status 0)\n";
        break;
    case kVerifyBreaks:
        out << "verify: no sign of tampering, but crash remnants or recorded breaks: the examinations they "
               "name "
               "are not protected by the chain (exit status 3)\n";
        break;
    default:
        out << "verify: TAMPERING: the log or its chain was changed outside the station (exit status 1)\n";
        break;
    }
    return result.status();
}

int runVerifyCommand(const QString& dir, const QString& expectHead, const QString& keyFile, QTextStream& out,
                     QTextStream& err, const QString& expectProtocolHead) {
    VerifyOptions options;
    if (!expectProtocolHead.isEmpty()) {
        options.expectProtocolHead = parseProtocolHead(expectProtocolHead);
        if (!options.expectProtocolHead) {
            err << "pregledi: --expect-head " << terminalText(expectProtocolHead)
                << ": not P2026-12/45:HEX (or P45:HEX) with at least " << kMinHeadHexDigits
                << " hex digits\n";
            return kVerifyUsage;
        }
    }
    if (!expectHead.isEmpty()) {
        options.expectHead = parseExpectedHead(expectHead);
        if (!options.expectHead) {
            err << "pregledi: --expect-head " << terminalText(expectHead) << ": not NUMBER:HEX with at least "
                << kMinHeadHexDigits << " hex digits\n";
            return kVerifyUsage;
        }
    }
    if (!keyFile.isEmpty()) {
        const StationKey key = readKeyFile(keyFile);
        if (!key.error.isEmpty()) {
            err << "pregledi: --key: " << terminalText(key.error) << '\n';
            return kVerifyUsage;
        }
        options.offStationKey = key.key;
        options.offStationKeyName = keyFile;
    }
    return reportVerify(dir, options, out);
}

namespace {

// The examination line of seal; 1 without a usable chain.
int sealExaminations(const QString& dir, QTextStream& out, QTextStream& err) {
    const QString path = QDir(dir).filePath(kChainName);
    if (fileKindAt(path) == FileKind::Missing) {
        err << "pregledi: " << terminalText(path) << ": missing; there is no chain to seal\n";
        return 1;
    }
    StationFile chain;
    if (!chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        err << "pregledi: " << terminalText(chain.error()) << "; there is no chain to seal\n";
        return 1;
    }
    const ChainTail tail = readChainTail(chain);
    if (!tail.error.isEmpty() || !tail.last) {
        err << "pregledi: " << terminalText(path) << ": "
            << terminalText(tail.error.isEmpty() ? QStringLiteral("no entry at its end") : tail.error)
            << "; there is no chain to seal\n";
        return 1;
    }
    if (tail.tornBytes() > 0)
        err << "pregledi: note: " << plural(tail.tornBytes(), "torn byte", "torn bytes")
            << " after the last entry (a crash); the head is the last whole entry\n";
    out << tail.last->examNumber << ' ' << tail.last->hash.toHex() << '\n';
    return 0;
}

} // namespace

int runSealCommand(const QString& dir, QTextStream& out, QTextStream& err) {
    const ProtocolSeal protocol = protocolSeal(dir);
    int status = 0;
    if (!protocol.line.isEmpty() && fileKindAt(QDir(dir).filePath(kChainName)) == FileKind::Missing)
        err << "pregledi: note: " << terminalText(QDir(dir).filePath(kChainName))
            << ": missing; no examination head\n";
    else
        status = sealExaminations(dir, out, err);
    if (!protocol.note.isEmpty())
        err << "pregledi: note: " << terminalText(protocol.note) << '\n';
    if (!protocol.error.isEmpty()) {
        err << "pregledi: " << terminalText(protocol.error) << '\n';
        status = 1;
    }
    if (!protocol.line.isEmpty())
        out << protocol.line << '\n';
    return status;
}

} // namespace vz
