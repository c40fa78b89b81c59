// End-to-end runs of the real station binary under Xvfb: demo replay, and a live session
// with the simulated analyser behind COM1 driven by the function keys.
#include "StationFixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <signal.h>

using namespace e2e;

namespace {

// Counts the pixels of one colour inside a rectangle of the screen.
int countColour(const QImage& screen, const QRect& area, QRgb colour) {
    int n = 0;
    const QRect r = area.intersected(screen.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += (screen.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// In the window at its design width 707: the status label at (564, 241) and the CO value at
// the left of the readings row (top 430).
QRect statusArea(const QRect& win) {
    return QRect(win.x() + 564, win.y() + 241, 100, 14);
}
QRect coValueArea(const QRect& win) {
    return QRect(win.x() + 4, win.y() + 430, 130, 40);
}

TEST_F(Station, demoFileIsReplayedAndTheReadingsMove) {
    ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    startStation();
    answerStartupBox("DEMO FILE LOADED");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    EXPECT_TRUE(windowName(x.display(), win).contains("(   DEMO MODE   )"));
    const QRect geometry = windowGeometry(x.display(), win);
    EXPECT_EQ(geometry.width(), 707);
    EXPECT_EQ(geometry.height(), 528);

    // The chart and the readings change from tick to tick as the recorded frames replay.
    const QRect readings(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    QImage first = grabScreen(x.display()).copy(readings);
    bool moved = waitFor([&] { return grabScreen(x.display()).copy(readings) != first; }, 8000);
    EXPECT_TRUE(moved) << "nothing on the window changed while the demo file replayed";

    station.terminate(); // a polite shutdown, as the system's would be
    ASSERT_TRUE(station.waitForFinished(10000));
    EXPECT_TRUE(QFile::exists(dir.filePath("VEZARO.INI")));
    EXPECT_FALSE(QFileInfo(dir.filePath("COM1")).exists()) << "demo mode must not need a port";
}

TEST_F(Station, liveSessionStartsZeroesAndClosesCleanly) {
    startSim({"--co", "0.50", "--co2", "14.50", "--hc", "100", "--o2", "0.50", "--rpm", "850"});
    startStation();
    answerStartupBox("DEMO FILE NOT FOUND");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    const QRect geometry = windowGeometry(x.display(), win);
    const QImage before = grabScreen(x.display()).copy(coValueArea(geometry));

    // F2: the port opens, the running cycle polls and the readings arrive.
    typeKeys(x.display(), win, {"F2"});
    EXPECT_TRUE(waitFor(
        [&] { return countColour(grabScreen(x.display()), statusArea(geometry), 0x00FF00) > 200; }, 8000))
        << "the status label never turned green (running)";
    EXPECT_TRUE(waitFor([&] { return grabScreen(x.display()).copy(coValueArea(geometry)) != before; }, 8000))
        << "the CO reading never changed";
    EXPECT_TRUE(requests().contains(QByteArray("\x02"
                                               "1RGCA\x03",
                                               7)));
    EXPECT_TRUE(requests().contains(QByteArray("\x64\x01\x04\x04", 4)));

    // F3: a zeroing run (about 25 s) that ends in the running state again.
    typeKeys(x.display(), win, {"F3"});
    EXPECT_TRUE(waitFor(
        [&] { return countColour(grabScreen(x.display()), statusArea(geometry), 0xFF00FF) > 200; }, 3000))
        << "no magenta zeroing status";
    EXPECT_TRUE(waitFor(
        [&] {
            return requests().contains(QByteArray("\x02"
                                                  "1ZED0\x03",
                                                  7));
        },
        40000))
        << "the zeroing run never sent ZE";
    EXPECT_TRUE(waitFor(
        [&] { return countColour(grabScreen(x.display()), statusArea(geometry), 0x00FF00) > 200; }, 8000))
        << "zeroing did not end in the running state";

    // Closing: the blank OU command goes out and the settings file is written.
    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    EXPECT_TRUE(requests().contains(QByteArray("\x02"
                                               "1OU\x17 0C\x03",
                                               9)));
    QFile ini(dir.filePath("VEZARO.INI"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray("COM PORT= COM1\r\nBAUDRATE= 9600\r\nDATABITS= 8bits\r\n"
                                        "Hor Size= 707\r\nWindowed= normal\r\n"));
}

} // namespace

namespace {

// Screenshots of the real window in both views, replaying the demo file, at 707 and 1280
// pixels wide. The View button is clicked with the mouse, as an operator would. The
// pictures are written only when VZ_SCREENSHOT_DIR names a directory (docs/ in the tree).
class Screenshots : public Station, public ::testing::WithParamInterface<int> {};

TEST_P(Screenshots, bothViewsOfTheRealWindow) {
    const int width = GetParam();
    ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    writeFile("VEZARO.INI", stationIni(width, "normal"));
    startStation();
    answerStartupBox("DEMO FILE LOADED");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    const QRect g = windowGeometry(x.display(), win);
    EXPECT_EQ(g.width(), width);
    EXPECT_EQ(g.height(), width / 4 * 3);
    QThread::msleep(2500); // a few replay ticks and a finished bar animation
    const QImage chart = grabScreen(x.display()).copy(g);

    // The View button sits at the foot of the chart, left edge of the right-hand column.
    const int b = width / 6 + 8, h = width / 4 * 3, c = width - (b / 5 + b),
              chartH = h - 2 * (width / 12) - 40;
    const int m = c + c / 70;
    const QPoint view(g.x() + m + b / 4, g.y() + chartH - h / 20 + h / 40);
    run(x.display(), "xdotool",
        {"mousemove", "--sync", QString::number(view.x()), QString::number(view.y())});
    run(x.display(), "xdotool", {"click", "1"});
    QThread::msleep(1500);
    const QImage numbers = grabScreen(x.display()).copy(g);
    EXPECT_NE(chart, numbers) << "the View button did not switch the view";

    const QString out = qEnvironmentVariable("VZ_SCREENSHOT_DIR");
    if (!out.isEmpty()) {
        EXPECT_TRUE(chart.save(QStringLiteral("%1/station-chart-%2.png").arg(out).arg(width)));
        EXPECT_TRUE(numbers.save(QStringLiteral("%1/station-numbers-%2.png").arg(out).arg(width)));
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, Screenshots, ::testing::Values(707, 1280));

// The chart at 150 % (QT_SCALE_FACTOR=1.5, a 1080p panel at 150 %), as the screen shows it:
// inside the left half of each tube's body, clear of the scale labels, no device row may
// stand out from the two rows around it, as the seam between two fill bands did.
TEST_F(Station, theChartAt150PercentHasNoSeams) {
    ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    writeFile("VEZARO.INI", stationIni(707, "normal"));
    extraEnv.insert("QT_SCALE_FACTOR", "1.5");
    startStation();
    answerStartupBox("DEMO FILE LOADED");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    const QRect g = windowGeometry(x.display(), win);
    EXPECT_NEAR(g.width(), 707 * 3 / 2, 1);
    QThread::msleep(2500); // a few replay ticks and a finished bar animation
    const QImage shot = grabScreen(x.display()).copy(g).convertToFormat(QImage::Format_RGB32);

    // The chart's logical size as the layout gives it, then device rows and columns.
    const int W = 707, b = W / 6 + 8, H = W / 4 * 3, c = W - (b / 5 + b), chartH = H - 2 * (W / 12) - 40;
    const double r = 1.5;
    int checkedRows = 0;
    for (int tube = 0; tube < 4; ++tube) {
        const int slot = c / 4, width = slot * 55 / 100, left = tube * slot + (slot - width) / 2;
        const int x0 = int((left + width / 4) * r), x1 = int((left + width / 2 - 2) * r);
        auto sameRow = [&](int y1, int y2) {
            for (int x = x0; x <= x1; ++x)
                if (shot.pixel(x, y1) != shot.pixel(x, y2))
                    return false;
            return true;
        };
        for (int y = int(chartH * 0.05 * r); y < int(chartH * 0.95 * r); ++y) {
            if (sameRow(y - 1, y + 1) && !sameRow(y, y - 1))
                ADD_FAILURE() << "tube " << tube << ": device row " << y
                              << " differs from the rows around it";
            ++checkedRows;
        }
    }
    EXPECT_GT(checkedRows, 0);
    const QString out = qEnvironmentVariable("VZ_SCREENSHOT_DIR");
    if (!out.isEmpty()) {
        EXPECT_TRUE(shot.save(QStringLiteral("%1/station-chart-707-150pct.png").arg(out)));
    }
}

} // namespace

namespace {

// F1 BASE and F4 PRINT with real keys: the limits window takes the arrow keys and Enter, the
// caption then names the vehicle; the report window opens over the main window.
TEST_F(Station, functionKeysOpenTheLimitsAndReportWindows) {
    ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    ASSERT_TRUE(QFile::copy(binDir() + "/../data/CarModel.DB", dir.filePath("CarModel.DB")));
    startStation();
    answerStartupBox("DEMO FILE LOADED");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());

    typeKeys(x.display(), win, {"F1"});
    const QString limits = findWindow(x.display(), "EXHAUST GAS CARS DATA BASE");
    ASSERT_FALSE(limits.isEmpty()) << "F1 did not open the limits window";
    typeKeys(x.display(), limits, {"Right", "Down", "Return"});
    // Right moves to the model list, Down to the make's second model, Enter selects it.
    EXPECT_TRUE(waitFor([&] { return windowName(x.display(), win).endsWith("  on   LADA 2105 1.3"); }, 5000))
        << windowName(x.display(), win).toStdString();

    typeKeys(x.display(), win, {"F4"});
    const QString report = findWindow(x.display(), "Not Found Printer|Official Test to");
    EXPECT_FALSE(report.isEmpty()) << "F4 did not open the report window";

    station.terminate();
    EXPECT_TRUE(station.waitForFinished(10000));
}

} // namespace
