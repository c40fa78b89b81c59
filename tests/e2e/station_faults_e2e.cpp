// The real station on an ordinary desktop and under faults, with and without a window
// manager: the maximized window and the minimum size, closing the report window from the
// keyboard, termination signals while a modal box is open, and a log write refused by the
// file-size limit.
#include "StationFixture.h"

#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <signal.h>

using namespace e2e;

namespace {

const QByteArray kOuBlank("\x02"
                          "1OU\x17 0C\x03",
                          9);

// The station with a window manager (true) or on a bare X server, as at a kiosk (false).
class Desktop : public Station, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        Station::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (GetParam()) {
            if (!QFile::exists("/usr/bin/openbox"))
                GTEST_SKIP() << "openbox is not installed";
            wm = std::make_unique<WindowManager>(x.display());
            ASSERT_TRUE(wm->ok()) << "openbox did not start";
        }
        // No print server: the report window names no printer and PRINT fails.
        extraEnv.insert("CUPS_SERVER", dir.filePath("no-cups.sock"));
    }

    void TearDown() override {
        Station::TearDown();
        wm.reset();
    }

    // Starts the station in demo mode and returns its main window.
    QString startInDemoMode(const QStringList& wrapper = {}) {
        if (!QFile::exists(dir.filePath("VEZARO.DMO")))
            copyDemoFile();
        startStation(wrapper);
        answerStartupBox("DEMO FILE LOADED");
        return mainWindow();
    }

    // Sends the signal and waits for the end: the time it took in milliseconds, or -1 when
    // the station was still running 5 s later.
    qint64 endBySignal(int sig) {
        EXPECT_GT(station.processId(), 0);
        QElapsedTimer t;
        t.start();
        ::kill(static_cast<pid_t>(station.processId()), sig);
        if (!station.waitForFinished(5000 * timeScale()))
            return -1;
        return t.elapsed();
    }

    // The station ended by itself, in time and with exit status 0.
    void expectOrderlyEnd(qint64 ms) {
        EXPECT_GE(ms, 0) << "the station did not end";
        EXPECT_LT(ms, 2000 * timeScale()) << "the station took " << ms << " ms to end";
        EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(station.exitCode(), 0);
    }

    bool visible(const QString& title, int timeoutMs = 300) {
        return !findWindow(x.display(), title, timeoutMs).isEmpty();
    }

    std::unique_ptr<WindowManager> wm;
};

std::string desktopName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "openbox" : "bare";
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, Desktop, ::testing::Bool(), desktopName);

TEST_P(Desktop, aMaximizedWindowStaysMaximizedAndIsWrittenSo) {
    writeFile("VEZARO.INI", stationIni(800, "maximized"));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first start" : "restart");
        const QString win = startInDemoMode();
        ASSERT_FALSE(win.isEmpty());
        if (GetParam()) {
            EXPECT_TRUE(
                waitFor([&] { return windowStates(x.display(), win).contains("MAXIMIZED_VERT"); }, 5000));
            QThread::msleep(1500); // several layouts later it is still maximized
            EXPECT_TRUE(windowStates(x.display(), win).contains("MAXIMIZED_HORZ"))
                << windowStates(x.display(), win).toStdString();
        }
        const QRect g = windowGeometry(x.display(), win);
        EXPECT_LE(g.bottom(), 1199) << "the window hangs past the screen's foot";
        EXPECT_LE(g.right(), 1919);

        expectOrderlyEnd(endBySignal(SIGTERM));
        EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(800, "maximized").toStdString());
    }
}

// The operator maximizes and restores the window through the window manager: the restored
// window is the width it had, at 4:3, and closing writes the state and the restored width.
TEST_P(Desktop, theWindowManagersMaximizeAndRestoreAreKept) {
    if (!GetParam())
        GTEST_SKIP() << "needs a window manager";
    writeFile("VEZARO.INI", stationIni(707, "normal"));
    QString win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    run(x.display(), "wmctrl", {"-i", "-r", win, "-b", "add,maximized_vert,maximized_horz"});
    ASSERT_TRUE(waitFor([&] { return windowGeometry(x.display(), win).width() == 1920; }, 5000));
    QThread::msleep(500);
    EXPECT_TRUE(windowStates(x.display(), win).contains("MAXIMIZED_VERT"));
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(707, "maximized").toStdString());

    win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    ASSERT_TRUE(waitFor([&] { return windowStates(x.display(), win).contains("MAXIMIZED_VERT"); }, 5000));
    run(x.display(), "wmctrl", {"-i", "-r", win, "-b", "remove,maximized_vert,maximized_horz"});
    EXPECT_TRUE(waitFor([&] { return windowGeometry(x.display(), win).size() == QSize(707, 528); }, 5000))
        << windowGeometry(x.display(), win).width() << "x" << windowGeometry(x.display(), win).height();
    EXPECT_TRUE(waitFor([&] { return !windowStates(x.display(), win).contains("MAXIMIZED"); }, 5000));
    QThread::msleep(300); // the window manager's state change reaches the station after the resize
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(707, "normal").toStdString());
}

TEST_P(Desktop, resizedFromOutsideTheWindowKeepsFourToThreeAndItsMinimum) {
    writeFile("VEZARO.INI", stationIni(707, "normal"));
    const QString win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    EXPECT_EQ(windowGeometry(x.display(), win).size(), QSize(707, 528));

    run(x.display(), "xdotool", {"windowsize", win, "300", "200"});
    EXPECT_TRUE(waitFor([&] { return windowGeometry(x.display(), win).size() == QSize(400, 300); }, 5000))
        << windowGeometry(x.display(), win).width() << "x" << windowGeometry(x.display(), win).height();

    run(x.display(), "xdotool", {"windowsize", win, "1000", "500"});
    EXPECT_TRUE(waitFor([&] { return windowGeometry(x.display(), win).size() == QSize(1000, 750); }, 5000))
        << windowGeometry(x.display(), win).width() << "x" << windowGeometry(x.display(), win).height();

    run(x.display(), "xdotool", {"windowsize", win, "300", "200"});
    ASSERT_TRUE(waitFor([&] { return windowGeometry(x.display(), win).size() == QSize(400, 300); }, 5000));
    // A window manager clamps to the minimum itself: the X window has its size before the
    // station has seen the resize.
    QThread::msleep(300 * timeScale());
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(400, "normal").toStdString());
}

TEST_P(Desktop, escClosesTheReportWindowAndF4OpensItAgain) {
    const QString win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    for (int round = 0; round < 2; ++round) {
        typeKeys(x.display(), win, {"F4"});
        const QString report = findWindow(x.display(), "Not Found Printer|Official Test to");
        ASSERT_FALSE(report.isEmpty()) << "F4 did not open the report window";
        typeKeys(x.display(), report, {"Escape"});
        EXPECT_TRUE(waitFor([&] { return !visible("Not Found Printer|Official Test to"); }, 3000))
            << "Esc did not close the report window";
    }
    EXPECT_TRUE(fileBytes("Pregledi00000.GPG").isEmpty()) << "closing the window must log nothing";
    expectOrderlyEnd(endBySignal(SIGTERM));
}

TEST_P(Desktop, aSignalWhileThePortErrorBoxIsOpenEndsTheStation) {
    // No analyser: COM1 leads nowhere, so F2 cannot open it.
    ASSERT_TRUE(QFile::link(dir.filePath("no-analyser"), dir.filePath("COM1")));
    startStation();
    answerStartupBox("DEMO FILE NOT FOUND");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    typeKeys(x.display(), win, {"F2"});
    ASSERT_TRUE(visible("COM Port Error", 8000));
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(707, "normal").toStdString());
}

TEST_P(Desktop, aSignalWhileThePrinterBoxesAreOpenEndsTheStationAndSavesNoPdf) {
    for (const int sig : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT at Printer Error" : "SIGHUP at the PDF offer");
        const QString win = startInDemoMode();
        ASSERT_FALSE(win.isEmpty());
        typeKeys(x.display(), win, {"F4"});
        const QString report = findWindow(x.display(), "Not Found Printer|Official Test to");
        ASSERT_FALSE(report.isEmpty());
        typeKeys(x.display(), report, {"Return"}); // PRINT is the default button
        const QString printerError = findWindow(x.display(), "Printer Error");
        ASSERT_FALSE(printerError.isEmpty());
        if (sig == SIGHUP) {
            typeKeys(x.display(), printerError, {"Return"});
            ASSERT_TRUE(visible("^Official Test$", 5000)) << "no PDF offer";
        }
        expectOrderlyEnd(endBySignal(sig));
        EXPECT_FALSE(QDir(dir.path()).entryList({"Pregled*.pdf"}).size() > 0) << "a PDF was saved unasked";
        EXPECT_TRUE(QFile::exists(dir.filePath("VEZARO.INI")));
    }
    // Each PRINT logged its examination before printing was tried.
    EXPECT_EQ(fileBytes("Pregledi00000.GPG").size(), 2 * 160);
}

TEST_P(Desktop, aSignalInDemoModeEndsTheStationWithoutAReadError) {
    const QString win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    QThread::msleep(1500); // replaying
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(707, "normal").toStdString());
    EXPECT_FALSE(stationErrors().contains("I/O error"));
}

TEST_P(Desktop, aSignalWithThePortOpenSendsTheClosingCommand) {
    startSim({"--co", "0.50", "--rpm", "850"});
    startStation();
    answerStartupBox("DEMO FILE NOT FOUND");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    typeKeys(x.display(), win, {"F2"});
    ASSERT_TRUE(waitFor([&] { return requests().contains("1RGCA"); }, 8000)) << "the cycle never polled";
    typeKeys(x.display(), win, {"F4"}); // a modal window open over the running cycle
    ASSERT_FALSE(findWindow(x.display(), "Not Found Printer|Official Test to").isEmpty());
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_TRUE(requests().endsWith(kOuBlank)) << "the last request was not the blank OU";
    EXPECT_EQ(fileBytes("VEZARO.INI").toStdString(), stationIni(707, "normal").toStdString());
}

TEST_P(Desktop, aSecondSignalEndsTheStationAtOnce) {
    const QString win = startInDemoMode();
    ASSERT_FALSE(win.isEmpty());
    typeKeys(x.display(), win, {"F4"});
    ASSERT_FALSE(findWindow(x.display(), "Not Found Printer|Official Test to").isEmpty());
    // Two requests pending together (the station is stopped while they are sent): the first
    // begins the orderly shutdown, the second ends the process by its own signal at once.
    const pid_t pid = static_cast<pid_t>(station.processId());
    ::kill(pid, SIGSTOP);
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGINT);
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(station.waitForFinished(2000));
    EXPECT_EQ(station.exitStatus(), QProcess::CrashExit);
}

TEST_P(Desktop, aLogWriteRefusedByTheFileSizeLimitSaysSoOnceAndKeepsTheLog) {
    // Two earlier examinations; the process may not make any file larger than that.
    QByteArray earlier;
    for (int i = 0; i < 2; ++i)
        earlier += QByteArray(158, char('A' + i)) + "\r\n";
    writeFile("Pregledi00000.GPG", earlier);
    const QString win =
        startInDemoMode({"/usr/bin/prlimit", QStringLiteral("--fsize=%1").arg(earlier.size()), "--"});
    ASSERT_FALSE(win.isEmpty());
    typeKeys(x.display(), win, {"F4"});
    const QString report = findWindow(x.display(), "Not Found Printer|Official Test to");
    ASSERT_FALSE(report.isEmpty());
    typeKeys(x.display(), report, {"Return"});

    const QString box = findWindow(x.display(), "^vezaro$", 5000);
    ASSERT_FALSE(box.isEmpty()) << "no message about the failed log write";
    EXPECT_EQ(station.state(), QProcess::Running) << "the file-size limit killed the station";
    EXPECT_EQ(fileBytes("Pregledi00000.GPG"), earlier);
    EXPECT_FALSE(visible("Printer Error"));
    typeKeys(x.display(), box, {"Return"});
    EXPECT_TRUE(waitFor([&] { return !visible("^vezaro$"); }, 3000));
    EXPECT_FALSE(visible("Printer Error|^Official Test$|^vezaro$", 1000)) << "a second box followed";
    EXPECT_TRUE(visible("Not Found Printer|Official Test to")) << "the report window should stay open";
    expectOrderlyEnd(endBySignal(SIGTERM));
    EXPECT_EQ(fileBytes("Pregledi00000.GPG"), earlier);
}

} // namespace
