// The main window's commands that open other windows: F1 BASE (vehicle limits), F4 PRINT
// (test report), F5 (the two-speed test), SETTINGS and About.
#include "AboutZAN.h"
#include "CPDrvEnv.h"
#include "GASbase.h"
#include "LimitMarkers.h"
#include "PRNUnit.h"
#include "PrinterService.h"
#include "ProtocolArchive.h"
#include "ReportState.h"
#include "SettingsDlg.h"
#include "StationLogic.h"
#include "TLabel.h"
#include "TwoSpeedStation.h"
#include "TwoSpeedWindow.h"
#include "VEZAro.h"

#include <QDir>
#include <QTimer>

namespace {

// The main window as the two-speed test window sees it: the module state, the line, the F1
// vehicle and the F2, F3 and engine-speed commands, each as the main window's own handler.
class MainWindowStation : public vz::TwoSpeedStation {
public:
    explicit MainWindowStation(TMnGASForm& form) : form_(form) {
        connect(&form, &TMnGASForm::cycleStepped, this, &vz::TwoSpeedStation::stepped);
    }
    const vz::StationState& state() const override { return form_.St; }
    uint32_t baudRate() const override { return form_.CPDrv->BaudRateValue(); }
    QString portName() const override { return form_.CPDrv->PortName(); }
    QString devicePath() const override { return form_.CPDrv->DevicePath(); }
    bool portOpen() const override { return form_.CPDrv->IsConnected(); }
    std::optional<vz::ChosenVehicle> chosenVehicle() const override {
        const vz::SelectedVehicle& v = form_.St.Vehicle;
        if (!vz::vehicleSelected(v))
            return std::nullopt;
        vz::ChosenVehicle chosen;
        chosen.row = v;
        chosen.make = v.Make;
        chosen.model = v.Model;
        if (v.Rpm > 0)
            chosen.rpm = v.Rpm;
        return chosen;
    }
    void pressF2() override { form_.Button2Click(); }
    void pressF3() override { form_.Button3Click(); }
    void chooseRpmMode(int itemIndex) override { form_.RPMGroupClick(itemIndex); }

private:
    TMnGASForm& form_;
};

} // namespace

void TMnGASForm::Button1Click() {
    vz::runVehicleChoice(this, St.Vehicle);
    if (Closed)
        return; // the station shut down while the limits window was open
    ShowVehicleMarkers();
    RestWin();
    if (CPDrv->BaudRateValue() == 1200)
        vz::ConnectToolButtonClick(St, *Env);
    MirrorDisplay();
}

void TMnGASForm::ShowVehicleMarkers() {
    const bool selected = vz::vehicleSelected(St.Vehicle);
    if (selected) {
        const vz::MarkerTexts texts = vz::markerTexts(St.Vehicle);
        Labels[37]->setCaption(texts.Label37);
        Labels[38]->setCaption(texts.Label38);
        Labels[39]->setCaption(texts.Label39);
        Labels[40]->setCaption(texts.Label40);
        Labels[41]->setCaption(texts.Label41);
        setWindowTitle(vz::vehicleCaption(St.BaseCaption, St.Vehicle));
    } else {
        setWindowTitle(St.BaseCaption);
    }
    for (int n = 37; n <= 41; ++n)
        Labels[n]->setVisible(selected);
}

void TMnGASForm::SettingsButtonClick() {
    vz::runSettingsCommand(this, *CPDrv);
}

void TMnGASForm::AboutButtonClick() {
    vz::runAboutCommand(this);
}

vz::MainReadings TMnGASForm::Readings() const {
    vz::MainReadings r;
    r.Label11 = Labels[11]->text();
    r.Label12 = Labels[12]->text();
    r.Label13 = Labels[13]->text();
    r.Label14 = Labels[14]->text();
    r.Label44 = Labels[44]->text();
    r.Label15 = Labels[15]->text();
    r.Label46 = Labels[46]->text();
    r.GASBoxItemIndex = St.GASBoxItemIndex;
    return r;
}

std::function<vz::MainReadings()> TMnGASForm::readingsProvider() const {
    return [this] { return Readings(); };
}

void TMnGASForm::Button4Click() {
    // No frame goes out while the report window is open: the cycle timer waits.
    Timer1->stop();
    St.Display.Timer1Enabled = false;
    {
        vz::QtPrinterService defaultPrinter;
        vz::TPRNForm report(this, *ReportState, Printer ? *Printer : defaultPrinter, readingsProvider());
        report.exec();
    }
    if (Closed)
        return; // the station shut down while the report window was open
    St.Display.Timer1Enabled = true;
    Timer1->start();
}

vz::TwoSpeedStation& TMnGASForm::twoSpeedStation() {
    if (!TestStation)
        TestStation = std::make_unique<MainWindowStation>(*this);
    return *TestStation;
}

void TMnGASForm::TwoSpeedTestCommand() {
    // Unlike the report window, the cycle timer keeps running: the test lives on the readings
    // it brings.
    vz::QtPrinterService defaultPrinter;
    vz::ProtocolArchive archive(QDir::currentPath());
    vz::TwoSpeedWindow window(this, {twoSpeedStation(), archive, Printer ? *Printer : defaultPrinter});
    window.exec();
}
