#pragma once
// The report window: shows the readings copied from the main window, takes the vehicle,
// owner and operator, and on PRINT logs the examination and prints the report.
#include "ExamRecord.h"
#include "ReportState.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vz {

class PrinterService;

class TPRNForm : public QDialog {
    Q_OBJECT
public:
    // `state` and `printer` outlive the window; `readings` gives the main window's label
    // texts and fuel choice at the moment it is called.
    // With `PrinterQuery::Deferred` (the window made unseen at start) the printers are not
    // asked until settlePrinters(), so that the print system is not loaded for the first
    // window; the station file is read at once either way.
    enum class PrinterQuery { Now, Deferred };
    TPRNForm(QWidget* owner, ReportState& state, PrinterService& printer,
             std::function<MainReadings()> readings, PrinterQuery query = PrinterQuery::Now);

    // Asks the printers a deferred window did not ask, and settles its caption and the print
    // scale exactly as asking them at creation would have. Does nothing the second time, or
    // for a window that asked at creation.
    void settlePrinters();

    void FormActivate();
    void edCOmnChange();
    void btnPrintClick();
    static bool edCOmnKeyPress(QChar key);
    static bool edCHmxKeyPress(QChar key);

    // The number of the last examination logged by this window, 0 before the first.
    int ExamNumber = 0;

    QLineEdit* Edit1 = nullptr; // make and model
    QLineEdit* Edit2 = nullptr; // registration number
    QLineEdit* Edit3 = nullptr; // owner
    QLabel* Label4 = nullptr;   // "Година на производство", wrapped above YearBox
    QComboBox* YearBox = nullptr;
    QComboBox* ComboBox1 = nullptr; // operators
    QFrame* Panel1 = nullptr;
    QPushButton* BtnPrint = nullptr;
    QLineEdit* edCOmn = nullptr;
    QLineEdit* edCO2mx = nullptr;
    QLineEdit* EdLam = nullptr;
    QLineEdit* edCHmx = nullptr;
    QLineEdit* edO2mx = nullptr;
    QLineEdit* edRPM = nullptr;
    QLineEdit* edTemp = nullptr;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    QLineEdit* readingBox(int x, int y, int maxLength, bool wholeNumbers);
    QLabel* label(const QString& text, int x, int y, const QFont& font, QWidget* parent = nullptr);
    void FormCreate();
    void setBoxText(QLineEdit* box, const QString& text);
    void offerPdf(const ReportFields& fields);
    void tellSealTrouble(const QString& trouble);
    int fuelIndex() const;

    ReportState& state_;
    PrinterService& printer_;
    std::function<MainReadings()> readings_;
    bool writingBack_ = false;
    bool sealTroubleTold_ = false;
    bool printersAsked_ = false;
    int scaleBeforeCreate_ = 0; // the print scale before this window's creation settled it
    int scaleDigit_ = -1;       // the station file's print-scale digit
};

} // namespace vz
