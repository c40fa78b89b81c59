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

namespace {

const QString kCatalogue = QStringLiteral(":/i18n/vezaro_bg.qm");
constexpr int kRefreshMs = 200;
// Samples are journalled at least this often (and at every phase's end), well within the
// five seconds a stopped station may lose at most.
constexpr int64_t kJournalEveryMs = 4000;

int64_t systemClock() {
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
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

} // namespace vz
