#pragma once
// The two-speed test window (F5 on the main window). It takes the vehicle, then leads the
// operator through the procedure of twospeed::TwoSpeedTest step by step, shows the result
// and prints the protocol. Everything is reachable from the keyboard: Tab moves, Enter goes
// on (or presses the focused button), Esc aborts the test after asking once, F2 and F3 act
// as on the main window. The window decides nothing itself: it feeds the procedure the
// station's readings and cycle state and shows what the procedure's views say.
//
// Every test that passes the vehicle step is in the archive: its "started" line is written
// when the vehicle step ends (a test that cannot be recorded does not start), its samples are
// journalled at least every few seconds and at the end of each phase, and its result is
// written when it ends, whatever the end: pass, fail, void, aborted by the operator or
// interrupted by the station closing.
//
// The window's texts are translated (Bulgarian unless VZ_LANG=en); what the procedure says
// about the car (the limits line, reasons, verdicts) is shown as the protocol prints it.
#include "ProtocolArchive.h"
#include "TwoSpeedRecord.h"
#include "TwoSpeedTest.h"
#include "VehicleRowCopy.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTranslator;

namespace vz {

class PrinterService;
class SpeedGauge;
class TwoSpeedStation;

struct TwoSpeedWindowServices {
    TwoSpeedStation& station;
    ProtocolArchive& archive;
    PrinterService& printer;
    twospeed::Clock clock = {};          // monotonic milliseconds; empty: the system's
    std::function<QDateTime()> now = {}; // the wall clock; empty: the system's
    QString dir = {};                    // the station directory; empty: the current one
};

class TwoSpeedWindow : public QDialog {
    Q_OBJECT
public:
    enum class Step { Vehicle, Gate, Conditioning, Phases, Result };

    TwoSpeedWindow(QWidget* owner, TwoSpeedWindowServices services);
    ~TwoSpeedWindow() override;

    Step step() const { return step_; }
    // The test once the vehicle step is done; null before.
    const twospeed::TwoSpeedTest* test() const { return test_.get(); }
    bool training() const { return training_.active; }
    int protocolNumber() const { return number_; }
    // Recorded official tests of this registration today, this one included (0 for training).
    int attempt() const { return attempt_; }
    // The last write of the result line, once the test has ended.
    const ArchiveWrite& resultWrite() const { return resultWrite_; }
    bool printed() const { return printed_; }

    // Reads the station into the procedure (the station's `stepped` calls it).
    void stationStepped();
    // Lets the procedure's time pass and shows the views (the window's own timer calls it).
    void refresh();

    // The controls, by what they hold.
    QLabel* TrainingLabel = nullptr;
    QLabel* AttemptLabel = nullptr;
    QLabel* StepLabel = nullptr;
    QLabel* MessageLabel = nullptr;
    QStackedWidget* Pages = nullptr;
    // Vehicle.
    QLineEdit* RegistrationEdit = nullptr;
    QLineEdit* MakeEdit = nullptr;
    QLineEdit* ModelEdit = nullptr;
    QLineEdit* FirstRegistrationEdit = nullptr;
    QComboBox* FuelBox = nullptr;
    QComboBox* ControlBox = nullptr;
    QComboBox* DeclarationBox = nullptr; // the reason for "no catalyst / no lambda control"
    QComboBox* ApprovalBox = nullptr;
    QComboBox* OperatorBox = nullptr;
    QLabel* LimitsLabel = nullptr;
    // Instrument gate.
    QLabel* GateBlocksLabel = nullptr;
    QLabel* GateNoteLabel = nullptr;
    QLabel* HangUpLabel = nullptr;
    QPushButton* RunButton = nullptr;
    QLabel* GateReadyLabel = nullptr;
    // Conditioning.
    QLabel* OilLabel = nullptr;
    QPushButton* WarmButton = nullptr;
    QLabel* RpmModeLabel = nullptr;
    QPushButton* Rpm1Button = nullptr;
    QPushButton* Rpm2Button = nullptr;
    QLabel* ConditioningBlocksLabel = nullptr;
    QLabel* ConditioningReadyLabel = nullptr;
    // Phases.
    QLabel* PhaseTitleLabel = nullptr;
    SpeedGauge* Gauge = nullptr;
    QLabel* RpmLabel = nullptr;
    QLabel* CountdownLabel = nullptr;
    QLabel* PhaseLeftLabel = nullptr;
    QLabel* PauseLabel = nullptr;
    QLabel* HintLabel = nullptr;
    QLabel* LiveLabel = nullptr;
    QLabel* DonePhasesLabel = nullptr;
    // Result.
    QWidget* ResultTable = nullptr;
    QLabel* VerdictLabel = nullptr;
    QLabel* ReasonLabel = nullptr;
    QLabel* PrintLabel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    // The station closing: a test under way is recorded as interrupted.
    void reject() override;

private:
    void buildControls();
    QWidget* buildVehiclePage();
    QWidget* buildGatePage();
    QWidget* buildConditioningPage();
    QWidget* buildPhasesPage();
    QWidget* buildResultPage();
    void fillVehicleFromStation();

    twospeed::VehicleFacts vehicleFacts() const;
    void showLimits();
    void enter();
    void escape();
    bool startTest();
    void runAction();
    void chooseRpmMode(int itemIndex);
    void showStep(Step step);
    Step stepOfStage() const; // the page the procedure's stage belongs on
    void render();
    void renderGate();
    void renderConditioning();
    void renderPhases();
    void renderResult();
    QString phaseVerdictWord(twospeed::Verdict verdict) const;
    QString blockText(const twospeed::Block& block) const;
    QString blocksText(const QList<twospeed::Block>& blocks) const;
    twospeed::CycleState cycleState() const;
    void feedDecodedRecord();
    void feedAnalyserLines();
    QString gateValue(twospeed::Quantity q) const;
    QString approvalItemText(twospeed::TypeApproval approval) const;
    void journal(bool force);
    void concludeTest(bool quiet);
    void printTheProtocol();

    TwoSpeedWindowServices services_;
    std::unique_ptr<QTranslator> translator_;
    QTimer* timer_ = nullptr;
    QString dir_;
    twospeed::SetupReadResult setupRead_;
    twospeed::TrainingMode training_;
    QString stationLine_;
    QString devicePath_;
    std::unique_ptr<twospeed::TwoSpeedTest> test_;
    twospeed::VehicleRowCopy rowCopy_;
    Step step_ = Step::Vehicle;
    ArchiveSeries series_ = ArchiveSeries::Official;
    int number_ = 0;
    int attempt_ = 0;
    QString operatorName_;
    QDateTime startedAt_;
    QDateTime endedAt_;
    twospeed::JournalMark journalMark_;
    int64_t lastJournalMs_ = 0;
    int journalledEnds_ = 0;
    uint64_t lastDecodes_ = 0;
    uint64_t lastLineId_ = 0;   // the last analyser line taken at 1200 baud
    bool portSeenOpen_ = false; // the serial port was open while the test ran
    bool restartPending_ = false;
    bool concluded_ = false;
    ArchiveWrite resultWrite_;
    bool printed_ = false;
};

// Whether a device path leads to a pseudo-terminal (a simulated analyser): its real path lies
// under /dev/pts. The device is not opened.
bool isPseudoTerminal(const QString& devicePath);

// Whether the window speaks English: VZ_LANG starts with "en" (any letter case).
bool englishWindow();

} // namespace vz
