#include "ExamChain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz {
namespace {

QString systemError(const QString& fileName, int code) {
    return QStringLiteral("%1: %2").arg(fileName, QString::fromLocal8Bit(std::strerror(code)));
}

bool isLowerHex(const QByteArray& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    if (written >= 0 && written != bytes.size())
        errno = ENOSPC;
    return written == bytes.size();
}

} // namespace

QByteArray chainEntryLine(const ChainEntry& entry) {
    return QByteArray::number(entry.examNumber).rightJustified(8, '0') + ' ' +
           (entry.keyed ? QByteArray("hmac  ") : QByteArray("sha256")) + ' ' + entry.hash.toHex() + "\r\n";
}

std::optional<ChainEntry> parseChainEntryLine(const QByteArray& line) {
    if (line.size() != kChainEntrySize || !line.endsWith("\r\n") || line[8] != ' ' || line[15] != ' ')
        return std::nullopt;
    const QByteArray number = line.left(8);
    for (char c : number) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const QByteArray mode = line.mid(9, 6);
    const QByteArray hex = line.mid(16, 64);
    if ((mode != "sha256" && mode != "hmac  ") || !isLowerHex(hex))
        return std::nullopt;
    ChainEntry entry;
    entry.examNumber = number.toInt();
    entry.keyed = mode == "hmac  ";
    entry.hash = QByteArray::fromHex(hex);
    return entry;
}

QByteArray chainHash(const QByteArray& previous, const QByteArray& record, const QByteArray* key) {
    const QByteArray link = previous.isEmpty() ? QByteArray(kChainHashSize, '\0') : previous;
    if (key)
        return QMessageAuthenticationCode::hash(link + record, *key, QCryptographicHash::Sha256);
    return QCryptographicHash::hash(link + record, QCryptographicHash::Sha256);
}

StationKey readStationKey(const QString& dir) {
    StationKey result;
    const QString path = QDir(dir).filePath(QString::fromLatin1(kStationKeyFileName));
    QFile file(path);
    if (!file.exists())
        return result;
    result.present = true;
    if (!file.open(QIODevice::ReadOnly)) {
        result.error =
            QStringLiteral("%1: %2").arg(QString::fromLatin1(kStationKeyFileName), file.errorString());
        return result;
    }
    const QByteArray text = file.read(200).trimmed();
    if (text.size() != 2 * kChainHashSize || !isLowerHex(text.toLower())) {
        result.error = QStringLiteral("%1: not a station key (64 hex digits expected)")
                           .arg(QString::fromLatin1(kStationKeyFileName));
        return result;
    }
    result.key = QByteArray::fromHex(text);
    return result;
}

bool createStationKey(const QString& dir, QString* error) {
    const QString name = QString::fromLatin1(kStationKeyFileName);
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(name));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (error)
            *error = errno == EEXIST ? QStringLiteral("%1: exists already; it is not replaced").arg(name)
                                     : systemError(name, errno);
        return false;
    }
    QByteArray key(kChainHashSize, '\0');
    QRandomGenerator::system()->generate(key.begin(), key.end());
    // The umask can only take bits away; make sure of 0600 whatever it was.
    const bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, key.toHex() + '\n') && ::fsync(fd) == 0;
    const int failure = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(path.constData());
        if (error)
            *error = systemError(name, failure);
        return false;
    }
    return true;
}

ExamChainAppend::~ExamChainAppend() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool ExamChainAppend::open(QString* error) {
    const QString name = QString::fromLatin1(kChainFileName);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    key_ = readStationKey(QStringLiteral("."));
    if (!key_.error.isEmpty())
        return fail(key_.error);
    struct stat before {};
    created_ = ::lstat(kChainFileName, &before) != 0;
    fd_ = ::open(kChainFileName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0)
        return fail(systemError(name, errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        return fail(systemError(name, errno));
    if (!S_ISREG(info.st_mode))
        return fail(systemError(name, S_ISDIR(info.st_mode) ? EISDIR : EINVAL));
    oldSize_ = info.st_size;
    // A chain that is not whole entries, or whose last entry cannot be read, is not
    // extended: a new entry would hide where it was damaged.
    if (oldSize_ % kChainEntrySize != 0)
        return fail(QStringLiteral("%1: damaged (not whole entries)").arg(name));
    if (oldSize_ > 0) {
        QByteArray last(kChainEntrySize, '\0');
        if (::pread(fd_, last.data(), kChainEntrySize, oldSize_ - kChainEntrySize) != kChainEntrySize)
            return fail(systemError(name, errno ? errno : EIO));
        const std::optional<ChainEntry> entry = parseChainEntryLine(last);
        if (!entry)
            return fail(QStringLiteral("%1: damaged (its last entry cannot be read)").arg(name));
        previous_ = entry->hash;
    }
    return true;
}

bool ExamChainAppend::append(int examNumber, const QByteArray& record, QString* error) {
    ChainEntry entry;
    entry.examNumber = examNumber;
    entry.keyed = key_.present;
    entry.hash = chainHash(previous_, record, key_.present ? &key_.key : nullptr);
    if (::lseek(fd_, 0, SEEK_END) < 0 || !writeAll(fd_, chainEntryLine(entry)) || ::fsync(fd_) != 0) {
        if (error)
            *error = systemError(QString::fromLatin1(kChainFileName), errno);
        return false;
    }
    return true;
}

bool ExamChainAppend::close(QString* error) {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) {
        if (error)
            *error = systemError(QString::fromLatin1(kChainFileName), errno);
        return false;
    }
    return true;
}

void ExamChainAppend::rollback() {
    if (created_) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        struct stat info {};
        if (::lstat(kChainFileName, &info) == 0 && S_ISREG(info.st_mode))
            ::unlink(kChainFileName);
        return;
    }
    if (fd_ < 0)
        fd_ = ::open(kChainFileName, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ >= 0) {
        struct stat info {};
        if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd_, oldSize_) == 0)
            ::fsync(fd_);
    }
}

} // namespace vz
