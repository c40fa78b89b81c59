#include "VEZAro.h"

#include "StationLogic.h"
#include "TChart.h"
#include "TLabel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

TMnGASForm::TMnGASForm(Options options, vz::ReportState* reportState) : ReportState(reportState)
{
    CPDrv = new TCommPortDriver(this);
    CPDrv->SetPort(pnCustom);
    CPDrv->SetPortName(QStringLiteral("\\\\.\\COM2"));
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setInterval(100);
    CreateControls();
    if (options.runFormCreate)
        FormCreate();
}

TMnGASForm::~TMnGASForm() = default;

void TMnGASForm::FormCreate() {}
void TMnGASForm::FormClose() {}
void TMnGASForm::Timer1Timer() {}
void TMnGASForm::Timer2Timer() {}
void TMnGASForm::cpDrvReceiveData(const void*, uint32_t) {}
void TMnGASForm::Button1Click() {}
void TMnGASForm::Button2Click() {}
void TMnGASForm::Button3Click() {}
void TMnGASForm::Button4Click() {}
void TMnGASForm::SettingsButtonClick() {}
void TMnGASForm::AboutButtonClick() {}
void TMnGASForm::ViewButtonClick()
{
    Chart1->setVisible(!Chart1->isVisible());
    RestWin();
}
void TMnGASForm::HelpButtonClick() {}
void TMnGASForm::Label5Click() {}
void TMnGASForm::RPMGroupClick(int) {}
void TMnGASForm::GASBoxChange() {}
void TMnGASForm::FormKeyDown(int) {}
void TMnGASForm::MirrorDisplay() {}
void TMnGASForm::ShowVehicleMarkers() {}
bool TMnGASForm::DemoFileOpen() const { return false; }
void TMnGASForm::DemoReplayStep(vz::StationState&) {}

void TMnGASForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RestWin();
}
void TMnGASForm::keyPressEvent(QKeyEvent* event) { QWidget::keyPressEvent(event); }
void TMnGASForm::closeEvent(QCloseEvent* event) { QWidget::closeEvent(event); }
bool TMnGASForm::eventFilter(QObject* watched, QEvent* event) { return QWidget::eventFilter(watched, event); }
