// The built analyser-sim playing a car over a real pseudo-terminal: the records a station
// reads carry the profile's speed and gases at the profile's times, and commands on the
// control socket, the --connect client and stdin change what it reads. The simulator runs on
// real time, so values are checked against the profile over the time each exchange took.
#include "../ScratchFiles.h"
#include "PtyTestSupport.h"
#include "StationLogic.h"
#include "StationState.h"

#include <QFileInfo>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace simtest;
using Clock = std::chrono::steady_clock;

namespace {

// The program with its stdin and stdout on pipes of this test.
class Child {
public:
    bool start(std::vector<std::string> args) {
        const std::string program = programPath();
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
        const std::string first = line(5000);
        return first.rfind("PTY /", 0) == 0;
    }
    void send(const std::string& text) { writeAll(input_, text); }
    // The next line of its output, without the line end.
    std::string line(int waitMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (buffered_.find('\n') == std::string::npos && Clock::now() < deadline)
            buffered_ += readFor(output_, 50, 1);
        const std::size_t end = buffered_.find('\n');
        if (end == std::string::npos)
            return {};
        std::string l = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return l;
    }
    // Its exit status once it has ended by itself within waitMs; -1 otherwise.
    int exitStatus(int waitMs) {
        for (int i = 0; i < waitMs / 10; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(input_);
        ::close(output_);
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
};

std::string field(const std::string& frame, int first, int last) {
    return frame.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The profile of these tests: idle, then 2 s up to high idle, richer and hotter.
const char* const kProfile = "# time speed CO CO2 HC O2 oil\n"
                             "0 900  0.200 14.00 50  0.30 70.0\n"
                             "2 900  0.200 14.00 50  0.30 70.0\n"
                             "4 2900 0.600 13.00 150 1.30 90.0\n";
double profileRpm(double t) {
    return std::clamp(900 + (t - 2) * 1000, 900.0, 2900.0);
}
double profileCoMilli(double t) {
    return std::clamp(200 + (t - 2) * 200, 200.0, 600.0);
}

} // namespace

TEST(VehicleProgram, RecordsCarryTheProfileAtItsTimesAndFollowTheControlSocket) {
    const vz::test::ScratchCurrentDir dir;
    vz::test::ScratchFiles::writeFile("car.profile", kProfile);
    Child sim;
    ASSERT_TRUE(sim.start({"--vehicle", "car.profile", "--hold", "--control", "control.sock", "--link-dir",
                           ".", "--com", "1"}));
    const int line = ::open("COM1", O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    auto record = [&] {
        writeAll(line, kRG);
        return readFor(line, 3000, 43);
    };
    writeAll(line, kStart);

    // Held at its first point however long the station takes.
    for (int i = 0; i < 2; ++i) {
        const std::string held = record();
        ASSERT_EQ(held.size(), 43u);
        EXPECT_EQ(field(held, 7, 30), "00.200 14.00 00050 00.30");
        EXPECT_EQ(field(held, 37, 40), "0900");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    writeAll(line, kRM);
    EXPECT_EQ(field(readFor(line, 3000, 23), 18, 22), "070.0");

    const int control = connectTo("control.sock");
    ASSERT_GE(control, 0);
    const Clock::time_point goSent = Clock::now();
    writeAll(control, "go\n");
    ASSERT_EQ(readFor(control, 3000, 17), "ok script at 0 s\n");
    const Clock::time_point goAnswered = Clock::now();

    // Each record was taken at a moment inside its exchange, and the profile rises, so it
    // lies between the profile's values at the exchange's earliest and latest script time.
    int onTheRamp = 0;
    std::string last;
    while (seconds(Clock::now() - goAnswered) < 5) {
        const Clock::time_point asked = Clock::now();
        const std::string r = record();
        const Clock::time_point answered = Clock::now();
        ASSERT_EQ(r.size(), 43u);
        const double earliest = seconds(asked - goAnswered);
        const double latest = seconds(answered - goSent);
        const int rpm = std::stoi(field(r, 37, 40));
        const int co = std::stoi(field(r, 7, 8)) * 1000 + std::stoi(field(r, 10, 12));
        EXPECT_GE(rpm, profileRpm(earliest) - 1) << earliest;
        EXPECT_LE(rpm, profileRpm(latest) + 1) << latest;
        EXPECT_GE(co, profileCoMilli(earliest) - 1) << earliest;
        EXPECT_LE(co, profileCoMilli(latest) + 1) << latest;
        onTheRamp += rpm > 900 && rpm < 2900 ? 1 : 0;
        last = r;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    EXPECT_GE(onTheRamp, 3);
    EXPECT_EQ(field(last, 7, 40), "00.600 13.00 00150 01.30 000002900");
    writeAll(line, kRM);
    EXPECT_EQ(field(readFor(line, 3000, 23), 18, 22), "090.0");

    // The probe pulled out through the --connect client: clean air, the engine still running.
    const std::string client = programPath() + " --connect control.sock";
    std::FILE* pipe = ::popen(("echo 'probe out' | " + client).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char answer[64] = {};
    const std::size_t n = std::fread(answer, 1, sizeof answer - 1, pipe);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(std::string(answer, n), "ok probe out\n");
    EXPECT_EQ(field(record(), 7, 40), "00.000 00.00 00000 20.85 000002900");

    writeAll(control, "leak 50\nprobe in\nquit\n");
    EXPECT_EQ(readFor(control, 3000, 32), "ok leak 50 %\nok probe in\nok bye\n");
    EXPECT_EQ(sim.exitStatus(3000), 0);
    EXPECT_FALSE(QFileInfo::exists("control.sock"));
    EXPECT_FALSE(QFileInfo("COM1").isSymLink());
    ::close(control);
    ::close(line);
}

TEST(VehicleProgram, At1200BaudAHandPlayedCarTakesStdinAndDoublesTheSpeedForRpm2) {
    const vz::test::ScratchCurrentDir dir;
    Child sim;
    ASSERT_TRUE(sim.start({"--vehicle", "interactive", "--baud", "1200", "--rpm-mode", "2", "--rpm", "800",
                           "--co", "0.1", "--co2", "14.8", "--link-dir", ".", "--com", "2"}));
    const int line = ::open("COM2", O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    // The station reads what has come every 400 ms and patches its result record from it.
    // After a command, the first block may still hold lines sent before the answer; a later
    // block that holds a whole line is wholly newer. A busy machine can leave a block empty,
    // so reading goes on (for at most 4 s) until such a block has come.
    vz::StationState station;
    auto record = [&] {
        bool fresh = false;
        for (int block = 0; block < 10 && !fresh; ++block) {
            const std::string bytes = readFor(line, 400);
            const std::size_t begin = bytes.find('C');
            fresh = block > 0 && begin != std::string::npos && bytes.find('\n', begin) != std::string::npos;
            station.CurFrame = vz::cutFrames(station, QByteArray::fromStdString(bytes));
            vz::ConvData(station);
        }
        return station.FrameSlots[4].toStdString();
    };
    std::string r = record();
    EXPECT_EQ(field(r, 7, 18), "00.100 14.80");
    EXPECT_EQ(field(r, 37, 40), "1600");

    sim.send("rpm 2700\n");
    EXPECT_EQ(sim.line(), "ok rpm 2700");
    EXPECT_EQ(field(record(), 37, 40), "5400");
    sim.send("leak 50\n");
    EXPECT_EQ(sim.line(), "ok leak 50 %");
    EXPECT_EQ(field(record(), 7, 18), "00.050 07.40");
    sim.send("quit\n");
    EXPECT_EQ(sim.line(), "ok bye");
    EXPECT_EQ(sim.exitStatus(3000), 0);
    ::close(line);
}

TEST(VehicleProgram, ABadProfileIsRefusedWithItsLineBeforeAnyLineOpens) {
    const vz::test::ScratchCurrentDir dir;
    vz::test::ScratchFiles::writeFile("bad.profile", "0 800 0.1 14.8 40 0.2 85\n5 800 0.1 14.8 40 0.2\n");
    const std::string command =
        programPath() + " --vehicle bad.profile --link-dir . --com 3 2>&1; echo \"exit $?\"";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char output[512] = {};
    const std::size_t n = std::fread(output, 1, sizeof output - 1, pipe);
    ::pclose(pipe);
    EXPECT_EQ(std::string(output, n),
              "analyser-sim: bad.profile: line 2: expected 7 numbers (time, speed, CO, "
              "CO2, HC, O2, oil temperature), found 6\nexit 2\n");
    EXPECT_FALSE(QFileInfo("COM3").isSymLink());
}
