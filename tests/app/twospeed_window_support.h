#pragma once
// Shared by the two-speed window's tests: the analyser's result records and oil frames for a
// car's readings, a pseudo-terminal pair, and the operator's keys sent to the focused control
// of a window.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <fcntl.h>
#include <stdlib.h>
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
