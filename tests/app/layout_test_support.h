#pragma once
// Shared by the layout tests: one QApplication for the executable and a bare main window
// (no start-up) shown on the offscreen platform, so that resizing it runs RestWin.
#include "TChart.h"
#include "TLabel.h"
#include "VEZAro.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace vz::test {

// Screens of the offscreen platform besides its usual 800 × 800 one, which stays the primary
// screen: a 16:9 and a 16:10 one, for maximized windows of those shapes.
inline const QSize kWideScreens[] = {{1600, 900}, {1920, 1200}};

inline QApplication& layoutApp() {
    static int argc = 1;
    static char name[] = "app_layout_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // The offscreen platform reads its screens from a file named after it, when it starts.
        QTemporaryDir dir;
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen") && dir.isValid()) {
            QString screens = QStringLiteral("{\"name\": \"default\", \"x\": 0, \"y\": 0, \"width\": 800, "
                                             "\"height\": 800, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
                                             "\"dpr\": 1}");
            int x = 800;
            for (const QSize& s : kWideScreens) {
                screens += QStringLiteral(", {\"name\": \"wide%1\", \"x\": %2, \"y\": 0, \"width\": %1, "
                                          "\"height\": %3, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
                                          "\"dpr\": 1}")
                               .arg(s.width())
                               .arg(x)
                               .arg(s.height());
                x += s.width();
            }
            const QString path = dir.filePath(QStringLiteral("screens.json"));
            QFile f(path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                f.write(QStringLiteral("{\"windowFrameMargins\": false, \"screens\": [%1]}")
                            .arg(screens)
                            .toUtf8());
                f.close();
                qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
            }
        }
        return new QApplication(argc, argv); // never torn down in the exit handlers
    }();
    return *app;
}

// The offscreen screen of the given size, or null.
inline QScreen* screenOfSize(QSize size) {
    layoutApp();
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().size() == size)
            return s;
    return nullptr;
}

// Lets the event loop run for a while: the window system's answers and the timers.
inline void pumpEvents(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// Counts the resizes the window asks for itself: they reach it as non-spontaneous resize
// events (the window system's come spontaneous).
struct ResizeRequests : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize && !event->spontaneous())
            ++count;
        return false;
    }
};

// Every control of the window that shows: its geometry in its parent, font size and caption.
struct ControlState {
    QRect geometry;
    int points = 0;
    QString caption;
};
using LayoutSnapshot = QMap<QString, ControlState>;

// The snapshot, with the window's own children moved by -origin: the positions as a 4:3
// window of the area's size has them.
inline LayoutSnapshot snapshot(const QWidget& window, QPoint origin = {}) {
    LayoutSnapshot out;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->isWindow() || !w->isVisibleTo(&window))
            continue;
        ControlState c;
        c.geometry = w->geometry();
        if (w->parentWidget() == &window)
            c.geometry.translate(-origin);
        c.points = w->font().pointSize();
        if (const auto* label = qobject_cast<const QLabel*>(w))
            c.caption = label->text();
        else if (const auto* button = qobject_cast<const QPushButton*>(w))
            c.caption = button->text();
        out.insert(w->objectName(), c);
    }
    return out;
}

inline std::unique_ptr<TMnGASForm> shownMainWindow() {
    layoutApp();
    auto w = std::make_unique<TMnGASForm>(TMnGASForm::Options{false});
    // No cycle: a tick of the bare window would try a demo replay and open a box.
    w->Timer1->stop();
    w->show();
    return w;
}

inline int pointSize(const QWidget* w) {
    return w->font().pointSize();
}
inline int bottom(const QWidget* w) {
    return w->y() + w->height();
}
inline int right(const QWidget* w) {
    return w->x() + w->width();
}

} // namespace vz::test
