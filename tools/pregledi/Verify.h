#pragma once
// `pregledi verify`: the examination log and its chain checked against each other in one pass.
// The chain is read line by line and each record at its own place, so memory stays the same
// whatever the size of the log. Each entry is checked on its own against the record at its
// number's place, from the previous entry's stored hash, so one changed record is one finding;
// a record missing or added before others is found by looking for an entry's record at the
// places near its own, so that the records it pushed along are the same finding.
//
// Every finding is told, in the order of the examinations, in one of two classes:
//   tampering       the log or the chain was changed outside the station (exit status 1);
//   a break         what a crash or the station's own trouble left, which the station
//                   wrote down in the chain or repairs at its next start, and examinations
//                   the chain does not seal (exit status 3).
// Notes (a record that does not follow the layout, a file that is not the trail's) change
// nothing. With nothing found the status is 0: every record sealed, no break.
//
// `pregledi seal` prints the chain's head for a manager to keep away from the station;
// `verify --expect-head` checks the chain against such a line, and `verify --key` against a
// key kept off the station.
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTextStream>
#include <cstdint>
#include <functional>
#include <optional>

namespace vz {

// Exit statuses of verify, and of backup, which verifies its copy.
enum VerifyStatus : int {
    kVerifyClean = 0,
    kVerifyTampering = 1,
    kVerifyUsage = 2, // bad arguments, or a station directory that cannot be read
    kVerifyBreaks = 3,
};

enum class FindingClass {
    Tampering,
    Break, // a crash remnant, a recorded break, or examinations the chain does not seal
    Note,
};

struct VerifyFinding {
    FindingClass kind = FindingClass::Note;
    int first = 0; // the examinations it is about, first..last; 0 when none
    int last = 0;
    QString file; // the file it is about, when not (only) the records of examinations
    int line = 0; // a line of the chain, when `file` is the chain
    QString text;
};
// One line: "TAMPERING examinations 5-7 (Pregledi00000.GPG records 5-7): ...".
QString describeFinding(const VerifyFinding& finding);

// A head kept with `pregledi seal`: an examination number and at least the first 16 hex
// digits of its entry's hash. Given as NUMBER:HEX (or NUMBER HEX, as seal prints it).
struct ExpectedHead {
    int examNumber = 0;
    QByteArray hexPrefix; // lower case
};
constexpr int kMinHeadHexDigits = 16;
// Also E123:HEX, as the examination head is told apart from a protocol head.
std::optional<ExpectedHead> parseExpectedHead(const QString& text);

// A head of the archive of official two-speed tests kept with `pregledi seal`: P, the month of
// the file whose chain holds it, the number of the test whose line the entry seals, and at
// least the first 16 hex digits of its value. Given as P2026-12/45:HEX (or P2026-12/45 HEX, as
// seal prints it); P45:HEX, without the month, as seal printed it before. ArchiveVerify.h
// tells which entry it is.
struct ProtocolHead {
    int testNumber = 0;
    QByteArray hexPrefix; // lower case
    QDate month;          // its first day; invalid when the head does not name it

    // "P2026-12/45 HEX", or "P45 HEX" without the month.
    QString text() const;
};
std::optional<ProtocolHead> parseProtocolHead(const QString& text);

struct VerifyOptions {
    std::optional<ExpectedHead> expectHead;
    // --key FILE: keyed entries are checked with this key instead of the station's, and an
    // entry that is not keyed is a finding.
    std::optional<QByteArray> offStationKey;
    QString offStationKeyName;
    // The key to check with when the directory holds no usable key of its own (a backup copied
    // without its key is checked with the station's).
    std::optional<QByteArray> fallbackKey;
    QString fallbackKeyName;
    // --expect-head P45:HEX: the protocol archive against a head of its own.
    std::optional<ProtocolHead> expectProtocolHead;
};

struct VerifyResult {
    QString error; // the directory cannot be read: nothing was checked (status 2)
    int logFiles = 0;
    int64_t records = 0;
    int lastNumber = 0;
    bool chainFound = false;
    int64_t entries = 0;
    int64_t matched = 0; // record entries whose record matches
    int64_t recovered = 0;
    int64_t breaks = 0;
    int64_t keyedEntries = 0;
    QString checkedWith; // what keyed entries were checked with; empty: nothing
    int tampering = 0;
    int breakFindings = 0;
    int notes = 0;
    // Counts one finding of `kind`.
    void count(FindingClass kind) {
        (kind == FindingClass::Tampering ? tampering : kind == FindingClass::Break ? breakFindings : notes)++;
    }
    // Ambiguous: a protocol head without its month, whose test is begun in more than one file.
    enum class Head { NotAsked, Holds, Broken, Missing, Ambiguous } head = Head::NotAsked;
    QByteArray headHash; // the sealed entry's whole hash, when it is in the chain

    // The archive of two-speed tests (ArchiveVerify.h); its findings count in the classes above.
    int archiveFiles = 0;
    int64_t archiveLines = 0;
    int64_t archiveTests = 0; // started lines
    int64_t archiveEntries = 0;
    int64_t archiveMatched = 0; // line entries whose line matches
    int64_t archiveBreaks = 0;
    Head protocolHead = Head::NotAsked;

    int status() const;
};

using FindingSink = std::function<void(const VerifyFinding&)>;
// Checks the trail of the station directory `dir`; the findings go to `sink` in the order of
// the examinations (those about no examination first). Reads only.
VerifyResult verifyTrail(const QString& dir, const VerifyOptions& options, const FindingSink& sink);

// The whole report on `out`: what was checked, every finding, the seal, the summary and the
// verdict. Returns the exit status.
int reportVerify(const QString& dir, const VerifyOptions& options, QTextStream& out);

// `pregledi verify [--expect-head NUMBER:HEX] [--expect-head P45:HEX] [--key FILE]`.
int runVerifyCommand(const QString& dir, const QString& expectHead, const QString& keyFile, QTextStream& out,
                     QTextStream& err, const QString& expectProtocolHead = QString());
// `pregledi seal`: one line "NUMBER HEX", the chain's last entry, then, when the station has an
// archive of official tests, one line "P45 HEX" (ArchiveVerify.h); 1 when either cannot be
// given (no usable chain).
int runSealCommand(const QString& dir, QTextStream& out, QTextStream& err);

} // namespace vz
