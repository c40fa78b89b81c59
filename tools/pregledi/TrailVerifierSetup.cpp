// Before the pass over the chain: the directory's other names, the key to check with, the
// chain opened, and whether the key fits it.
#include "TrailVerifier.h"

#include "LogFiles.h"
#include "TrailNames.h"
#include "VerifyHelpers.h"

#include <QDir>

namespace vz::verify_parts {

void TrailVerifier::listDirectory() {
    const QStringList names = QDir(dir_).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const TrailName kind = trailNameKind(name);
        const QString path = QDir(dir_).filePath(name);
        switch (kind) {
        case TrailName::ChainTorn:
        case TrailName::ChainAside:
        case TrailName::LogTorn: {
            const FileKind fileKind = fileKindAt(path);
            if (fileKind != FileKind::Regular) {
                add(0, {FindingClass::Tampering, 0, 0, name, 0,
                        QStringLiteral("%1: the station sets aside regular files only")
                            .arg(describeFileKind(fileKind))});
                break;
            }
            StationFile file;
            const QString size = file.open(path, StationFile::Access::Read)
                                     ? plural(file.size(), "byte", "bytes")
                                     : withoutPath(file.error(), path);
            QString what;
            if (kind == TrailName::ChainTorn)
                what = QStringLiteral("the torn end of %1 (%2), set aside by the station after a crash")
                           .arg(kChainName, size);
            else if (kind == TrailName::ChainAside)
                what =
                    QStringLiteral("a chain (%1) the station could not read and set aside; a new chain began "
                                   "after it with a break")
                        .arg(size);
            else
                what = QStringLiteral("the torn end of %1 (%2), set aside by the station after a crash")
                           .arg(name.left(17), size);
            add(0, {FindingClass::Break, 0, 0, name, 0, what});
            break;
        }
        case TrailName::Printing: {
            StationFile file;
            QByteArray text;
            if (file.open(path, StationFile::Access::Read, 64) && file.readAt(0, 64, text))
                add(0, {FindingClass::Note, 0, 0, name, 0,
                        QStringLiteral("examination %1 was logged but its printing had not finished (the "
                                       "station is printing, or it stopped while printing)")
                            .arg(QString::fromLatin1(text.trimmed()))});
            break;
        }
        case TrailName::Leftover:
            add(0, {FindingClass::Note, 0, 0, name, 0,
                    QStringLiteral("left over from a write that did not finish; not part of the trail")});
            break;
        case TrailName::Stray:
            add(0, {FindingClass::Note, 0, 0, name, 0,
                    QStringLiteral("not a name of the trail's files; not checked")});
            break;
        case TrailName::None:
        case TrailName::LogFile:
        case TrailName::Chain:
        case TrailName::Key:
        case TrailName::Lock:
            break;
        }
    }
}

void TrailVerifier::setUpKey() {
    const StationKey station = readStationKey(dir_);
    if (station.present && !station.error.isEmpty())
        add(0, {FindingClass::Tampering, 0, 0, kKeyName, 0,
                withoutPath(station.error, QDir(dir_).filePath(kKeyName)) +
                    QStringLiteral(": the station makes its key whole or not at all")});
    if (options_.offStationKey) {
        key_ = options_.offStationKey;
        requireKeyed_ = true;
        result_.checkedWith = options_.offStationKeyName;
    } else if (station.present && station.error.isEmpty()) {
        key_ = station.key;
        result_.checkedWith = kKeyName;
    } else if (options_.fallbackKey) {
        key_ = options_.fallbackKey;
        result_.checkedWith = options_.fallbackKeyName;
    }
}

bool TrailVerifier::openChain() {
    const QString path = QDir(dir_).filePath(kChainName);
    const FileKind kind = fileKindAt(path);
    if (kind == FileKind::Missing) {
        if (requireKeyed_)
            add(0, {FindingClass::Tampering, 0, 0, kChainName, 0,
                    QStringLiteral("missing: there is no chain to check with the key kept off the station")});
        return false;
    }
    result_.chainFound = true;
    if (!chain_.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        add(0, {FindingClass::Tampering, 0, 0, kChainName, 0,
                QStringLiteral("%1: the station writes no such chain; no examination can be checked")
                    .arg(withoutPath(chain_.error(), path))});
        return false;
    }
    chainSize_ = chain_.size();
    return true;
}

// Whether the key fits the chain, from its first keyed entries: a keyed break needs no record,
// so one of those decides; otherwise a record entry whose record is at its place. When none of
// the first few matches, the chain was keyed with another key (or the key was replaced), and
// that is one finding instead of one for every entry.
void TrailVerifier::probeKey() {
    ChainLineReader reader(chain_);
    ChainLine line;
    QByteArray previous;
    int tried = 0;
    while (reader.next(line)) {
        if (!line.entry)
            continue;
        const ChainEntry& entry = *line.entry;
        if (entry.keyed) {
            keyedSeen_ = true;
            if (!key_)
                break;
            QByteArray record;
            const bool isBreak = entry.kind == ChainEntryKind::Break;
            if (isBreak || (log_.at(entry.examNumber) == LogPlaces::State::Record &&
                            log_.read(entry.examNumber, record) && !isFillerRecord(record))) {
                if (expectedHash(previous, entry, record, &*key_) == entry.hash)
                    return;
                if (++tried >= kKeyProbeEntries)
                    break;
            }
        }
        previous = entry.hash;
    }
    if (keyedSeen_ && !key_) {
        add(0, {FindingClass::Tampering, 0, 0, kKeyName, 0,
                QStringLiteral("the chain has keyed entries, but there is no usable key to check them with: "
                               "they are not checked")});
    } else if (tried > 0) {
        keyFits_ = false;
        add(0, {FindingClass::Tampering, 0, 0, result_.checkedWith, 0,
                QStringLiteral(
                    "none of the chain's first keyed entries matches with this key: the chain was "
                    "keyed with another key, or the key was replaced; keyed entries are not checked")});
    }
}

} // namespace vz::verify_parts
