#pragma once
// The chain beside the examination log: Pregledi.chain in the same directory holds one text
// line per entry, in the order the station wrote them:
//
//     NNNNNNNN MODE   HASH CR LF                 a record sealed when it was logged
//     NNNNNNNN MODE   HASH CR LF                 (MODE rc-sha/rc-hmc) the last record, sealed
//                                                at the next start after a crash between the
//                                                record and its entry
//     NNNNNNNN MODE   HASH REASON CR LF          (MODE bk-sha/bk-hmc) a break: the chain goes on
//                                                here, and REASON says why records before the
//                                                next record entry may have no entry
//
// NNNNNNNN is the examination number in 8 digits, MODE six letters ("sha256" or "hmac  " for a
// record sealed at PRINT) and HASH 64 lower-case hex digits: SHA-256, or HMAC-SHA256 with the
// station key, of the previous entry's 32 hash bytes (32 zero bytes for the first entry)
// followed by the record's 160 bytes, or for a break by "break NNNNNNNN REASON". Record
// entries are 82 bytes, as every chain written before breaks existed; REASON is printable
// ASCII. Changing, removing, reordering or adding a record without the station breaks the
// chain at that examination; with a key, the chain cannot be rebuilt without the key either.
// The log files themselves stay exactly as they are.
#include <QByteArray>
#include <QString>
#include <optional>

namespace vz {

inline constexpr char kChainFileName[] = "Pregledi.chain";
inline constexpr char kStationKeyFileName[] = "Pregledi.key";
constexpr int kChainEntrySize = 8 + 1 + 6 + 1 + 64 + 2; // a record entry
constexpr int kChainHashSize = 32;
constexpr int kMaxBreakReason = 160;
constexpr int kMaxChainLineSize = kChainEntrySize + 1 + kMaxBreakReason;
// No station writes a chain near this size (82 bytes per examination: 65536 log files of 200
// records make about 1.1 GB); a larger file is reported, not read.
constexpr qint64 kMaxChainFileSize = qint64(2) * 1024 * 1024 * 1024;

enum class ChainEntryKind {
    Record,    // sealed when the record was logged
    Recovered, // the last record, sealed at the next start after a crash
    Break,     // the chain goes on after trouble; `reason` says which
};

struct ChainEntry {
    int examNumber = 0;
    bool keyed = false;
    QByteArray hash; // 32 bytes
    ChainEntryKind kind = ChainEntryKind::Record;
    QByteArray reason; // breaks only: printable ASCII, 1..kMaxBreakReason bytes

    bool sealsRecord() const { return kind != ChainEntryKind::Break; }
};

QByteArray chainEntryLine(const ChainEntry& entry);
// Nothing when the line (with its CR LF) is not one chainEntryLine() makes.
std::optional<ChainEntry> parseChainEntryLine(const QByteArray& line);
// A reason made fit for a break entry: other bytes become '?', cut to kMaxBreakReason.
QByteArray breakReason(const QString& text);

// The hash of a record entry. `previous` is the previous entry's hash, empty for the first.
QByteArray chainHash(const QByteArray& previous, const QByteArray& record, const QByteArray* key);
// The hash of a break entry.
QByteArray breakHash(const QByteArray& previous, int examNumber, const QByteArray& reason,
                     const QByteArray* key);
// The hash `entry` should have after `previous`, given the record it seals (ignored for a break).
QByteArray expectedHash(const QByteArray& previous, const ChainEntry& entry, const QByteArray& record,
                        const QByteArray* key);

struct StationKey {
    bool present = false;
    QByteArray key; // 32 bytes when present and usable
    QString error;  // the key file exists but cannot be used
};
// Reads dir/Pregledi.key: 64 hex digits and a line break. Not through a link, not a FIFO.
StationKey readStationKey(const QString& dir);
// Reads a key kept off the station (the same format) from any path.
StationKey readKeyFile(const QString& path);
// Makes dir/Pregledi.key with a new random key, readable by its owner only (0600): written to
// a new file, synced and linked into place, so that a crash leaves either no key or a whole
// one. An existing file is never replaced.
bool createStationKey(const QString& dir, QString* error);

} // namespace vz
