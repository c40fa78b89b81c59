// The control channel over a real Unix socket in a scratch directory: lines in pieces and
// several at once, two clients, a line too long, and the socket's own file.
#include "ControlChannel.h"
#include "../ScratchFiles.h"
#include "PtyTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace sim;
using namespace simtest;

namespace {

// Polls the channel as the simulator's loop does, for about ms milliseconds.
void pump(ControlChannel& channel, const ControlChannel::Handler& handler, int ms = 60) {
    for (int i = 0; i < ms / 10; ++i) {
        std::vector<pollfd> fds;
        channel.addPollFds(fds);
        ::poll(fds.data(), fds.size(), 10);
        channel.handle(fds, handler);
    }
}

} // namespace

TEST(ControlChannel, AnswersEveryLineOfEveryClientOnItsOwnConnection) {
    const vz::test::ScratchCurrentDir dir;
    ControlChannel channel;
    std::string error;
    ASSERT_TRUE(channel.listen("control.sock", error)) << error;
    std::vector<std::string> heard;
    const ControlChannel::Handler echo = [&](const std::string& line) {
        heard.push_back(line);
        return line.empty() ? std::string() : "ok " + line;
    };

    const int a = connectTo("control.sock");
    const int b = connectTo("control.sock");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    pump(channel, echo);
    EXPECT_EQ(channel.clientCount(), 2u);

    writeAll(a, "rpm 27");
    pump(channel, echo);
    EXPECT_EQ(readFor(a, 20), ""); // half a line is not a command yet
    writeAll(a, "00\r\n\nidle\n");
    writeAll(b, "probe out\n");
    pump(channel, echo);
    EXPECT_EQ(readFor(a, 50), "ok rpm 2700\nok idle\n"); // the empty line gets no answer
    EXPECT_EQ(readFor(b, 50), "ok probe out\n");

    // A line beyond the limit is refused once and its rest skipped; the next line counts.
    writeAll(b, std::string(ControlChannel::kMaxLine + 50, 'x'));
    pump(channel, echo);
    writeAll(b, std::string(40, 'x') + "\nstatus\n");
    pump(channel, echo);
    EXPECT_EQ(readFor(b, 50), "error: a command line has at most 256 characters\nok status\n");

    // A client that leaves with a last line unterminated still gets it done.
    writeAll(a, "leak 30");
    ::shutdown(a, SHUT_WR);
    pump(channel, echo);
    EXPECT_EQ(readFor(a, 50), "ok leak 30\n");
    EXPECT_EQ(channel.clientCount(), 1u);
    EXPECT_EQ(heard, (std::vector<std::string>{"rpm 2700", "", "idle", "probe out", "status", "leak 30"}));
    ::close(a);
    ::close(b);

    channel.close();
    EXPECT_FALSE(QFileInfo::exists("control.sock"));
}

TEST(ControlChannel, ReplacesAStaleSocketButNeitherAFileNorALiveSocket) {
    const vz::test::ScratchCurrentDir dir;
    std::string error;
    {
        ControlChannel first;
        ASSERT_TRUE(first.listen("c.sock", error)) << error;
        ControlChannel second;
        EXPECT_FALSE(second.listen("c.sock", error));
        EXPECT_EQ(error, "c.sock: another program listens on this socket");
        // The refused one must not take the first one's socket away.
        second.close();
        const int fd = connectTo("c.sock");
        EXPECT_GE(fd, 0);
        ::close(fd);
    }
    // A socket file nobody listens on, as a killed simulator leaves it.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "c.sock");
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    ControlChannel again;
    EXPECT_TRUE(again.listen("c.sock", error)) << error;
    again.close();

    vz::test::ScratchFiles::writeFile("notes.txt", "keep");
    ControlChannel onFile;
    EXPECT_FALSE(onFile.listen("notes.txt", error));
    EXPECT_EQ(error, "notes.txt: exists and is not a socket; not replaced");
    EXPECT_EQ(vz::test::ScratchFiles::readFile("notes.txt"), QByteArray("keep"));
    EXPECT_FALSE(onFile.listen(std::string(200, 'p'), error));
}
