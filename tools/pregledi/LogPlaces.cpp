// The log's places: which examination numbers have a whole record, read on demand.
#include "LogPlaces.h"

#include "LogFiles.h"
#include "StationFile.h"
#include "VerifyHelpers.h"

#include <QDir>
#include <algorithm>

namespace vz::verify_parts {

const LogPlaces::File* LogPlaces::fileOf(int index) const {
    const auto found = std::lower_bound(files_.begin(), files_.end(), index,
                                        [](const File& file, int wanted) { return file.index < wanted; });
    return found != files_.end() && found->index == index ? &*found : nullptr;
}

LogPlaces::File* LogPlaces::fileOf(int index) {
    return const_cast<File*>(std::as_const(*this).fileOf(index));
}

bool LogPlaces::readFile(File& file, QByteArray& bytes) {
    const QString name = examLogFileName(file.index);
    const QString path = QDir(dir_).filePath(name);
    StationFile station;
    if (!station.open(path, StationFile::Access::Read, kLargestLogFileOpened) ||
        !station.readAt(0, std::min(file.size, kFullLogFileSize), bytes)) {
        file.usable = false;
        add_(examNumberAt(file.index, 1), {FindingClass::Tampering, 0, 0, name, 0,
                                           QStringLiteral("cannot be read (%1); its records are not checked")
                                               .arg(withoutPath(station.error(), path))});
        return false;
    }
    return true;
}

void LogPlaces::load() {
    const LogFileNames names = listLogFiles(dir_);
    for (int index : names.indexes) {
        const QString name = examLogFileName(index);
        const QString path = QDir(dir_).filePath(name);
        File file;
        file.index = index;
        StationFile station;
        if (!station.open(path, StationFile::Access::Read, kLargestLogFileOpened)) {
            add_(examNumberAt(index, 1),
                 {FindingClass::Tampering, 0, 0, name, 0,
                  QStringLiteral("%1: the station writes no such log file; its records are not checked")
                      .arg(withoutPath(station.error(), path))});
            files_.push_back(file);
            continue;
        }
        file.usable = true;
        file.size = station.size();
        file.records = static_cast<int>(std::min<int64_t>(file.size / kLogRecordSize, kRecordsPerLogFile));
        if (file.size > kFullLogFileSize)
            add_(examNumberAt(index, 1),
                 {FindingClass::Tampering, 0, 0, name, 0,
                  QStringLiteral("%1 bytes: more than %2 records, which no station writes; what is beyond "
                                 "them is not read")
                      .arg(file.size)
                      .arg(kRecordsPerLogFile)});
        files_.push_back(file);
    }

    // The log's end: the last usable file with bytes in it. A crash can leave a torn record
    // there, or whole records of zeros that never reached the disk; the station sets them
    // aside at its next start. Anywhere else a piece of a record is not a crash's doing.
    File* end = nullptr;
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
        if (file->usable && file->size > 0) {
            end = &*file;
            break;
        }
    }
    for (File& file : files_) {
        if (!file.usable || &file == end || file.size % kLogRecordSize == 0 || file.size > kFullLogFileSize)
            continue;
        add_(examNumberAt(file.index, file.records + 1),
             {FindingClass::Tampering, 0, 0, examLogFileName(file.index), 0,
              QStringLiteral("%1 bytes is not a whole number of %2-byte records, and later log files exist: "
                             "a crash leaves a torn record only at the end of the log")
                  .arg(file.size)
                  .arg(kLogRecordSize)});
    }
    if (end && end->size <= kFullLogFileSize) {
        int64_t torn = end->size - int64_t(end->records) * kLogRecordSize;
        QByteArray bytes;
        if (readFile(*end, bytes)) {
            while (end->records > 0 &&
                   allZero(bytes.mid(qsizetype(end->records - 1) * kLogRecordSize, kLogRecordSize))) {
                --end->records;
                torn += kLogRecordSize;
            }
            if (torn > 0)
                add_(examNumberAt(end->index, end->records + 1),
                     {FindingClass::Break, 0, 0, examLogFileName(end->index), 0,
                      QStringLiteral("its end is torn: %1 after its last whole record (a crash while "
                                     "logging); the station sets them aside at its next start")
                          .arg(plural(torn, "byte", "bytes"))});
        }
    }
    for (const File& file : files_) {
        if (file.usable && file.records > 0) {
            records_ += file.records;
            last_ = examNumberAt(file.index, file.records);
        }
    }
}

LogPlaces::State LogPlaces::at(int number) const {
    if (number < 1 || number > kLastExamNumber)
        return State::None;
    const ExamPlace place = examPlace(number);
    const File* file = fileOf(place.fileIndex);
    if (!file)
        return State::None;
    if (!file->usable)
        return State::Unusable;
    return place.recordInFile <= file->records ? State::Record : State::None;
}

bool LogPlaces::read(int number, QByteArray& record) {
    const ExamPlace place = examPlace(number);
    Cached* cached = nullptr;
    for (Cached& slot : cache_) {
        if (slot.index == place.fileIndex)
            cached = &slot;
    }
    if (!cached) {
        File* file = fileOf(place.fileIndex);
        if (!file || !file->usable)
            return false;
        cached = &cache_[nextSlot_];
        nextSlot_ = (nextSlot_ + 1) % cache_.size();
        cached->index = -1;
        if (!readFile(*file, cached->bytes))
            return false;
        cached->index = place.fileIndex;
    }
    record = cached->bytes.mid(place.offset(), kLogRecordSize);
    return record.size() == kLogRecordSize;
}

} // namespace vz::verify_parts
