#include "ControlChannel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int kStdin = 0;
constexpr int kStdout = 1;

bool fillAddress(const std::string& path, sockaddr_un& address, std::string& error) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = path + ": a socket path has 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// Writes all of `bytes` to stdout or a socket. With `wait` false a socket that cannot take
// them at once fails: it is a client that does not read its answers, and is let go.
bool writeAll(int fd, const std::string& bytes, bool wait = false) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = fd == kStdout ? ::write(fd, bytes.data() + done, bytes.size() - done)
                                        : ::send(fd, bytes.data() + done, bytes.size() - done,
                                                 MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ControlChannel::~ControlChannel() {
    close();
}

bool ControlChannel::listen(const std::string& path, std::string& error) {
    sockaddr_un address;
    if (!fillAddress(path, address, error))
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + ": exists and is not a socket; not replaced";
            return false;
        }
        // A socket somebody still listens on belongs to another simulator.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live =
            probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (live) {
            error = path + ": another program listens on this socket";
            return false;
        }
        ::unlink(path.c_str());
    }
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, static_cast<int>(kMaxClients)) != 0 || ::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return true;
}

void ControlChannel::useStdin() {
    peers_.insert(peers_.begin(), Peer{kStdin, kStdout, {}});
}

std::size_t ControlChannel::clientCount() const {
    std::size_t n = 0;
    for (const Peer& p : peers_)
        n += p.readFd != kStdin ? 1 : 0;
    return n;
}

void ControlChannel::addPollFds(std::vector<pollfd>& fds) {
    firstPollIndex_ = fds.size();
    fds.push_back({listenFd_, POLLIN, 0}); // a negative descriptor is skipped by poll
    for (const Peer& p : peers_)
        fds.push_back({p.readFd, POLLIN, 0});
    polledPeers_ = peers_.size();
}

bool ControlChannel::serve(Peer& peer, const Handler& handler) {
    char buffer[4096];
    const ssize_t n = ::read(peer.readFd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    const bool ended = n <= 0;
    if (n > 0)
        peer.pending.append(buffer, static_cast<std::size_t>(n));
    else if (!peer.pending.empty())
        peer.pending += '\n'; // the last line needs no line end

    auto answer = [&](const std::string& text) {
        return text.empty() || writeAll(peer.writeFd, text + "\n");
    };
    const std::string tooLong =
        "error: a command line has at most " + std::to_string(kMaxLine) + " characters";
    std::size_t newline = 0;
    while ((newline = peer.pending.find('\n')) != std::string::npos) {
        std::string line = peer.pending.substr(0, newline);
        peer.pending.erase(0, newline + 1);
        if (peer.overlong) { // the rest of a line already refused
            peer.overlong = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!answer(line.size() > kMaxLine ? tooLong : handler(line)))
            return false;
    }
    if (peer.pending.size() > kMaxLine) {
        peer.pending.clear();
        if (!peer.overlong && !answer(tooLong))
            return false;
        peer.overlong = true;
    }
    return !ended;
}

void ControlChannel::handle(const std::vector<pollfd>& fds, const Handler& handler) {
    if (fds.size() < firstPollIndex_ + 1 + polledPeers_)
        return;
    std::vector<bool> gone(peers_.size(), false);
    for (std::size_t i = 0; i < polledPeers_; ++i) {
        if (fds[firstPollIndex_ + 1 + i].revents & (POLLIN | POLLHUP | POLLERR))
            gone[i] = !serve(peers_[i], handler);
    }
    for (std::size_t i = gone.size(); i-- > 0;) {
        if (!gone[i])
            continue;
        if (peers_[i].readFd != kStdin)
            ::close(peers_[i].readFd);
        peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    polledPeers_ = 0; // the indices are stale until the next addPollFds

    if (listenFd_ < 0 || !(fds[firstPollIndex_].revents & POLLIN))
        return;
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            break;
        if (clientCount() >= kMaxClients) {
            writeAll(fd, "error: too many control connections\n");
            ::close(fd);
            continue;
        }
        peers_.push_back(Peer{fd, fd, {}});
    }
}

void ControlChannel::close() {
    for (const Peer& p : peers_)
        if (p.readFd != kStdin)
            ::close(p.readFd);
    peers_.clear();
    polledPeers_ = 0;
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
            ::unlink(path_.c_str());
    }
}

int runControlClient(const std::string& path) {
    sockaddr_un address;
    std::string error;
    if (!fillAddress(path, address, error)) {
        std::cerr << "analyser-sim: " << error << '\n';
        return 1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::cerr << "analyser-sim: " << path << ": " << std::strerror(errno) << '\n';
        if (fd >= 0)
            ::close(fd);
        return 1;
    }
    // Lines go out as typed; at the end of input the write side is shut, the simulator answers
    // what it has and closes, and that ends this loop.
    bool inputOpen = true;
    char last = '\n';
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {inputOpen ? kStdin : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        char buffer[4096];
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(kStdin, buffer, sizeof buffer);
            if (n > 0) {
                last = buffer[n - 1];
                if (!writeAll(fd, std::string(buffer, static_cast<std::size_t>(n)), true))
                    break;
            } else if (n == 0 || errno != EINTR) {
                if (last != '\n')
                    writeAll(fd, "\n", true);
                ::shutdown(fd, SHUT_WR);
                inputOpen = false;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                break;
            if (n > 0 && !writeAll(kStdout, std::string(buffer, static_cast<std::size_t>(n))))
                break;
        }
    }
    ::close(fd);
    return 0;
}

} // namespace sim
