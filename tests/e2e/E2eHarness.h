#pragma once
// Runs the real station binary under Xvfb, the way an operator meets it: an X server, the
// analyser simulator behind COM1 in a scratch working directory, keys typed with xdotool and
// the screen read back with xwd.
#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace e2e {

QString binDir();    // build/bin
QString sourceDir(); // the source tree

class XServer {
public:
    explicit XServer(QSize screen = QSize(1920, 1200));
    ~XServer();
    bool ok() const { return m_ok; }
    QString display() const { return m_display; }

private:
    QProcess m_proc;
    QString m_display;
    bool m_ok = false;
};

// VEZARO.INI as the station writes it: the five lines for COM1 at 9600 baud, a window
// `width` wide, `windowed` "normal" or "maximized".
QByteArray stationIni(int width, const char* windowed);

// A window manager (openbox) on the given display, as on an ordinary desktop; stopped with
// its process when the object goes.
class WindowManager {
public:
    explicit WindowManager(const QString& display);
    ~WindowManager();
    bool ok() const { return m_ok; }

private:
    QProcess m_proc;
    bool m_ok = false;
};

// The _NET_WM_STATE atoms of a window (e.g. "_NET_WM_STATE_MAXIMIZED_VERT"), as xprop lists them.
QString windowStates(const QString& display, const QString& windowId);

// Runs a command to completion with DISPLAY set; returns its standard output.
QByteArray run(const QString& display, const QString& program, const QStringList& args,
               int timeoutMs = 10000);

// The first window whose name contains `name`, waiting up to timeoutMs; empty when none.
QString findWindow(const QString& display, const QString& name, int timeoutMs = 15000);
QString windowName(const QString& display, const QString& windowId);
// Focuses the window and types the keys (xdotool key names, e.g. "F2", "Return").
void typeKeys(const QString& display, const QString& windowId, const QStringList& keys);
// The window's top-left corner on the screen, its width and height.
QRect windowGeometry(const QString& display, const QString& windowId);
// The whole screen as an image (xwd of the root window).
QImage grabScreen(const QString& display);
// Decodes an xwd dump of a 24/32-bit ZPixmap screen.
QImage decodeXwd(const QByteArray& xwd);

// How many times longer than the waits' nominal time the station may take (VZ_E2E_TIME_SCALE,
// set by the sanitized test run; 1 otherwise).
int timeScale();

// Polls `condition` every 100 ms while pumping nothing; true when it held within timeoutMs
// stretched by timeScale().
bool waitFor(const std::function<bool()>& condition, int timeoutMs);

} // namespace e2e
