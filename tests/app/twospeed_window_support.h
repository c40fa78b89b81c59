#pragma once
// Shared by the two-speed window's tests: the analyser's result records, lettered-field lines
// and oil frames for a car's readings, a pseudo-terminal pair, a file-size limit that makes
// writes fail for real, and the operator's keys sent to the focused control of a window.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include "TwoSpeedWindow.h"
#include "frames_test_support.h"

#include <memory>

namespace vz::test {

// What the car and the analyser give in one result record.
struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
};
inline const Engine kCleanAir{800, 0.0, 0.0, 0, 20.9};

inline QByteArray recordOf(const Engine& e) {
    return resultRecord(QString::asprintf("%06.3f", e.co).toLatin1().constData(),
                        QString::asprintf("%05.2f", e.co2).toLatin1().constData(),
                        QString::asprintf("%05d", int(e.hc)).toLatin1().constData(),
                        QString::asprintf("%05.2f", e.o2).toLatin1().constData(),
                        QString::asprintf("%04d", e.rpm).toLatin1().constData());
}

// The same readings as the self-sending (1200-baud) analyser sends them: one line of lettered
// fields, CO to hundredths, CO2 and O2 to tenths; `withSpeed` false leaves out the G field.
inline QByteArray lineOf(const Engine& e, bool withSpeed = true) {
    QString line = QString::asprintf("C%4.2fB%04.1fA%04dD%04.1f", e.co, e.co2, int(e.hc), e.o2);
    if (withSpeed)
        line += QString::asprintf("G%04d", e.rpm);
    return line.toLatin1() + "\r\n";
}

// The analyser's oil probe, as its "RM" frame gives it.
inline QByteArray oilFrame(double celsius) {
    return frame("RM", "\x17 0000 0900  " + QString::asprintf("%05.1f", celsius).toLatin1());
}

// A pseudo-terminal pair, as the simulator makes one; the test keeps the master side.
struct Pty {
    int master = -1;
    QString slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() {
        if (master >= 0)
            ::close(master);
    }
};

// A full disk, as the process meets it: files may not grow past `bytes` (RLIMIT_FSIZE, soft
// limit) and SIGXFSZ is ignored, so a write past the limit fails with EFBIG instead of killing
// the test. Both are put back by lift() or at the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }
    void lift() {
        if (lifted_)
            return;
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
        lifted_ = true;
        active_ = false;
    }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = SIG_DFL; // SIG_DFL is a null pointer: no use as "already lifted"
    bool active_ = false;
    bool lifted_ = false;
};

// Keys as the keyboard sends them: to the focused control of `window`.
inline QWidget* focusIn(QWidget* window) {
    return window->focusWidget() ? window->focusWidget() : window;
}
inline void pressKey(QWidget* window, int key, const QString& text = {}) {
    QPointer<QWidget> target = focusIn(window);
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
    if (target) {
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &up);
    }
}
inline void typeKeys(QWidget* window, const QString& text) {
    for (const QChar c : text)
        pressKey(window,
                 c.isLetterOrNumber() && c.unicode() < 128 ? int(c.toUpper().unicode())
                                                           : int(Qt::Key_unknown),
                 QString(c));
}

// The window under test and the operator's keys to it.
struct TwoSpeedWindowKeys {
    std::unique_ptr<TwoSpeedWindow> window;

    QWidget* focus() const { return focusIn(window.get()); }
    void press(int key, const QString& text = {}) { pressKey(window.get(), key, text); }
    void type(const QString& text) { typeKeys(window.get(), text); }
    void enter() { press(Qt::Key_Return, QStringLiteral("\r")); }
    void esc() { press(Qt::Key_Escape, QString(QChar(0x1b))); }
    void tab() { press(Qt::Key_Tab, QStringLiteral("\t")); }
};

} // namespace vz::test
