#include "VEZAro.h"

#include "AnalyserFrames.h"
#include "CPDrvEnv.h"
#include "DemoFile.h"
#include "Diagnostics.h"
#include "HelpViewer.h"
#include "MessageBox.h"
#include "ReportState.h"
#include "StationLogic.h"
#include "TChart.h"
#include "TLabel.h"
#include "TwoSpeedStation.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

TMnGASForm::TMnGASForm(Options options, vz::ReportState* reportState, vz::PrinterService* printer)
    : ReportState(reportState), Printer(printer) {
    if (!ReportState) {
        OwnReportState = std::make_unique<vz::ReportState>();
        ReportState = OwnReportState.get();
    }
    // The form description: the port component on "\\.\COM2" with the frame decoder as its
    // receive handler, the cycle timer at its default 1000 ms and the animation timer at 100 ms.
    CPDrv = new TCommPortDriver(this);
    CPDrv->SetPortName(QStringLiteral("\\\\.\\COM2"));
    CPDrv->OnReceiveData = [this](TCommPortDriver*, const void* data, uint32_t size) {
        cpDrvReceiveData(data, size);
    };
    IoFile = std::make_unique<vz::DemoFile>();
    Env = std::make_unique<vz::CPDrvEnv>(*CPDrv);
    Env->demoReplay = [this](vz::StationState& state) { return DemoReplayStep(state); };
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TMnGASForm::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TMnGASForm::Timer2Timer);

    CreateControls();
    connect(Button1, &QPushButton::clicked, this, &TMnGASForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMnGASForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TMnGASForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TMnGASForm::Button4Click);
    connect(SettingsButton, &QPushButton::clicked, this, &TMnGASForm::SettingsButtonClick);
    connect(AboutButton, &QPushButton::clicked, this, &TMnGASForm::AboutButtonClick);
    connect(ViewButton, &QPushButton::clicked, this, &TMnGASForm::ViewButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &TMnGASForm::HelpButtonClick);
    connect(GASBox, &QComboBox::currentIndexChanged, this, [this](int) { GASBoxChange(); });
    connect(GASBox, &QComboBox::editTextChanged, this, [this](const QString& text) {
        // The fuel constant follows the text: a typed text that matches no item counts as -1.
        St.GASBoxItemIndex = GASBox->findText(text, Qt::MatchExactly);
    });

    if (options.runFormCreate)
        FormCreate();
    // Both timers run from the moment the window exists.
    Timer1->setInterval(St.Display.Timer1Interval);
    Timer1->start();
    Timer2->start();
    Button2->setFocus(); // the first control in tab order that takes the focus
}

TMnGASForm::~TMnGASForm() {
    Timer1->stop();
    Timer2->stop();
    CPDrv->Disconnect();
}

bool TMnGASForm::DemoFileOpen() const {
    return IoFile->isOpen();
}

void TMnGASForm::Timer1Timer() {
    if (Closed)
        return; // a tick queued before the close
    vz::Timer1Timer(St, *Env);
    MirrorDisplay();
    emit cycleStepped();
}

void TMnGASForm::Timer2Timer() {
    if (Closed)
        return;
    vz::Timer2Timer(St);
    Chart1->setSeries1(St.BarValue);
}

void TMnGASForm::cpDrvReceiveData(const void* DataPtr, uint32_t DataSize) {
    const bool timed = vz::lcTiming().isDebugEnabled();
    QElapsedTimer t;
    if (timed)
        t.start();
    vz::cpDrvReceiveData(St, *Env, DataPtr, DataSize);
    MirrorDisplay();
    emit cycleStepped();
    if (timed)
        qCDebug(vz::lcTiming, "block of %u bytes shown in %.3f ms", unsigned(DataSize),
                t.nsecsElapsed() / 1e6);
}

bool TMnGASForm::DemoReplayStep(vz::StationState& state) {
    if (IoFile->replayStep(state.FrameSlots))
        return true;
    vz::showMessage(this, QCoreApplication::applicationName(),
                    QStringLiteral("I/O error reading VEZARO.DMO: %1").arg(IoFile->errorString()),
                    vz::MsgIcon::Error);
    return false;
}

void TMnGASForm::Button2Click() {
    vz::Button2Click(St, *Env);
    MirrorDisplay();
}

void TMnGASForm::Button3Click() {
    vz::Button3Click(St, *Env);
    MirrorDisplay();
}

void TMnGASForm::ViewButtonClick() {
    Chart1->setVisible(Chart1->isHidden());
    RestWin();
}

void TMnGASForm::HelpButtonClick() {
    showHelpTopic(this, QStringLiteral("Hardware"));
}

void TMnGASForm::Label5Click() {
    vz::Label5Click(St);
    MirrorDisplay();
}

void TMnGASForm::RPMGroupClick(int itemIndex) {
    vz::RPMGroupClick(St, itemIndex);
    MirrorDisplay();
}

void TMnGASForm::GASBoxChange() {
    St.GASBoxItemIndex = GASBox->currentIndex();
    Button2->setFocus();
}

void TMnGASForm::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_F1:
        Button1Click();
        break;
    case Qt::Key_F2:
        Button2Click();
        break;
    case Qt::Key_F3:
        Button3Click();
        break;
    // F4 opens the report window, as the button captioned "F4 PRINT" says.
    case Qt::Key_F4:
        Button4Click();
        break;
    // F5 opens the two-speed test.
    case Qt::Key_F5:
        TwoSpeedTestCommand();
        break;
    default:
        break;
    }
}

void TMnGASForm::MirrorDisplay() {
    const vz::StationDisplay& d = St.Display;
    Labels[11]->setCaption(d.Label11);
    Labels[12]->setCaption(d.Label12);
    Labels[13]->setCaption(d.Label13);
    Labels[14]->setCaption(d.Label14);
    Labels[15]->setCaption(d.Label15);
    Labels[44]->setCaption(d.Label44);
    Labels[46]->setCaption(d.Label46);
    Labels[5]->setCaption(d.Label5);
    for (int i = 0; i < 5; ++i) {
        TLabel* marker = Labels[37 + i];
        const QColor colour = QColor::fromRgb(d.MarkerGreen[i] ? vz::kGreen : vz::kRed);
        if (marker->palette().color(QPalette::Window) != colour) {
            QPalette p = marker->palette();
            p.setColor(QPalette::Window, colour);
            marker->setPalette(p);
        }
    }
    TLabel* status = Labels[45];
    status->setCaption(d.Label45Caption);
    if (status->palette().color(QPalette::Window) != QColor::fromRgb(d.Label45Colour)) {
        QPalette p = status->palette();
        p.setColor(QPalette::Window, QColor::fromRgb(d.Label45Colour));
        status->setPalette(p);
    }
    status->setVisible(d.Label45Visible);
    ProgressBar1->setValue(std::clamp(d.ProgressBar1Position, 0, 80));
    ProgressBar1->setVisible(d.ProgressBar1Visible);
    Button2->setText(d.Button2Caption);
    Button3->setEnabled(d.Button3Enabled);
    if (d.RPMGroupItemIndex >= 0 && d.RPMGroupItemIndex < 3 &&
        !RPMGroupItems[d.RPMGroupItemIndex]->isChecked())
        RPMGroupItems[d.RPMGroupItemIndex]->setChecked(true);
    RPMGroup->setVisible(d.RPMGroupVisible);
    if (d.RPMGroupVisible)
        RPMGroup->raise();
    if (Timer1->interval() != d.Timer1Interval)
        Timer1->setInterval(d.Timer1Interval);
    if (!Closed && d.Timer1Enabled != Timer1->isActive())
        d.Timer1Enabled ? Timer1->start() : Timer1->stop();
}

void TMnGASForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A spontaneous resize comes from the window system (the window manager's answer to a
    // snap, or a size it gave); the window's own resize calls send plain ones.
    if (event->spontaneous() && !InRestWin)
        SnapAnswered(size());
    RestWin();
}

void TMnGASForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F5) {
        FormKeyDown(key);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMnGASForm::closeEvent(QCloseEvent* event) {
    if (!Closed) {
        Closed = true;
        FormClose();
    }
    QWidget::closeEvent(event);
}

bool TMnGASForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key >= Qt::Key_F1 && key <= Qt::Key_F5) {
            FormKeyDown(key);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress && (watched == Labels[5] || watched == Labels[15])) {
        Label5Click();
        return true;
    }
    // A click anywhere in the group counts, not only on an item: on its caption or its blank
    // part it chooses the item already selected, and the group hides.
    if (event->type() == QEvent::MouseButtonRelease && watched == RPMGroup &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        int checked = -1;
        for (int i = 0; i < 3; ++i)
            if (RPMGroupItems[i]->isChecked())
                checked = i;
        RPMGroupClick(checked);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
