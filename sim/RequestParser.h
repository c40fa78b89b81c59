#pragma once
// Cuts the byte stream a station sends into requests. Requests may arrive split over several
// reads or several in one read, with stray bytes between them; the parser keeps the unfinished
// tail between calls and skips whatever is not a request.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class RequestKind {
    Command, // STX '1' <two letters> [ETB param] <two hex checksum digits> ETX
    Start,   // the bare 4-byte frame 64 01 04 04
    Reset,   // the bare 4-byte frame 64 01 00 00
};

struct Request {
    RequestKind kind = RequestKind::Command;
    std::string command; // the two letters of a command frame
    char parameter = 0;  // the parameter character, 0 when the frame has none

    bool operator==(const Request&) const = default;
};

class RequestParser {
public:
    // Adds received bytes and returns every request completed by them, in order.
    std::vector<Request> feed(std::string_view bytes);

    // Bytes dropped because they belonged to no request.
    std::size_t skippedBytes() const { return skipped_; }
    // Well-delimited command frames dropped for a wrong address, layout or checksum.
    std::size_t rejectedFrames() const { return rejected_; }

    // A frame longer than this without its ETX is taken to be garbage.
    static constexpr std::size_t kMaxFrameLength = 16;

private:
    bool parseCommand(std::string_view body, Request& request) const;
    void skip(std::size_t count);

    std::string pending_;
    std::size_t skipped_ = 0;
    std::size_t rejected_ = 0;
};

} // namespace sim
