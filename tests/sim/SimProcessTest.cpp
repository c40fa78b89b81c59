// The built analyser-sim, started as the run script starts it, driven through its COM link.
#include "../ScratchFiles.h"
#include "PtyTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>

using namespace simtest;

namespace {

class SimProcess {
public:
    // Starts the program and waits for its "PTY <path>" line.
    bool start(std::vector<std::string> args) {
        const std::string program = programPath();
        int out[2];
        if (::pipe(out) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = out[0];
        for (int i = 0; i < 50 && firstLine.find('\n') == std::string::npos; ++i)
            firstLine += readFor(output_, 100, 1);
        return firstLine.rfind("PTY /", 0) == 0;
    }
    // SIGTERM, then the exit status (-1 when it did not end within two seconds).
    int stop() {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }
    std::string firstLine;

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// Runs a command line to its end and gives its exit status.
int runToEnd(const std::string& args) {
    const std::string command = programPath() + " " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SimProgramInDir : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    vz::test::ScratchCurrentDir dir;
};

int openLink(const char* name) {
    return ::open(name, O_RDWR | O_NOCTTY);
}

} // namespace

TEST_F(SimProgramInDir, TheProgramAnswersThroughItsComLinkAndRemovesItOnSigterm) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--link-dir", ".", "--com", "1"})) << sim.firstLine;
    const std::string ptyPath = sim.firstLine.substr(4, sim.firstLine.find('\n') - 4);
    ASSERT_TRUE(QFileInfo("COM1").isSymLink());
    EXPECT_EQ(QFileInfo("COM1").symLinkTarget().toStdString(), ptyPath);

    int fd = openLink("COM1");
    ASSERT_GE(fd, 0);
    writeAll(fd, kRG);
    const std::string idle = readFor(fd, 2000, 43);
    ASSERT_EQ(idle.size(), 43u);
    EXPECT_EQ(idle.substr(0, 5), std::string("\x06"
                                             "1RG\x17"));
    EXPECT_EQ(idle.back(), '\x03');
    EXPECT_EQ(idle.substr(36, 4), "0000"); // not started yet: no engine speed

    // The start frame and the request, each split over two writes.
    writeAll(fd, kStart.substr(0, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    writeAll(fd, kStart.substr(2) + kRG.substr(0, 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    writeAll(fd, kRG.substr(4));
    const std::string running = readFor(fd, 2000, 43);
    ASSERT_EQ(running.size(), 43u);
    EXPECT_NEAR(std::stoi(running.substr(36, 4)), 850, 30);

    // The 4-byte frame with its two zero bytes stops the measurement.
    writeAll(fd, kReset + kRG);
    const std::string reset = readFor(fd, 2000, 43);
    ASSERT_EQ(reset.size(), 43u);
    EXPECT_EQ(reset.substr(36, 4), "0000");

    // The station closes and reopens its port: the simulator is still there.
    ::close(fd);
    fd = openLink("COM1");
    ASSERT_GE(fd, 0);
    writeAll(fd, kIN);
    const std::string in = readFor(fd, 2000, 9);
    EXPECT_EQ(in.substr(2, 2), "IN");
    ::close(fd);

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(QFileInfo("COM1").isSymLink());
}

TEST_F(SimProgramInDir, AStaleLinkIsReplacedButAFileIsNot) {
    ASSERT_EQ(::symlink("/nonexistent/pty", "COM1"), 0);
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--link-dir", dir.path().toStdString(), "--com", "1"}));
    EXPECT_NE(QFileInfo("COM1").symLinkTarget(), QString("/nonexistent/pty"));
    EXPECT_EQ(sim.stop(), 0);

    QFile file("COM2");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    EXPECT_EQ(runToEnd("--link-dir . --com 2"), 1);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep"));
}

TEST_F(SimProgramInDir, At1200BaudTheProgramSendsLetteredTextByItself) {
    SimProcess sim;
    ASSERT_TRUE(
        sim.start({"--link-dir", ".", "--com", "4", "--baud", "1200", "--period", "100", "--co", "1.23"}));
    const int fd = openLink("COM4");
    ASSERT_GE(fd, 0);
    const std::string text = readFor(fd, 3000, 60);
    const QRegularExpressionMatch m = QRegularExpression(kLetteredLinePattern)
                                          .match(QString::fromLatin1(text.data(), qsizetype(text.size())));
    ASSERT_TRUE(m.hasMatch()) << text;
    EXPECT_NEAR(m.captured(1).toDouble(), 1.23, 0.031);
    ::close(fd);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimProgram, ServesANamedDeviceSetRawAtItsBaudRate) {
    // A pty slave stands in for a serial device; the test talks on its master.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios cooked{};
    tcgetattr(slave, &cooked);
    cooked.c_lflag |= ICANON | ECHO;
    tcsetattr(slave, TCSANOW, &cooked);
    ::close(slave);

    SimProcess sim;
    ASSERT_TRUE(sim.start({"--device", name, "--commas"})) << sim.firstLine;
    EXPECT_EQ(sim.firstLine, std::string("PTY ") + name + "\n");
    writeAll(master, kRG);
    const std::string record = readFor(master, 2000, 43);
    ASSERT_EQ(record.size(), 43u); // no echo, no line editing: the line is raw
    EXPECT_EQ(record.substr(6, 6), "00,000");
    EXPECT_EQ(sim.stop(), 0);
    ::close(master);
}

TEST(SimProgram, HelpListsTheOptionsAndABadOptionFails) {
    EXPECT_EQ(runToEnd("--help"), 0);
    EXPECT_EQ(runToEnd("--no-such-option"), 2);
    EXPECT_EQ(runToEnd("--version"), 0);
    EXPECT_EQ(runToEnd("--baud 300"), 2);
}
