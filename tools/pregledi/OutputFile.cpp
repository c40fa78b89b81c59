#include "OutputFile.h"

#include "StationFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz {
namespace {

constexpr int kMostLinks = 40; // as the kernel follows at most

bool statAt(const QString& path, struct stat& info, bool follow) {
    const QByteArray name = QFile::encodeName(path);
    return (follow ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) == 0;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool isStationFileName(const QString& name) {
    const QString lower = name.toLower();
    return lower.startsWith(u"pregledi") || lower.startsWith(u"protokoli") ||
           lower.startsWith(u"obuchenie") || lower.startsWith(u"carmodel.db") || lower == u"service.ini" ||
           lower == u"vezaro.ini" || lower == u"vezaro.dmo" || lower == u"twospeed.ini" ||
           lower.endsWith(u".lock");
}

OutputTarget checkOutputTarget(const QString& target, const QString& stationDir) {
    OutputTarget out;
    auto refuse = [&](const QString& why) {
        out.refusal = why;
        return out;
    };
    QString path = QFileInfo(target).absoluteFilePath();
    for (int links = 0; fileKindAt(path) == FileKind::SymLink; ++links) {
        const QString next = QFileInfo(path).symLinkTarget();
        if (links == kMostLinks || next.isEmpty())
            return refuse(QStringLiteral("too many symbolic links"));
        path = next;
    }
    const QFileInfo info(path);
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (dir.isEmpty())
        return refuse(QStringLiteral("no such directory: %1").arg(info.absolutePath()));
    out.path = QDir(dir).filePath(info.fileName());
    const FileKind kind = fileKindAt(out.path);
    if (kind != FileKind::Missing && kind != FileKind::Regular)
        return refuse(QStringLiteral("%1; only a regular file is written").arg(describeFileKind(kind)));

    struct stat station {};
    if (!statAt(stationDir, station, true) || !S_ISDIR(station.st_mode))
        return out; // no station directory: nothing of it to protect
    struct stat landing {};
    const bool inStation = statAt(dir, landing, true) && sameFile(landing, station);
    if (inStation && kind == FileKind::Regular)
        return refuse(QStringLiteral("an existing file of the station directory %1").arg(stationDir));
    if (inStation && isStationFileName(info.fileName()))
        return refuse(
            QStringLiteral("the name of a station file, in the station directory %1").arg(stationDir));
    struct stat file {};
    if (kind == FileKind::Regular && statAt(out.path, file, true)) {
        const QDir station(stationDir);
        const QStringList names =
            station.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            struct stat other {};
            const QString otherPath = station.filePath(name);
            if ((statAt(otherPath, other, false) && sameFile(other, file)) ||
                (statAt(otherPath, other, true) && sameFile(other, file)))
                return refuse(QStringLiteral("the same file as %1 of the station directory").arg(name));
        }
    }
    return out;
}

AtomicOutputFile::~AtomicOutputFile() {
    discard();
}

bool AtomicOutputFile::fail(const QString& text) {
    error_ = text;
    discard();
    return false;
}

bool AtomicOutputFile::stillOurs() const {
    struct stat info {};
    return statAt(temporary_, info, false) && info.st_dev == device_ && info.st_ino == inode_;
}

bool AtomicOutputFile::open(const QString& path) {
    discard();
    path_ = path;
    error_.clear();
    temporary_ = QStringLiteral("%1.new-%2-%3")
                     .arg(path)
                     .arg(::getpid())
                     .arg(QRandomGenerator::system()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    const QByteArray name = QFile::encodeName(temporary_);
    fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kTrailFileMode);
    if (fd_ < 0) {
        error_ = systemErrorText(temporary_, errno);
        temporary_.clear();
        return false;
    }
    struct stat info {};
    if (::fchmod(fd_, kTrailFileMode) != 0 || ::fstat(fd_, &info) != 0) {
        const int code = errno;
        ::close(fd_);
        fd_ = -1;
        ::unlink(name.constData());
        error_ = systemErrorText(temporary_, code);
        temporary_.clear();
        return false;
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return true;
}

bool AtomicOutputFile::write(const QByteArray& bytes) {
    if (fd_ < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail(systemErrorText(temporary_, put < 0 ? errno : ENOSPC));
        done += put;
    }
    return true;
}

bool AtomicOutputFile::commit() {
    if (fd_ < 0)
        return false;
    if (::fsync(fd_) != 0)
        return fail(systemErrorText(temporary_, errno));
    if (!stillOurs())
        return fail(QStringLiteral("%1: replaced while it was written").arg(temporary_));
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        const int code = errno;
        fd_ = -1;
        return fail(systemErrorText(temporary_, code));
    }
    if (::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData()) != 0) {
        const int code = errno;
        ::unlink(QFile::encodeName(temporary_).constData());
        temporary_.clear();
        error_ = systemErrorText(path_, code);
        return false;
    }
    temporary_.clear();
    return syncDirectory(directoryOf(path_), &error_);
}

void AtomicOutputFile::discard() {
    if (!temporary_.isEmpty() && stillOurs())
        ::unlink(QFile::encodeName(temporary_).constData());
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    temporary_.clear();
}

} // namespace vz
