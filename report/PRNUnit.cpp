#include "PRNUnit.h"

#include "Clock.h"
#include "Diagnostics.h"
#include "ExamLog.h"
#include "ExamTrail.h"
#include "Files.h"
#include "MessageBox.h"
#include "PrinterService.h"
#include "ReadingBoxes.h"
#include "ReportPage.h"
#include "ReportSetup.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace vz {
namespace {

QFont arialBold(int pixels) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(true);
    return font;
}

QFont systemBold() {
    QFont font(QStringLiteral("System"));
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

bool isWindowKey(int key) {
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

const char* const kMaxLength = "vzMaxLength";
const char* const kWholeNumbers = "vzWholeNumbers";

} // namespace

TPRNForm::TPRNForm(QWidget* owner, ReportState& state, PrinterService& printer,
                   std::function<MainReadings()> readings, PrinterQuery query)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      state_(state), printer_(printer), readings_(std::move(readings)),
      printersAsked_(query == PrinterQuery::Now) {
    buildControls();
    FormCreate();
}

// Every label's text starts at the top left of its box, as the positions in this file mean.
// QLabel would otherwise centre the text vertically in a box taller than the text.
constexpr Qt::Alignment kLabelAlignment = Qt::AlignLeft | Qt::AlignTop;

QLabel* TPRNForm::label(const QString& text, int x, int y, const QFont& font, QWidget* parent) {
    auto* caption = new QLabel(text, parent ? parent : this);
    caption->setFont(font);
    caption->setAlignment(kLabelAlignment);
    caption->move(x, y);
    caption->adjustSize();
    return caption;
}

QLineEdit* TPRNForm::readingBox(int x, int y, int maxLength, bool wholeNumbers) {
    // Read-only and outside the tab order. Qt's own maximum length would also cut texts
    // set by the program, so the limit is kept for typed keys only (eventFilter).
    auto* box = new QLineEdit(this);
    box->setFont(systemBold());
    box->setGeometry(x, y, 65, 26);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setProperty(kMaxLength, maxLength);
    box->setProperty(kWholeNumbers, wholeNumbers);
    box->installEventFilter(this);
    return box;
}

void TPRNForm::buildControls() {
    setFixedSize(431, 451);
    const QFont font = arialBold(13);
    setFont(font);

    label(QStringLiteral("Марка и модел на автомобила"), 56, 0, font);
    Edit1 = new QLineEdit(QStringLiteral("/.."), this);
    Edit1->setGeometry(8, 24, 385, 24);
    Edit1->setToolTip(QStringLiteral("Въведете марката и модела на автомобила"));

    label(QStringLiteral("Рег. Номер"), 16, 56, font);
    Edit2 = new QLineEdit(QStringLiteral("/.."), this);
    Edit2->setGeometry(8, 80, 105, 24);
    Edit2->setToolTip(QStringLiteral("Въведете регистрационния номер"));

    // Two lines in a fixed box; top-aligned, the second line ends above YearBox.
    Label4 = new QLabel(QStringLiteral("   Година на производство"), this);
    Label4->setFont(font);
    Label4->setAlignment(kLabelAlignment);
    Label4->setWordWrap(true);
    Label4->setGeometry(296, 56, 105, 41);
    YearBox = new QComboBox(this);
    YearBox->setGeometry(312, 88, 81, YearBox->sizeHint().height());
    YearBox->setToolTip(QStringLiteral("Изберете годината на производство"));

    label(QStringLiteral("Собственик  Име  Презиме  Фамилия"), 16, 112, font);
    Edit3 = new QLineEdit(QStringLiteral("/.."), this);
    Edit3->setGeometry(8, 136, 385, 24);
    Edit3->setToolTip(QStringLiteral("Имена на собственика на автомобила"));

    label(QStringLiteral("Оператор"), 8, 320, font);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(8, 344, 201, ComboBox1->sizeHint().height());
    ComboBox1->setToolTip(QStringLiteral("Изперете кой е извършил прегледа"));

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(8, 392, 417, 49);
    Panel1->setFocusPolicy(Qt::NoFocus);
    const QString navy = QStringLiteral("color: #000080;");
    for (auto [text, y] :
         {std::pair{QStringLiteral("Ползвайте клавиша TAB за преминаване от поле на"), 6},
          std::pair{QStringLiteral("поле или левия бутон на мишката и бутона PRINT "), 25}}) {
        QLabel* line = label(text, 8, y, font, Panel1);
        line->setStyleSheet(navy);
        line->adjustSize();
    }

    BtnPrint = new QPushButton(QStringLiteral("PRINT"), this);
    BtnPrint->setFont(arialBold(19));
    BtnPrint->setGeometry(288, 328, 129, 41);
    BtnPrint->setToolTip(QStringLiteral("РАЗПЕЧАТВАНЕ..."));
    BtnPrint->setDefault(true);
    connect(BtnPrint, &QPushButton::clicked, this, &TPRNForm::btnPrintClick);

    // The reading boxes with their captions.
    const QFont small = arialBold(9);
    edCOmn = readingBox(72, 176, 5, false);
    label(QStringLiteral("CO"), 15, 176, font);
    edCO2mx = readingBox(72, 212, 5, false);
    label(QStringLiteral("CO"), 15, 212, font);
    label(QStringLiteral("2"), 33, 220, small);
    EdLam = readingBox(72, 252, 0, false);
    label(QStringLiteral("Lambda"), 15, 252, font);
    edCHmx = readingBox(328, 176, 5, true);
    label(QStringLiteral("HC"), 279, 176, font);
    edO2mx = readingBox(328, 212, 5, false);
    label(QStringLiteral("O"), 279, 212, font);
    label(QStringLiteral("2"), 289, 220, small);
    edRPM = readingBox(328, 252, 4, true);
    label(QStringLiteral("RPM"), 279, 252, font);
    edTemp = readingBox(328, 292, 5, false);
    label(QStringLiteral("Temp."), 279, 292, font);

    // The main window's design texts, until the first activation copies the live ones.
    edCOmn->setText(QStringLiteral("0.000"));
    edCO2mx->setText(QStringLiteral("00.00"));
    edCHmx->setText(QStringLiteral(" 0000"));
    edO2mx->setText(QStringLiteral("00.00"));
    EdLam->setText(QStringLiteral(" 0000"));
    edRPM->setText(QStringLiteral(" 0000"));
    edTemp->setText(QStringLiteral("000.0"));
    for (QLineEdit* box : {edCOmn, edCO2mx, edCHmx, edO2mx}) {
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!writingBack_)
                edCOmnChange();
        });
    }

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, YearBox);
    setTabOrder(YearBox, Edit3);
    setTabOrder(Edit3, ComboBox1);
    setTabOrder(ComboBox1, BtnPrint);
    Edit1->setFocus();
}

void TPRNForm::FormCreate() {
    const QStringList names = printersAsked_ ? printer_.printerNames() : QStringList();
    const int pageWidth = names.isEmpty() ? 0 : printer_.defaultPageWidthPx();
    scaleBeforeCreate_ = state_.PrintScale;
    const ReportSetup setup = setUpReport(state_, names, pageWidth,
                                          findFileNoCase(QDir::currentPath(), QStringLiteral("SERVICE.ini")),
                                          shortDateText(), QDate::currentDate().year());
    scaleDigit_ = setup.scaleDigit;
    setWindowTitle(setup.caption);
    ComboBox1->clear();
    ComboBox1->addItems(setup.operators);
    YearBox->clear();
    YearBox->addItems(setup.years);
    YearBox->setCurrentIndex(0);
    ComboBox1->setCurrentIndex(0);
    edCOmnChange();
}

void TPRNForm::settlePrinters() {
    if (printersAsked_)
        return;
    printersAsked_ = true;
    const QStringList names = printer_.printerNames();
    const int pageWidth = names.isEmpty() ? 0 : printer_.defaultPageWidthPx();
    const PrinterCheck printers = checkPrinters(names);
    setWindowTitle(printers.caption);
    state_.PrintScale = settledPrintScale(scaleBeforeCreate_, printers.found, pageWidth, scaleDigit_);
}

int TPRNForm::fuelIndex() const {
    return readings_ ? readings_().GASBoxItemIndex : 0;
}

void TPRNForm::setBoxText(QLineEdit* box, const QString& text) {
    if (box->text() != text)
        box->setText(text); // a real change of a gas box runs edCOmnChange at once
}

void TPRNForm::FormActivate() {
    if (!readings_)
        return;
    const MainReadings main = readings_();
    setBoxText(edCOmn, main.Label11);
    setBoxText(edCO2mx, main.Label12);
    setBoxText(edCHmx, main.Label13);
    setBoxText(edO2mx, main.Label14);
    setBoxText(edTemp, main.Label44);
    setBoxText(edRPM, main.Label15);
    setBoxText(EdLam, main.Label46);
}

void TPRNForm::edCOmnChange() {
    const ReadingTexts before{edCOmn->text(), edCO2mx->text(), edCHmx->text(), edO2mx->text(), EdLam->text()};
    const ReadingTexts after = afterReadingChange(before, fuelIndex());
    // The handler's own write-backs are already accounted for in `after`.
    writingBack_ = true;
    setBoxText(EdLam, after.EdLam);
    setBoxText(edCOmn, after.edCOmn);
    setBoxText(edCO2mx, after.edCO2mx);
    setBoxText(edO2mx, after.edO2mx);
    writingBack_ = false;
}

bool TPRNForm::edCOmnKeyPress(QChar key) {
    return percentKeyAccepted(key);
}

bool TPRNForm::edCHmxKeyPress(QChar key) {
    return wholeNumberKeyAccepted(key);
}

bool TPRNForm::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The window's own keys (Esc, Enter, Tab) are not typed into the box; they go on to
        // the window even when a reading box has the focus.
        if (isWindowKey(key->key()))
            return QDialog::eventFilter(watched, event);
        if (!key->text().isEmpty()) {
            const QChar ch = key->text().at(0);
            const bool whole = box->property(kWholeNumbers).toBool();
            if (!(whole ? edCHmxKeyPress(ch) : edCOmnKeyPress(ch)))
                return true;
            const int maxLength = box->property(kMaxLength).toInt();
            if (ch.unicode() != 8 && maxLength > 0 && box->text().size() >= maxLength &&
                !box->hasSelectedText())
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TPRNForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TPRNForm::keyPressEvent(QKeyEvent* event) {
    // Esc closes the window the way its close box does: through closeEvent, which rejects
    // the dialog and ends the modal loop. The caller frees the window and restarts the cycle
    // timer; nothing else happens. Without a window manager there is no close box to click,
    // so Esc is the operator's only way back to the main window.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TPRNForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Activation normally copies the readings; a display without a window manager may
    // never activate the window, so the first showing copies them too (a repeat copy is
    // no change).
    FormActivate();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TPRNForm::btnPrintClick() {
    ReportFields raw;
    raw.date = shortDateText();
    raw.time = longTimeText();
    raw.operatorName = ComboBox1->currentText();
    raw.owner = Edit3->text();
    raw.makeModel = Edit1->text();
    raw.year = YearBox->currentText();
    raw.regNumber = Edit2->text();
    raw.co = edCOmn->text();
    raw.co2 = edCO2mx->text();
    raw.hc = edCHmx->text();
    raw.o2 = edO2mx->text();
    raw.oilTemp = edTemp->text();
    raw.rpm = edRPM->text();
    raw.lambda = EdLam->text();
    const ReportFields fields = cutReportFields(raw);

    // The log is the legal record: nothing is printed unless the record is safely in it.
    const LogAppendResult logged = appendExamRecord(state_.LogFileIndex, examRecordBytes(fields));
    if (!logged.ok) {
        showMessage(this, QCoreApplication::applicationName(),
                    QStringLiteral("The examination could not be logged and was not printed.\r\n") +
                        logged.error,
                    MsgIcon::Error);
        return;
    }
    ExamNumber = logged.examNumber;

    // Until the page is handed over, a marker says so: a station killed in between tells
    // the operator at its next start and offers the copy.
    QString error;
    if (!markPrinting(QStringLiteral("."), ExamNumber, &error))
        qCWarning(lcLog, "%s", qUtf8Printable(error));
    passTrailStep(TrailStep::PrintingStarted);
    const int number = ExamNumber;
    const QString station = state_.StationLine;
    const int scale = state_.PrintScale;
    const bool printed = printer_.printPage(
        [&](QPainter& painter) { drawReportPage(painter, fields, number, station, scale); }, &error);
    if (!printed) {
        showMessage(this, QStringLiteral("Printer Error"), error, MsgIcon::Error);
        offerPdf(fields);
    }
    if (!clearPrinting(QStringLiteral("."), &error))
        qCWarning(lcLog, "%s", qUtf8Printable(error));
    tellSealTrouble(logged.sealTrouble);
}

void TPRNForm::tellSealTrouble(const QString& trouble) {
    // The record is what counts; its seal is a witness. Trouble with it is told once per
    // window, after the customer's page is out.
    if (trouble.isEmpty() || sealTroubleTold_)
        return;
    sealTroubleTold_ = true;
    showMessage(this, QCoreApplication::applicationName(),
                QStringLiteral("Прегледът е записан в дневника и отпечатан, но печатът му във веригата "
                               "Pregledi.chain не можа да бъде записан:\n%1\n\n"
                               "Станцията продължава да работи. Съобщете на отговорника по поддръжката.")
                    .arg(trouble),
                MsgIcon::Warning);
}

void TPRNForm::offerPdf(const ReportFields& fields) {
    const QString fileName = reportPdfFileName(ExamNumber);
    const MsgAnswer answer = showMessage(this, QStringLiteral("Official Test"),
                                         QStringLiteral("Examination %1 is logged but was not printed.\r\n"
                                                        "Save the report as %2 in the current directory?")
                                             .arg(ExamNumber)
                                             .arg(fileName),
                                         MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes)
        return;
    QString error;
    if (!writeReportPdf(QDir::current().filePath(fileName), fields, ExamNumber, state_.StationLine, &error))
        showMessage(this, QStringLiteral("Official Test"), error, MsgIcon::Error);
}

} // namespace vz
