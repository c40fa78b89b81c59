#pragma once
// The pass of `pregledi verify` over the archive of two-speed tests (ArchiveVerify.h tells
// what it finds): each file's lines and chain read forward together, and lines in a row with
// the same verdict told as one finding.
//
// Its parts, each in a file of its own: the set-up (the directory's names and the key), the
// lines' runs and their findings, the check of one file, and the run over both series with the
// protocol head's verdict.
#include "ArchiveSeriesCheck.h"
#include "ArchiveVerify.h"
#include "LinkHasher.h"
#include "StationFile.h"
#include "TestArchive.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <climits>
#include <optional>

namespace vz::verify_parts {

// Lines in a row with the same verdict: one finding.
struct LineRun {
    enum class Kind {
        None,
        Mismatch,    // tampering: the line does not match its entry
        NoEntry,     // tampering: no entry, no break
        Missing,     // tampering: an entry, no line
        AfterBreak,  // break: unsealed after a break entry
        BeforeChain, // break: written before the chain's first entry
        NoChain,     // break: there is no chain
        Odd,         // note: not a line the station writes
    } kind = Kind::None;
    int from = 0;
    int to = 0;
    int testFrom = 0;
    int testTo = 0;
    int breakLine = 0; // AfterBreak: the break entry's number
};

class ArchiveVerifier {
public:
    ArchiveVerifier(const QString& dir, const VerifyOptions& options, VerifyResult& result,
                    const FindingSink& sink)
        : dir_(dir), options_(options), result_(result), sink_(sink) {}
    void run();

private:
    void add(FindingClass kind, const QString& file, int line, const QString& text, int atLine = 0);
    void listNames();
    void setUpKey();
    void verifyFile(const ArchiveFile& file, ArchiveSeriesCheck& series);
    void resolveHead(const ProtocolHead& head, const ArchiveSeriesCheck& official);
    bool probeKey(StationFile& chain, const QString& linesPath);

    // The per-file pass.
    bool readLine(); // the next line of the file into line_; false at its end
    void placeLine(LineRun::Kind kind, int line, int test);
    void closeRun(LineRun& run);
    void advanceTo(int last, LineRun::Kind kind);
    void checkHeadCandidate(int line, int test);
    void mismatch(int line, int test, const QByteArray& computed);
    void endKeyRun();
    void endNotEntries(bool atEnd, int64_t chainSize, StationFile& chain);

    QString dir_;
    const VerifyOptions& options_;
    VerifyResult& result_;
    const FindingSink& sink_;
    LinkHasher hasher_;

    std::optional<QByteArray> key_;
    QString keyName_;
    bool requireKeyed_ = false;
    bool toldNoKey_ = false;

    // The file under check.
    ArchiveFile file_;
    ArchiveLineReader lines_;
    ArchiveLine line_;
    int consumed_ = 0; // lines read so far
    bool linesEnded_ = false;
    int firstTampering_ = INT_MAX; // the first line of the file a tampering finding is about
    LineRun run_;
    LineRun oddRun_;
    LineRun mismatchRun_;
    QByteArray lastComputed_; // for the last line of mismatchRun_
    struct {
        int first = 0;
        int last = 0;
        int64_t from = 0;
    } notEntries_;
    struct {
        int from = 0;
        int to = 0;
        bool downgrade = false;
    } keyRun_;
    bool keyFits_ = true;
    ArchiveSeriesCheck* series_ = nullptr; // of the file under check
    int headCandidate_ = 0;                // a line whose entry has the head's value
    bool headFound_ = false;               // in the file under check
    int headLine_ = 0;
    // Where the protocol head's value seals a line of its test: each file's first such line,
    // and whether the file was changed at or before it.
    struct HeadMatch {
        QString file;
        int line = 0;
        bool broken = false;
    };
    QList<HeadMatch> headMatches_;
};

// "Protokoli-2026-12.jsonl lines 4-9", or the file alone for one line.
QString linesWhere(const QString& file, int from, int to);
// "test 5: ", "tests О-5 to О-7: "; empty without a test.
QString testsText(ArchiveSeries series, int from, int to);

} // namespace vz::verify_parts
