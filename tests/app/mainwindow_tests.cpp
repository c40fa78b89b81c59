// The main window as the operator meets it at start-up and shut-down: the settings file,
// demo mode, the function keys, the vehicle markers and the report command. Offscreen.
#include "../DiagnosticsCapture.h"
#include "AnalyserFrames.h"
#include "MessageBox.h"
#include "TChart.h"
#include "TLabel.h"
#include "TrainingMode.h"
#include "TwoSpeedSetup.h"
#include "VEZAro.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include "../ScratchFiles.h"
#include "../TestApplication.h"

namespace {

QApplication& app() {
    return vz::test::testApplication();
}

struct Box {
    QString caption, text;
    vz::MsgIcon icon;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(dir.isValid());
        vz::setMessageBoxHandler(
            [this](QWidget*, const QString& caption, const QString& text, vz::MsgIcon icon, vz::MsgButtons) {
                boxes.push_back({caption, text, icon});
                return vz::MsgAnswer::Ok;
            });
    }
    void TearDown() override { vz::setMessageBoxHandler({}); }

    void writeFile(const QString& name, const QByteArray& content) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray readFile(const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    vz::test::ScratchCurrentDir dir;
    std::vector<Box> boxes;
};

QByteArray record(const char* co) {
    QByteArray r = analyser::defaultResultRecord();
    r.replace(6, 6, co);
    return r;
}

TEST_F(MainWindow, firstRunWithoutFilesRunsLiveAndWritesTheSettingsFileOnClose) {
    {
        TMnGASForm form;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "DEMO FILE NOT FOUND");
        EXPECT_EQ(boxes[0].text, "File VEZARO.DMO\r\nis not in current directoty\r\nplease, check it.");
        EXPECT_EQ(boxes[0].icon, vz::MsgIcon::Information);
        EXPECT_FALSE(form.St.DemoMode);
        EXPECT_EQ(form.windowTitle(), "ZAN GAS ANALISER   (   DEMO MODE   )");
        EXPECT_EQ(form.St.BaseCaption, form.windowTitle());
        EXPECT_EQ(form.CPDrv->PortName(), "\\\\.\\COM1");
        EXPECT_EQ(form.CPDrv->BaudRateValue(), 9600u);
        EXPECT_EQ(form.CPDrv->DataBits(), db8BITS);
        EXPECT_EQ(form.CPDrv->PollingDelay(), 400);
        EXPECT_FALSE(form.CPDrv->IsConnected());
        EXPECT_EQ(form.width(), 707);
        EXPECT_TRUE(form.Timer1->isActive());
        EXPECT_EQ(form.Timer1->interval(), 1000);
        EXPECT_EQ(form.Timer2->interval(), 100);
        EXPECT_EQ(form.Button2->text(), "F2 START");
        form.show();
        EXPECT_EQ(form.focusWidget(), form.Button2) << "keyboard focus starts on F2 START";
        form.close();
    }
    EXPECT_EQ(readFile("VEZARO.INI"),
              "COM PORT= COM1\r\nBAUDRATE= 9600\r\nDATABITS= 8bits\r\nHor Size= 707\r\nWindowed= normal\r\n");
    EXPECT_EQ(boxes.size(), 1u) << "closing with the port shut shows nothing";
}

TEST_F(MainWindow, settingsFileIsReadByPositionAndItsValuesApplied) {
    // The key without its blank loses the first digit of the rate to the fixed key width.
    writeFile("vezaro.ini",
              "COM PORT= COM3\r\nBAUDRATE=9600\r\nDATABITS= 7bits\r\nHor Size= 1024\r\nWindowed= normal\r\n");
    TMnGASForm form;
    EXPECT_EQ(form.CPDrv->PortName(), "\\\\.\\COM3");
    EXPECT_EQ(form.CPDrv->BaudRateValue(), 600u);
    EXPECT_EQ(form.CPDrv->DataBits(), db7BITS);
    EXPECT_EQ(form.width(), 1024);
    EXPECT_EQ(form.St.HorSize, 1024);
}

TEST_F(MainWindow, twelveHundredBaudSetsUpTheSelfSendingAnalyser) {
    writeFile("VEZARO.INI",
              "COM PORT= COM1\r\nBAUDRATE= 1200\r\nDATABITS= 8bits\r\nHor Size= 707\r\nWindowed= normal\r\n");
    TMnGASForm form;
    EXPECT_FALSE(form.Button3->isEnabled());
    EXPECT_EQ(form.Button3->text(), "F3  ZERO");
    EXPECT_EQ(form.Timer1->interval(), 500);
    EXPECT_EQ(form.St.FrameSlots[4], analyser::defaultResultRecord());
    EXPECT_FALSE(form.CPDrv->IsConnected()) << "start-up opens no port";
}

TEST_F(MainWindow, aBaudRateThatIsNoIntegerIsReportedAndDemoModeIsOff) {
    writeFile("VEZARO.DMO", record("01.234") + "\r\n");
    writeFile("VEZARO.INI", "COM PORT= COM2\r\nBAUDRATE= 96OO\r\nDATABITS= 7bits\r\n");
    TMnGASForm form;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "'96OO' is not a valid integer value");
    EXPECT_FALSE(form.St.DemoMode) << "no demo file was opened, so the replay must not run";
    EXPECT_EQ(form.CPDrv->PortName(), "\\\\.\\COM2");
    EXPECT_EQ(form.CPDrv->DataBits(), db8BITS) << "the rest of the settings is skipped";
    EXPECT_EQ(form.windowTitle(), "ZAN GAS ANALISER ");
    EXPECT_EQ(form.St.BaseCaption, "ZAN GAS ANALISER ");
    form.Timer1Timer(); // a tick runs without a replay and without a box
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MainWindow, demoFileReplaysTwoLinesPerTickAndShowsTheReadings) {
    const QByteArray l1 = record("01.234"), l2 = record("02.000"), l3 = record("12.345");
    writeFile("VEZARO.DMO", l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n");
    TMnGASForm form;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "DEMO FILE LOADED");
    EXPECT_EQ(boxes[0].text, "This is a RECORD\r\nWhile real measurements have\r\nbeen running");
    EXPECT_TRUE(form.St.DemoMode);
    EXPECT_TRUE(form.DemoFileOpen()) << "the demo file stays open for the replay";
    EXPECT_TRUE(form.windowTitle().endsWith("  (   DEMO MODE   )"));

    form.Timer1Timer();
    EXPECT_EQ(form.St.FrameSlots[0], l1);
    EXPECT_EQ(form.St.FrameSlots[1], l2);
    EXPECT_EQ(form.Label(11)->text(), "2.000");
    form.Timer1Timer();
    EXPECT_EQ(form.St.FrameSlots[0], l3);
    EXPECT_EQ(form.St.FrameSlots[1], l2) << "the rewind leaves slot 2 as it was";
    form.Timer1Timer();
    EXPECT_EQ(form.St.FrameSlots[0], l1);
    EXPECT_EQ(form.St.FrameSlots[1], l2);

    // F2 in demo mode changes the state and the timer but opens no port.
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(form.Button2, &f2);
    EXPECT_EQ(form.St.OpState, 1);
    EXPECT_EQ(form.Timer1->interval(), 250);
    EXPECT_FALSE(form.CPDrv->IsConnected());
    form.close();
    EXPECT_FALSE(form.DemoFileOpen()) << "shut-down closes the demo file before writing the settings";
    EXPECT_EQ(readFile("VEZARO.INI").left(16), "COM PORT= COM1\r\n");
}

TEST_F(MainWindow, startUpAndShutDownTellTheStationFilesTheyReadAndWrite) {
    writeFile("VEZARO.INI",
              "COM PORT= COM1\r\nBAUDRATE= 9600\r\nDATABITS= 8bits\r\nHor Size= 707\r\nWindowed= normal\r\n");
    writeFile("VEZARO.DMO", record("01.234") + "\r\n");
    vz::test::DiagnosticsCapture capture;
    {
        TMnGASForm form;
        form.Timer1Timer(); // a replay step says nothing
        form.close();
    }
    // Without TWOSPEED.ini every two-speed test would be training: said once, in a line only.
    const QStringList expected{
        "vezaro.files: read VEZARO.INI",
        "vezaro.files: opened VEZARO.DMO: demo mode",
        "vezaro.files: two-speed tests: " +
            vz::twospeed::setupTrainingNotice(vz::twospeed::readTwoSpeedSetup(QDir::currentPath())),
        "vezaro.files: wrote VEZARO.INI",
    };
    ASSERT_EQ(capture.lines().size(), expected.size()) << capture.all().toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(capture.lines()[i].text, expected[i]);
    ASSERT_EQ(boxes.size(), 1u); // the boxes are the same as without the lines
    EXPECT_EQ(boxes[0].caption, "DEMO FILE LOADED");
}

TEST_F(MainWindow, portChosenInTheSettingsReachesTheFileAtShutDown) {
    {
        TMnGASForm form;
        form.CPDrv->SetPortName("\\\\.\\COM12");
        form.CPDrv->SetBaudRateValue(921600);
        form.CPDrv->SetDataBits(db5BITS);
        form.close();
    }
    EXPECT_EQ(
        readFile("VEZARO.INI"),
        "COM PORT= COM12\r\nBAUDRATE= 921600\r\nDATABITS= 5bits\r\nHor Size= 707\r\nWindowed= normal\r\n");
    TMnGASForm again;
    EXPECT_EQ(again.CPDrv->PortName(), "\\\\.\\COM12");
    EXPECT_EQ(again.CPDrv->BaudRateValue(), 921600u);
}

TEST_F(MainWindow, vehicleMarkersFollowTheSelectedLimits) {
    TMnGASForm form;
    form.St.Vehicle = {"LADA 2107", 132, 50, 125, 5, 150};
    form.ShowVehicleMarkers();
    const char* expected[] = {"<0.50", "<1.32", "<12.5", "<150", "<0.05"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.Label(37 + i)->text(), expected[i]) << "Label" << 37 + i;
        EXPECT_FALSE(form.Label(37 + i)->isHidden());
    }
    EXPECT_EQ(form.windowTitle(), form.St.BaseCaption + "  on   LADA 2107");

    form.St.Vehicle.LimitCO2mx = 0; // cancelled
    form.ShowVehicleMarkers();
    for (int n = 37; n <= 41; ++n)
        EXPECT_TRUE(form.Label(n)->isHidden());
    EXPECT_EQ(form.windowTitle(), form.St.BaseCaption);
}

TEST_F(MainWindow, f4OpensTheReportWindowWithTheCycleTimerStopped) {
    writeFile("VEZARO.DMO", record("01.234") + "\r\n");
    TMnGASForm form;
    bool timerRanDuringReport = true;
    QString reportTitle;
    QTimer::singleShot(200, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        timerRanDuringReport = form.Timer1->isActive();
        if (modal) {
            reportTitle = modal->metaObject()->className();
            modal->close();
        }
    });
    form.FormKeyDown(Qt::Key_F4);
    EXPECT_EQ(reportTitle, "vz::TPRNForm");
    EXPECT_FALSE(timerRanDuringReport);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.St.OpState, 7) << "F4 does not start a zeroing run";
}

TEST_F(MainWindow, engineSpeedModeGroupAndFuelBox) {
    TMnGASForm form;
    form.Label5Click();
    EXPECT_FALSE(form.RPMGroup->isHidden());
    form.RPMGroupClick(2);
    EXPECT_EQ(form.St.RpmMode, 4);
    EXPECT_TRUE(form.RPMGroup->isHidden());
    EXPECT_EQ(form.Label(5)->text(), "VAC");
    form.GASBox->setCurrentIndex(2);
    EXPECT_EQ(form.St.GASBoxItemIndex, 2);
    form.GASBox->setEditText("DIESEL");
    EXPECT_EQ(form.St.GASBoxItemIndex, -1);
}

} // namespace

namespace {
TEST_F(MainWindow, helpOpensTheHardwareTopic) {
    TMnGASForm form;
    form.HelpButtonClick();
    auto* browser = form.findChild<QTextBrowser*>("HelpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->source().toString().endsWith("Fumio.html"));
    const QString text = browser->toPlainText();
    for (const char* topic :
         {"Hardware", "Connecting the analyser", "baud rate", "Device Check", "The cable"})
        EXPECT_TRUE(text.contains(topic)) << topic;
}
} // namespace

namespace {
TEST(Chart, tubesAreFilledToTheReadingOnAFixedScaleOf600) {
    const int c = 557, ch = 372;
    const auto tubes = chartTubes(c, ch, {0, 300, 600, 700});
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tubes[i].tube.width(), (c / 4) * 55 / 100) << "cylinders 55 % of their slot";
        EXPECT_GE(tubes[i].tube.left(), i * (c / 4));
        EXPECT_LE(tubes[i].tube.right(), (i + 1) * (c / 4));
    }
    EXPECT_EQ(tubes[0].fillTop, tubes[0].tube.bottom()) << "0 is an empty tube";
    EXPECT_EQ(tubes[2].fillTop, tubes[2].tube.top()) << "600 fills the tube";
    EXPECT_NEAR(tubes[1].fillTop, (tubes[1].tube.top() + tubes[1].tube.bottom()) / 2, 1);
    EXPECT_LT(tubes[3].fillTop, tubes[3].tube.top()) << "7 % of CO reaches beyond the axis";
    EXPECT_EQ(tubes[0].colour, QColor(0xFF, 0, 0));
    EXPECT_EQ(tubes[3].colour, QColor(0, 0, 0xFF));
}

TEST_F(MainWindow, animationFeedsBothSeriesOfTheChart) {
    TMnGASForm form;
    form.St.ValCO = 450;
    form.St.ValO2 = 120;
    form.St.BarStep = 0;
    for (int t = 0; t < 7; ++t)
        form.Timer2Timer();
    const std::array<int, 4> s1 = form.Chart1->series1(), s2 = form.Chart1->series2();
    EXPECT_EQ(s1[0], 450);
    EXPECT_EQ(s1[3], 120);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(s1[i] + s2[i], 600) << "Series2 is the clear remainder of point " << i;
}
} // namespace

namespace {
// A click on the group's caption or blank part chooses the item already selected and hides
// the group, as a click on an item does.
TEST_F(MainWindow, aClickOnTheEngineSpeedGroupsCaptionChoosesAndHides) {
    TMnGASForm form;
    form.show();
    form.Label5Click();
    ASSERT_FALSE(form.RPMGroup->isHidden());
    form.RPMGroupItems[1]->setChecked(true);
    const QPointF caption(4, 4);
    QMouseEvent press(QEvent::MouseButtonPress, caption, form.RPMGroup->mapToGlobal(caption), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, caption, form.RPMGroup->mapToGlobal(caption),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.RPMGroup, &press);
    QApplication::sendEvent(form.RPMGroup, &release);
    EXPECT_TRUE(form.RPMGroup->isHidden());
    EXPECT_EQ(form.St.RpmMode, 2);
    EXPECT_EQ(form.Label(5)->text(), "RPM");
}

// Whatever size the window is given, it ends at 4:3 and at no less than 400 × 300, laid out
// for the size it ends at; a maximized window keeps the size its state gives it.
TEST_F(MainWindow, sizesGivenFromOutsideSnapToFourToThreeAboveTheMinimum) {
    TMnGASForm form;
    form.show();
    EXPECT_EQ(form.minimumSize(), QSize(400, 300));
    struct Case {
        QSize given, wanted;
    };
    for (const Case& c : {Case{{300, 200}, {400, 300}}, Case{{1000, 500}, {1000, 750}},
                          Case{{401, 900}, {401, 300}}, Case{{707, 100}, {707, 528}}}) {
        form.resize(c.given);
        QApplication::processEvents();
        EXPECT_EQ(form.size(), c.wanted) << c.given.width() << "x" << c.given.height();
        // The layout follows: the chart ends inside the window.
        EXPECT_LE(form.Chart1->geometry().right(), form.width());
        EXPECT_LE(form.Chart1->geometry().bottom(), form.height());
    }
}

// After shut-down has begun, a box asked for is answered with its escape answer at once and
// not shown; a closed window's timers neither replay the demo file nor open a box.
TEST_F(MainWindow, onceShuttingDownNoBoxIsShownAndNoTickRuns) {
    vz::setShuttingDown(true);
    EXPECT_EQ(vz::showMessage(nullptr, "Warning", "x", vz::MsgIcon::Information, vz::MsgButtons::Ok),
              vz::MsgAnswer::Ok);
    EXPECT_EQ(vz::showMessage(nullptr, "Official Test", "x", vz::MsgIcon::Question, vz::MsgButtons::YesNo),
              vz::MsgAnswer::No);
    EXPECT_EQ(vz::showMessage(nullptr, "x", "x", vz::MsgIcon::Question, vz::MsgButtons::OkCancel),
              vz::MsgAnswer::Cancel);
    EXPECT_TRUE(boxes.empty()) << "the handler was asked while shutting down";
    vz::setShuttingDown(false);

    writeFile("VEZARO.DMO", record("01.234") + "\r\n");
    TMnGASForm form;
    form.show();
    boxes.clear();
    form.close();
    EXPECT_FALSE(form.Timer1->isActive());
    const QByteArray ini = readFile("VEZARO.INI");
    form.Timer1Timer(); // a tick already queued when the window closed
    form.FormKeyDown(Qt::Key_F2);
    EXPECT_TRUE(boxes.empty()) << boxes.front().caption.toStdString() << ": "
                               << boxes.front().text.toStdString();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(readFile("VEZARO.INI"), ini);
}
} // namespace
