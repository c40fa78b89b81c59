#pragma once
// Small helpers for reading the simulator's replies off a real pty within a time limit.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace simtest {

#ifdef VZ_SIM_PROGRAM
// The simulator program under test; VZ_BIN_DIR overrides where it is.
inline std::string programPath() {
    if (const char* binDir = std::getenv("VZ_BIN_DIR"); binDir && *binDir)
        return std::string(binDir) + "/analyser-sim";
    return VZ_SIM_PROGRAM;
}
#endif

// Reads whatever arrives within waitMs (stopping early once `enough` bytes are there).
inline std::string readFor(int fd, int waitMs, std::size_t enough = SIZE_MAX) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (got.size() < enough) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// One line of the text an analyser sends by itself at 1200 baud: CO, CO2, HC, O2 and speed.
inline constexpr const char* kLetteredLinePattern = R"(C(\d\.\d\d)B\d\d\.\dA\d{4}D\d\d\.\dG\d{4}\r\n)";

inline bool writeAll(int fd, const std::string& bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A client connection to the Unix socket at `path`, -1 when nobody listens there.
inline int connectTo(const char* path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The frames 0x06 ... 0x03 in a stream, and everything outside them.
struct Cut {
    std::vector<std::string> frames;
    std::string between;
};
inline Cut cutFrames(const std::string& stream) {
    Cut cut;
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t s = stream.find('\x06', at);
        if (s == std::string::npos) {
            cut.between += stream.substr(at);
            break;
        }
        const std::size_t e = stream.find('\x03', s);
        if (e == std::string::npos) {
            cut.between += stream.substr(at);
            break;
        }
        cut.between += stream.substr(at, s - at);
        cut.frames.push_back(stream.substr(s, e - s + 1));
        at = e + 1;
    }
    return cut;
}

const std::string kRG("\x02\x31\x52\x47\x43\x41\x03", 7);
const std::string kRM("\x02\x31\x52\x4D\x44\x30\x03", 7);
const std::string kIN("\x02\x31\x49\x4E\x43\x38\x03", 7);
const std::string kRS("\x02\x31\x52\x53\x44\x36\x03", 7);
const std::string kOUBlank("\x02\x31\x4F\x55\x17\x20\x30\x43\x03", 9);
const std::string kStart("\x64\x01\x04\x04", 4);
const std::string kReset("\x64\x01\x00\x00", 4);

} // namespace simtest
