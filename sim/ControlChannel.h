#pragma once
// Text commands for the simulated vehicle: lines from a Unix socket (any number of clients,
// one after another or together) and/or from stdin, each answered with one line, on the
// client's connection or on stdout. Nothing here blocks: the descriptors are polled in the
// simulator's own loop.
#include <functional>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sim {

class ControlChannel {
public:
    // Gives the answer to one command line (without its line end); empty: no answer.
    using Handler = std::function<std::string(const std::string& line)>;

    // Longest command line taken; a longer one is answered with an error and dropped.
    static constexpr std::size_t kMaxLine = 256;
    // Clients connected at the same time; a further one is told so and closed.
    static constexpr std::size_t kMaxClients = 8;

    ControlChannel() = default;
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Listens on a Unix socket at `path`. A socket left there by an earlier run is replaced;
    // any other file is left alone and reported.
    bool listen(const std::string& path, std::string& error);
    // Takes commands from stdin and answers on stdout. End of input stops only this.
    void useStdin();

    // Appends the descriptors to poll; handle() reads their results from the same places.
    void addPollFds(std::vector<pollfd>& fds);
    // Accepts clients, reads what the poll found and answers every complete line.
    void handle(const std::vector<pollfd>& fds, const Handler& handler);

    // Closes every connection and removes the socket, if it is still the one made here.
    void close();
    std::size_t clientCount() const;

private:
    struct Peer {
        int readFd;
        int writeFd;
        std::string pending;
        bool overlong = false;
    };
    bool serve(Peer& peer, const Handler& handler); // false: the peer is gone

    int listenFd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::vector<Peer> peers_; // stdin first when used
    std::size_t firstPollIndex_ = 0;
    std::size_t polledPeers_ = 0;
};

// The --connect client: sends the lines of stdin to the socket at `path` and copies the
// answers to stdout until the simulator has answered them all. The exit status.
int runControlClient(const std::string& path);

} // namespace sim
