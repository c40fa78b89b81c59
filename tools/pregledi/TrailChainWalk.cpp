// The walk along the chain: each entry in its turn, checked against the record at its place
// (or near it), with the examinations between entries set down for their verdicts.
#include "TrailVerifier.h"

#include "LogFiles.h"
#include "VerifyHelpers.h"

#include <algorithm>
#include <vector>

namespace vz::verify_parts {

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

} // namespace vz::verify_parts
