#pragma once
// Files of the station directory used for what they are. A log file, the chain, the key and
// the lock are opened without following a symbolic link, without blocking on a FIFO, and used
// only when they are regular files; anything else is reported by what it is and left alone.
// Every write that must survive a power cut is followed by fsync, and a file made or renamed
// in the directory by an fsync of the directory.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <sys/types.h>

namespace vz {

// What a name in a directory is, without following a symbolic link.
enum class FileKind { Missing, Regular, SymLink, Directory, Fifo, Other, Unreadable };
FileKind fileKindAt(const QString& path);
// "a symbolic link", "a directory", "a FIFO", ... for messages.
QString describeFileKind(FileKind kind);

// Modes of the files the trail makes: they hold owners' names, so the station's user and
// group read them and nobody else; the key only its owner.
inline constexpr mode_t kTrailFileMode = 0640;
inline constexpr mode_t kKeyFileMode = 0600;

// An open station file; closes its descriptor when it goes.
class StationFile {
public:
    StationFile() = default;
    StationFile(const StationFile&) = delete;
    StationFile& operator=(const StationFile&) = delete;
    StationFile(StationFile&& other) noexcept;
    StationFile& operator=(StationFile&& other) noexcept;
    ~StationFile();

    enum class Access { Read, ReadWrite, ReadWriteCreate };
    // Opens `path` (O_NOFOLLOW, O_NONBLOCK, O_CLOEXEC; cleared to blocking once it is known to
    // be a regular file). Fails, with error() saying why in words, when the name is a link, a
    // directory, a FIFO or anything but a regular file, or when the file is larger than
    // `maxSize` bytes (a size no station writes: it is reported, never loaded). A file made
    // here gets kTrailFileMode (or `createMode`) whatever the umask adds.
    bool open(const QString& path, Access access, int64_t maxSize = INT64_MAX,
              mode_t createMode = kTrailFileMode);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool created() const { return created_; } // open() made the file
    int64_t size() const;                     // fstat now; -1 on error
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }
    const QString& error() const { return error_; }
    int errorCode() const { return errorCode_; } // errno of the last failure, 0 if none

    // Reads exactly `length` bytes at `offset` (fewer only at the end of the file).
    bool readAt(int64_t offset, int64_t length, QByteArray& bytes);
    // Writes all of `bytes` at the end of the file (or at `offset`).
    bool append(const QByteArray& bytes);
    bool writeAt(int64_t offset, const QByteArray& bytes);
    bool sync();
    bool truncate(int64_t size);
    bool close();

private:
    bool fail(int code, const QString& what = QString());
    int fd_ = -1;
    bool created_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    QString path_;
    QString error_;
    int errorCode_ = 0;
};

// fsync of a directory, so that a file made, renamed or removed in it stays so after a power cut.
bool syncDirectory(const QString& dir, QString* error = nullptr);

// `name` in the station directory `dir`; the bare name when `dir` is the current directory,
// so that messages name the file as the operator knows it.
QString stationPath(const QString& dir, const QString& name);

// The directory part of `path` ("." for a bare name).
QString directoryOf(const QString& path);

// "PATH: strerror" in the station's words.
QString systemErrorText(const QString& path, int code);

// Writes `bytes` as a new file `path` atomically: a temporary file beside it, written, synced
// and renamed into place, then the directory synced. With `replace` false an existing `path`
// is never replaced (the new file is linked into place, which fails when the name exists).
bool writeFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode, bool replace,
                         QString* error);

} // namespace vz
