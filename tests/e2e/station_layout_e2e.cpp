// The real station on screens that are not 4:3: started maximized under openbox on 16:9,
// 16:10 and 4:3 screens (the title bar makes even the last one another shape), and tiled by
// a window manager that keeps its own size and refuses every other. The station lists its
// controls after every layout (VZ_LAYOUT_DUMP); the checks read that list and the X server.
#include "E2eHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <vector>

// Xlib last: its macros (None, Bool, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace e2e;

// Screen sizes in the test names and messages as 1600x900.
static void PrintTo(const QSize& size, std::ostream* os) {
    *os << size.width() << "x" << size.height();
}

namespace {

// A tiling window manager reduced to what matters here: every top-level window that is not a
// dialog gets the tile at the screen's corner when it is mapped, and every size it asks for
// afterwards is refused with a configure notice of the size it has (as ICCCM wants of a
// window manager that declines a request). Dialogs are mapped and configured as they ask.
// It runs in the test's thread: serve() handles what is pending.
class TilingManager {
public:
    TilingManager(const QString& display, QSize tile) : m_tile(tile) {
        m_dpy = XOpenDisplay(display.toLatin1().constData());
        if (!m_dpy)
            return;
        XSelectInput(m_dpy, DefaultRootWindow(m_dpy), SubstructureRedirectMask | SubstructureNotifyMask);
        XSync(m_dpy, False);
        m_ok = true;
    }
    ~TilingManager() {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }
    bool ok() const { return m_ok; }
    int refused() const { return m_refused; }

    void serve() {
        while (m_ok && XPending(m_dpy)) {
            XEvent ev;
            XNextEvent(m_dpy, &ev);
            if (ev.type == MapRequest) {
                const Window w = ev.xmaprequest.window;
                if (!isDialog(w)) {
                    XMoveResizeWindow(m_dpy, w, 0, 0, unsigned(m_tile.width()), unsigned(m_tile.height()));
                    m_tiled.push_back(w);
                }
                XMapWindow(m_dpy, w);
            } else if (ev.type == ConfigureRequest) {
                const XConfigureRequestEvent& r = ev.xconfigurerequest;
                if (std::find(m_tiled.begin(), m_tiled.end(), r.window) == m_tiled.end()) {
                    XWindowChanges c{r.x, r.y, r.width, r.height, r.border_width, r.above, r.detail};
                    XConfigureWindow(m_dpy, r.window, unsigned(r.value_mask), &c);
                } else {
                    refuse(r.window);
                }
            }
            XFlush(m_dpy);
        }
    }

private:
    bool isDialog(Window w) {
        Window owner = 0;
        return XGetTransientForHint(m_dpy, w, &owner) && owner != 0;
    }

    void refuse(Window w) {
        ++m_refused;
        XWindowAttributes a;
        XGetWindowAttributes(m_dpy, w, &a);
        XEvent ce{};
        ce.xconfigure.type = ConfigureNotify;
        ce.xconfigure.display = m_dpy;
        ce.xconfigure.event = w;
        ce.xconfigure.window = w;
        ce.xconfigure.x = a.x;
        ce.xconfigure.y = a.y;
        ce.xconfigure.width = a.width;
        ce.xconfigure.height = a.height;
        XSendEvent(m_dpy, w, False, StructureNotifyMask, &ce);
    }

    Display* m_dpy = nullptr;
    QSize m_tile;
    std::vector<Window> m_tiled;
    int m_refused = 0;
    bool m_ok = false;
};

// One control of the station's layout list.
struct Control {
    QString name, parent;
    QRect rect; // in the window
    int textWidth = 0;
};

// The station's layout list: the window's size and state, its 4:3 area and its controls.
struct LayoutDump {
    QSize window;
    QString state;
    QRect stage;
    std::vector<Control> controls;

    static LayoutDump read(const QString& path) {
        LayoutDump d;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return d;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> t = line.split(' ');
            if (t.size() == 4 && t[0] == "window") {
                d.window = QSize(t[1].toInt(), t[2].toInt());
                d.state = QString::fromLatin1(t[3]);
            } else if (t.size() == 5 && t[0] == "stage") {
                d.stage = QRect(t[1].toInt(), t[2].toInt(), t[3].toInt(), t[4].toInt());
            } else if (t.size() == 7) {
                d.controls.push_back({QString::fromLatin1(t[0]), QString::fromLatin1(t[1]),
                                      QRect(t[2].toInt(), t[3].toInt(), t[4].toInt(), t[5].toInt()),
                                      t[6].toInt()});
            }
        }
        return d;
    }
};

// The checks every layout must pass: the 4:3 area is the widest that fits and is centred,
// every control is inside it, no two controls of one parent overlap, and every caption fits
// its control's width.
void expectSoundLayout(const LayoutDump& d) {
    const int cw = d.window.width(), ch = d.window.height();
    const int W = std::min(cw, (ch / 3) * 4 + 3), H = (W / 4) * 3;
    EXPECT_EQ(d.stage, QRect((cw - W) / 2, (ch - H) / 2, W, H)) << "the 4:3 area is not centred";
    ASSERT_FALSE(d.controls.empty());
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& a = d.controls[i];
        const std::string name = a.name.toStdString();
        if (a.parent == u"window") {
            EXPECT_TRUE(d.stage.contains(a.rect)) << name << " leaves the 4:3 area";
        }
        EXPECT_LE(a.textWidth, a.rect.width()) << name << "'s caption is wider than it";
        for (size_t j = i + 1; j < d.controls.size(); ++j) {
            const Control& b = d.controls[j];
            if (a.parent == b.parent) {
                EXPECT_FALSE(a.rect.intersects(b.rect)) << name << " overlaps " << b.name.toStdString();
            }
        }
    }
}

// A scratch station directory with the demo file, the station binary under an X server of
// one screen size, and its layout list.
class StationLayout : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists("/usr/bin/Xvfb"))
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    }

    void TearDown() override {
        if (station.state() != QProcess::NotRunning) {
            station.kill();
            station.waitForFinished(3000);
        }
        if (HasFailure()) {
            QFile err(dir.filePath("station.err"));
            if (err.open(QIODevice::ReadOnly))
                std::cerr << "--- station stderr ---\n" << err.readAll().right(4096).toStdString() << "\n";
        }
    }

    void startStation(const QString& display, const QByteArray& ini) {
        QFile f(dir.filePath("VEZARO.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ini);
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("VZ_LAYOUT_DUMP", dumpPath());
        env.insert("CUPS_SERVER", dir.filePath("no-cups.sock"));
        env.remove("WAYLAND_DISPLAY");
        station.setProcessEnvironment(env);
        station.setWorkingDirectory(dir.path());
        station.setStandardOutputFile(dir.filePath("station.out"));
        station.setStandardErrorFile(dir.filePath("station.err"));
        station.start(binDir() + "/vezaro", {});
        ASSERT_TRUE(station.waitForStarted(5000));
    }

    QString dumpPath() const { return dir.filePath("layout.txt"); }
    LayoutDump dump() const { return LayoutDump::read(dumpPath()); }

    QTemporaryDir dir;
    QProcess station;
};

class MaximizedOnScreen : public StationLayout, public ::testing::WithParamInterface<QSize> {};

TEST_P(MaximizedOnScreen, theLayoutFillsTheCentredFourToThreeArea) {
    const QSize screen = GetParam();
    XServer x(screen);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    if (!QFile::exists("/usr/bin/openbox"))
        GTEST_SKIP() << "openbox is not installed";
    WindowManager wm(x.display());
    ASSERT_TRUE(wm.ok()) << "openbox did not start";

    startStation(x.display(), stationIni(707, "maximized"));
    const QString box = findWindow(x.display(), "DEMO FILE LOADED");
    ASSERT_FALSE(box.isEmpty());
    typeKeys(x.display(), box, {"Return"});
    const QString win = findWindow(x.display(), "ZAN GAS ANALISER");
    ASSERT_FALSE(win.isEmpty());

    // Laid out for the size the window has on the screen, as a maximized window.
    QRect g;
    ASSERT_TRUE(waitFor(
        [&] {
            g = windowGeometry(x.display(), win);
            const LayoutDump d = dump();
            return d.state == u"maximized" && d.window == g.size() && g.width() == screen.width();
        },
        8000))
        << "window " << g.width() << "x" << g.height() << ", laid out for " << dump().window.width() << "x"
        << dump().window.height() << " " << dump().state.toStdString();
    EXPECT_TRUE(windowStates(x.display(), win).contains("MAXIMIZED_HORZ"));
    EXPECT_NE(g.width() * 3, g.height() * 4) << "the screen left the window at 4:3";
    expectSoundLayout(dump());

    const QString out = qEnvironmentVariable("VZ_SCREENSHOT_DIR");
    if (!out.isEmpty() && screen == QSize(1600, 900)) {
        QThread::msleep(2500); // a few replayed readings and a finished bar animation
        EXPECT_TRUE(grabScreen(x.display()).copy(g).save(QDir(out).filePath("main-maximized-1600x900.png")));
    }
    station.terminate();
    EXPECT_TRUE(station.waitForFinished(5000));
}

std::string screenName(const ::testing::TestParamInfo<QSize>& info) {
    return QStringLiteral("%1x%2").arg(info.param.width()).arg(info.param.height()).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Screens, MaximizedOnScreen,
                         ::testing::Values(QSize(1600, 900), QSize(1920, 1080), QSize(1920, 1200),
                                           QSize(1024, 768)),
                         screenName);

// Tiled: the window manager gives the window half a 1920 × 1080 screen and refuses the 4:3
// size the station asks for. The station asks no more than once for it (and once for the
// size it was left at, which the window manager holds anyway), lays out the tile's size in
// its centred 4:3 area, and keeps to that.
TEST_F(StationLayout, aTiledWindowIsLaidOutForTheTileAndAsksNoMore) {
    const QSize tile(960, 1080);
    XServer x(QSize(1920, 1080));
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    TilingManager wm(x.display(), tile);
    ASSERT_TRUE(wm.ok());
    auto until = [&](const std::function<bool()>& condition, int ms) {
        return waitFor(
            [&] {
                wm.serve();
                return condition();
            },
            ms);
    };

    startStation(x.display(), stationIni(707, "normal"));
    QString box;
    ASSERT_TRUE(
        until([&] { return !(box = findWindow(x.display(), "DEMO FILE LOADED", 1)).isEmpty(); }, 15000));
    typeKeys(x.display(), box, {"Return"});
    QString win;
    ASSERT_TRUE(
        until([&] { return !(win = findWindow(x.display(), "ZAN GAS ANALISER", 1)).isEmpty(); }, 15000));

    ASSERT_TRUE(until([&] { return dump().window == tile; }, 5000))
        << "laid out for " << dump().window.width() << "x" << dump().window.height();
    const int refused = wm.refused();
    until([] { return false; }, 1500); // more layouts would come in this time
    EXPECT_EQ(wm.refused(), refused) << "the station keeps asking";
    EXPECT_LE(refused, 2);
    EXPECT_EQ(windowGeometry(x.display(), win).size(), tile);
    const LayoutDump d = dump();
    EXPECT_EQ(d.window, tile);
    EXPECT_EQ(d.state, u"normal");
    EXPECT_GT(d.stage.y(), 0);
    expectSoundLayout(d);

    station.terminate();
    EXPECT_TRUE(until([&] { return station.waitForFinished(50); }, 5000));
}

} // namespace
