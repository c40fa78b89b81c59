#include "RequestParser.h"

namespace sim {

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kEtb = 0x17;
constexpr char kBare = 0x64; // first byte of the two 4-byte frames
constexpr std::string_view kStartFrame("\x64\x01\x04\x04", 4);
constexpr std::string_view kResetFrame("\x64\x01\x00\x00", 4);

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isCapital(char c) {
    return c >= 'A' && c <= 'Z';
}

} // namespace

void RequestParser::skip(std::size_t count) {
    pending_.erase(0, count);
    skipped_ += count;
}

bool RequestParser::parseCommand(std::string_view body, Request& request) const {
    // body is everything between STX and ETX: '1', two letters, optionally ETB and a
    // parameter, then the two checksum digits over all that precedes them.
    if (body.size() != 5 && body.size() != 7)
        return false;
    if (body[0] != '1' || !isCapital(body[1]) || !isCapital(body[2]))
        return false;
    if (body.size() == 7 && body[3] != kEtb)
        return false;
    const std::string_view summed = body.substr(0, body.size() - 2);
    const int high = hexDigit(body[body.size() - 2]);
    const int low = hexDigit(body[body.size() - 1]);
    if (high < 0 || low < 0)
        return false;
    unsigned sum = 0;
    for (char c : summed)
        sum += static_cast<unsigned char>(c);
    if ((sum & 0xFF) != static_cast<unsigned>(high * 16 + low))
        return false;
    request.kind = RequestKind::Command;
    request.command = std::string(body.substr(1, 2));
    request.parameter = body.size() == 7 ? body[4] : 0;
    return true;
}

std::vector<Request> RequestParser::feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<Request> requests;
    for (;;) {
        const std::size_t first = pending_.find_first_of(std::string_view("\x02\x64", 2));
        skip(first == std::string::npos ? pending_.size() : first);
        if (pending_.empty())
            break;

        if (pending_[0] == kBare) {
            const std::string_view head(pending_.data(), std::min<std::size_t>(pending_.size(), 4));
            const bool maybeStart = kStartFrame.substr(0, head.size()) == head;
            const bool maybeReset = kResetFrame.substr(0, head.size()) == head;
            if (!maybeStart && !maybeReset) {
                skip(1); // a stray 'd', not one of the bare frames
                continue;
            }
            if (head.size() < 4)
                break; // wait for the rest
            requests.push_back(Request{maybeStart ? RequestKind::Start : RequestKind::Reset, {}, 0});
            pending_.erase(0, 4);
            continue;
        }

        // A command frame: it ends at the first ETX; a new STX before it restarts the frame.
        const std::size_t end = pending_.find_first_of(std::string_view("\x02\x03", 2), 1);
        if (end == std::string::npos) {
            if (pending_.size() > kMaxFrameLength) {
                skip(1);
                continue;
            }
            break; // wait for the rest
        }
        if (pending_[end] == kStx) {
            skip(end);
            continue;
        }
        Request request;
        if (parseCommand(std::string_view(pending_).substr(1, end - 1), request))
            requests.push_back(std::move(request));
        else
            ++rejected_;
        pending_.erase(0, end + 1);
    }
    return requests;
}

} // namespace sim
