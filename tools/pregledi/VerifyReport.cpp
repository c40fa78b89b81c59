// `pregledi verify` as the user reads it: each finding on a line, then what was read, the
// seals asked for, the station's next repairs, the counts and the verdict.
#include "Verify.h"

#include "ExamChain.h"
#include "LogExport.h"
#include "TrailRecovery.h"
#include "VerifyHelpers.h"

#include <QDir>
#include <algorithm>

namespace vz {

using verify_parts::examinations;
using verify_parts::logPlaces;
using verify_parts::plural;

QString describeFinding(const VerifyFinding& finding) {
    QString label;
    switch (finding.kind) {
    case FindingClass::Tampering:
        label = QStringLiteral("TAMPERING");
        break;
    case FindingClass::Break:
        label = QStringLiteral("BREAK");
        break;
    case FindingClass::Note:
        label = QStringLiteral("NOTE");
        break;
    }
    QString where;
    if (!finding.file.isEmpty()) {
        where = finding.file;
        if (finding.line > 0)
            where += QStringLiteral(" line %1").arg(finding.line);
        if (finding.first > 0)
            where += QStringLiteral(" (%1)").arg(examinations(finding.first, finding.last));
    } else if (finding.first > 0) {
        where =
            QStringLiteral("%1 (%2)").arg(examinations(finding.first, finding.last),
                                          logPlaces(finding.first, std::max(finding.first, finding.last)));
    }
    return where.isEmpty() ? QStringLiteral("%1 %2").arg(label, finding.text)
                           : QStringLiteral("%1 %2: %3").arg(label, where, finding.text);
}

int reportVerify(const QString& dir, const VerifyOptions& options, QTextStream& out) {
    // The findings are printed as they are found; what was read, and the counts, follow them.
    // Names and texts from the station directory reach the terminal escaped (LogExport.h):
    // a file name holding a line break cannot print a line of its own.
    out << "verify: the trail in " << terminalText(QDir::toNativeSeparators(dir)) << '\n';
    out.flush();
    const VerifyResult result = verifyTrail(dir, options, [&](const VerifyFinding& finding) {
        out << terminalText(describeFinding(finding)) << '\n';
    });
    if (!result.error.isEmpty()) {
        out << "verify: cannot read the station directory: " << terminalText(result.error) << '\n';
        return result.status();
    }
    out << "log: " << plural(result.logFiles, "file", "files") << ", "
        << plural(result.records, "record", "records");
    if (result.lastNumber > 0)
        out << ", the last examination " << result.lastNumber;
    out << '\n';
    if (!result.chainFound) {
        out << "chain: none\n";
    } else {
        out << "chain: " << plural(result.entries, "entry", "entries") << " (" << result.matched
            << " matching their records, " << plural(result.recovered, "recovered entry", "recovered entries")
            << ", " << plural(result.breaks, "break", "breaks") << ")";
        if (result.keyedEntries > 0)
            out << "; " << result.keyedEntries << " keyed, checked with "
                << (result.checkedWith.isEmpty() ? QStringLiteral("no key")
                                                 : terminalText(result.checkedWith));
        out << '\n';
    }
    if (result.archiveFiles > 0)
        out << "test archive: " << plural(result.archiveFiles, "file", "files") << ", "
            << plural(result.archiveLines, "line", "lines") << " ("
            << plural(result.archiveTests, "test", "tests") << "), "
            << plural(result.archiveEntries, "chain entry", "chain entries") << " (" << result.archiveMatched
            << " matching their lines, " << plural(result.archiveBreaks, "break", "breaks") << ")\n";
    if (options.expectHead) {
        const QString sealed = QStringLiteral("%1 %2")
                                   .arg(options.expectHead->examNumber)
                                   .arg(QString::fromLatin1(options.expectHead->hexPrefix));
        switch (result.head) {
        case VerifyResult::Head::Holds:
            out << "seal: " << sealed << " is in the chain, and every record and link up to it matches\n";
            break;
        case VerifyResult::Head::Broken:
            out << "seal: " << sealed
                << " is in the chain, but the trail up to it was changed (the findings above)\n";
            break;
        case VerifyResult::Head::Missing:
            out << "seal: " << sealed << " is NOT in the chain\n";
            break;
        case VerifyResult::Head::Ambiguous:
        case VerifyResult::Head::NotAsked:
            break;
        }
    }
    if (options.expectProtocolHead) {
        const QString sealed = options.expectProtocolHead->text();
        switch (result.protocolHead) {
        case VerifyResult::Head::Holds:
            out << "seal: " << sealed
                << " is in the test archive, and every line and link of its file up to it "
                << "matches\n";
            break;
        case VerifyResult::Head::Broken:
            out << "seal: " << sealed
                << " is in the test archive, but its file up to it was changed (the findings above)\n";
            break;
        case VerifyResult::Head::Missing:
            out << "seal: " << sealed << " is NOT in the test archive\n";
            break;
        case VerifyResult::Head::Ambiguous:
            out << "seal: " << sealed << " does NOT say which month: its test is in more than one file\n";
            break;
        case VerifyResult::Head::NotAsked:
            break;
        }
    }
    // What the station's next start would repair: told, never done here.
    const RecoveryPlan plan = decideRecovery(inspectTrail(dir));
    const QStringList repairs = plan.describe();
    if (!repairs.isEmpty()) {
        out << "the station's next start:\n";
        for (const QString& line : repairs)
            out << "  " << terminalText(line) << '\n';
    }
    out << "summary: " << plural(result.tampering, "sign of tampering", "signs of tampering") << ", "
        << plural(result.breakFindings, "crash remnant or recorded break",
                  "crash remnants or recorded breaks");
    if (result.notes > 0)
        out << ", " << plural(result.notes, "note", "notes");
    out << '\n';
    switch (result.status()) {
    case kVerifyClean:
        out << "verify: every record is sealed and matches its entry, with no break (exit status 0)\n";
        break;
    case kVerifyBreaks:
        out << "verify: no sign of tampering, but crash remnants or recorded breaks: the examinations they "
               "name "
               "are not protected by the chain (exit status 3)\n";
        break;
    default:
        out << "verify: TAMPERING: the log or its chain was changed outside the station (exit status 1)\n";
        break;
    }
    return result.status();
}

int runVerifyCommand(const QString& dir, const QString& expectHead, const QString& keyFile, QTextStream& out,
                     QTextStream& err, const QString& expectProtocolHead) {
    VerifyOptions options;
    if (!expectProtocolHead.isEmpty()) {
        options.expectProtocolHead = parseProtocolHead(expectProtocolHead);
        if (!options.expectProtocolHead) {
            err << "pregledi: --expect-head " << terminalText(expectProtocolHead)
                << ": not P2026-12/45:HEX (or P45:HEX) with at least " << kMinHeadHexDigits
                << " hex digits\n";
            return kVerifyUsage;
        }
    }
    if (!expectHead.isEmpty()) {
        options.expectHead = parseExpectedHead(expectHead);
        if (!options.expectHead) {
            err << "pregledi: --expect-head " << terminalText(expectHead) << ": not NUMBER:HEX with at least "
                << kMinHeadHexDigits << " hex digits\n";
            return kVerifyUsage;
        }
    }
    if (!keyFile.isEmpty()) {
        const StationKey key = readKeyFile(keyFile);
        if (!key.error.isEmpty()) {
            err << "pregledi: --key: " << terminalText(key.error) << '\n';
            return kVerifyUsage;
        }
        options.offStationKey = key.key;
        options.offStationKeyName = keyFile;
    }
    return reportVerify(dir, options, out);
}

} // namespace vz
