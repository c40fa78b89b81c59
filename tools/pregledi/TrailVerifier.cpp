// The frame of the pass over the examination log: the findings held and passed on in order,
// the pass's steps in turn, and what is told once the chain has been read.
#include "TrailVerifier.h"

#include "VerifyHelpers.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace vz::verify_parts {

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

} // namespace vz::verify_parts
