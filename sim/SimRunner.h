#pragma once
// The simulator's event loop over one line: reads requests and answers them (9600 baud), or
// sends a line of readings every period (1200 baud), and applies the fault options to what it
// writes. Writes are queued with a due time, so a split reply's pause never blocks reading.
#include "AnalyserModel.h"
#include "RequestParser.h"
#include "SimOptions.h"
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace sim {

// Writes every reply frame as one line of a file: the frame's bytes, then CR LF.
class FrameRecorder {
public:
    FrameRecorder() = default;
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file_ != nullptr; }
    // Flushed line by line, so a simulator that is killed leaves whole lines behind.
    bool write(const std::string& frame);

private:
    std::FILE* file_ = nullptr;
};

class SimRunner {
public:
    // fd: the line, non-blocking. ownSlaveFd: the pty slave this process holds, or -1.
    SimRunner(const SimOptions& options, int fd, int ownSlaveFd, int64_t nowMs);

    bool record(const std::string& path, std::string& error) { return recorder_.open(path, error); }
    // Appends every received byte to `path`, raw and flushed at once, so a test can see
    // exactly what the station sent.
    bool logRequests(const std::string& path, std::string& error);

    // Waits at most maxWaitMs for the line (or for wakeFd, which is only polled, never read),
    // then handles what arrived and what is due. False when the line failed. `extra`
    // descriptors are polled in the same wait and left with their results for the caller.
    bool step(int maxWaitMs, int wakeFd = -1, std::vector<pollfd>* extra = nullptr);

    // Lets `engine` (not owned) drive speed, gases and oil temperature.
    void setEngine(EngineSource* engine) { model_.setEngine(engine); }

    const AnalyserModel& model() const { return model_; }
    bool hasPendingOutput() const { return !out_.empty(); }
    const RequestParser& parser() const { return parser_; }
    const std::string& lastError() const { return error_; }

    static int64_t monotonicMs();

    // A pty buffers what nobody reads; past this many unread bytes the stale data is dropped.
    static constexpr int kStaleInputLimit = 2048;

private:
    struct Pending {
        int64_t dueMs;
        std::string bytes;
    };
    void handleInput(const std::string& bytes, int64_t nowMs);
    void queueReply(const std::string& frame, int64_t nowMs);
    std::string noiseBytes();
    bool writeDue(int64_t nowMs);
    int64_t nextDueMs() const;
    void dropStaleInput();

    SimOptions options_;
    int fd_;
    int ownSlaveFd_;
    AnalyserModel model_;
    RequestParser parser_;
    FrameRecorder recorder_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> requestLog_{nullptr, &std::fclose};
    std::deque<Pending> out_;
    int64_t nextLetteredMs_;
    uint64_t noiseState_;
    std::string error_;
};

} // namespace sim
