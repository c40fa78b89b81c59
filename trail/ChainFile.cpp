#include "ChainFile.h"

#include <algorithm>

namespace vz {
namespace {
constexpr int64_t kBlock = 64 * 1024;
} // namespace

bool ChainLineReader::fill() {
    if (end_)
        return false;
    QByteArray block;
    if (!file_.readAt(offset_ + (buffer_.size() - position_), kBlock, block)) {
        error_ = file_.error();
        end_ = true;
        return false;
    }
    if (block.isEmpty()) {
        end_ = true;
        return false;
    }
    buffer_ = buffer_.mid(position_) + block;
    position_ = 0;
    return true;
}

bool ChainLineReader::next(ChainLine& line) {
    line = ChainLine();
    for (;;) {
        const qsizetype lf = buffer_.indexOf('\n', position_);
        const qsizetype available = buffer_.size() - position_;
        if (lf >= 0 && lf - position_ < maxLine_) {
            line.offset = offset_;
            line.bytes = buffer_.mid(position_, lf + 1 - position_);
            offset_ += line.bytes.size();
            position_ = lf + 1;
            if (line.bytes.size() <= kMaxChainLineSize)
                line.entry = parseChainEntryLine(line.bytes);
            return true;
        }
        if (lf >= 0 || available >= maxLine_) {
            // Longer than any entry: report its beginning, skip to its end.
            line.offset = offset_;
            line.bytes = buffer_.mid(position_, maxLine_);
            line.overlong = true;
            for (;;) {
                const qsizetype end = buffer_.indexOf('\n', position_);
                if (end >= 0) {
                    offset_ += end + 1 - position_;
                    position_ = end + 1;
                    return true;
                }
                offset_ += buffer_.size() - position_;
                position_ = buffer_.size();
                if (!fill())
                    return true;
            }
        }
        if (!fill()) {
            if (available == 0)
                return false;
            // The last line has no LF: it is not an entry.
            line.offset = offset_;
            line.bytes = buffer_.mid(position_);
            offset_ += available;
            position_ = buffer_.size();
            return true;
        }
    }
}

ChainTail readChainTail(StationFile& file) {
    ChainTail tail;
    tail.size = file.size();
    if (tail.size < 0) {
        tail.error = file.error().isEmpty() ? QStringLiteral("cannot be examined") : file.error();
        tail.size = 0;
        return tail;
    }
    if (tail.size == 0)
        return tail;
    for (int64_t window = std::min(tail.size, kBlock);;
         window = std::min({tail.size, window * 4, kChainTailSearch})) {
        const int64_t start = tail.size - window;
        QByteArray bytes;
        if (!file.readAt(start, window, bytes) || bytes.size() != window) {
            tail.error = file.error().isEmpty() ? QStringLiteral("shorter than its size") : file.error();
            return tail;
        }
        // Lines that end in LF, from the last back; a line is whole when it starts at the
        // beginning of the file or right after a LF.
        qsizetype end = bytes.lastIndexOf('\n');
        while (end >= 0) {
            const qsizetype before = end > 0 ? bytes.lastIndexOf('\n', end - 1) : -1;
            if (before < 0 && start > 0)
                break; // the line begins before the window
            const QByteArray line = bytes.mid(before + 1, end - before);
            if (const std::optional<ChainEntry> entry = parseChainEntryLine(line)) {
                if (!tail.last) {
                    tail.last = entry;
                    tail.wholeEnd = start + end + 1;
                }
                if (entry->sealsRecord()) {
                    tail.lastSealing = entry;
                    return tail;
                }
            } else if (tail.last) {
                return tail; // only whole entries before the last one count
            }
            end = before;
        }
        if (tail.last)
            return tail; // the last sealing entry, if any, is further back than is looked
        if (window >= std::min(tail.size, kChainTailSearch)) {
            tail.unreadable = tail.size > kChainTailSearch;
            return tail;
        }
    }
}

} // namespace vz
