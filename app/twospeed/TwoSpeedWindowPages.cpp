// The two-speed window's controls: the common head and foot, and one page per step.
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

void TwoSpeedWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(kCaption, this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);

    TrainingLabel = new QLabel(this);
    TrainingLabel->setFont(big);
    setColour(TrainingLabel, "#c00000");
    TrainingLabel->setVisible(training_.active);
    TrainingLabel->setText(training_.active ? kTrainingMark + QStringLiteral(" (") +
                                                  training_.allReasonsText() + QStringLiteral(")")
                                            : QString());
    TrainingLabel->setWordWrap(true);
    layout->addWidget(TrainingLabel);

    AttemptLabel = new QLabel(this);
    AttemptLabel->setVisible(false);
    layout->addWidget(AttemptLabel);

    StepLabel = new QLabel(this);
    QFont bold = StepLabel->font();
    bold.setBold(true);
    StepLabel->setFont(bold);
    layout->addWidget(StepLabel);

    Pages = new QStackedWidget(this);
    // The pages take the focus themselves: Enter there goes on, Tab reaches the buttons.
    Pages->setFocusPolicy(Qt::StrongFocus);
    Pages->addWidget(buildVehiclePage());
    Pages->addWidget(buildGatePage());
    Pages->addWidget(buildConditioningPage());
    Pages->addWidget(buildPhasesPage());
    Pages->addWidget(buildResultPage());
    layout->addWidget(Pages, 1);

    MessageLabel = wrappedLabel(this);
    setColour(MessageLabel, "#c00000");
    layout->addWidget(MessageLabel);

    auto* keys = new QLabel(this);
    keys->setObjectName(QStringLiteral("keys"));
    layout->addWidget(keys);

    // Enter, Esc, F2 and F3 are the window's, whichever control has the focus.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    resize(720, 560);
}

QWidget* TwoSpeedWindow::buildVehiclePage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    RegistrationEdit = new QLineEdit(page);
    RegistrationEdit->setMaxLength(20);
    MakeEdit = new QLineEdit(page);
    MakeEdit->setMaxLength(40);
    ModelEdit = new QLineEdit(page);
    ModelEdit->setMaxLength(40);
    FirstRegistrationEdit = new QLineEdit(page);
    FirstRegistrationEdit->setMaxLength(10);
    FirstRegistrationEdit->setPlaceholderText(tr("dd.mm.yyyy"));
    FuelBox = new QComboBox(page);
    FuelBox->addItems({tr("Petrol"), tr("LPG"), tr("CNG")});
    ControlBox = new QComboBox(page);
    ControlBox->addItems(
        {tr("None, or a catalyst without lambda control"), tr("Lambda-controlled catalyst")});
    ControlBox->setCurrentIndex(1);
    DeclarationBox = new QComboBox(page);
    DeclarationBox->addItem(tr("Choose the reason"));
    for (const NoCatalystReason reason : noCatalystReasons())
        DeclarationBox->addItem(noCatalystReasonText(reason));
    ApprovalBox = new QComboBox(page);
    for (const TypeApproval approval : kApprovalItems)
        ApprovalBox->addItem(approvalItemText(approval));
    OperatorBox = new QComboBox(page);
    OperatorBox->setInsertPolicy(QComboBox::NoInsert);
    LimitsLabel = wrappedLabel(page);
    QFont bold = LimitsLabel->font();
    bold.setBold(true);
    LimitsLabel->setFont(bold);

    form->addRow(tr("Registration number"), RegistrationEdit);
    form->addRow(tr("Make"), MakeEdit);
    form->addRow(tr("Model"), ModelEdit);
    form->addRow(tr("First registration (dd.mm.yyyy)"), FirstRegistrationEdit);
    form->addRow(tr("Fuel"), FuelBox);
    form->addRow(tr("Emission control"), ControlBox);
    form->addRow(tr("Declared reason"), DeclarationBox);
    form->addRow(tr("Type approval"), ApprovalBox);
    form->addRow(tr("Operator"), OperatorBox);
    form->addRow(tr("Limits"), LimitsLabel);

    connect(RegistrationEdit, &QLineEdit::textChanged, this, [this] { showLimits(); });
    connect(FirstRegistrationEdit, &QLineEdit::textChanged, this, [this] { showLimits(); });
    for (QLineEdit* edit : {MakeEdit, ModelEdit})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            rowCopy_.edited(MakeEdit->text(), ModelEdit->text());
            showLimits();
        });
    for (QComboBox* box : {FuelBox, ControlBox, DeclarationBox, ApprovalBox})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { showLimits(); });
    return page;
}

QWidget* TwoSpeedWindow::buildGatePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QLabel* intro = wrappedLabel(page);
    intro->setText(tr("The analyser must be measuring and the probe in clean air."));
    layout->addWidget(intro);
    GateNoteLabel = wrappedLabel(page);
    layout->addWidget(GateNoteLabel);
    HangUpLabel = wrappedLabel(page);
    layout->addWidget(HangUpLabel);
    GateBlocksLabel = wrappedLabel(page);
    setColour(GateBlocksLabel, "#c00000");
    layout->addWidget(GateBlocksLabel);
    RunButton = new QPushButton(page);
    RunButton->setAutoDefault(false);
    connect(RunButton, &QPushButton::clicked, this, &TwoSpeedWindow::runAction);
    layout->addWidget(RunButton);
    GateReadyLabel = wrappedLabel(page);
    setColour(GateReadyLabel, "#007000");
    layout->addWidget(GateReadyLabel);
    layout->addStretch(1);
    return page;
}

QWidget* TwoSpeedWindow::buildConditioningPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    OilLabel = wrappedLabel(page);
    layout->addWidget(OilLabel);
    WarmButton = new QPushButton(tr("Engine at operating temperature"), page);
    WarmButton->setAutoDefault(false);
    connect(WarmButton, &QPushButton::clicked, this, [this] {
        if (test_)
            test_->confirmEngineWarm();
        Pages->setFocus(); // the button goes; Enter goes on from the page
        render();
    });
    layout->addWidget(WarmButton);
    RpmModeLabel = wrappedLabel(page);
    RpmModeLabel->setText(
        tr("The engine speed is read as vacuum. Choose how the analyser gives the engine speed:"));
    layout->addWidget(RpmModeLabel);
    auto* modes = new QHBoxLayout;
    Rpm1Button = new QPushButton(QStringLiteral("RPM/1"), page);
    Rpm2Button = new QPushButton(QStringLiteral("RPM/2"), page);
    for (QPushButton* b : {Rpm1Button, Rpm2Button}) {
        b->setAutoDefault(false);
        modes->addWidget(b);
    }
    modes->addStretch(1);
    connect(Rpm1Button, &QPushButton::clicked, this, [this] { chooseRpmMode(0); });
    connect(Rpm2Button, &QPushButton::clicked, this, [this] { chooseRpmMode(1); });
    layout->addLayout(modes);
    ConditioningBlocksLabel = wrappedLabel(page);
    setColour(ConditioningBlocksLabel, "#c00000");
    layout->addWidget(ConditioningBlocksLabel);
    ConditioningReadyLabel = wrappedLabel(page);
    setColour(ConditioningReadyLabel, "#007000");
    layout->addWidget(ConditioningReadyLabel);
    layout->addStretch(1);
    return page;
}

QWidget* TwoSpeedWindow::buildPhasesPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    PhaseTitleLabel = wrappedLabel(page);
    QFont bold = PhaseTitleLabel->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    PhaseTitleLabel->setFont(bold);
    layout->addWidget(PhaseTitleLabel);
    Gauge = new SpeedGauge(page);
    layout->addWidget(Gauge);
    RpmLabel = new QLabel(page);
    QFont huge = RpmLabel->font();
    huge.setPointSize(huge.pointSize() + 12);
    huge.setBold(true);
    RpmLabel->setFont(huge);
    layout->addWidget(RpmLabel);
    CountdownLabel = new QLabel(page);
    CountdownLabel->setFont(bold);
    layout->addWidget(CountdownLabel);
    PhaseLeftLabel = new QLabel(page);
    layout->addWidget(PhaseLeftLabel);
    PauseLabel = wrappedLabel(page);
    PauseLabel->setFont(bold);
    setColour(PauseLabel, "#c00000");
    layout->addWidget(PauseLabel);
    HintLabel = wrappedLabel(page);
    layout->addWidget(HintLabel);
    LiveLabel = wrappedLabel(page);
    layout->addWidget(LiveLabel);
    DonePhasesLabel = wrappedLabel(page);
    layout->addWidget(DonePhasesLabel);
    layout->addStretch(1);
    return page;
}

QWidget* TwoSpeedWindow::buildResultPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    ResultTable = new QWidget(page);
    new QGridLayout(ResultTable);
    layout->addWidget(ResultTable);
    VerdictLabel = new QLabel(page);
    QFont huge = VerdictLabel->font();
    huge.setPointSize(huge.pointSize() + 14);
    huge.setBold(true);
    VerdictLabel->setFont(huge);
    layout->addWidget(VerdictLabel);
    ReasonLabel = wrappedLabel(page);
    layout->addWidget(ReasonLabel);
    PrintLabel = wrappedLabel(page);
    layout->addWidget(PrintLabel);
    layout->addStretch(1);
    return page;
}

} // namespace vz
