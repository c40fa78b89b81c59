// One archive file checked against its chain: every entry against the line of its number,
// and the lines no entry seals.
#include "ArchiveVerifier.h"

#include "ChainFile.h"
#include "ExamChain.h"
#include "VerifyHelpers.h"

#include <algorithm>
#include <utility>

namespace vz::verify_parts {

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

} // namespace vz::verify_parts
