#pragma once
// The pass of `pregledi verify` over the examination log and its chain (Verify.h tells what it
// finds). The chain is read once, entry by entry; each entry is checked against the record at
// its number's place, and each place of the log gets its verdict once no later entry can
// account for it. Findings are held until no earlier one can come, so that they are told in
// the order of the examinations.
//
// Its parts, each in a file of its own: the set-up (the directory's names, the key, the
// chain's opening and the key's probe), the walk along the chain, the runs of entries that
// make one finding, the verdicts on the log's places, and the frame that runs them in order.
#include "ChainFile.h"
#include "ExamChain.h"
#include "LogPlaces.h"
#include "StationFile.h"
#include "Verify.h"

#include <QByteArray>
#include <QString>
#include <climits>
#include <deque>
#include <map>
#include <optional>
#include <set>

namespace vz::verify_parts {

// How far from its own place an entry's record is looked for: records removed or inserted
// before it move it by as many places.
constexpr int kSearchWindow = 8;

// What checking one record entry found.
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

} // namespace vz::verify_parts
