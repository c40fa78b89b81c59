// The chain entry of one archive line, checked as verify checks every line.
#include "TestArchive.h"

#include "ChainFile.h"
#include "ExamChain.h"

namespace vz {

LineSeal sealOfLine(const QString& dir, const ArchiveFile& file, int lineNumber, const QByteArray& bytes) {
    LineSeal seal;
    const QString path = stationPath(dir, file.chainName);
    if (fileKindAt(path) == FileKind::Missing) {
        seal.trouble = QStringLiteral("%1 is missing").arg(file.chainName);
        return seal;
    }
    StationFile chain;
    if (!chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        seal.trouble = chain.error();
        return seal;
    }
    ChainLineReader reader(chain);
    ChainLine line;
    QByteArray previous;
    while (reader.next(line)) {
        if (!line.entry)
            continue;
        const ChainEntry& entry = *line.entry;
        if (entry.examNumber == lineNumber && entry.sealsRecord()) {
            seal.hash = entry.hash;
            seal.keyed = entry.keyed;
            const StationKey key = readStationKey(dir);
            if (entry.keyed && (!key.present || !key.error.isEmpty())) {
                seal.state = LineSeal::State::Unchecked;
                return seal;
            }
            seal.state = chainHash(previous, bytes, entry.keyed ? &key.key : nullptr) == entry.hash
                             ? LineSeal::State::Matches
                             : LineSeal::State::Differs;
            return seal;
        }
        previous = entry.hash;
    }
    if (!reader.error().isEmpty()) {
        seal.trouble = reader.error();
        return seal;
    }
    seal.state = LineSeal::State::NoEntry;
    return seal;
}

} // namespace vz
