// Before the archive's files are checked: the names of the directory that are the archive's
// (or look like it), the key to check with, and whether it fits a file's chain.
#include "ArchiveVerifier.h"

#include "ChainFile.h"
#include "ExamChain.h"
#include "VerifyHelpers.h"

#include <QDir>
#include <algorithm>

namespace vz::verify_parts {

void ArchiveVerifier::add(FindingClass kind, const QString& file, int line, const QString& text, int atLine) {
    result_.count(kind);
    if (kind == FindingClass::Tampering && file.startsWith(file_.name.left(17)) && !file_.name.isEmpty())
        firstTampering_ = std::min(firstTampering_, atLine);
    sink_({kind, 0, 0, file, line, text});
}

void ArchiveVerifier::listNames() {
    const QStringList names = QDir(dir_).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const ArchiveNameKind kind = archiveNameKind(name);
        const QString path = stationPath(dir_, name);
        switch (kind.kind) {
        case ArchiveName::Stray:
            add(FindingClass::Note, name, 0,
                QStringLiteral("not a name of the test archive's files; not checked"));
            break;
        case ArchiveName::Torn: {
            const FileKind fileKind = fileKindAt(path);
            if (fileKind != FileKind::Regular) {
                add(FindingClass::Tampering, name, 0,
                    QStringLiteral("%1: the station sets aside regular files only")
                        .arg(describeFileKind(fileKind)));
                break;
            }
            StationFile file;
            const QString size = file.open(path, StationFile::Access::Read)
                                     ? plural(file.size(), "byte", "bytes")
                                     : withoutPath(file.error(), path);
            add(FindingClass::Break, name, 0,
                QStringLiteral("the torn last line of %1 (%2), set aside by the station after a crash")
                    .arg(kind.file.name, size));
            break;
        }
        case ArchiveName::Chain:
        case ArchiveName::RegisterChain:
            if (fileKindAt(stationPath(dir_, kind.file.name)) == FileKind::Missing) {
                StationFile chain;
                int64_t entries = 0;
                if (chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
                    ChainLineReader reader(chain);
                    ChainLine line;
                    while (reader.next(line))
                        entries += line.entry ? 1 : 0;
                }
                if (entries > 0)
                    add(FindingClass::Tampering, name, 0,
                        QStringLiteral("its line file %1 is missing, though the chain seals %2: removed")
                            .arg(kind.file.name, plural(entries, "line", "lines")));
                else
                    add(FindingClass::Note, name, 0,
                        QStringLiteral("a chain without entries and without its line file %1")
                            .arg(kind.file.name));
            }
            break;
        case ArchiveName::None:
        case ArchiveName::Lines:
        case ArchiveName::Register:
            break;
        }
    }
}

void ArchiveVerifier::setUpKey() {
    const StationKey station = readStationKey(dir_);
    if (options_.offStationKey) {
        key_ = options_.offStationKey;
        keyName_ = options_.offStationKeyName;
        requireKeyed_ = true;
    } else if (station.present && station.error.isEmpty()) {
        key_ = station.key;
        keyName_ = QString::fromLatin1(kStationKeyFileName);
    } else if (options_.fallbackKey) {
        key_ = options_.fallbackKey;
        keyName_ = options_.fallbackKeyName;
    }
}

// Whether the key fits the file's chain, from its first keyed line entries.
bool ArchiveVerifier::probeKey(StationFile& chain, const QString& linesPath) {
    ArchiveLineReader lines;
    if (!lines.open(linesPath))
        return true;
    ChainLineReader reader(chain);
    ChainLine entryLine;
    ArchiveLine line;
    QByteArray previous;
    int tried = 0;
    while (reader.next(entryLine) && tried < kKeyProbeEntries) {
        if (!entryLine.entry)
            continue;
        const ChainEntry& entry = *entryLine.entry;
        if (entry.keyed) {
            if (entry.kind == ChainEntryKind::Break) {
                if (breakHash(previous, entry.examNumber, entry.reason, &*key_) == entry.hash)
                    return true;
                ++tried;
            } else {
                bool found = line.number == entry.examNumber;
                while (!found && line.number < entry.examNumber && lines.next(line))
                    found = line.number == entry.examNumber;
                if (found) {
                    if (hasher_.hash(previous, line.bytes, &*key_) == entry.hash)
                        return true;
                    ++tried;
                }
            }
        }
        previous = entry.hash;
    }
    return tried == 0;
}

} // namespace vz::verify_parts
