#include "Backup.h"

#include "ExamChain.h"
#include "LogExport.h"
#include "LogFiles.h"
#include "StationFile.h"
#include "TrailNames.h"
#include "Verify.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz {
namespace {

constexpr int64_t kCopyBlock = 64 * 1024;
constexpr mode_t kBackupDirMode = 0750;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// Makes `path` and the directories above it that are missing.
bool makeDirectory(const QString& path, QString* error) {
    struct stat info {};
    if (::stat(encoded(path).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        *error = QStringLiteral("%1: not a directory").arg(path);
        return false;
    }
    const QString parent = directoryOf(QDir::cleanPath(path));
    if (parent != path && !makeDirectory(parent, error))
        return false;
    if (::mkdir(encoded(path).constData(), kBackupDirMode) != 0 && errno != EEXIST) {
        *error = systemErrorText(path, errno);
        return false;
    }
    return true;
}

// Copies `from` (a regular file, never through a link) to `to` through a temporary file
// beside it: written, synced and renamed into place, so that `to` is never half a file.
bool copyTrailFile(const QString& from, const QString& to, mode_t mode, int64_t maxSize, int64_t* size,
                   QString* error) {
    StationFile source;
    if (!source.open(from, StationFile::Access::Read, maxSize)) {
        *error = source.error();
        return false;
    }
    const QString temporary =
        QStringLiteral("%1.new-%2-%3")
            .arg(to)
            .arg(::getpid())
            .arg(QRandomGenerator::system()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    const QByteArray temporaryName = encoded(temporary);
    const int fd =
        ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        *error = systemErrorText(temporary, errno);
        return false;
    }
    int code = ::fchmod(fd, mode) == 0 ? 0 : errno;
    int64_t offset = 0;
    QByteArray block;
    while (code == 0) {
        if (!source.readAt(offset, kCopyBlock, block)) {
            *error = source.error();
            code = EIO;
            break;
        }
        for (qsizetype done = 0; code == 0 && done < block.size();) {
            const ssize_t put =
                ::write(fd, block.constData() + done, static_cast<size_t>(block.size() - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                code = put < 0 ? errno : ENOSPC;
            else
                done += put;
        }
        offset += block.size();
        if (block.size() < kCopyBlock)
            break;
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(temporaryName.constData(), encoded(to).constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temporaryName.constData());
        if (error->isEmpty())
            *error = systemErrorText(to, code);
        return false;
    }
    *size = offset;
    return true;
}

int64_t largestCopied(TrailName kind) {
    switch (kind) {
    case TrailName::LogFile:
        return 64 * 1024 * 1024;
    case TrailName::Key:
        return 4096;
    default:
        return kMaxChainFileSize;
    }
}

// The two-speed tests' archive: Protokoli-/Obuchenie-YYYY-MM.jsonl and the series' register
// -nomera.jsonl, each file's .chain, and what the station set aside of them. Its place in the
// copy, as the log's: each chain before its lines. -1: not an archive file.
int archiveCopyOrder(const QString& name) {
    static const QRegularExpression archive(QStringLiteral(
        "^(Protokoli|Obuchenie)-(?:[0-9]{4}-[0-9]{2}|nomera)\\.(jsonl|chain)(\\.torn-[0-9]{8}-[0-9]{6}(-["
        "0-9]+)?)?$"));
    const QRegularExpressionMatch match = archive.match(name);
    if (!match.hasMatch())
        return -1;
    if (!match.captured(3).isEmpty())
        return 1;
    return match.captured(2) == u"chain" ? 0 : 2;
}

// The order of the copy: the chain before the log, so that a record logged while the copy is
// made is at worst a last record without its entry in the copy, never an entry without its
// record; the key last.
int copyOrder(TrailName kind) {
    switch (kind) {
    case TrailName::Chain:
        return 0;
    case TrailName::ChainTorn:
    case TrailName::ChainAside:
    case TrailName::LogTorn:
        return 1;
    case TrailName::LogFile:
        return 2;
    default:
        return 3;
    }
}

} // namespace

int runBackupCommand(const QString& stationDir, const QString& target, bool withKey, QTextStream& out,
                     QTextStream& err) {
    struct stat station {};
    if (::stat(encoded(stationDir).constData(), &station) != 0 || !S_ISDIR(station.st_mode)) {
        err << "pregledi: " << terminalText(stationDir) << ": not a station directory that can be read\n";
        return kVerifyUsage;
    }
    if (DIR* listing = ::opendir(encoded(stationDir).constData())) {
        ::closedir(listing);
    } else {
        err << "pregledi: " << terminalText(systemErrorText(stationDir, errno)) << '\n';
        return kVerifyUsage;
    }
    const QStringList names =
        QDir(stationDir)
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QString error;
    if (!makeDirectory(target, &error)) {
        err << "pregledi: backup: " << terminalText(error) << '\n';
        return kVerifyUsage;
    }
    struct stat copy {};
    if (::stat(encoded(target).constData(), &copy) != 0) {
        err << "pregledi: backup: " << terminalText(systemErrorText(target, errno)) << '\n';
        return kVerifyUsage;
    }
    if (copy.st_dev == station.st_dev && copy.st_ino == station.st_ino) {
        err << "pregledi: backup: " << terminalText(target)
            << " is the station directory itself; back up to another one\n";
        return kVerifyUsage;
    }

    QList<QPair<int, QString>> files;
    QStringList copying;
    bool keyLeft = false;
    for (const QString& name : names) {
        const TrailName kind = trailNameKind(name);
        if (const int order = archiveCopyOrder(name); order >= 0) {
            files.append({order, name});
            copying.append(name);
            continue;
        }
        if (!isTrailFile(kind))
            continue;
        if (kind == TrailName::Key && !withKey) {
            keyLeft = true;
            continue;
        }
        files.append({copyOrder(kind), name});
        copying.append(name);
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    // A trail file already in DIR that this copy would not replace would make the copy a
    // mixture of two days: refused.
    QStringList stale;
    for (const QString& name :
         QDir(target).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if ((isTrailFile(trailNameKind(name)) || archiveCopyOrder(name) >= 0) && !copying.contains(name))
            stale.append(name);
    }
    if (!stale.isEmpty()) {
        err << "pregledi: backup: " << terminalText(target) << " holds "
            << terminalText(stale.join(QStringLiteral(", ")))
            << " from before, which this backup would not replace"
            << (stale.contains(QLatin1StringView(kStationKeyFileName)) && !withKey
                    ? QStringLiteral(" (give --with-key to copy the key again)")
                    : QString())
            << "; back up to a new directory\n";
        return kVerifyUsage;
    }

    bool failed = false;
    int logFiles = 0;
    int64_t logBytes = 0;
    QString firstLog;
    QString lastLog;
    for (const auto& [order, name] : files) {
        const TrailName kind = trailNameKind(name);
        const mode_t mode = kind == TrailName::Key ? kKeyFileMode : kTrailFileMode;
        int64_t size = 0;
        QString copyError;
        if (!copyTrailFile(QDir(stationDir).filePath(name), QDir(target).filePath(name), mode,
                           largestCopied(kind), &size, &copyError)) {
            out << "backup: NOT COPIED " << terminalText(name) << ": " << terminalText(copyError) << '\n';
            failed = true;
            continue;
        }
        if (kind == TrailName::LogFile) {
            ++logFiles;
            logBytes += size;
            if (firstLog.isEmpty())
                firstLog = name;
            lastLog = name;
        } else {
            out << "backup: copied " << terminalText(name) << " (" << size << (size == 1 ? " byte" : " bytes")
                << (kind == TrailName::Key ? ", readable by its owner only" : "") << ")\n";
        }
    }
    if (logFiles > 0)
        out << "backup: copied " << logFiles << (logFiles == 1 ? " log file" : " log files") << ", "
            << terminalText(firstLog)
            << (logFiles > 1 ? QStringLiteral(" to ") + terminalText(lastLog) : QString()) << " (" << logBytes
            << " bytes)\n";
    if (!syncDirectory(target, &error)) {
        out << "backup: NOT SYNCED " << terminalText(error) << '\n';
        failed = true;
    }
    if (keyLeft)
        out << "backup: " << kStationKeyFileName
            << " not copied: the key stays on the station (--with-key copies it)\n";
    out << "backup: into " << terminalText(QDir::toNativeSeparators(target)) << "; the copy verified:\n";
    out.flush();

    VerifyOptions options;
    if (!withKey) {
        const StationKey key = readStationKey(stationDir);
        if (key.present && key.error.isEmpty()) {
            options.fallbackKey = key.key;
            options.fallbackKeyName =
                QStringLiteral("the station's %1 (not copied)").arg(kStationKeyFileName);
        }
    }
    const int status = reportVerify(target, options, out);
    if (failed) {
        out << "backup: not every file was copied (exit status 1)\n";
        return kVerifyTampering;
    }
    return status;
}

} // namespace vz
