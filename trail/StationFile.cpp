#include "StationFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz {
namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISLNK(mode))
        return FileKind::SymLink;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    return FileKind::Other;
}

} // namespace

FileKind fileKindAt(const QString& path) {
    struct stat info {};
    if (::lstat(encoded(path).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Unreadable;
    return kindOf(info.st_mode);
}

QString describeFileKind(FileKind kind) {
    switch (kind) {
    case FileKind::Missing:
        return QStringLiteral("missing");
    case FileKind::Regular:
        return QStringLiteral("a regular file");
    case FileKind::SymLink:
        return QStringLiteral("a symbolic link");
    case FileKind::Directory:
        return QStringLiteral("a directory");
    case FileKind::Fifo:
        return QStringLiteral("a FIFO");
    case FileKind::Other:
        return QStringLiteral("not a regular file");
    case FileKind::Unreadable:
        return QStringLiteral("cannot be examined");
    }
    return QString();
}

QString systemErrorText(const QString& path, int code) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(code)));
}

QString stationPath(const QString& dir, const QString& name) {
    if (dir.isEmpty() || dir == u".")
        return name;
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

QString directoryOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

StationFile::StationFile(StationFile&& other) noexcept {
    *this = std::move(other);
}

StationFile& StationFile::operator=(StationFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        created_ = other.created_;
        device_ = other.device_;
        inode_ = other.inode_;
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        errorCode_ = other.errorCode_;
    }
    return *this;
}

StationFile::~StationFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool StationFile::fail(int code, const QString& what) {
    errorCode_ = code;
    error_ = what.isEmpty() ? systemErrorText(path_, code) : QStringLiteral("%1: %2").arg(path_, what);
    return false;
}

bool StationFile::open(const QString& path, Access access, int64_t maxSize, mode_t createMode) {
    close();
    path_ = path;
    error_.clear();
    errorCode_ = 0;
    created_ = false;
    const QByteArray name = encoded(path);
    int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (access == Access::Read ? O_RDONLY : O_RDWR);
    int fd = ::open(name.constData(), flags);
    if (fd < 0 && errno == ENOENT && access == Access::ReadWriteCreate) {
        // O_EXCL tells whether this call made the file; a name that appears in between is
        // opened as it is.
        fd = ::open(name.constData(), flags | O_CREAT | O_EXCL, createMode);
        if (fd >= 0)
            created_ = true;
        else if (errno == EEXIST)
            fd = ::open(name.constData(), flags);
    }
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP || code == EMLINK)
            return fail(code, describeFileKind(FileKind::SymLink) + QStringLiteral(", not used"));
        if (code == ENXIO) // a FIFO with no writer, opened for writing
            return fail(code, describeFileKind(FileKind::Fifo) + QStringLiteral(", not used"));
        if (code == EISDIR)
            return fail(code, describeFileKind(FileKind::Directory) + QStringLiteral(", not used"));
        return fail(code);
    }
    fd_ = fd;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        const int code = errno;
        close();
        return fail(code);
    }
    if (!S_ISREG(info.st_mode)) {
        close();
        return fail(EINVAL, describeFileKind(kindOf(info.st_mode)) + QStringLiteral(", not used"));
    }
    if (info.st_size > maxSize) {
        close();
        return fail(EFBIG,
                    QStringLiteral("%1 bytes, more than any station writes; not read").arg(info.st_size));
    }
    // A regular file: blocking I/O from here on.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (created_)
        ::fchmod(fd_, createMode); // the umask can take bits away, never add them
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return true;
}

int64_t StationFile::size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return -1;
    return info.st_size;
}

bool StationFile::readAt(int64_t offset, int64_t length, QByteArray& bytes) {
    bytes.resize(length);
    int64_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(fd_, bytes.data() + done, static_cast<size_t>(length - done), offset + done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            bytes.resize(done);
            return fail(errno);
        }
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

bool StationFile::writeAt(int64_t offset, const QByteArray& bytes) {
    int64_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), offset + done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (put == 0)
            return fail(ENOSPC);
        done += put;
    }
    return true;
}

bool StationFile::append(const QByteArray& bytes) {
    const int64_t end = size();
    if (end < 0)
        return fail(errno);
    return writeAt(end, bytes);
}

bool StationFile::sync() {
    return ::fsync(fd_) == 0 || fail(errno);
}

bool StationFile::truncate(int64_t newSize) {
    return ::ftruncate(fd_, newSize) == 0 || fail(errno);
}

bool StationFile::close() {
    if (fd_ < 0)
        return true;
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 || fail(errno);
}

bool syncDirectory(const QString& dir, QString* error) {
    const int fd = ::open(encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = systemErrorText(dir, code);
        return false;
    }
    ::close(fd);
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode, bool replace,
                         QString* error) {
    const QString dir = directoryOf(path);
    const QString temporary =
        QStringLiteral("%1.new-%2-%3")
            .arg(path)
            .arg(::getpid())
            .arg(QRandomGenerator::system()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    const QByteArray temporaryName = encoded(temporary);
    auto fail = [&](const QString& text) {
        ::unlink(temporaryName.constData());
        if (error)
            *error = text;
        return false;
    };
    const int fd =
        ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        const int code = errno;
        if (error)
            *error = systemErrorText(temporary, code);
        return false;
    }
    StationFile file;
    bool ok = ::fchmod(fd, mode) == 0;
    int code = ok ? 0 : errno;
    int64_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            ok = false;
            code = put < 0 ? errno : ENOSPC;
        } else {
            done += put;
        }
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        code = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok)
        return fail(systemErrorText(temporary, code));
    const QByteArray target = encoded(path);
    if (replace) {
        if (::rename(temporaryName.constData(), target.constData()) != 0)
            return fail(systemErrorText(path, errno));
    } else {
        // link() never replaces: it fails when the name exists, whatever it is.
        if (::link(temporaryName.constData(), target.constData()) != 0)
            return fail(errno == EEXIST ? QStringLiteral("%1: exists already; it is not replaced").arg(path)
                                        : systemErrorText(path, errno));
        ::unlink(temporaryName.constData());
    }
    return syncDirectory(dir, error);
}

} // namespace vz
