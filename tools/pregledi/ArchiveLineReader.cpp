// The whole lines of an archive file, read forward in blocks.
#include "TestArchive.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vz {
namespace {

constexpr qsizetype kBlock = 1024 * 1024;

} // namespace

bool ArchiveLineReader::open(const QString& path) {
    path_ = path;
    if (!file_.open(path, StationFile::Access::Read, kMaxArchiveFileRead)) {
        error_ = file_.error();
        return false;
    }
    size_ = file_.size();
    seek(0, 0);
    return true;
}

void ArchiveLineReader::seek(int64_t offset, int number) {
    buffer_.clear();
    position_ = 0;
    bufferOffset_ = offset;
    number_ = number;
    end_ = false;
    torn_ = 0;
}

bool ArchiveLineReader::fill() {
    if (end_)
        return false;
    // What is left of the buffer goes to its front, and the next block is read in after it:
    // the buffer is made once and every byte copied once.
    const qsizetype left = buffer_.size() - position_;
    if (position_ > 0) {
        std::memmove(buffer_.data(), buffer_.constData() + position_, size_t(left));
        bufferOffset_ += position_;
        position_ = 0;
    }
    buffer_.resize(left + kBlock);
    const int64_t at = bufferOffset_ + left;
    ssize_t got;
    do {
        got = ::pread(file_.fd(), buffer_.data() + left, size_t(kBlock), at);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        error_ = systemErrorText(path_, errno);
        buffer_.resize(left);
        end_ = true;
        return false;
    }
    buffer_.resize(left + got);
    if (got == 0) {
        end_ = true;
        return false;
    }
    return true;
}

bool ArchiveLineReader::next(ArchiveLine& line) {
    for (;;) {
        const qsizetype lf = buffer_.indexOf('\n', position_);
        if (lf >= 0) {
            line.number = ++number_;
            line.offset = bufferOffset_ + position_;
            line.bytes = QByteArrayView(buffer_).sliced(position_, lf + 1 - position_);
            line.overlong = false;
            position_ = lf + 1;
            return true;
        }
        if (buffer_.size() - position_ >= kMaxArchiveLineRead) {
            // Longer than any line of the station: its beginning, then on to its end.
            overlong_ = buffer_.mid(position_, kMaxArchiveLineRead);
            const int64_t offset = bufferOffset_ + position_;
            qsizetype end = -1;
            while (end < 0) {
                position_ = buffer_.size(); // what was read of it is dropped at the next fill
                if (!fill())
                    break;
                end = buffer_.indexOf('\n', position_);
            }
            if (end < 0) {
                if (error_.isEmpty()) {
                    torn_ = bufferOffset_ + buffer_.size() - offset;
                    tornOffset_ = offset;
                }
                position_ = buffer_.size();
                return false;
            }
            position_ = end + 1;
            line.number = ++number_;
            line.offset = offset;
            line.bytes = QByteArrayView(overlong_);
            line.overlong = true;
            return true;
        }
        if (!fill()) {
            const qsizetype left = buffer_.size() - position_;
            if (left > 0 && error_.isEmpty()) {
                torn_ = left;
                tornOffset_ = bufferOffset_ + position_;
            }
            position_ = buffer_.size();
            return false;
        }
    }
}

} // namespace vz
