#pragma once
// TSettingsForm: the modal dialog in which the operator chooses the serial device and line
// parameters. It loads its controls from the port component when created and writes them
// back, in a fixed order, only when Ok is pressed and the port name and baud rate pass their
// checks. It neither opens nor closes the port and does not touch the settings file.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;
class TCommPortDriver;

namespace vz {

// The port name as applied: blanks and control characters removed at both ends.
QString trimPortName(const QString& text);
// The baud rate as accepted: a strict integer from 110 to 921600, else nullopt.
std::optional<uint32_t> acceptedBaudRate(const QString& text);

} // namespace vz

class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    TSettingsForm(QWidget* owner, TCommPortDriver* driver);

    // Loads every control from Driver.
    void FillFromDriver();
    // Checks the entries; when both pass, applies them to Driver and closes with Ok.
    // A failed check shows its message and leaves the dialog open with nothing applied.
    void OkButtonClick();

    TCommPortDriver* Driver;

    QFrame* Panel1;
    QTabWidget* SettingsPageControl;
    QWidget* BaseSettingsTabSheet;
    QWidget* FlowControlTabSheet;
    QWidget* TabSheet1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QComboBox* PortComboBox;
    QComboBox* BaudRateComboBox;
    QComboBox* DataBitsComboBox;
    QComboBox* ParityComboBox;
    QComboBox* StopBitsComboBox;
    QComboBox* HwFlowComboBox;
    QComboBox* SwFlowComboBox;
    QComboBox* DTRControlComboBox;
    QComboBox* DevCheckComboBox;
    QPushButton* OkButton;
    QPushButton* CancelButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* addRow(QWidget* page, int row, const QString& caption, QComboBox*& combo, bool editable,
                   const QStringList& items);
};

namespace vz {

// The main window's SETTINGS command. When the port is open the operator is asked to close
// it first; any answer but Ok ends here and leaves the port open. Otherwise the port is
// closed and the dialog is shown modally with `owner` as its parent, then freed; its result
// is not examined. `show` replaces the modal exec() in tests; by default the dialog runs exec().
void runSettingsCommand(QWidget* owner, TCommPortDriver& drv,
                        const std::function<void(TSettingsForm&)>& show = {});

} // namespace vz
