#pragma once
// The simulator's end of the serial line: a pseudo-terminal (or a named device) set raw, and
// the COM<n> link through which the station finds it.
#include <string>

namespace sim {

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens a pty pair. The slave is set raw at the baud rate and stays open here as well, so
    // the master never sees a hang-up (EIO) while the station closes and reopens its port.
    bool openPty(int baud, std::string& error);
    // Opens a serial device, raw at the baud rate.
    bool openDevice(const std::string& path, int baud, std::string& error);

    int fd() const { return fd_; }                    // the end the simulator reads and writes
    int slaveFd() const { return slaveFd_; }          // the pty slave kept open here, -1 for a device
    const std::string& path() const { return path_; } // what the station opens

private:
    int fd_ = -1;
    int slaveFd_ = -1;
    std::string path_;
};

// The link DIR/COM<n> pointing at the line's path. An existing link is replaced; a file that
// is not a link is left alone and reported. The link is removed again by remove() or the
// destructor, but only while it still points where this object made it point.
class ComLink {
public:
    ComLink() = default;
    ~ComLink() { remove(); }
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;

    bool create(const std::string& dir, int com, const std::string& target, std::string& error);
    void remove();
    const std::string& linkPath() const { return link_; }

private:
    std::string link_;
    std::string target_;
};

} // namespace sim
