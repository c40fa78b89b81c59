#include "ExamChain.h"

#include "StationFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace vz {
namespace {

bool isLowerHex(const QByteArray& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

namespace {

struct Mode {
    ChainEntryKind kind;
    bool keyed;
    const char* word; // six letters
};
constexpr Mode kModes[] = {
    {ChainEntryKind::Record, false, "sha256"},    {ChainEntryKind::Record, true, "hmac  "},
    {ChainEntryKind::Recovered, false, "rc-sha"}, {ChainEntryKind::Recovered, true, "rc-hmc"},
    {ChainEntryKind::Break, false, "bk-sha"},     {ChainEntryKind::Break, true, "bk-hmc"},
};

bool isReasonText(const QByteArray& reason) {
    if (reason.isEmpty() || reason.size() > kMaxBreakReason)
        return false;
    for (char c : reason) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

QByteArray eightDigits(int number) {
    return QByteArray::number(number).rightJustified(8, '0');
}

} // namespace

QByteArray chainEntryLine(const ChainEntry& entry) {
    const char* word = "sha256";
    for (const Mode& mode : kModes) {
        if (mode.kind == entry.kind && mode.keyed == entry.keyed)
            word = mode.word;
    }
    QByteArray line = eightDigits(entry.examNumber) + ' ' + word + ' ' + entry.hash.toHex();
    if (entry.kind == ChainEntryKind::Break)
        line += ' ' + entry.reason;
    return line + "\r\n";
}

std::optional<ChainEntry> parseChainEntryLine(const QByteArray& line) {
    if (line.size() < kChainEntrySize || line.size() > kMaxChainLineSize || !line.endsWith("\r\n") ||
        line[8] != ' ' || line[15] != ' ')
        return std::nullopt;
    const QByteArray number = line.left(8);
    for (char c : number) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const QByteArray word = line.mid(9, 6);
    const Mode* mode = nullptr;
    for (const Mode& candidate : kModes) {
        if (word == candidate.word)
            mode = &candidate;
    }
    const QByteArray hex = line.mid(16, 64);
    if (!mode || !isLowerHex(hex))
        return std::nullopt;
    ChainEntry entry;
    entry.examNumber = number.toInt();
    entry.keyed = mode->keyed;
    entry.kind = mode->kind;
    entry.hash = QByteArray::fromHex(hex);
    if (mode->kind == ChainEntryKind::Break) {
        // "... HASH REASON CR LF"
        if (line.size() < kChainEntrySize + 2 || line[80] != ' ')
            return std::nullopt;
        entry.reason = line.mid(81, line.size() - 83);
        if (!isReasonText(entry.reason))
            return std::nullopt;
    } else if (line.size() != kChainEntrySize) {
        return std::nullopt;
    }
    return entry;
}

QByteArray breakReason(const QString& text) {
    QByteArray reason;
    for (QChar ch : text) {
        if (reason.size() == kMaxBreakReason)
            break;
        const char16_t c = ch.unicode();
        reason += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
    }
    return reason.isEmpty() ? QByteArray("?") : reason;
}

QByteArray chainHash(const QByteArray& previous, const QByteArray& record, const QByteArray* key) {
    const QByteArray link = previous.isEmpty() ? QByteArray(kChainHashSize, '\0') : previous;
    if (key)
        return QMessageAuthenticationCode::hash(link + record, *key, QCryptographicHash::Sha256);
    return QCryptographicHash::hash(link + record, QCryptographicHash::Sha256);
}

QByteArray breakHash(const QByteArray& previous, int examNumber, const QByteArray& reason,
                     const QByteArray* key) {
    return chainHash(previous, "break " + eightDigits(examNumber) + ' ' + reason, key);
}

QByteArray expectedHash(const QByteArray& previous, const ChainEntry& entry, const QByteArray& record,
                        const QByteArray* key) {
    if (entry.kind == ChainEntryKind::Break)
        return breakHash(previous, entry.examNumber, entry.reason, key);
    return chainHash(previous, record, key);
}

namespace {

StationKey readKeyAt(const QString& path, const QString& name) {
    StationKey result;
    const FileKind kind = fileKindAt(path);
    if (kind == FileKind::Missing)
        return result;
    result.present = true;
    StationFile file;
    QByteArray text;
    if (!file.open(path, StationFile::Access::Read, 4096) || !file.readAt(0, 4096, text)) {
        result.error = file.error();
        return result;
    }
    text = text.trimmed();
    if (text.isEmpty()) {
        result.error = QStringLiteral("%1: empty, not a station key").arg(name);
        return result;
    }
    if (text.size() != 2 * kChainHashSize || !isLowerHex(text.toLower())) {
        result.error = QStringLiteral("%1: not a station key (64 hex digits expected)").arg(name);
        return result;
    }
    result.key = QByteArray::fromHex(text);
    return result;
}

} // namespace

StationKey readStationKey(const QString& dir) {
    const QString name = QString::fromLatin1(kStationKeyFileName);
    return readKeyAt(stationPath(dir, name), name);
}

StationKey readKeyFile(const QString& path) {
    StationKey key = readKeyAt(path, path);
    if (!key.present)
        key.error = QStringLiteral("%1: no such file").arg(path);
    return key;
}

bool createStationKey(const QString& dir, QString* error) {
    QByteArray key(kChainHashSize, '\0');
    QRandomGenerator::system()->generate(key.begin(), key.end());
    return writeFileAtomically(stationPath(dir, QString::fromLatin1(kStationKeyFileName)), key.toHex() + '\n',
                               kKeyFileMode, false, error);
}

} // namespace vz
