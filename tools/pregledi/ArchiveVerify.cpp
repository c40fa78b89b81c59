// `pregledi verify` over the test archive: both series, file by file, then the protocol head
// asked for.
#include "ArchiveVerify.h"

#include "ArchiveVerifier.h"

namespace vz {
namespace verify_parts {

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

} // namespace verify_parts

void verifyArchive(const QString& dir, const VerifyOptions& options, VerifyResult& result,
                   const FindingSink& sink) {
    verify_parts::ArchiveVerifier verifier(dir, options, result, sink);
    verifier.run();
}

} // namespace vz
