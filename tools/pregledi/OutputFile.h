#pragma once
// Where -o writes: never over a file of the station directory, never through a FIFO or a
// device, and only whole.
#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace vz {

// A name that belongs to the station: the log, its chain, key and set-aside files
// (Pregledi*), the limits table (CarModel.DB*), SERVICE.ini, VEZARO.ini, any *.lock. Case
// aside.
bool isStationFileName(const QString& name);

// Where -o `target` writes once its links are followed, or why it may not: the place is an
// existing file of the station directory `stationDir`, is the same file (device and inode) as
// any name in the station directory, would be a station file's name in the station directory,
// or is something other than a regular file.
struct OutputTarget {
    QString path;    // where the output goes, links followed
    QString refusal; // empty when it may be written
};
OutputTarget checkOutputTarget(const QString& target, const QString& stationDir);

// A new file written as it goes and put in place whole: a temporary file beside the target,
// mode 0640, synced and renamed over the target, then the directory synced. The target is not
// touched before commit(); without commit() the temporary file is removed.
class AtomicOutputFile {
public:
    AtomicOutputFile() = default;
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
    ~AtomicOutputFile();

    bool open(const QString& path);
    bool write(const QByteArray& bytes);
    // Another writer may fill the temporary file by its name (the PDF writer does); commit()
    // puts in place only the file open() made.
    const QString& temporaryPath() const { return temporary_; }
    bool commit();
    void discard();
    const QString& error() const { return error_; }

private:
    bool fail(const QString& text);
    bool stillOurs() const;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    QString path_;
    QString temporary_;
    QString error_;
};

} // namespace vz
