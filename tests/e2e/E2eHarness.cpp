#include "E2eHarness.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRect>
#include <QThread>
#include <QtEndian>

namespace e2e {

QString binDir() {
    return qEnvironmentVariable("VZ_BIN_DIR", QStringLiteral(VZ_DEFAULT_BIN_DIR));
}
QString sourceDir() {
    return qEnvironmentVariable("VZ_SOURCE_DIR", QStringLiteral(VZ_DEFAULT_SOURCE_DIR));
}

int timeScale() {
    // A sanitized build starts and draws several times slower: VZ_E2E_TIME_SCALE stretches
    // every wait (the sanitized test run sets it).
    static const int scale = std::max(1, qEnvironmentVariableIntValue("VZ_E2E_TIME_SCALE"));
    return scale;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    timeoutMs *= timeScale();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (condition())
            return true;
        QThread::msleep(100);
    }
    return condition();
}

XServer::XServer(QSize screen) {
    // Xvfb picks a display no other server holds and writes its number to standard output,
    // so test programs running side by side never share one. -noreset: by default the server
    // resets when its last client leaves, and a station started in that moment cannot connect.
    m_proc.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                  QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_proc.waitForStarted(5000))
        return;
    QByteArray number;
    waitFor(
        [&] {
            m_proc.waitForReadyRead(100);
            number += m_proc.readAllStandardOutput();
            return number.endsWith('\n') || m_proc.state() == QProcess::NotRunning;
        },
        10000);
    bool ok = false;
    const int n = number.trimmed().toInt(&ok);
    if (!ok)
        return;
    m_display = QStringLiteral(":%1").arg(n);
    m_ok = QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n));
}

XServer::~XServer() {
    m_proc.terminate();
    m_proc.waitForFinished(3000);
}

QByteArray stationIni(int width, const char* windowed) {
    return QStringLiteral(
               "COM PORT= COM1\r\nBAUDRATE= 9600\r\nDATABITS= 8bits\r\nHor Size= %1\r\nWindowed= %2\r\n")
        .arg(width)
        .arg(QLatin1String(windowed))
        .toLatin1();
}

WindowManager::WindowManager(const QString& display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    m_proc.setProcessEnvironment(env);
    m_proc.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_proc.waitForStarted(5000))
        return;
    // Running once it has claimed the root window (the _NET_SUPPORTING_WM_CHECK property).
    m_ok = waitFor(
        [&] {
            return run(display, QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains("window id");
        },
        5000);
    if (!m_ok)
        qWarning("openbox: %s", m_proc.readAllStandardError().constData());
}

WindowManager::~WindowManager() {
    m_proc.terminate();
    if (!m_proc.waitForFinished(3000)) {
        m_proc.kill();
        m_proc.waitForFinished(3000);
    }
}

QString windowStates(const QString& display, const QString& windowId) {
    return QString::fromLatin1(run(display, QStringLiteral("xprop"),
                                   {QStringLiteral("-id"), windowId, QStringLiteral("_NET_WM_STATE")}));
}

QByteArray run(const QString& display, const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    return p.readAllStandardOutput();
}

QString findWindow(const QString& display, const QString& name, int timeoutMs) {
    QString id;
    waitFor(
        [&] {
            const QByteArray out = run(
                display, QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), name});
            id = QString::fromLatin1(out).split(u'\n', Qt::SkipEmptyParts).value(0).trimmed();
            return !id.isEmpty();
        },
        timeoutMs);
    return id;
}

QString windowName(const QString& display, const QString& windowId) {
    return QString::fromUtf8(
               run(display, QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), windowId}))
        .trimmed();
}

void typeKeys(const QString& display, const QString& windowId, const QStringList& keys) {
    run(display, QStringLiteral("xdotool"),
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId});
    QStringList args{QStringLiteral("key"), QStringLiteral("--clearmodifiers")};
    args += keys;
    run(display, QStringLiteral("xdotool"), args);
}

QRect windowGeometry(const QString& display, const QString& windowId) {
    // xwininfo's absolute corner is where the window's contents are on the screen, under a
    // reparenting window manager too (xdotool adds the frame's offset a second time there).
    const QString out =
        QString::fromLatin1(run(display, QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId}));
    QRect r;
    for (const QString& line : out.split(u'\n')) {
        const QString key = line.section(u':', 0, 0).trimmed();
        const int value = line.section(u':', 1).trimmed().toInt();
        if (key == u"Absolute upper-left X")
            r.moveLeft(value);
        else if (key == u"Absolute upper-left Y")
            r.moveTop(value);
        else if (key == u"Width")
            r.setWidth(value);
        else if (key == u"Height")
            r.setHeight(value);
    }
    return r;
}

QImage decodeXwd(const QByteArray& xwd) {
    if (xwd.size() < 100)
        return {};
    auto field = [&](int i) { return qFromBigEndian<quint32>(xwd.constData() + 4 * i); };
    const quint32 headerSize = field(0), format = field(2), width = field(4), height = field(5);
    const quint32 byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12),
                  ncolors = field(19);
    if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24))
        return {};
    const qint64 offset = qint64(headerSize) + qint64(ncolors) * 12;
    if (offset + qint64(bytesPerLine) * height > xwd.size())
        return {};
    QImage image(int(width), int(height), QImage::Format_RGB32);
    const int step = int(bitsPerPixel / 8);
    for (quint32 y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uchar*>(xwd.constData() + offset + qint64(y) * bytesPerLine);
        for (quint32 x = 0; x < width; ++x) {
            const uchar* px = row + x * step;
            const QRgb rgb =
                byteOrder == 0 ? qRgb(px[2], px[1], px[0]) : qRgb(px[step - 3], px[step - 2], px[step - 1]);
            image.setPixel(int(x), int(y), rgb);
        }
    }
    return image;
}

QImage grabScreen(const QString& display) {
    return decodeXwd(
        run(display, QStringLiteral("xwd"), {QStringLiteral("-root"), QStringLiteral("-silent")}));
}

} // namespace e2e
