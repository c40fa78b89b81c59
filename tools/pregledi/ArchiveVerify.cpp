#include "ArchiveVerify.h"

#include "ArchiveAnchors.h"
#include "ArchiveSeriesCheck.h"
#include "ChainFile.h"
#include "ExamChain.h"
#include "StationFile.h"
#include "TestArchive.h"

#include <QDir>
#include <algorithm>
#include <climits>

#if VZ_OPENSSL_HASH
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

namespace vz {
namespace {

// Keyed entries tried before the key is judged not to be the chain's.
constexpr int kKeyProbeEntries = 8;

QString plural(int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1StringView(count == 1 ? one : many));
}

QString withoutPath(const QString& error, const QString& path) {
    const QString prefix = path + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
}

// The value of an entry after `previous` for `bytes`, as chainHash() makes it. The archive is
// most of what verify hashes, so where OpenSSL is at hand its SHA-256 (which uses the
// processor's SHA instructions) does the work; the result is the same.
class LinkHasher {
public:
#if VZ_OPENSSL_HASH
    LinkHasher() : context_(EVP_MD_CTX_new()) {}
    ~LinkHasher() {
        EVP_MD_CTX_free(context_);
    }
#endif
    LinkHasher(const LinkHasher&) = delete;
    LinkHasher& operator=(const LinkHasher&) = delete;

    QByteArray hash(const QByteArray& previous, QByteArrayView bytes, const QByteArray* key) {
#if VZ_OPENSSL_HASH
        if (!key && context_) {
            static const QByteArray zeros(kChainHashSize, '\0');
            const QByteArray& link = previous.isEmpty() ? zeros : previous;
            QByteArray out(EVP_MAX_MD_SIZE, '\0');
            unsigned int length = 0;
            if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1 &&
                EVP_DigestUpdate(context_, link.constData(), size_t(link.size())) == 1 &&
                EVP_DigestUpdate(context_, bytes.data(), size_t(bytes.size())) == 1 &&
                EVP_DigestFinal_ex(context_, reinterpret_cast<unsigned char*>(out.data()), &length) == 1) {
                out.truncate(length);
                return out;
            }
        }
        buffer_.resize(0);
        if (previous.isEmpty())
            buffer_.append(kChainHashSize, '\0');
        else
            buffer_.append(previous);
        buffer_.append(bytes);
        QByteArray out(EVP_MAX_MD_SIZE, '\0');
        unsigned int length = 0;
        const auto* data = reinterpret_cast<const unsigned char*>(buffer_.constData());
        bool done;
        if (key)
            done = HMAC(EVP_sha256(), key->constData(), int(key->size()), data, size_t(buffer_.size()),
                        reinterpret_cast<unsigned char*>(out.data()), &length) != nullptr;
        else
            done = EVP_Digest(data, size_t(buffer_.size()), reinterpret_cast<unsigned char*>(out.data()),
                              &length, EVP_sha256(), nullptr) == 1;
        if (done) {
            out.truncate(length);
            return out;
        }
#endif
        return chainHash(previous, bytes.toByteArray(), key);
    }

private:
    QByteArray buffer_;
#if VZ_OPENSSL_HASH
    EVP_MD_CTX* context_ = nullptr;
#endif
};

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

void ArchiveVerifier::add(FindingClass kind, const QString& file, int line, const QString& text, int atLine) {
    result_.count(kind);
    if (kind == FindingClass::Tampering && file.startsWith(file_.name.left(17)) && !file_.name.isEmpty())
        firstTampering_ = std::min(firstTampering_, atLine);
    sink_({kind, 0, 0, file, line, text});
}

QString linesWhere(const QString& file, int from, int to) {
    return to > from ? QStringLiteral("%1 lines %2-%3").arg(file).arg(from).arg(to) : file;
}

QString testsText(ArchiveSeries series, int from, int to) {
    if (from <= 0)
        return QString();
    return testRangeText(series, from, to) + QStringLiteral(": ");
}

void ArchiveVerifier::listNames() {
    const QStringList names = QDir(dir_).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const ArchiveNameKind kind = archiveNameKind(name);
        const QString path = stationPath(dir_, name);
        switch (kind.kind) {
        case ArchiveName::Stray:
            add(FindingClass::Note, name, 0,
                QStringLiteral("not a name of the test archive's files; not checked"));
            break;
        case ArchiveName::Torn: {
            const FileKind fileKind = fileKindAt(path);
            if (fileKind != FileKind::Regular) {
                add(FindingClass::Tampering, name, 0,
                    QStringLiteral("%1: the station sets aside regular files only")
                        .arg(describeFileKind(fileKind)));
                break;
            }
            StationFile file;
            const QString size = file.open(path, StationFile::Access::Read)
                                     ? plural(file.size(), "byte", "bytes")
                                     : withoutPath(file.error(), path);
            add(FindingClass::Break, name, 0,
                QStringLiteral("the torn last line of %1 (%2), set aside by the station after a crash")
                    .arg(kind.file.name, size));
            break;
        }
        case ArchiveName::Chain:
        case ArchiveName::RegisterChain:
            if (fileKindAt(stationPath(dir_, kind.file.name)) == FileKind::Missing) {
                StationFile chain;
                int64_t entries = 0;
                if (chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
                    ChainLineReader reader(chain);
                    ChainLine line;
                    while (reader.next(line))
                        entries += line.entry ? 1 : 0;
                }
                if (entries > 0)
                    add(FindingClass::Tampering, name, 0,
                        QStringLiteral("its line file %1 is missing, though the chain seals %2: removed")
                            .arg(kind.file.name, plural(entries, "line", "lines")));
                else
                    add(FindingClass::Note, name, 0,
                        QStringLiteral("a chain without entries and without its line file %1")
                            .arg(kind.file.name));
            }
            break;
        case ArchiveName::None:
        case ArchiveName::Lines:
        case ArchiveName::Register:
            break;
        }
    }
}

void ArchiveVerifier::setUpKey() {
    const StationKey station = readStationKey(dir_);
    if (options_.offStationKey) {
        key_ = options_.offStationKey;
        keyName_ = options_.offStationKeyName;
        requireKeyed_ = true;
    } else if (station.present && station.error.isEmpty()) {
        key_ = station.key;
        keyName_ = QString::fromLatin1(kStationKeyFileName);
    } else if (options_.fallbackKey) {
        key_ = options_.fallbackKey;
        keyName_ = options_.fallbackKeyName;
    }
}

// Whether the key fits the file's chain, from its first keyed line entries.
bool ArchiveVerifier::probeKey(StationFile& chain, const QString& linesPath) {
    ArchiveLineReader lines;
    if (!lines.open(linesPath))
        return true;
    ChainLineReader reader(chain);
    ChainLine entryLine;
    ArchiveLine line;
    QByteArray previous;
    int tried = 0;
    while (reader.next(entryLine) && tried < kKeyProbeEntries) {
        if (!entryLine.entry)
            continue;
        const ChainEntry& entry = *entryLine.entry;
        if (entry.keyed) {
            if (entry.kind == ChainEntryKind::Break) {
                if (breakHash(previous, entry.examNumber, entry.reason, &*key_) == entry.hash)
                    return true;
                ++tried;
            } else {
                bool found = line.number == entry.examNumber;
                while (!found && line.number < entry.examNumber && lines.next(line))
                    found = line.number == entry.examNumber;
                if (found) {
                    if (hasher_.hash(previous, line.bytes, &*key_) == entry.hash)
                        return true;
                    ++tried;
                }
            }
        }
        previous = entry.hash;
    }
    return tried == 0;
}

bool ArchiveVerifier::readLine() {
    if (linesEnded_)
        return false;
    if (!lines_.next(line_)) {
        linesEnded_ = true;
        return false;
    }
    consumed_ = line_.number;
    ++result_.archiveLines;
    const LinePeek peek = peekLine(line_.bytes);
    if (peek.kind == QByteArrayView("started"))
        ++result_.archiveTests;
    // A month file's lines: a test's, and the link and clock lines that tie the months
    // together (a link has no test number); the register's: the numbers it gives.
    const bool testLine = peek.kind == QByteArrayView("started") || peek.kind == QByteArrayView("samples") ||
                          peek.kind == QByteArrayView("result") || peek.kind == QByteArrayView(kClockKind);
    const bool known = file_.isRegister
                           ? peek.kind == QByteArrayView(kNumberedKind) && peek.number > 0
                           : (testLine && peek.number > 0) || peek.kind == QByteArrayView(kLinkKind);
    if (!known || !line_.bytes.startsWith('{') || !line_.bytes.endsWith("}\n"))
        placeLine(LineRun::Kind::Odd, line_.number, 0);
    else if (series_ && !line_.overlong)
        series_->line(file_, line_.number, line_.bytes, peek);
    if (options_.expectProtocolHead)
        checkHeadCandidate(line_.number, peek.number);
    return true;
}

void ArchiveVerifier::checkHeadCandidate(int line, int test) {
    if (headCandidate_ != line || headFound_)
        return;
    headCandidate_ = 0;
    if (test == options_.expectProtocolHead->testNumber) {
        headFound_ = true;
        headLine_ = line;
    }
}

void ArchiveVerifier::placeLine(LineRun::Kind kind, int line, int test) {
    if (kind == LineRun::Kind::None)
        return;
    // Notes on odd lines run on their own beside the other verdicts.
    LineRun& run = kind == LineRun::Kind::Odd ? oddRun_ : run_;
    if (run.kind == kind && run.to == line - 1) {
        run.to = line;
        if (test > 0) {
            if (run.testFrom == 0)
                run.testFrom = test;
            run.testTo = test;
        }
        return;
    }
    closeRun(run);
    run = {kind, line, line, test, test, 0};
}

void ArchiveVerifier::closeRun(LineRun& run) {
    if (run.kind == LineRun::Kind::None)
        return;
    const LineRun r = std::exchange(run, LineRun());
    const bool many = r.to > r.from;
    const QString where = linesWhere(file_.name, r.from, r.to);
    const int line = many ? 0 : r.from;
    const QString tests = testsText(file_.series, r.testFrom, r.testTo);
    switch (r.kind) {
    case LineRun::Kind::Mismatch:
        add(FindingClass::Tampering, where, line,
            tests + (many ? QStringLiteral(
                                "do not match their chain entries: the lines or the chain were changed "
                                "after they were written")
                          : QStringLiteral(
                                "does not match its chain entry: the line or the chain was changed after "
                                "it was written")),
            r.from);
        break;
    case LineRun::Kind::NoEntry:
        add(FindingClass::Tampering, where, line,
            tests +
                QStringLiteral("no chain entry, and no break accounts for %1: added outside the station, or "
                               "%2 removed from the chain")
                    .arg(many ? QStringLiteral("them") : QStringLiteral("it"),
                         many ? QStringLiteral("their entries") : QStringLiteral("its entry")),
            r.from);
        break;
    case LineRun::Kind::Missing:
        add(FindingClass::Tampering, where, line,
            QStringLiteral("in the chain, but the file holds no such %1: removed, or the file cut short")
                .arg(many ? QStringLiteral("lines") : QStringLiteral("line")),
            r.from);
        break;
    case LineRun::Kind::AfterBreak:
        add(FindingClass::Break, where, line,
            tests +
                QStringLiteral("no chain entry: written while the chain could not be written (the break at "
                               "line %1 says why); unsealed")
                    .arg(r.breakLine));
        break;
    case LineRun::Kind::BeforeChain:
        add(FindingClass::Break, where, line,
            tests + QStringLiteral("written before the chain's first entry (the chain could not be written "
                                   "then): unsealed, a change in %1 cannot be seen")
                        .arg(many ? QStringLiteral("them") : QStringLiteral("it")));
        break;
    case LineRun::Kind::NoChain:
        add(FindingClass::Break, where, line,
            tests + QStringLiteral(
                        "unsealed: there is no chain (%1 is missing or holds no entry), a change cannot "
                        "be seen")
                        .arg(file_.chainName));
        break;
    case LineRun::Kind::Odd:
        add(FindingClass::Note, where, line,
            QStringLiteral("not a line as the station writes one (a JSON object of kind started, samples or "
                           "result, with its test number)"));
        break;
    case LineRun::Kind::None:
        break;
    }
}

// Lines up to `last` that have no entry of their own, read and told as `kind`.
void ArchiveVerifier::advanceTo(int last, LineRun::Kind kind) {
    while (consumed_ < last && readLine())
        placeLine(kind, line_.number, peekLine(line_.bytes).number);
}

void ArchiveVerifier::mismatch(int line, int test, const QByteArray& computed) {
    if (mismatchRun_.kind == LineRun::Kind::Mismatch && mismatchRun_.to == line - 1) {
        mismatchRun_.to = line;
        mismatchRun_.testTo = test;
    } else {
        closeRun(mismatchRun_);
        mismatchRun_ = {LineRun::Kind::Mismatch, line, line, test, test, 0};
    }
    lastComputed_ = computed;
}

void ArchiveVerifier::endKeyRun() {
    if (keyRun_.from == 0)
        return;
    const auto run = keyRun_;
    keyRun_ = {};
    QString text;
    if (requireKeyed_)
        text = QStringLiteral("chain entries not keyed with %1: an off-station key vouches only for keyed "
                              "entries%2")
                   .arg(keyName_, run.downgrade ? QStringLiteral("; these follow keyed ones: the chain was "
                                                                 "rewritten without the key")
                                                : QString());
    else
        text =
            QStringLiteral("unkeyed chain entries after keyed ones: the chain was rewritten without the key");
    add(FindingClass::Tampering, linesWhere(file_.chainName, run.from, run.to),
        run.to > run.from ? 0 : run.from, text, run.from);
}

void ArchiveVerifier::endNotEntries(bool atEnd, int64_t chainSize, StationFile& chain) {
    const auto run = notEntries_;
    notEntries_ = {};
    if (run.first == 0)
        return;
    if (atEnd && run.first == run.last) {
        QByteArray last;
        const bool lineEnd = chain.readAt(chainSize - 1, 1, last) && last == "\n";
        if (!lineEnd) {
            add(FindingClass::Break, file_.chainName, run.first,
                QStringLiteral("its end is torn: %1 after the last entry (a crash while it was written)")
                    .arg(plural(chainSize - run.from, "byte", "bytes")));
            return;
        }
    }
    add(FindingClass::Tampering, file_.chainName, run.first,
        run.first == run.last
            ? QStringLiteral("not a chain entry: the chain was edited")
            : QStringLiteral(
                  "not a chain entry, nor are the lines after it up to line %1: the chain was edited")
                  .arg(run.last),
        consumed_ + 1);
}

void ArchiveVerifier::verifyFile(const ArchiveFile& file, ArchiveSeriesCheck& series) {
    file_ = file;
    series_ = &series;
    headFound_ = false;
    headLine_ = 0;
    consumed_ = 0;
    linesEnded_ = false;
    firstTampering_ = INT_MAX;
    run_ = {};
    oddRun_ = {};
    mismatchRun_ = {};
    notEntries_ = {};
    keyRun_ = {};
    keyFits_ = true;
    headCandidate_ = 0;
    if (!file.isRegister)
        ++result_.archiveFiles;

    const QString linesPath = stationPath(dir_, file.name);
    lines_ = ArchiveLineReader();
    if (!lines_.open(linesPath)) {
        add(FindingClass::Tampering, file.name, 0,
            QStringLiteral("%1: the station writes no such archive file; its lines are not checked")
                .arg(withoutPath(lines_.error(), linesPath)));
        return;
    }

    const QString chainPath = stationPath(dir_, file.chainName);
    StationFile chain;
    bool chainUsable = false;
    bool chainUnreadable = false; // there is a chain, but not one the station writes
    if (fileKindAt(chainPath) == FileKind::Missing) {
        if (requireKeyed_)
            add(FindingClass::Tampering, file.chainName, 0,
                QStringLiteral("missing: there is no chain to check with the key kept off the station"));
    } else if (!chain.open(chainPath, StationFile::Access::Read, kMaxChainFileSize)) {
        add(FindingClass::Tampering, file.chainName, 0,
            QStringLiteral("%1: the station writes no such chain; the lines of %2 cannot be checked")
                .arg(withoutPath(chain.error(), chainPath), file.name),
            0);
        chainUnreadable = true;
    } else {
        chainUsable = true;
    }

    // Whether keyed entries can be checked here.
    bool keyedSeen = false;
    if (chainUsable) {
        ChainLineReader scan(chain);
        ChainLine entryLine;
        while (!keyedSeen && scan.next(entryLine))
            keyedSeen = entryLine.entry && entryLine.entry->keyed;
        if (keyedSeen && !key_ && !toldNoKey_) {
            toldNoKey_ = true;
            add(FindingClass::Tampering, QString::fromLatin1(kStationKeyFileName), 0,
                QStringLiteral(
                    "the test archive's chains have keyed entries, but there is no usable key to check "
                    "them with: they are not checked"));
        } else if (keyedSeen && key_ && !probeKey(chain, linesPath)) {
            keyFits_ = false;
            add(FindingClass::Tampering, file.chainName, 0,
                QStringLiteral(
                    "none of the chain's first keyed entries matches with %1: the chain was keyed with "
                    "another key, or the key was replaced; keyed entries are not checked")
                    .arg(keyName_),
                0);
        }
    }

    QByteArray previous;
    int lastSealed = 0;
    bool anyRecordEntry = false;
    int breakLine = 0; // the first break since the last line entry
    bool sawKeyed = false;
    int chainLines = 0;
    if (chainUsable) {
        const int64_t chainSize = chain.size();
        ChainLineReader reader(chain);
        ChainLine entryLine;
        while (reader.next(entryLine)) {
            ++chainLines;
            if (!entryLine.entry) {
                if (notEntries_.first == 0) {
                    notEntries_.first = chainLines;
                    notEntries_.from = entryLine.offset;
                }
                notEntries_.last = chainLines;
                continue;
            }
            endNotEntries(false, chainSize, chain);
            const ChainEntry& entry = *entryLine.entry;
            ++result_.archiveEntries;
            const int k = entry.examNumber;
            const bool checkable = !entry.keyed || (key_ && keyFits_);
            const QByteArray* key = entry.keyed && checkable ? &*key_ : nullptr;

            // Keys: unkeyed entries after keyed ones, or not keyed with --key.
            const bool downgrade = !entry.keyed && sawKeyed && entry.kind != ChainEntryKind::Break;
            const bool offending = requireKeyed_ ? !entry.keyed : downgrade;
            sawKeyed = sawKeyed || entry.keyed;
            if (offending) {
                if (keyRun_.from == 0)
                    keyRun_.from = k;
                keyRun_.to = k;
                keyRun_.downgrade = keyRun_.downgrade || downgrade;
            } else if (entry.keyed || requireKeyed_) {
                endKeyRun();
            }

            if (series.wantsEntry(file.name, k))
                series.keepEntry(file.name, k, entry.hash);
            const std::optional<ProtocolHead>& head = options_.expectProtocolHead;
            const bool headValue = head && file.series == ArchiveSeries::Official && !file.isRegister &&
                                   (!head->month.isValid() || head->month == file.month) && !headFound_ &&
                                   entry.hash.toHex().startsWith(head->hexPrefix);

            if (entry.kind == ChainEntryKind::Break) {
                ++result_.archiveBreaks;
                const QString reason = QString::fromLatin1(entry.reason);
                if (checkable && breakHash(previous, k, entry.reason, key) != entry.hash)
                    add(FindingClass::Tampering, file.chainName, chainLines,
                        QStringLiteral(
                            "break entry that does not match: it was changed, or the chain does not "
                            "link here (its reason reads: %1)")
                            .arg(reason),
                        k);
                else
                    add(FindingClass::Break, file.chainName, chainLines,
                        QStringLiteral("break: %1").arg(reason));
                if (breakLine == 0)
                    breakLine = k;
                if (headValue && k > consumed_)
                    headCandidate_ = k; // its line is told when it is read
                previous = entry.hash;
                continue;
            }

            if (k < 1 || k <= lastSealed) {
                add(FindingClass::Tampering, file.chainName, chainLines,
                    QStringLiteral(
                        "entry for line %1 after the entry for line %2: out of order, the chain was "
                        "edited")
                        .arg(k)
                        .arg(lastSealed),
                    std::max(k, 1));
                previous = entry.hash;
                continue;
            }
            // The lines before this one that have no entry.
            const LineRun::Kind gap = breakLine > 0     ? LineRun::Kind::AfterBreak
                                      : !anyRecordEntry ? LineRun::Kind::BeforeChain
                                                        : LineRun::Kind::NoEntry;
            if (consumed_ < k - 1) {
                closeRun(mismatchRun_);
                advanceTo(k - 1, gap);
                if (gap == LineRun::Kind::AfterBreak && run_.kind == gap)
                    run_.breakLine = breakLine;
            }
            if (headValue)
                headCandidate_ = k;
            if (!readLine() || line_.number != k) {
                closeRun(mismatchRun_);
                placeLine(LineRun::Kind::Missing, k, 0);
            } else {
                closeRun(run_);
                const int test = peekLine(line_.bytes).number;
                if (!checkable) {
                    closeRun(mismatchRun_);
                } else if (line_.overlong) {
                    mismatch(k, test, QByteArray());
                } else {
                    const QByteArray computed = hasher_.hash(previous, line_.bytes, key);
                    if (computed == entry.hash) {
                        ++result_.archiveMatched;
                        closeRun(mismatchRun_);
                    } else if (mismatchRun_.kind == LineRun::Kind::Mismatch && mismatchRun_.to == k - 1 &&
                               !lastComputed_.isEmpty() &&
                               hasher_.hash(lastComputed_, line_.bytes, key) == entry.hash) {
                        // This line matches after the line before as it was sealed: that line is
                        // intact and its entry was changed.
                        const int changed = mismatchRun_.to;
                        const int changedTest = mismatchRun_.testTo;
                        mismatchRun_.to = changed - 1;
                        if (mismatchRun_.to >= mismatchRun_.from)
                            closeRun(mismatchRun_);
                        mismatchRun_ = {};
                        add(FindingClass::Tampering, file.chainName, 0,
                            testsText(file_.series, changedTest, changedTest) +
                                QStringLiteral(
                                    "the entry for line %1 was changed: the line matches the chain as it "
                                    "was sealed")
                                    .arg(changed),
                            changed);
                        ++result_.archiveMatched;
                    } else {
                        mismatch(k, test, computed);
                    }
                }
            }
            lastSealed = k;
            anyRecordEntry = true;
            breakLine = 0;
            previous = entry.hash;
        }
        if (!reader.error().isEmpty())
            add(FindingClass::Tampering, file.chainName, chainLines + 1,
                QStringLiteral("cannot be read on from here: %1").arg(reader.error()), consumed_ + 1);
        endNotEntries(true, chainSize, chain);
    }
    closeRun(mismatchRun_);
    endKeyRun();

    // The lines after the last entry.
    if (chainUnreadable) {
        advanceTo(INT_MAX, LineRun::Kind::None); // counted, not judged
    } else if (!chainUsable || !anyRecordEntry) {
        advanceTo(INT_MAX, breakLine > 0 ? LineRun::Kind::AfterBreak : LineRun::Kind::NoChain);
        if (run_.kind == LineRun::Kind::AfterBreak)
            run_.breakLine = breakLine;
    } else if (breakLine > 0) {
        advanceTo(INT_MAX, LineRun::Kind::AfterBreak);
        if (run_.kind == LineRun::Kind::AfterBreak)
            run_.breakLine = breakLine;
    } else {
        // Only the very last line may lack its entry: the station writes the line, then seals it.
        const int from = consumed_ + 1;
        advanceTo(INT_MAX, LineRun::Kind::NoEntry);
        if (run_.kind == LineRun::Kind::NoEntry && run_.from == from && run_.to == consumed_ &&
            run_.from == run_.to) {
            const LineRun last = std::exchange(run_, LineRun());
            add(FindingClass::Break, file.name, last.from,
                testsText(file_.series, last.testFrom, last.testTo) +
                    QStringLiteral(
                        "the last line has no chain entry yet: the station stopped between writing it "
                        "and sealing it, or is writing now"));
        }
    }
    closeRun(run_);
    closeRun(oddRun_);

    if (!lines_.error().isEmpty())
        add(FindingClass::Tampering, file.name, consumed_ + 1,
            QStringLiteral("cannot be read on from here: %1").arg(lines_.error()), consumed_ + 1);
    else if (lines_.tornBytes() > 0)
        add(FindingClass::Break, file.name, consumed_ + 1,
            QStringLiteral(
                "its end is torn: %1 after its last whole line (a crash while writing); the station "
                "sets them aside at its next line")
                .arg(plural(lines_.tornBytes(), "byte", "bytes")));
    if (headFound_)
        headMatches_.append({file.name, headLine_, firstTampering_ <= headLine_});
    series_ = nullptr;
}

void ArchiveVerifier::resolveHead(const ProtocolHead& head, const ArchiveSeriesCheck& official) {
    file_ = {};
    const QString sealed = head.text();
    // A head names its month; a plain P45 holds in the one file that holds test 45.
    QStringList files;
    if (head.month.isValid())
        files.append(ProtocolArchive::fileName(ArchiveSeries::Official, head.month));
    else
        files = official.filesOfTest(head.testNumber);
    if (files.size() > 1) {
        result_.protocolHead = VerifyResult::Head::Ambiguous;
        add(FindingClass::Tampering, QString(), 0,
            QStringLiteral(
                "the sealed protocol head %1 does not say which month: test %2 is begun in %3; a head as "
                "seal prints it names its month (P2026-12/45)")
                .arg(sealed)
                .arg(head.testNumber)
                .arg(files.join(QStringLiteral(" and "))));
        return;
    }
    for (const HeadMatch& match : headMatches_) {
        if (files.isEmpty() || match.file == files[0]) {
            result_.protocolHead = match.broken ? VerifyResult::Head::Broken : VerifyResult::Head::Holds;
            return;
        }
    }
    result_.protocolHead = VerifyResult::Head::Missing;
    add(FindingClass::Tampering, QString(), 0,
        head.month.isValid()
            ? QStringLiteral(
                  "the sealed protocol head %1 is not in the chain of %2: the chain was rewritten, cut "
                  "short or removed")
                  .arg(sealed, files[0])
            : QStringLiteral("the sealed protocol head %1 is not in the test archive's chains: a chain was "
                             "rewritten, cut short or removed")
                  .arg(sealed));
}

void ArchiveVerifier::run() {
    listNames();
    setUpKey();
    ArchiveSeriesCheck official;
    for (ArchiveSeries series : {ArchiveSeries::Official, ArchiveSeries::Training}) {
        ArchiveSeriesCheck training;
        ArchiveSeriesCheck& check = series == ArchiveSeries::Official ? official : training;
        const QList<ArchiveFile> months = archiveFiles(dir_, series);
        check.plan(dir_, months);
        for (const ArchiveFile& file : months)
            verifyFile(file, check);
        const ArchiveFile registry = archiveRegisterFile(series);
        if (fileKindAt(stationPath(dir_, registry.name)) != FileKind::Missing)
            verifyFile(registry, check);
        file_ = {};
        check.finish(dir_, [&](FindingClass kind, const QString& file, int line, const QString& text) {
            add(kind, file, line, text);
        });
    }
    if (const std::optional<ProtocolHead>& head = options_.expectProtocolHead)
        resolveHead(*head, official);
}

} // namespace

void verifyArchive(const QString& dir, const VerifyOptions& options, VerifyResult& result,
                   const FindingSink& sink) {
    ArchiveVerifier verifier(dir, options, result, sink);
    verifier.run();
}

ProtocolSeal protocolSeal(const QString& dir) {
    ProtocolSeal seal;
    const QList<ArchiveFile> files = archiveFiles(dir, ArchiveSeries::Official);
    if (files.isEmpty())
        return seal;
    // The head is the last line the series wrote: in the file of its latest test (the highest
    // number, wherever the clock put it), or the latest month when that file is gone.
    ArchiveFile latest = files.last();
    const SeriesLatest test = findSeriesLatest(dir, ArchiveSeries::Official);
    for (const ArchiveFile& file : files) {
        if (test.started && file.name == test.file)
            latest = file;
    }
    const QString chainPath = stationPath(dir, latest.chainName);
    if (fileKindAt(chainPath) == FileKind::Missing) {
        seal.error = QStringLiteral("%1: missing; the protocol archive has no head to seal").arg(chainPath);
        return seal;
    }
    StationFile chain;
    if (!chain.open(chainPath, StationFile::Access::Read, kMaxChainFileSize)) {
        seal.error = QStringLiteral("%1; the protocol archive has no head to seal").arg(chain.error());
        return seal;
    }
    const ChainTail tail = readChainTail(chain);
    if (!tail.error.isEmpty() || !tail.last) {
        seal.error =
            QStringLiteral("%1: %2; the protocol archive has no head to seal")
                .arg(chainPath, tail.error.isEmpty() ? QStringLiteral("no entry at its end") : tail.error);
        return seal;
    }
    if (tail.tornBytes() > 0)
        seal.note =
            QStringLiteral("%1: %2 after the last entry (a crash); the protocol head is the last whole "
                           "entry")
                .arg(chainPath, plural(tail.tornBytes(), "torn byte", "torn bytes"));
    // The test whose line the entry is about.
    ArchiveLineReader lines;
    if (!lines.open(stationPath(dir, latest.name))) {
        seal.error = QStringLiteral("%1; the protocol archive has no head to seal").arg(lines.error());
        return seal;
    }
    ArchiveLine line;
    int number = 0;
    while (number == 0 && lines.next(line)) {
        if (line.number == tail.last->examNumber)
            number = peekLine(line.bytes).number;
    }
    if (number == 0) {
        seal.error =
            QStringLiteral("%1 has no line %2 with a test number, which the chain's last entry seals; "
                           "run pregledi verify")
                .arg(stationPath(dir, latest.name))
                .arg(tail.last->examNumber);
        return seal;
    }
    seal.line = ProtocolHead{number, tail.last->hash.toHex(), latest.month}.text();
    return seal;
}

} // namespace vz
