// The two-speed window and the station: the cycle's state and the readings fed to the
// procedure (one sample per record, or per analyser line at 1200 baud), and the run restarted
// on the operator's behalf.
#include "TwoSpeedWindow.h"

#include "Conversions.h"
#include "Diagnostics.h"
#include "Files.h"
#include "MessageBox.h"
#include "PortNames.h"
#include "PrinterService.h"
#include "ProtocolPage.h"
#include "Registration.h"
#include "ReportSetup.h"
#include "SpeedGauge.h"
#include "StationState.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedStation.h"
#include "TwoSpeedWindowParts.h"
#include "VehicleInputCheck.h"
#include "VzVersion.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>

namespace vz {

using namespace twospeed;
using namespace twospeed_window;

CycleState TwoSpeedWindow::cycleState() const {
    const StationState& st = services_.station.state();
    CycleState c;
    c.baudRate = services_.station.baudRate();
    c.opState = st.OpState;
    // At 1200 baud the record is decoded again at every block, so the main window's count says
    // nothing per reading: the gate counts the analyser's lines over range instead.
    c.overRangeCount = c.baudRate == kSelfSendingRate ? st.LineOverRangeCount : st.OverRangeCount;
    c.ticksSinceResult = st.TicksSinceResult;
    c.runTicks = st.RunTicks;
    c.runTickLimit = st.RunTickLimit;
    c.runTickMs = kRunTickMs;
    c.rpmMode = st.RpmMode;
    return c;
}

void TwoSpeedWindow::stationStepped() {
    if (!test_ || test_->finished())
        return;
    // The port open during the test and closed now: the analyser is lost, a technical end like
    // the station's own (not the operator's: a failing average already measured is kept, but
    // the test is interrupted, not failed).
    if (!services_.station.state().DemoMode) {
        const bool open = services_.station.portOpen();
        if (portSeenOpen_ && !open) {
            test_->interrupt(kPortLostDuringTest);
            concludeTest(false);
            return;
        }
        portSeenOpen_ = portSeenOpen_ || open;
    }
    const StationState& st = services_.station.state();
    test_->updateCycle(cycleState());
    if (services_.station.baudRate() == kSelfSendingRate)
        feedAnalyserLines();
    else if (st.ResultDecodes != lastDecodes_)
        feedDecodedRecord();
    // The second F2 of a restart, once the run has stopped.
    if (restartPending_ && st.OpState != 1 && st.OpState != 2) {
        restartPending_ = false;
        services_.station.pressF2();
        test_->updateCycle(cycleState());
    }
    refresh();
}

// A polled analyser: one sample per result record, the readings as the main window shows them.
void TwoSpeedWindow::feedDecodedRecord() {
    const StationState& st = services_.station.state();
    lastDecodes_ = st.ResultDecodes;
    const std::optional<double> co = strToFloat(st.Display.Label11);
    const std::optional<double> co2 = strToFloat(st.Display.Label12);
    const std::optional<double> hc = strToFloat(st.Display.Label13);
    const std::optional<double> o2 = strToFloat(st.Display.Label14);
    if (!co || !co2 || !hc || !o2)
        return;
    Reading r;
    r.recordId = st.ResultRecordId;
    r.co = *co;
    r.co2 = *co2;
    r.hcPpm = *hc;
    r.o2 = *o2;
    if (st.RpmMode == 1 || st.RpmMode == 2) {
        if (const std::optional<int32_t> rpm = strToInt(st.RpmText))
            r.rpm = *rpm;
    }
    if (const std::optional<double> oil = strToFloat(st.OilTempText.trimmed()))
        r.oilC = *oil;
    test_->feed(r);
}

// The self-sending analyser: one sample per line it sent, whether or not its bytes differ from
// the line before, with the gases and the engine speed of that same line. A line without its
// own speed field takes the speed the main window shows, marked as not its own, which the
// procedure does not let prove the speed window.
void TwoSpeedWindow::feedAnalyserLines() {
    const StationState& st = services_.station.state();
    for (const AnalyserLine& line : st.RecentAnalyserLines) {
        if (line.id <= lastLineId_)
            continue;
        lastLineId_ = line.id;
        Reading r;
        r.recordId = line.id;
        r.co = line.co();
        r.co2 = line.co2();
        r.hcPpm = line.hc();
        r.o2 = line.o2();
        if (st.RpmMode == 1 || st.RpmMode == 2) {
            if (const std::optional<int32_t> rpm = line.engineSpeed(st.RpmMode)) {
                r.rpm = *rpm;
            } else if (const std::optional<int32_t> shown = strToInt(st.RpmText)) {
                r.rpm = *shown;
                r.rpmFromSameLine = false;
            }
        }
        test_->feed(r);
        if (test_->finished())
            return;
    }
}

void TwoSpeedWindow::chooseRpmMode(int itemIndex) {
    services_.station.chooseRpmMode(itemIndex);
    Pages->setFocus(); // the buttons go; Enter goes on from the page
    stationStepped();
}

void TwoSpeedWindow::runAction() {
    if (!test_ || restartPending_)
        return;
    const StationState& st = services_.station.state();
    if (st.OpState == 1) {
        // Stop now, start again once stopped: F2 twice.
        services_.station.pressF2();
        restartPending_ = true;
    } else if (st.OpState == 2) {
        restartPending_ = true; // already stopping: only the start is left
    } else {
        services_.station.pressF2();
    }
    stationStepped();
}

} // namespace vz
