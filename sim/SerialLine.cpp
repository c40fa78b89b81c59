#include "SerialLine.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

speed_t speedOf(int baud) {
    return baud == 1200 ? B1200 : B9600;
}

bool makeRaw(int fd, int baud, std::string& error) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speedOf(baud));
    cfsetospeed(&t, speedOf(baud));
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = std::string("tcsetattr: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

SerialLine::~SerialLine() {
    if (fd_ >= 0)
        ::close(fd_);
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
}

bool SerialLine::openPty(int baud, std::string& error) {
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    fd_ = master;
    slaveFd_ = slave;
    path_ = name;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    return makeRaw(slave, baud, error) && setNonBlocking(master);
}

bool SerialLine::openDevice(const std::string& path, int baud, std::string& error) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    return makeRaw(fd_, baud, error);
}

bool ComLink::create(const std::string& dir, int com, const std::string& target, std::string& error) {
    const std::string link = dir + "/COM" + std::to_string(com);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = link + " exists and is not a link; not replacing it";
        return false;
    }
    // Make the new link under a temporary name and rename it over the old one, so the name
    // never points nowhere while a station might be opening it.
    const std::string temporary = link + ".sim" + std::to_string(getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    link_ = link;
    target_ = target;
    return true;
}

void ComLink::remove() {
    if (link_.empty())
        return;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link_.c_str(), buffer, sizeof buffer);
    // Another simulator may have taken the name over since; its link is not ours to remove.
    if (n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == target_)
        ::unlink(link_.c_str());
    link_.clear();
}

} // namespace sim
