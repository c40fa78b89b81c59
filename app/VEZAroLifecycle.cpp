// Start-up and shut-down of the main window: the settings file, the port set-up, demo mode,
// and the closing command to the analyser.
#include "AnalyserFrames.h"
#include "CPDrvEnv.h"
#include "DemoFile.h"
#include "Diagnostics.h"
#include "Files.h"
#include "MessageBox.h"
#include "SettingsFile.h"
#include "StationLogic.h"
#include "TChart.h"
#include "TrainingMode.h"
#include "TwoSpeedSetup.h"
#include "VEZAro.h"

#include <QComboBox>
#include <QDir>
#include <QTimer>

void TMnGASForm::FormCreate() {
    // The help file is compiled into the program (HelpViewer), so step 1 has nothing to set.
    St.DemoMode = true;
    St.CmdStep = 1;
    St.VacuumText = QStringLiteral("0900");
    St.OpState = 7;
    GASBox->setCurrentIndex(0);
    St.GASBoxItemIndex = 0;
    // Empty bars: Series1 all 0, Series2 all 600.
    St.BarValue = {0, 0, 0, 0};
    Chart1->setSeries1(St.BarValue);

    CPDrv->SetPollingDelay(400);
    CPDrv->SetDataBits(db8BITS);
    CPDrv->SetPort(pnCOM1);
    CPDrv->SetInputTimeout(50);

    St.OverRangeCount = 0;
    St.LineOverRangeCount = 0;
    St.RpmMode = 1;
    St.RunTickLimit = 12 * 55 * 4;

    bool settingsStopped = false;
    if (const std::optional<vz::SettingsLines> lines = vz::readSettingsFile(QDir::currentPath())) {
        const vz::SettingsApplyResult applied = vz::applySettings(*lines, *CPDrv);
        if (applied.BaudError) {
            vz::showConversionError(this, *applied.BaudError);
            settingsStopped = true;
        } else {
            if (CPDrv->BaudRateValue() == 1200) {
                // The self-sending analyser: a slower watchdog tick, a record to patch, no zeroing.
                St.Display.Timer1Interval = 500;
                St.Display.Timer1Enabled = true;
                St.FrameSlots[4] = analyser::defaultResultRecord();
                St.Display.Button3Enabled = false;
            }
            setWindowState(Qt::WindowNoState);
            if (applied.Width) {
                resize(*applied.Width, height());
                RestWin(); // the window lays itself out again and snaps its height
                St.HorSize = *applied.Width;
            }
            if (applied.Maximized)
                setWindowState(Qt::WindowMaximized);
        }
    }

    if (settingsStopped) {
        // A bad baud rate line stops the rest of start-up. Demo mode is then treated as off:
        // no demo file is open, and a replay on every tick would only fail again and again.
        // The caption is kept as the base caption, so cancelling a vehicle choice later
        // does not leave the window without a title.
        St.DemoMode = false;
        St.BaseCaption = windowTitle();
    } else {
        setWindowTitle(windowTitle() + QStringLiteral("  (   DEMO MODE   )"));
        if (IoFile->open(vz::findFileNoCase(QDir::currentPath(), QStringLiteral("VEZARO.DMO")))) {
            vz::showMessage(
                this, QStringLiteral("DEMO FILE LOADED"),
                QStringLiteral("This is a RECORD\r\nWhile real measurements have\r\nbeen running"),
                vz::MsgIcon::Information, vz::MsgButtons::Ok);
        } else {
            St.DemoMode = false;
            vz::showMessage(
                this, QStringLiteral("DEMO FILE NOT FOUND"),
                QStringLiteral("File VEZARO.DMO\r\nis not in current directoty\r\nplease, check it."),
                vz::MsgIcon::Information, vz::MsgButtons::Ok);
        }
        St.BaseCaption = windowTitle();
    }
    // Whether the two-speed test can be official, said once in the diagnostics: the start shows
    // no box of its own for it (a station that never tests two speeds starts as it always
    // has), and the test window's training mark names every reason.
    const QString notice =
        vz::twospeed::setupTrainingNotice(vz::twospeed::readTwoSpeedSetup(QDir::currentPath()));
    if (!notice.isEmpty())
        qCWarning(vz::lcFiles, "two-speed tests: %s", qUtf8Printable(notice));
    MirrorDisplay();
}

void TMnGASForm::FormClose() {
    // The window is going: no tick may replay from the demo file closed below or send after
    // the closing command, even while a nested loop that outlives this handler still runs.
    Timer1->stop();
    Timer2->stop();
    St.Display.Timer1Enabled = false;

    if (St.DemoMode)
        IoFile->close();

    // The state is read before it is changed. The width written is the restored window's:
    // a window manager applies the change to the normal state later, so a maximized window's
    // width() would still be the maximized one here; Qt keeps the restored geometry for it.
    const Qt::WindowStates state = windowState();
    const bool wasNormal = (state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) == 0;
    const QRect restored = normalGeometry();
    setWindowState(Qt::WindowNoState);
    St.HorSize = !wasNormal && restored.width() > 0 ? restored.width() : width();
    vz::writeSettingsFile(vz::settingsFromDriver(*CPDrv, St.HorSize, wasNormal), QDir::currentPath());

    if (CPDrv->IsConnected()) {
        if (!St.DemoMode && !CPDrv->SendText(analyser::frameOUBlank())) {
            vz::ShowSendError(*Env);
            St.OpState = 7;
        }
        CPDrv->Disconnect();
    }
}
