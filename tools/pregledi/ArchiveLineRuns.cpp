// The lines of the file under check, read one by one, and lines in a row with the same
// verdict told as one finding.
#include "ArchiveVerifier.h"

#include "ArchiveAnchors.h"
#include "VerifyHelpers.h"

#include <utility>

namespace vz::verify_parts {

QString linesWhere(const QString& file, int from, int to) {
    return to > from ? QStringLiteral("%1 lines %2-%3").arg(file).arg(from).arg(to) : file;
}

QString testsText(ArchiveSeries series, int from, int to) {
    if (from <= 0)
        return QString();
    return testRangeText(series, from, to) + QStringLiteral(": ");
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

} // namespace vz::verify_parts
