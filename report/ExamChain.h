#pragma once
// The chain beside the examination log: Pregledi.chain in the same directory holds one
// fixed-size text line per logged examination,
//
//     NNNNNNNN MODE   HASH CR LF
//
// the examination number in 8 digits, "sha256" or "hmac  " and 64 hex digits: SHA-256 (or,
// when the station has a key file, HMAC-SHA256 with that key) of the previous entry's 32
// hash bytes followed by the record's 160 bytes. The first entry follows 32 zero bytes.
// Changing, removing, reordering or adding a record without the station breaks the chain
// at that examination; with a key, the chain cannot be rebuilt without the key either.
// The log files themselves stay exactly as they are.
#include <QByteArray>
#include <QString>
#include <optional>

namespace vz {

inline constexpr char kChainFileName[] = "Pregledi.chain";
inline constexpr char kStationKeyFileName[] = "Pregledi.key";
constexpr int kChainEntrySize = 8 + 1 + 6 + 1 + 64 + 2;
constexpr int kChainHashSize = 32;

struct ChainEntry {
    int examNumber = 0;
    bool keyed = false;
    QByteArray hash; // 32 bytes
};

QByteArray chainEntryLine(const ChainEntry& entry);
// Nothing when the line is not one chainEntryLine() makes.
std::optional<ChainEntry> parseChainEntryLine(const QByteArray& line);

// The hash of one entry. `previous` is the previous entry's hash, empty for the first.
QByteArray chainHash(const QByteArray& previous, const QByteArray& record, const QByteArray* key);

struct StationKey {
    bool present = false;
    QByteArray key; // 32 bytes when present
    QString error;  // the key file exists but cannot be used
};
// Reads dir/Pregledi.key: 64 hex digits and a line break.
StationKey readStationKey(const QString& dir);
// Makes dir/Pregledi.key with a new random key, readable by its owner only (0600). An
// existing file is never replaced.
bool createStationKey(const QString& dir, QString* error);

// One chain entry added beside one log record in the current directory. open() reads the
// key and the chain's last entry; append() writes the new entry and makes it durable;
// rollback() cuts the chain back to what it was (or removes the file it created).
class ExamChainAppend {
public:
    ExamChainAppend() = default;
    ExamChainAppend(const ExamChainAppend&) = delete;
    ExamChainAppend& operator=(const ExamChainAppend&) = delete;
    ~ExamChainAppend();

    bool open(QString* error);
    bool append(int examNumber, const QByteArray& record, QString* error);
    bool close(QString* error);
    void rollback();

private:
    int fd_ = -1;
    bool created_ = false;
    long long oldSize_ = 0;
    QByteArray previous_;
    StationKey key_;
};

} // namespace vz
