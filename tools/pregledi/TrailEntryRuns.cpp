// Entries in a row with the same outcome, joined into one event and told as one finding.
#include "TrailVerifier.h"

#include "VerifyHelpers.h"

#include <cstdlib>

namespace vz::verify_parts {

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

} // namespace vz::verify_parts
