#include "SerialTestSupport.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The component's timers and notifiers need an application object.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "serial_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
};
[[maybe_unused]] const auto* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);
} // namespace

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    path = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slave >= 0)
        ::close(slave);
}

void PtyPair::closeMaster() {
    if (master >= 0)
        ::close(master);
    master = -1;
}

void PtyPair::send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else {
            pollfd pfd{master, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                throw std::runtime_error("pty master not writable");
        }
    }
}

QByteArray PtyPair::receive(int count, int ms) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < count && timer.elapsed() < ms) {
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 10) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
        }
    }
    return got;
}

QByteArray PtyPair::receiveAll(int ms) {
    return receive(1 << 30, ms);
}

bool PtyPair::waitQueued(int count, int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        int queued = 0;
        if (::ioctl(slave, FIONREAD, &queued) == 0 && queued >= count)
            return true;
        QThread::usleep(500);
    } while (timer.elapsed() < ms);
    return false;
}

FakeClock::FakeClock(uint32_t start) : now(start) {
    vz::setTickCountSource([this] { return now; });
}

FakeClock::~FakeClock() {
    vz::setTickCountSource({});
}

bool pumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}
