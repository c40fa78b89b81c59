#pragma once
// Reading Pregledi.chain without loading it: forward line by line (verify, backup), and its
// end alone (the station, at start and before each append).
#include "ExamChain.h"
#include "StationFile.h"

#include <QByteArray>
#include <optional>

namespace vz {

struct ChainLine {
    int64_t offset = 0;
    QByteArray bytes;                // up to and with its LF; an overlong line is cut short
    bool overlong = false;           // longer than any entry: not one
    std::optional<ChainEntry> entry; // nothing when the line is not an entry
};

// Reads the chain forward in blocks; memory stays the same whatever its size.
class ChainLineReader {
public:
    // Lines longer than `maxLine` bytes are cut short and marked overlong (the chain's own
    // lines are never longer than kMaxChainLineSize; an archive's lines may be).
    explicit ChainLineReader(StationFile& file, int64_t from = 0, qsizetype maxLine = kMaxChainLineSize)
        : file_(file), offset_(from), maxLine_(maxLine) {}
    // The next line; false at the end of the file or on a read error (error() then says so).
    bool next(ChainLine& line);
    const QString& error() const { return error_; }
    int64_t offset() const { return offset_; }

private:
    bool fill();
    StationFile& file_;
    int64_t offset_ = 0; // of buffer_[position_]
    QByteArray buffer_;
    qsizetype position_ = 0;
    qsizetype maxLine_ = kMaxChainLineSize;
    bool end_ = false;
    QString error_;
};

// The end of a chain: its last whole entry and what follows it.
struct ChainTail {
    int64_t size = 0;
    int64_t wholeEnd = 0;                  // the end of the last whole entry (0: none)
    std::optional<ChainEntry> last;        // the last whole entry
    std::optional<ChainEntry> lastSealing; // the last entry that seals a record, when it is
                                           // in the same stretch of the file as `last`
    bool unreadable = false;               // no whole entry near the end of a chain that is not
                                           // empty: it is not a chain the station can go on
    QString error;                         // a read error

    int64_t tornBytes() const { return size - wholeEnd; }
};
// Looks back from the end of the file for the last line that is a whole entry, at most
// kChainTailSearch bytes back.
constexpr int64_t kChainTailSearch = 1024 * 1024;
ChainTail readChainTail(StationFile& file);

} // namespace vz
