// The verdict on each place of the log, once no later entry can account for it, and the
// records that do not follow the layout, told in runs.
#include "TrailVerifier.h"

#include "ExamLogReader.h"
#include "LogFiles.h"
#include "VerifyHelpers.h"

#include <algorithm>
#include <utility>

namespace vz::verify_parts {

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

} // namespace vz::verify_parts
