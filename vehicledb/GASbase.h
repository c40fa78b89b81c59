#pragma once
// The vehicle limits window: the operator picks a make and a model from CarModel.DB, sees the
// row's limits and hands them back to the main window's selected-vehicle record.
#include "CarModelTable.h"
#include "MakeIndex.h"
#include "SelectedVehicle.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

class TGasDbForm : public QDialog {
    Q_OBJECT
public:
    // Opens CarModel.DB in the current directory and builds the lists (FormCreate).
    TGasDbForm(QWidget* owner, vz::SelectedVehicle& record);
    ~TGasDbForm() override;

    void FormCreate();
    void MarkBoxClick();
    void ModelBoxClick();
    void ShowVal();
    void SelectButClick();
    void CancelButClick();
    // Window-wide keys, seen before the focused list handles them: Enter SELECT, Esc CANCEL,
    // Left to the make list, Right to the model list.
    void FormKeyDown(int key);
    void FormClose();

    // For the main window and the tests.
    const vz::MakeIndex& makeIndex() const { return Index; }
    const vz::CarModelTable& table() const { return Table; }

    QLabel* Label1;
    QListWidget* MarkBox;
    QListWidget* ModelBox;
    QPushButton* CancelBut;
    QPushButton* SelectBut;
    QLabel *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
    QLabel *Label8, *Label9, *Label10, *Label11, *Label12, *Label13, *Label14;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void fitClientArea();
    void followCurrentRow();
    void setLabelText(QLabel* label, const QString& text);

    vz::SelectedVehicle& Record;
    vz::CarModelTable Table;
    vz::MakeIndex Index;
    bool Following = false; // set while the window itself moves the highlights
};

namespace vz {
// F1 BASE: a fresh limits window owned by the main window, shown modally and freed. The
// record then holds the choice; LimitCO2mx == 0 means none (see LimitMarkers.h).
void runVehicleChoice(QWidget* owner, SelectedVehicle& record);
} // namespace vz
