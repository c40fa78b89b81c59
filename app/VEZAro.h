#pragma once
// TMnGASForm, the main window: the live readings, the chart, the operator's commands.
// The handlers are thin: they call the station logic (StationLogic.h) with the module state
// `St` and then mirror St.Display onto the controls (MirrorDisplay).
#include "CPDrv.h"
#include "StationState.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class TChart;
class TLabel;

namespace vz {
class CPDrvEnv;
class DemoFile;
class PrinterService;
struct MainReadings;
struct ReportState;
class TwoSpeedStation;
} // namespace vz

class TMnGASForm : public QWidget {
    Q_OBJECT
public:
    struct Options {
        bool runFormCreate = true; // tests may build the bare window
    };
    // The report state and the printer are the program's; without them (tests) the window
    // keeps its own report state and the report command has no printer.
    explicit TMnGASForm(Options options, vz::ReportState* reportState = nullptr,
                        vz::PrinterService* printer = nullptr);
    TMnGASForm() : TMnGASForm(Options{}) {}
    ~TMnGASForm() override;

    // Module state shared by the handlers.
    vz::StationState St;

    // Components.
    TCommPortDriver* CPDrv = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    TChart* Chart1 = nullptr;

    // Controls, by their names. Label16..Label41 are children of Chart1.
    std::array<TLabel*, 48> Labels{}; // Labels[n] is Label<n>; index 0 unused
    TLabel* Label(int n) const { return Labels[n]; }
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* SettingsButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* AboutButton = nullptr;
    QPushButton* ViewButton = nullptr;
    QComboBox* GASBox = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* RPMGroup = nullptr;
    std::array<QRadioButton*, 3> RPMGroupItems{};

    // Handlers.
    void FormCreate();
    void RestWin();
    void Timer1Timer();
    void Timer2Timer();
    void cpDrvReceiveData(const void* DataPtr, uint32_t DataSize);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    // F5: the two-speed test window, modal; the cycle timer keeps running under it.
    void TwoSpeedTestCommand();
    void SettingsButtonClick();
    void AboutButtonClick();
    void ViewButtonClick();
    void HelpButtonClick();
    void Label5Click();
    void RPMGroupClick(int itemIndex);
    void GASBoxChange();
    void FormKeyDown(int key);

    // Copies St.Display (texts, colours, visibility, progress, timer) onto the controls.
    void MirrorDisplay();
    // Applies the selected vehicle's limits to the markers and the caption (after F1 BASE).
    void ShowVehicleMarkers();

    bool DemoFileOpen() const;
    // The reading labels' texts and the fuel choice, as the report window copies them.
    vz::MainReadings Readings() const;
    std::function<vz::MainReadings()> readingsProvider() const;
    // The station as the two-speed test window sees it.
    vz::TwoSpeedStation& twoSpeedStation();

signals:
    // After every tick of the cycle timer and every received block, once the state and the
    // controls are up to date.
    void cycleStepped();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormClose();
    bool DemoReplayStep(vz::StationState& state);

    std::unique_ptr<vz::CPDrvEnv> Env;
    std::unique_ptr<vz::DemoFile> IoFile;
    std::unique_ptr<vz::ReportState> OwnReportState;
    vz::ReportState* ReportState = nullptr;
    vz::PrinterService* Printer = nullptr;
    std::unique_ptr<vz::TwoSpeedStation> TestStation;
    bool InRestWin = false;
    bool Closed = false;

    // The 4:3 snap of a normal window (RestWin.cpp): the size last asked for and the size the
    // window had then, until the window system answers; the size a window manager kept instead
    // (a tiled window), laid out as it is and not asked to change again.
    QSize SnapAsked;
    QSize SnapAskedFrom;
    QSize WmSize;
    QTimer* SnapCheck = nullptr;
    // Where the 4:3 area the controls are laid out in has its top-left corner in the window.
    QPoint StageOrigin;
    // A size the window system gave: the answer to the snapped size asked for, if one was.
    void SnapAnswered(QSize given);
    // Compares the native window with the snapped size asked for a moment ago.
    void CheckSnapAnswer();
};
