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

namespace {

const QString kCaption = QStringLiteral("ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ / TWO-SPEED TEST");
const QString kCatalogue = QStringLiteral(":/i18n/vezaro_bg.qm");
constexpr int kRefreshMs = 200;
// Samples are journalled at least this often (and at every phase's end), well within the
// five seconds a stopped station may lose at most.
constexpr int64_t kJournalEveryMs = 4000;
// The running state's tick of the cycle timer.
constexpr int kRunTickMs = 250;
constexpr int kVacuumMode = 4;
constexpr uint32_t kSelfSendingRate = 1200;

int64_t systemClock() {
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

QString wholeSeconds(int64_t ms) {
    return QString::number((std::max<int64_t>(0, ms) + 999) / 1000);
}

QString windowText(const SpeedWindow& w) {
    return QStringLiteral("%1–%2 min⁻¹").arg(w.min).arg(w.max);
}

QString withUnit(const QString& text, Quantity q) {
    const QString unit = quantityUnit(q);
    return unit.isEmpty() ? text : text + u' ' + unit;
}

QLabel* wrappedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setColour(QLabel* label, const char* colour) {
    label->setStyleSheet(colour ? QStringLiteral("color: %1;").arg(QLatin1String(colour)) : QString());
}

// The emission classes of the vehicle step's box, in its order.
constexpr TypeApproval kApprovalItems[] = {TypeApproval::Unknown,     TypeApproval::BeforeEuro1,
                                           TypeApproval::Euro1,       TypeApproval::Euro2,
                                           TypeApproval::BeforeEuro3, TypeApproval::Euro3OrLater};

bool phaseOver(Verdict v) {
    return v != Verdict::Pending && v != Verdict::NotRun;
}

} // namespace

bool isPseudoTerminal(const QString& devicePath) {
    const QString real = QFileInfo(devicePath).canonicalFilePath();
    const QString path = real.isEmpty() ? devicePath : real;
    return path.startsWith(QStringLiteral("/dev/pts/"));
}

bool englishWindow() {
    return qEnvironmentVariable("VZ_LANG").startsWith(QStringLiteral("en"), Qt::CaseInsensitive);
}

TwoSpeedWindow::TwoSpeedWindow(QWidget* owner, TwoSpeedWindowServices services)
    : QDialog(owner), services_(std::move(services)) {
    if (!services_.clock)
        services_.clock = systemClock;
    if (!services_.now)
        services_.now = [] { return QDateTime::currentDateTime(); };
    dir_ = services_.dir.isEmpty() ? QDir::currentPath() : services_.dir;

    // The catalogue is installed for the window's lifetime; the texts are set below, once.
    translator_ = std::make_unique<QTranslator>();
    if (!englishWindow()) {
        if (translator_->load(kCatalogue))
            QCoreApplication::installTranslator(translator_.get());
        else
            qCWarning(lcFiles, "no Bulgarian catalogue %s: the test window speaks English",
                      qUtf8Printable(kCatalogue));
    }

    setupRead_ = readTwoSpeedSetup(dir_);
    const StationFileLines station = readStationFile(findFileNoCase(dir_, QStringLiteral("SERVICE.ini")));
    stationLine_ = station.stationLine;
    devicePath_ = services_.station.devicePath();
    training_ = trainingMode(services_.station.state().DemoMode, isPseudoTerminal(devicePath_),
                             setupRead_.setup, services_.now().date());
    series_ = training_.active ? ArchiveSeries::Training : ArchiveSeries::Official;

    setWindowTitle(kCaption);
    setModal(true);
    buildControls();
    QStringList operators;
    for (const QString& name : sortedOperators(station.operators))
        if (!name.trimmed().isEmpty())
            operators << name;
    OperatorBox->addItems(operators);
    // Without a list in SERVICE.ini the operator types a name.
    OperatorBox->setEditable(operators.isEmpty());
    fillVehicleFromStation();
    showLimits();
    showStep(Step::Vehicle);

    connect(&services_.station, &TwoSpeedStation::stepped, this, &TwoSpeedWindow::stationStepped);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &TwoSpeedWindow::refresh);
    timer_->start();

    if (!setupRead_.refused.isEmpty()) {
        QStringList lines;
        for (const SetupMessage& m : std::as_const(setupRead_.refused))
            lines << m.text;
        showMessage(this, kCaption,
                    tr("Some values of the set-up file were refused; their defaults are used:") +
                        QStringLiteral("\n\n") + lines.join(u'\n'),
                    MsgIcon::Warning);
    }
}

TwoSpeedWindow::~TwoSpeedWindow() {
    // A window that goes while its test runs (the station closing) records the test.
    if (test_ && !test_->finished()) {
        test_->interrupt(kClosedDuringTest);
        concludeTest(true);
    }
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

// --- Controls ---

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

void TwoSpeedWindow::fillVehicleFromStation() {
    const std::optional<ChosenVehicle> chosen = services_.station.chosenVehicle();
    if (!chosen)
        return;
    // The test's own copy of the F1 row: it applies to this vehicle only, and goes once the
    // make or the model is changed. The main window keeps its row as it is.
    rowCopy_ =
        VehicleRowCopy(chosen->row, tableChecksumOfFile(findFileNoCase(dir_, QStringLiteral("CarModel.DB"))));
    // Both at once: half of them filled is no change of vehicle.
    const QSignalBlocker makeBlocker(MakeEdit);
    const QSignalBlocker modelBlocker(ModelEdit);
    MakeEdit->setText(rowCopy_.make());
    ModelEdit->setText(rowCopy_.model());
}

// --- The vehicle ---

VehicleFacts TwoSpeedWindow::vehicleFacts() const {
    VehicleFacts v;
    v.registration = RegistrationEdit->text().simplified();
    v.make = MakeEdit->text().simplified();
    v.model = ModelEdit->text().simplified();
    v.firstRegistration =
        QDate::fromString(FirstRegistrationEdit->text().trimmed(), QStringLiteral("d.M.yyyy"));
    v.fuel = FuelBox->currentIndex() == 1   ? Fuel::Lpg
             : FuelBox->currentIndex() == 2 ? Fuel::Cng
                                            : Fuel::Petrol;
    v.control =
        ControlBox->currentIndex() == 0 ? EmissionControl::NoLambdaControl : EmissionControl::LambdaCatalyst;
    const QList<NoCatalystReason> reasons = noCatalystReasons();
    const int declared = DeclarationBox->currentIndex() - 1;
    if (v.control == EmissionControl::NoLambdaControl && declared >= 0 && declared < reasons.size())
        v.declaration = reasons[declared];
    const int approval = ApprovalBox->currentIndex();
    v.approval = approval >= 0 && approval < int(std::size(kApprovalItems)) ? kApprovalItems[approval]
                                                                            : TypeApproval::Unknown;
    rowCopy_.applyTo(v);
    return v;
}

void TwoSpeedWindow::showLimits() {
    const VehicleFacts facts = vehicleFacts();
    DeclarationBox->setEnabled(facts.control == EmissionControl::NoLambdaControl);
    QStringList lines{selectLimits(facts, setupRead_.setup).explanation};
    if (rowCopy_.dropped())
        lines << rowCopy_.droppedText();
    for (const VehicleRefusal& refusal : vehicleRefusals(facts))
        lines << QStringLiteral("✘ ") + refusal.text;
    LimitsLabel->setText(lines.join(u'\n'));
}

bool TwoSpeedWindow::startTest() {
    const VehicleFacts facts = vehicleFacts();
    if (facts.registration.isEmpty()) {
        MessageLabel->setText(tr("Enter the registration number."));
        RegistrationEdit->setFocus();
        return false;
    }
    if (!facts.firstRegistration.isValid() || facts.firstRegistration.year() < 1900) {
        MessageLabel->setText(tr("Enter the date of first registration as dd.mm.yyyy."));
        FirstRegistrationEdit->setFocus();
        return false;
    }
    if (facts.firstRegistration > services_.now().date()) {
        MessageLabel->setText(tr("The date of first registration lies in the future."));
        FirstRegistrationEdit->setFocus();
        return false;
    }
    if (const QList<VehicleRefusal> refusals = vehicleRefusals(facts); !refusals.isEmpty()) {
        MessageLabel->setText(refusals.first().text);
        switch (refusals.first().field) {
        case VehicleRefusal::Field::Declaration:
            (DeclarationBox->isEnabled() ? DeclarationBox : ControlBox)->setFocus();
            break;
        case VehicleRefusal::Field::TypeApproval:
            ApprovalBox->setFocus();
            break;
        case VehicleRefusal::Field::FirstRegistration:
            FirstRegistrationEdit->setFocus();
            break;
        }
        return false;
    }
    operatorName_ = OperatorBox->currentText().simplified();

    auto test = std::make_unique<TwoSpeedTest>(facts, setupRead_.setup, training_, services_.clock);
    RecordContext context;
    context.operatorName = operatorName_;
    context.version = QStringLiteral(VZ_VERSION);
    context.port = shortPortName(services_.station.portName());
    context.device = devicePath_;
    context.baudRate = services_.station.baudRate();
    context.demoMode = services_.station.state().DemoMode;
    startedAt_ = services_.now();
    // The test starts only once it is in the archive: whatever happens later, it is there.
    const ArchiveWrite begun = services_.archive.begin(series_, startedRecord(*test, context));
    if (!begun.ok) {
        showMessage(this, kCaption,
                    tr("The test could not be recorded and does not start:") + u'\n' + begun.error,
                    MsgIcon::Error);
        return false;
    }
    if (!begun.sealTrouble.isEmpty())
        qCWarning(lcLog, "two-speed test %d: started without a seal: %s", begun.number,
                  qUtf8Printable(begun.sealTrouble));
    test_ = std::move(test);
    number_ = begun.number;
    attempt_ = training_.active
                   ? 0
                   : services_.archive.attempts(facts.registration, startedAt_.date(),
                                                [](const QString& r) { return normaliseRegistration(r); });
    lastJournalMs_ = services_.clock();
    lastDecodes_ = services_.station.state().ResultDecodes;
    lastLineId_ = services_.station.state().LineTap.lastId();
    MessageLabel->clear();
    showStep(Step::Gate);
    stationStepped();
    return true;
}

// --- The station ---

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

void TwoSpeedWindow::refresh() {
    if (test_ && !test_->finished()) {
        test_->tick();
        if (!test_->finished())
            journal(false);
    }
    if (test_ && test_->finished() && !concluded_) {
        concludeTest(false);
        return;
    }
    // A clean-air check older than its 10 minutes sends the test back to the gate by itself.
    if (test_ && !test_->finished() && (step_ == Step::Gate || step_ == Step::Conditioning) &&
        stepOfStage() != step_) {
        showStep(stepOfStage());
        return;
    }
    render();
}

TwoSpeedWindow::Step TwoSpeedWindow::stepOfStage() const {
    switch (test_->stage()) {
    case Stage::Gate:
        return Step::Gate;
    case Stage::Conditioning:
        return Step::Conditioning;
    case Stage::Phases:
        return Step::Phases;
    case Stage::Finished:
        break;
    }
    return Step::Result;
}

// --- The archive ---

void TwoSpeedWindow::journal(bool force) {
    if (!test_ || number_ <= 0)
        return;
    const int64_t now = services_.clock();
    const auto ends = std::count_if(test_->phases().cbegin(), test_->phases().cend(),
                                    [](const PhaseResult& p) { return phaseOver(p.verdict); });
    // A failing average is written at once: the window shows it only once it is in the archive.
    if (!force && !test_->evidencePending() && ends == journalledEnds_ &&
        now - lastJournalMs_ < kJournalEveryMs)
        return;
    journalledEnds_ = int(ends);
    lastJournalMs_ = now;
    JournalMark next = journalMark_;
    const QJsonObject samples = samplesRecord(*test_, next);
    if (samples.isEmpty())
        return;
    const ArchiveWrite written = services_.archive.journal(series_, number_, samples);
    if (!written.ok) {
        // The same samples go into the next line, and the result line holds them all.
        qCWarning(lcLog, "two-speed test %d: samples not journalled: %s", number_,
                  qUtf8Printable(written.error));
        return;
    }
    journalMark_ = next;
    test_->evidenceWritten(journalMark_);
}

void TwoSpeedWindow::concludeTest(bool quiet) {
    if (concluded_ || !test_ || !test_->finished())
        return;
    concluded_ = true;
    restartPending_ = false;
    rowCopy_.forget(); // the next test takes the row again only from F1
    endedAt_ = services_.now();
    resultWrite_ = services_.archive.finish(series_, number_, resultRecord(*test_, endedAt_, attempt_));
    if (!resultWrite_.ok)
        qCWarning(lcLog, "two-speed test %d: result not recorded: %s", number_,
                  qUtf8Printable(resultWrite_.error));
    if (quiet)
        return;
    showStep(Step::Result);
    if (!resultWrite_.ok)
        showMessage(this, kCaption,
                    tr("The result of the test could not be recorded:") + u'\n' + resultWrite_.error + u'\n' +
                        tr("No protocol is printed for it. A page marked as no protocol can be printed or "
                           "saved."),
                    MsgIcon::Error);
}

void TwoSpeedWindow::printTheProtocol() {
    // Without its result line in the archive a test has no protocol: the page printed instead
    // is marked across its face as no protocol, and carries no number and no seal.
    const bool unrecorded = !resultWrite_.ok;
    ProtocolContext context;
    context.stationLine = stationLine_;
    context.operatorName = operatorName_;
    context.number = number_;
    context.attempt = std::max(1, attempt_);
    context.started = startedAt_;
    context.ended = endedAt_;
    context.seal = resultWrite_.seal;
    context.sealTrouble = resultWrite_.ok ? resultWrite_.sealTrouble : resultWrite_.error;
    context.unrecorded = unrecorded;
    const ProtocolData data = protocolData(*test_, context);
    QString error;
    printed_ = true;
    if (printProtocol(services_.printer, data, &error)) {
        PrintLabel->setText(unrecorded ? tr("The page marked as no protocol was printed.")
                                       : tr("The protocol was printed."));
        render();
        return;
    }
    showMessage(this, tr("Printer error"), error, MsgIcon::Error);
    const QString fileName =
        unrecorded ? unrecordedPdfFileName(endedAt_) : protocolPdfFileName(number_, training_.active);
    const MsgAnswer answer = showMessage(
        this, kCaption,
        unrecorded
            ? tr("The page marked as no protocol was not printed.\nSave it as %1 in the station "
                 "directory?")
                  .arg(fileName)
            : tr("The test is recorded but its protocol was not printed.\nSave the protocol as %1 in the "
                 "station directory?")
                  .arg(fileName),
        MsgIcon::Question, MsgButtons::YesNo);
    const QString notPrinted = unrecorded ? tr("The page marked as no protocol was not printed.")
                                          : tr("The protocol was not printed.");
    if (answer != MsgAnswer::Yes) {
        PrintLabel->setText(notPrinted);
    } else if (writeProtocolPdf(QDir(dir_).filePath(fileName), data, &error)) {
        PrintLabel->setText(unrecorded ? tr("The page marked as no protocol was saved as %1.").arg(fileName)
                                       : tr("The protocol was saved as %1.").arg(fileName));
    } else {
        PrintLabel->setText(notPrinted);
        showMessage(this, kCaption, error, MsgIcon::Error);
    }
    render();
}

// --- Keys ---

bool TwoSpeedWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F2:
        case Qt::Key_F3:
            keyPressEvent(key);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TwoSpeedWindow::keyPressEvent(QKeyEvent* event) {
    const bool measuring = test_ && !test_->finished();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        // A button with the focus is pressed; anywhere else Enter goes on.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isVisible() && button->isEnabled())
            button->click();
        else
            enter();
        return;
    case Qt::Key_Escape:
        event->accept();
        escape();
        return;
    case Qt::Key_F2:
        event->accept();
        if (measuring) {
            services_.station.pressF2();
            stationStepped();
        }
        return;
    case Qt::Key_F3:
        event->accept();
        if (measuring) {
            services_.station.pressF3();
            stationStepped();
        }
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TwoSpeedWindow::enter() {
    switch (step_) {
    case Step::Vehicle:
        startTest();
        return;
    case Step::Gate:
    case Step::Conditioning:
        if (!test_->proceed()) {
            MessageLabel->setText(tr("The test cannot go on yet: see what is missing above."));
            render();
            return;
        }
        MessageLabel->clear();
        showStep(stepOfStage());
        stationStepped();
        return;
    case Step::Phases:
        return; // the procedure goes on by itself
    case Step::Result:
        if (!printed_)
            printTheProtocol();
        else
            done(QDialog::Accepted);
        return;
    }
}

void TwoSpeedWindow::escape() {
    if (!test_) {
        done(QDialog::Rejected); // nothing started, nothing to record
        return;
    }
    if (test_->finished()) {
        done(QDialog::Accepted);
        return;
    }
    // A phase that already holds a valid failing average fails the test however it ends.
    const MsgAnswer answer = showMessage(
        this, kCaption,
        test_->abortFails() ? tr("Abort the test? A valid average beyond the limits has been measured: "
                                 "the test is recorded as failed.")
                            : tr("Abort the test? It is recorded as aborted."),
        MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes || !test_ || test_->finished())
        return;
    test_->abort();
    concludeTest(false);
}

void TwoSpeedWindow::closeEvent(QCloseEvent* event) {
    // The close box asks as Esc does; the station closing does not ask.
    if (test_ && !test_->finished() && !shuttingDown()) {
        event->ignore();
        escape();
        return;
    }
    QDialog::closeEvent(event);
}

void TwoSpeedWindow::reject() {
    if (test_ && !test_->finished()) {
        test_->interrupt(kClosedDuringTest);
        concludeTest(true);
    }
    QDialog::reject();
}

// --- Showing the views ---

void TwoSpeedWindow::showStep(Step step) {
    step_ = step;
    Pages->setCurrentIndex(int(step));
    QString name;
    switch (step) {
    case Step::Vehicle:
        name = tr("Vehicle");
        break;
    case Step::Gate:
        name = tr("Instrument check");
        break;
    case Step::Conditioning:
        name = tr("Engine conditioning");
        break;
    case Step::Phases:
        name = tr("Measuring");
        break;
    case Step::Result:
        name = tr("Result");
        break;
    }
    StepLabel->setText(tr("Step %1 of %2: %3").arg(int(step) + 1).arg(5).arg(name));
    if (step == Step::Vehicle)
        RegistrationEdit->setFocus();
    else
        Pages->setFocus();
    render();
}

void TwoSpeedWindow::render() {
    auto* keys = findChild<QLabel*>(QStringLiteral("keys"));
    switch (step_) {
    case Step::Vehicle:
        keys->setText(tr("Tab: next field · Enter: go on · Esc: close"));
        return;
    case Step::Gate:
    case Step::Conditioning:
    case Step::Phases:
        keys->setText(
            tr("Tab: next button · Enter: go on · F2: start or stop the run · Esc: abort the test"));
        break;
    case Step::Result:
        keys->setText(printed_           ? tr("Enter or Esc: close")
                      : !resultWrite_.ok ? tr("Enter: print the page marked as no protocol · Esc: close")
                                         : tr("Enter: print the protocol · Esc: close"));
        break;
    }
    AttemptLabel->setVisible(attempt_ > 1);
    AttemptLabel->setText(tr("Attempt %1 today for this registration number").arg(attempt_));
    if (step_ == Step::Gate)
        renderGate();
    else if (step_ == Step::Conditioning)
        renderConditioning();
    else if (step_ == Step::Phases)
        renderPhases();
    else if (step_ == Step::Result)
        renderResult();
}

QString TwoSpeedWindow::blockText(const Block& block) const {
    const StationState& st = services_.station.state();
    switch (block.code) {
    case Block::Code::NotRunning: {
        const bool waits = st.OpState == 4 || st.OpState == 5 || st.OpState == 6;
        return tr("The analyser is not measuring.") + u' ' +
               (waits ? tr("Wait until it measures.") : tr("Start the run (F2)."));
    }
    case Block::Code::OverRange:
        return tr("The readings are out of range.") + u' ' + tr("Zero the analyser in clean air (F3).");
    case Block::Code::NoResults:
        return tr("No results are coming from the analyser.") + u' ' +
               tr("Check the connection to the analyser.");
    case Block::Code::RunTimeShort: {
        const int64_t left = int64_t(std::max(0, st.RunTickLimit - st.RunTicks)) * kRunTickMs;
        return tr("The run ends in %1 s; the test may take up to %2 s.")
                   .arg(wholeSeconds(left), wholeSeconds(test_->requiredRunMs())) +
               u' ' + tr("Restart the run (F2 twice).");
    }
    case Block::Code::NoEngineSpeed:
        return tr("The engine speed is 0: there is no speed signal.") + u' ' +
               tr("Connect the speed pick-up and start the engine.");
    case Block::Code::HangUp:
        return tr("Clean-air check: HC below 20 ppm, CO₂ at most 0.5 % and O₂ at least 19.5 % for 5 s.") +
               u' ' + tr("Keep the probe in clean air.");
    case Block::Code::VacuumMode:
        return tr("The engine speed is not read from the record (vacuum mode).") + u' ' +
               tr("Choose RPM/1 or RPM/2.");
    case Block::Code::OilCold: {
        const ConditioningView v = test_->conditioning();
        return tr("The oil is at %1 °C; at least %2 °C is needed.")
                   .arg(compactUnitsText(printedUnits(v.oilC.value_or(0), 1), 1),
                        compactUnitsText(printedUnits(v.oilMinimumC, 1), 1)) +
               u' ' + tr("Warm up the engine.");
    }
    case Block::Code::OilUnconfirmed:
        return tr("The analyser gives no oil temperature.") + u' ' +
               tr("Confirm that the engine is at operating temperature.");
    case Block::Code::HcNotClean:
        return tr("HC is %1 ppm; in clean air it must be below 20 ppm.").arg(gateValue(Quantity::Hc)) + u' ' +
               tr("Keep the probe in clean air; if HC does not fall, clean the probe and the line.");
    case Block::Code::Co2NotClean:
        return tr("CO₂ is %1 %; in clean air it must be at most 0.5 %.").arg(gateValue(Quantity::Co2)) +
               u' ' + tr("Take the probe out of the exhaust and hold it in clean air.");
    case Block::Code::O2NotClean:
        return tr("O₂ is %1 %; in clean air it must be at least 19.5 %.").arg(gateValue(Quantity::O2)) +
               u' ' + tr("Hold the probe in clean air; if O₂ stays low, zero the analyser (F3).");
    }
    return block.text;
}

// The gate's last reading of one gas, as the main window shows it.
QString TwoSpeedWindow::gateValue(Quantity q) const {
    const GateView v = test_->gate();
    const std::optional<double> value = q == Quantity::Hc ? v.hcPpm : q == Quantity::Co2 ? v.co2 : v.o2;
    return value ? decimalText(*value, q == Quantity::Hc    ? kHcDecimals
                                       : q == Quantity::Co2 ? kCo2Decimals
                                                            : kO2Decimals)
                 : QStringLiteral("—");
}

QString TwoSpeedWindow::approvalItemText(TypeApproval approval) const {
    switch (approval) {
    case TypeApproval::Unknown:
        break;
    case TypeApproval::BeforeEuro1:
        return tr("Before Euro 1");
    case TypeApproval::Euro1:
        return tr("Euro 1");
    case TypeApproval::Euro2:
        return tr("Euro 2");
    case TypeApproval::BeforeEuro3:
        return tr("Before Euro 3");
    case TypeApproval::Euro3OrLater:
        return tr("Euro 3 or later");
    }
    return tr("Not known");
}

QString TwoSpeedWindow::phaseVerdictWord(Verdict verdict) const {
    switch (verdict) {
    case Verdict::Pending:
        return tr("under way");
    case Verdict::Pass:
        return tr("passes");
    case Verdict::Fail:
        return tr("fails");
    case Verdict::Void:
        return tr("void");
    case Verdict::Aborted:
        return tr("aborted");
    case Verdict::Interrupted:
        return tr("interrupted");
    case Verdict::NotRun:
        return tr("not run");
    }
    return {};
}

QString TwoSpeedWindow::blocksText(const QList<Block>& blocks) const {
    QStringList lines;
    for (const Block& b : blocks)
        lines << QStringLiteral("✘ ") + blockText(b);
    return lines.join(u'\n');
}

void TwoSpeedWindow::renderGate() {
    const GateView v = test_->gate();
    QList<Block> instrument;
    for (const Block& b : v.blocks)
        if (b.code != Block::Code::HangUp)
            instrument << b;
    GateBlocksLabel->setText(blocksText(instrument));
    GateNoteLabel->setVisible(v.stateUnchecked);
    GateNoteLabel->setText(
        tr("At 1200 baud the analyser's state cannot be checked: only that results arrive."));
    QString cleanAir;
    if (!v.repeatReason.isEmpty())
        cleanAir = tr("The clean-air check was done more than 10 minutes ago: do it again.") + u'\n';
    if (v.hangUpDone)
        cleanAir += tr("Clean-air check passed: HC, CO₂ and O₂ stayed clean for 5 s.");
    else
        cleanAir += tr("Clean-air check: keep the probe in clean air. HC %1 ppm, CO₂ %2 %, O₂ %3 %; clean "
                       "for %4 of 5 s.")
                        .arg(gateValue(Quantity::Hc), gateValue(Quantity::Co2), gateValue(Quantity::O2),
                             QString::number(v.hangUpCleanMs / 1000));
    HangUpLabel->setText(cleanAir);
    RunButton->setVisible(v.runAction != RunAction::None || restartPending_);
    RunButton->setEnabled(!restartPending_);
    RunButton->setText(restartPending_                     ? tr("Restarting the run…")
                       : v.runAction == RunAction::Restart ? tr("Restart the run (F2 twice)")
                                                           : tr("Start the run (F2)"));
    GateReadyLabel->setText(v.ready() ? tr("Ready. Press Enter to go on.") : QString());
}

void TwoSpeedWindow::renderConditioning() {
    const ConditioningView v = test_->conditioning();
    const QString minimum = compactUnitsText(printedUnits(v.oilMinimumC, 1), 1);
    if (v.oilC)
        OilLabel->setText(tr("Oil temperature: %1 °C (at least %2 °C)")
                              .arg(compactUnitsText(printedUnits(*v.oilC, 1), 1), minimum));
    else if (v.oilConfirmed)
        OilLabel->setText(
            tr("The analyser gives no oil temperature: the operator confirmed that the engine is "
               "at operating temperature."));
    else
        OilLabel->setText(
            tr("The analyser gives no oil temperature (at least %1 °C is needed): confirm that the "
               "engine is at operating temperature.")
                .arg(minimum));
    WarmButton->setVisible(!v.oilC && !v.oilConfirmed);
    const bool vacuum = services_.station.state().RpmMode == kVacuumMode;
    RpmModeLabel->setVisible(vacuum);
    Rpm1Button->setVisible(vacuum);
    Rpm2Button->setVisible(vacuum);
    ConditioningBlocksLabel->setText(blocksText(v.blocks));
    ConditioningReadyLabel->setText(v.ready() ? tr("Ready. Press Enter to start measuring.") : QString());
}

void TwoSpeedWindow::renderPhases() {
    const std::optional<PhaseView> view = test_->currentPhase();
    if (!view)
        return;
    const PhaseView& v = *view;
    const int count = int(test_->phases().size());
    int index = 0;
    while (index < count && test_->phases()[index].kind != v.kind)
        ++index;
    const QString phase = v.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle");
    PhaseTitleLabel->setText(
        tr("Phase %1 of %2: %3, speed window %4").arg(index + 1).arg(count).arg(phase, windowText(v.window)));
    Gauge->setWindow(v.window.min, v.window.max);
    Gauge->setRpm(v.rpm);
    RpmLabel->setText(v.rpm ? QStringLiteral("%1 min⁻¹").arg(*v.rpm) : QStringLiteral("— min⁻¹"));
    setColour(RpmLabel, v.rpm ? (v.inWindow ? "#007000" : "#c00000") : nullptr);
    CountdownLabel->setText(v.step == PhaseStep::Stabilising
                                ? tr("Stabilising: %1 s left").arg(wholeSeconds(v.stabilisationLeftMs))
                                : tr("Measuring: %1 s left").arg(wholeSeconds(v.measuringLeftMs)));
    PhaseLeftLabel->setText(tr("Longest time left for the phase: %1 s").arg(wholeSeconds(v.phaseLeftMs)));

    PauseLabel->setVisible(v.paused);
    HintLabel->setVisible(!v.paused);
    if (v.paused) {
        // The procedure's reason, as the record keeps it.
        const QString prefix = QStringLiteral("пауза: ");
        PauseLabel->setText(
            tr("Paused: %1").arg(v.hint.startsWith(prefix) ? v.hint.mid(prefix.size()) : v.hint));
    } else if (!v.inWindow && v.step == PhaseStep::Stabilising &&
               v.stabilisationLeftMs == test_->setup().stabilisationMs) {
        HintLabel->setText(tr("Bring the engine speed into the window %1.").arg(windowText(v.window)));
    } else if (!v.inWindow) {
        HintLabel->setText(tr("Bring the engine speed back into the window %1: after 2 s outside it, "
                              "stabilisation starts over.")
                               .arg(windowText(v.window)));
    } else {
        HintLabel->setText(v.step == PhaseStep::Stabilising ? tr("Hold the engine speed: stabilising.")
                                                            : tr("Hold the engine speed: measuring."));
    }

    if (v.liveAverageWithheld) {
        LiveLabel->setText(tr("Recording the average in the archive…"));
    } else if (v.liveAverage) {
        QStringList parts;
        for (const QuantityCheck& c : v.liveAverage->checks)
            parts << quantityName(c.quantity) + u' ' + withUnit(c.valueText, c.quantity);
        QString text = tr("Average: %1").arg(parts.join(QStringLiteral(" · ")));
        if (!v.liveAverage->valid)
            text += u'\n' + tr("Not valid: %1").arg(v.liveAverage->invalidReason);
        LiveLabel->setText(text);
    } else {
        LiveLabel->setText(
            tr("Averages begin once %1 of measuring have run.").arg(secondsText(test_->setup().averagingMs)));
    }

    QStringList done;
    for (const PhaseResult& p : test_->phases())
        if (phaseOver(p.verdict))
            done << (p.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle")) + QStringLiteral(": ") +
                        phaseVerdictWord(p.verdict);
    DonePhasesLabel->setText(done.join(u'\n'));
}

void TwoSpeedWindow::renderResult() {
    auto* grid = static_cast<QGridLayout*>(ResultTable->layout());
    if (grid->count() == 0) {
        int row = 0;
        const QStringList headings{tr("Quantity"), tr("Average"), tr("Limit")};
        for (int column = 0; column < headings.size(); ++column) {
            auto* label = new QLabel(headings[column], ResultTable);
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
            grid->addWidget(label, row, column);
        }
        ++row;
        for (const PhaseResult& p : test_->phases()) {
            const QString key = phaseKey(p.kind);
            const QString name = p.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle");
            QString head = name + QStringLiteral(" (") + windowText(p.window) + QStringLiteral("): ") +
                           phaseVerdictWord(p.verdict);
            if (p.deciding)
                head += QStringLiteral(", %1 min⁻¹").arg(decimalText(p.deciding->rpm, kRpmDecimals));
            auto* title = new QLabel(head, ResultTable);
            title->setObjectName(key + QStringLiteral("-verdict"));
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
            setColour(title, p.verdict == Verdict::Pass   ? "#007000"
                             : p.verdict == Verdict::Fail ? "#c00000"
                                                          : "#a05000");
            grid->addWidget(title, row++, 0, 1, 4);
            if (!p.reason.isEmpty()) {
                auto* reason = wrappedLabel(ResultTable);
                reason->setObjectName(key + QStringLiteral("-reason"));
                reason->setText(p.reason);
                grid->addWidget(reason, row++, 0, 1, 4);
            }
            if (!p.deciding) {
                auto* none = new QLabel(tr("No valid average."), ResultTable);
                grid->addWidget(none, row++, 0, 1, 4);
                continue;
            }
            for (const QuantityCheck& c : p.deciding->checks) {
                const QString id = key + u'-' + quantityKey(c.quantity);
                auto* quantity = new QLabel(quantityName(c.quantity), ResultTable);
                auto* value = new QLabel(withUnit(c.valueText, c.quantity), ResultTable);
                value->setObjectName(id + QStringLiteral("-value"));
                auto* limit =
                    new QLabel(c.limited ? withUnit(c.limitText, c.quantity) : QString(), ResultTable);
                limit->setObjectName(id + QStringLiteral("-limit"));
                auto* mark =
                    new QLabel(c.limited ? (c.pass ? QStringLiteral("✔") : QStringLiteral("✘")) : QString(),
                               ResultTable);
                mark->setObjectName(id + QStringLiteral("-mark"));
                const char* colour = c.pass ? (c.limited ? "#007000" : nullptr) : "#c00000";
                setColour(value, c.pass ? nullptr : "#c00000");
                setColour(mark, colour);
                grid->addWidget(quantity, row, 0);
                grid->addWidget(value, row, 1);
                grid->addWidget(limit, row, 2);
                grid->addWidget(mark, row, 3);
                ++row;
            }
        }
        const Verdict verdict = test_->verdict();
        VerdictLabel->setText(verdict == Verdict::Pass   ? tr("PASS")
                              : verdict == Verdict::Fail ? tr("FAIL")
                                                         : tr("INVALID"));
        setColour(VerdictLabel, verdict == Verdict::Pass   ? "#007000"
                                : verdict == Verdict::Fail ? "#c00000"
                                                           : "#a05000");
        // How a test cut short ended, and the failing average it ended after.
        QStringList reason;
        const std::optional<PhaseAverage> failing = test_->failingAverage();
        const QString ending = protocolEndingText(endingKey(test_->ending()), failing.has_value());
        if (!ending.isEmpty())
            reason << ending;
        if (!test_->reason().isEmpty())
            reason << test_->reason();
        ReasonLabel->setText(reason.join(u'\n'));
        if (!resultWrite_.ok) {
            PrintLabel->setText(tr("The result was not recorded: there is no protocol for this test."));
            setColour(PrintLabel, "#c00000");
        }
    }
}

} // namespace vz
