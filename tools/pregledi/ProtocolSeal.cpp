// The protocol head of `pregledi seal`: the last entry of the official series' latest file.
#include "ArchiveVerify.h"

#include "ArchiveAnchors.h"
#include "ChainFile.h"
#include "ExamChain.h"
#include "StationFile.h"
#include "TestArchive.h"
#include "VerifyHelpers.h"

namespace vz {

using verify_parts::plural;

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
