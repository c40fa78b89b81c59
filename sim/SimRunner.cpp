#include "SimRunner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

FrameRecorder::~FrameRecorder() {
    if (file_)
        std::fclose(file_);
}

bool FrameRecorder::open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        error = path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

bool FrameRecorder::write(const std::string& frame) {
    if (!file_)
        return false;
    const std::string line = frame + "\r\n";
    return std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
}

int64_t SimRunner::monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SimRunner::SimRunner(const SimOptions& options, int fd, int ownSlaveFd, int64_t nowMs)
    : options_(options), fd_(fd), ownSlaveFd_(ownSlaveFd), model_(modelSettings(options), nowMs),
      nextLetteredMs_(nowMs + options.periodMs), noiseState_(options.seed * 2654435761u + 7) {}

std::string SimRunner::noiseBytes() {
    // Stray bytes that can never be mistaken for a frame or a lettered field: no start or
    // end byte and no capital letter.
    static const std::string kAlphabet =
        std::string("\x01\x05\x7F\x11\x13\xFF\xAA", 7) + "xyz-#*~?0123456789 .";
    std::string bytes;
    noiseState_ = noiseState_ * 6364136223846793005ull + 1442695040888963407ull;
    const int count = 1 + static_cast<int>((noiseState_ >> 33) % 6);
    for (int i = 0; i < count; ++i) {
        noiseState_ = noiseState_ * 6364136223846793005ull + 1442695040888963407ull;
        bytes += kAlphabet[(noiseState_ >> 33) % kAlphabet.size()];
    }
    return bytes;
}

void SimRunner::queueReply(const std::string& frame, int64_t nowMs) {
    if (options_.noise)
        out_.push_back({nowMs, noiseBytes()});
    if (options_.split && frame.size() > 1) {
        const std::size_t half = frame.size() / 2;
        out_.push_back({nowMs, frame.substr(0, half)});
        out_.push_back({nowMs + options_.splitPauseMs, frame.substr(half)});
    } else {
        out_.push_back({nowMs, frame});
    }
}

void SimRunner::handleInput(const std::string& bytes, int64_t nowMs) {
    if (options_.baud == 1200)
        return; // the self-sending analyser ignores whatever it is sent
    for (const Request& request : parser_.feed(bytes)) {
        const std::string reply = model_.answer(request, nowMs);
        if (reply.empty() || options_.silent)
            continue;
        queueReply(reply, nowMs);
        recorder_.write(reply);
    }
}

void SimRunner::dropStaleInput() {
    if (ownSlaveFd_ < 0)
        return;
    int unread = 0;
    if (ioctl(ownSlaveFd_, FIONREAD, &unread) == 0 && unread > kStaleInputLimit)
        tcflush(ownSlaveFd_, TCIFLUSH);
}

bool SimRunner::writeDue(int64_t nowMs) {
    while (!out_.empty() && out_.front().dueMs <= nowMs) {
        Pending& p = out_.front();
        const ssize_t n = ::write(fd_, p.bytes.data(), p.bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return true; // try again when the line has room
            error_ = std::string("write: ") + std::strerror(errno);
            return false;
        }
        p.bytes.erase(0, static_cast<std::size_t>(n));
        if (!p.bytes.empty())
            return true;
        out_.pop_front();
        // Whatever follows a split's first half keeps its pause even if writing was late.
        if (!out_.empty() && out_.front().dueMs > nowMs)
            break;
    }
    return true;
}

int64_t SimRunner::nextDueMs() const {
    int64_t due = INT64_MAX;
    if (!out_.empty())
        due = out_.front().dueMs;
    if (options_.baud == 1200 && !options_.silent)
        due = std::min(due, nextLetteredMs_);
    return due;
}

bool SimRunner::step(int maxWaitMs, int wakeFd, std::vector<pollfd>* extra) {
    int64_t now = monotonicMs();
    const int64_t due = nextDueMs();
    // A write that is due already and still queued waits for room on the line (POLLOUT),
    // not for a timeout, so a full line never makes this loop spin.
    const bool writePending = !out_.empty() && out_.front().dueMs <= now;
    int64_t wakeAt = writePending ? INT64_MAX : due;
    if (writePending && options_.baud == 1200 && !options_.silent)
        wakeAt = nextLetteredMs_;
    int wait = maxWaitMs;
    if (wakeAt != INT64_MAX)
        wait = static_cast<int>(std::clamp<int64_t>(wakeAt - now, 0, maxWaitMs));

    // poll skips entries with a negative descriptor, such as an absent wakeFd.
    std::vector<pollfd> fds = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (writePending)
        fds[0].events |= POLLOUT;
    if (extra)
        fds.insert(fds.end(), extra->begin(), extra->end());
    const int r = ::poll(fds.data(), fds.size(), wait);
    if (r < 0 && errno != EINTR) {
        error_ = std::string("poll: ") + std::strerror(errno);
        return false;
    }
    if (extra) {
        for (std::size_t i = 0; i < extra->size(); ++i)
            (*extra)[i].revents = r > 0 ? fds[2 + i].revents : 0;
    }
    now = monotonicMs();
    if (r > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            if (requestLog_) {
                std::fwrite(buffer, 1, static_cast<std::size_t>(n), requestLog_.get());
                std::fflush(requestLog_.get());
            }
            handleInput(std::string(buffer, static_cast<std::size_t>(n)), now);
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            error_ = n == 0 ? std::string("line closed") : std::string("read: ") + std::strerror(errno);
            return false;
        }
    }
    if (options_.baud == 1200 && !options_.silent && now >= nextLetteredMs_) {
        const Readings readings = model_.measureAt(now);
        queueReply(letteredText(readings, model_.settings().style), now);
        // A demo file holds frames, so the recording carries the record the station builds.
        recorder_.write(resultRecord(readings, model_.settings().style));
        nextLetteredMs_ += options_.periodMs;
        if (nextLetteredMs_ <= now)
            nextLetteredMs_ = now + options_.periodMs; // after a stall, no burst of catch-up lines
    }
    dropStaleInput();
    return writeDue(now);
}

bool SimRunner::logRequests(const std::string& path, std::string& error) {
    requestLog_.reset(std::fopen(path.c_str(), "ab"));
    if (!requestLog_) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace sim
