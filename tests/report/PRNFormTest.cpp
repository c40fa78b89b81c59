#include "Cp1251.h"
#include "ExamLog.h"
#include "ExamRecord.h"
#include "PRNUnit.h"
#include "RecordingPrinter.h"
#include "ReportTestSupport.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace vz;
using vz::test::ReportTest;

class PRNFormTest : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        printer.names = {QStringLiteral("HP LaserJet 1320 PCL6 Office")};
        printer.pageWidthPx = 4960; // A4 at 600 dpi
        readings = {"0.500", "14.50", " 0100", "00.50", "085.0", " 0850", "1.004", 0};
    }
    std::unique_ptr<TPRNForm> makeForm() {
        return std::make_unique<TPRNForm>(nullptr, state, printer, [this] { return readings; });
    }
    // The text printed after a caption on the last page (an empty text draws nothing).
    QString printedAfter(const QString& caption) const {
        const QList<RecordedText>& page = printer.pages.last();
        for (qsizetype i = 0; i + 1 < page.size(); ++i) {
            if (page[i].text == caption)
                return page[i + 1].text;
        }
        return QStringLiteral("<no %1>").arg(caption);
    }
    QString printedNumber() const { return printedAfter(QStringLiteral("Преглед №")); }

    ReportState state;
    RecordingPrinterService printer;
    MainReadings readings;
};

TEST_F(PRNFormTest, CreationSetsCaptionScaleYearsAndOperators) {
    writeFile("SERVICE.ini", toCp1251(QStringLiteral("ГТП Младост\r\nПетров\r\nАнгелов\r\n")));
    printer.pageWidthPx = 1000; // narrower than 1200: the scale comes from the station file
    auto form = makeForm();
    EXPECT_EQ(form->windowTitle(), "Official Test to HP LaserJet 1320 PCL6 Office");
    EXPECT_EQ(state.PrintScale, 1);
    EXPECT_EQ(state.StationLine, QStringLiteral("ГТП Младост"));
    EXPECT_EQ(state.LogFileIndex, 0);
    ASSERT_EQ(form->ComboBox1->count(), 4);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox1->currentText(), "");
    EXPECT_EQ(form->ComboBox1->itemText(2), QStringLiteral("Ангелов"));
    ASSERT_EQ(form->YearBox->count(), 67);
    EXPECT_EQ(form->YearBox->currentText(), "2026");
    EXPECT_EQ(form->YearBox->itemText(66), "1960");

    writeFile("SERVICE.ini", QByteArray("S\r\nA\r\nB\r\nC\r\nD\r\n3\r\n"));
    state.PrintScale = 0;
    auto second = makeForm();
    EXPECT_EQ(state.PrintScale, 3);
    EXPECT_EQ(second->ComboBox1->currentText(), "A");

    printer.names.clear();
    writeFile("SERVICE.ini", QByteArray("S\r\nA\r\nB\r\nC\r\nD\r\n0\r\n"));
    state.PrintScale = 0;
    auto third = makeForm();
    EXPECT_EQ(third->windowTitle(), "Not Found Printer");
    EXPECT_EQ(state.PrintScale, 1);
}

// The window made unseen at start leaves the printers until settlePrinters(): it must then end
// where a window that asked at once ends, whatever the printers and the station file say.
TEST_F(PRNFormTest, ADeferredPrinterQuerySettlesAsAskingAtOnceWould) {
    struct Case {
        QStringList names;
        int pageWidthPx;
        QByteArray serviceLine6;
        int startScale;
    };
    const QStringList hp = {QStringLiteral("HP LaserJet 1320 PCL6 Office")};
    const Case cases[] = {
        {hp, 4960, "", 0}, {hp, 1000, "3", 0}, {hp, 1000, "", 0},  {{}, 0, "2", 0},
        {{}, 0, "", 0},    {{}, 0, "", 4},     {hp, 4960, "7", 2}, {{}, 0, "x", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 printers, page %2, line 6 \"%3\", scale before %4")
                         .arg(c.names.size())
                         .arg(c.pageWidthPx)
                         .arg(QString::fromLatin1(c.serviceLine6))
                         .arg(c.startScale)
                         .toStdString());
        writeFile("SERVICE.ini", "Station\r\nA\r\nB\r\nC\r\nD\r\n" + c.serviceLine6 + "\r\n");
        printer.names = c.names;
        printer.pageWidthPx = c.pageWidthPx;

        state = ReportState{};
        state.PrintScale = c.startScale;
        auto atOnce = makeForm();
        const int scaleAtOnce = state.PrintScale;

        state = ReportState{};
        state.PrintScale = c.startScale;
        printer.namesAsked = 0;
        TPRNForm deferred(
            nullptr, state, printer, [this] { return readings; }, TPRNForm::PrinterQuery::Deferred);
        EXPECT_EQ(printer.namesAsked, 0);
        EXPECT_EQ(state.StationLine, "Station"); // the station file is read at once
        EXPECT_EQ(deferred.ComboBox1->count(), 4);
        deferred.settlePrinters();
        EXPECT_EQ(printer.namesAsked, 1);
        EXPECT_EQ(deferred.windowTitle(), atOnce->windowTitle());
        EXPECT_EQ(state.PrintScale, scaleAtOnce);
        deferred.settlePrinters(); // once only
        EXPECT_EQ(printer.namesAsked, 1);
    }
}

TEST_F(PRNFormTest, ControlsSitWhereTheFormPutsThemInTabOrder) {
    auto form = makeForm();
    EXPECT_EQ(form->size(), QSize(431, 451));
    EXPECT_EQ(form->Edit1->geometry(), QRect(8, 24, 385, 24));
    EXPECT_EQ(form->Edit2->geometry(), QRect(8, 80, 105, 24));
    EXPECT_EQ(form->Edit3->geometry(), QRect(8, 136, 385, 24));
    EXPECT_EQ(form->YearBox->pos(), QPoint(312, 88));
    EXPECT_EQ(form->YearBox->width(), 81);
    EXPECT_EQ(form->ComboBox1->pos(), QPoint(8, 344));
    EXPECT_EQ(form->ComboBox1->width(), 201);
    EXPECT_EQ(form->Panel1->geometry(), QRect(8, 392, 417, 49));
    EXPECT_EQ(form->BtnPrint->geometry(), QRect(288, 328, 129, 41));
    EXPECT_TRUE(form->BtnPrint->isDefault());
    EXPECT_EQ(form->BtnPrint->font().pixelSize(), 19);
    EXPECT_EQ(form->Edit1->text(), "/..");
    EXPECT_EQ(form->Edit1->font().pixelSize(), 13);
    EXPECT_TRUE(form->Edit1->font().bold());
    EXPECT_EQ(form->ComboBox1->toolTip(), QStringLiteral("Изперете кой е извършил прегледа"));

    // The reading boxes are read-only and the tab key never stops on them.
    const QList<QWidget*> expected = {form->Edit1, form->Edit2,     form->YearBox,
                                      form->Edit3, form->ComboBox1, form->BtnPrint};
    QList<QWidget*> order;
    QWidget* w = form->Edit1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order.append(w);
        w = w->nextInFocusChain();
    } while (w != form->Edit1 && order.size() < 20);
    EXPECT_EQ(order, expected);
    for (QLineEdit* box :
         {form->edCOmn, form->edCO2mx, form->EdLam, form->edCHmx, form->edO2mx, form->edRPM, form->edTemp})
        EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(form->edCOmn->pos(), QPoint(72, 176));
    EXPECT_EQ(form->edTemp->pos(), QPoint(328, 292));
}

TEST_F(PRNFormTest, ActivationCopiesTheMainWindowReadingsAndTheLambdaLast) {
    auto form = makeForm();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &activate);
    EXPECT_EQ(form->edCOmn->text(), "0.500");
    EXPECT_EQ(form->edCO2mx->text(), "14.50");
    EXPECT_EQ(form->edCHmx->text(), " 0100");
    EXPECT_EQ(form->edO2mx->text(), "00.50");
    EXPECT_EQ(form->edTemp->text(), "085.0");
    EXPECT_EQ(form->edRPM->text(), " 0850"); // five characters, although typing stops at four
    EXPECT_EQ(form->EdLam->text(), "1.004"); // the main window's text, copied after the recomputation

    // A real change of a gas box recomputes with the main window's fuel.
    readings.GASBoxItemIndex = 1;
    form->edO2mx->setText("00.5");
    EXPECT_EQ(form->EdLam->text(), QStringLiteral("1.002"));
    readings.GASBoxItemIndex = 2;
    form->edCOmn->setText("0.5.0");
    EXPECT_EQ(form->edCOmn->text(), "0.50");
    EXPECT_EQ(form->EdLam->text(), QStringLiteral("1.000"));

    readings.Label11 = "0.0.0";
    readings.Label12 = "00.00"; // CO2 = 0: the lambda text stays
    readings.Label46 = "-----";
    form->FormActivate();
    EXPECT_EQ(form->edCOmn->text(), "0.00");
    EXPECT_EQ(form->EdLam->text(), "-----");
}

TEST_F(PRNFormTest, TypedKeysAreFilteredWhenABoxIsMadeEditable) {
    auto form = makeForm();
    auto type = [](QLineEdit* box, const QString& keys) {
        for (QChar c : keys) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    };
    form->edRPM->setReadOnly(false);
    form->edRPM->clear();
    type(form->edRPM, "1a.2345");
    EXPECT_EQ(form->edRPM->text(), "1234");
    form->edTemp->setReadOnly(false);
    form->edTemp->clear();
    type(form->edTemp, "8x5.0,1");
    EXPECT_EQ(form->edTemp->text(), "85.01");
}

TEST_F(PRNFormTest, PrintLogsTheExaminationThenPrintsItsPage) {
    writeFile("SERVICE.ini", toCp1251(QStringLiteral("ГТП Младост\r\nМария Иванова\r\n\r\n\r\n\r\n")));
    auto form = makeForm();
    form->FormActivate();
    form->ComboBox1->setCurrentText(QStringLiteral("Мария Иванова"));
    form->Edit1->setText("VW Golf 1.6");
    form->Edit2->setText(QStringLiteral("СА1234ВК"));
    form->Edit3->setText(QStringLiteral("Иван Петров"));
    form->YearBox->setCurrentText("2008");

    form->btnPrintClick();
    EXPECT_TRUE(messages.isEmpty());
    const QByteArray log = readFile("Pregledi00000.GPG");
    ASSERT_EQ(log.size(), 160);
    EXPECT_TRUE(log.startsWith("07.12.2026    14:05:09 "));
    EXPECT_EQ(log.mid(23, 11), toCp1251(QStringLiteral("Иван Петров")));
    EXPECT_EQ(log.mid(48, 11), "VW Golf 1.6");
    EXPECT_EQ(log.mid(74, 4), "2008");
    EXPECT_EQ(log.mid(81, 8), toCp1251(QStringLiteral("СА1234ВК")));
    EXPECT_TRUE(log.contains("/CO 0.500% /CO2 14.50% /HC  0100ppm /O2 00.50% /  0850RPM / 085.0`C"));
    ASSERT_EQ(printer.pages.size(), 1);
    EXPECT_EQ(printedAfter(QStringLiteral("ДИАГНОСТИЧЕН  ЛИСТ")), QStringLiteral("ГТП Младост"));
    EXPECT_EQ(printedNumber(), "1");
    EXPECT_EQ(printedAfter("Lambda Factor"), "1.004");
    EXPECT_EQ(printer.pages.last().last().text, QStringLiteral("Извършил прегледа:     /Мария Иванова/"));
    // The page is drawn at the printer's scale: 4960 px / 1200 = 4.
    EXPECT_DOUBLE_EQ(printer.pages.last().at(3).baseline.x(), 410 * 4);

    form->btnPrintClick();
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 320);
    ASSERT_EQ(printer.pages.size(), 2);
    EXPECT_EQ(printedNumber(), "2");
    EXPECT_EQ(form->ExamNumber, 2);
}

TEST_F(PRNFormTest, AFullLogFileMovesPrintOnToTheNextFile) {
    writeFile("Pregledi00000.GPG", QByteArray(32000, 'x'));
    auto form = makeForm();
    form->btnPrintClick();
    EXPECT_EQ(readFile("Pregledi00001.GPG").size(), 160);
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 32000);
    EXPECT_EQ(state.LogFileIndex, 1);
    ASSERT_EQ(printer.pages.size(), 1);
    EXPECT_EQ(printedNumber(), "201");

    // A new window starts again from the first file and walks to the one with room.
    auto next = makeForm();
    EXPECT_EQ(state.LogFileIndex, 0);
    next->btnPrintClick();
    EXPECT_EQ(printedNumber(), "202");
}

TEST_F(PRNFormTest, AFailedLogWritePrintsNothingAndSaysWhy) {
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    auto form = makeForm();
    form->btnPrintClick();
    EXPECT_TRUE(printer.pages.isEmpty());
    EXPECT_EQ(form->ExamNumber, 0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages[0].text.contains("Pregledi00000.GPG")) << messages[0].text.toStdString();
    EXPECT_TRUE(QFileInfo("Pregledi00000.GPG").isDir());
}

TEST_F(PRNFormTest, APrinterFailureKeepsTheRecordAndOffersAPdf) {
    printer.failure = "The print job could not be started on HP.";
    auto form = makeForm();

    nextAnswer = MsgAnswer::No;
    form->btnPrintClick();
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 160);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].caption, "Printer Error");
    EXPECT_EQ(messages[0].text, printer.failure);
    EXPECT_EQ(messages[1].icon, MsgIcon::Question);
    EXPECT_EQ(messages[1].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(messages[1].text.contains("Pregled1.pdf"));
    EXPECT_FALSE(QFile::exists("Pregled1.pdf"));

    nextAnswer = MsgAnswer::Yes;
    form->btnPrintClick();
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 320);
    EXPECT_TRUE(readFile("Pregled2.pdf").startsWith("%PDF"));
    EXPECT_EQ(messages.size(), 4);
}

TEST_F(PRNFormTest, TheRealPrintingServiceReportsAMissingPrinter) {
    QtPrinterService service;
    if (!service.printerNames().isEmpty())
        GTEST_SKIP() << "a printer is installed; no test page is sent to it";
    EXPECT_EQ(service.defaultPageWidthPx(), 0);
    bool drawn = false;
    QString error;
    EXPECT_FALSE(service.printPage([&](QPainter&) { drawn = true; }, &error));
    EXPECT_FALSE(drawn);
    EXPECT_FALSE(error.isEmpty());

    // With no printer the window says so and still logs the examination.
    auto form = std::make_unique<TPRNForm>(nullptr, state, service, [this] { return readings; });
    EXPECT_EQ(form->windowTitle(), "Not Found Printer");
    nextAnswer = MsgAnswer::No;
    form->btnPrintClick();
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 160);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, error);
}

namespace {

// Esc as the window system delivers it: the key with its control character as text.
void pressEsc(QWidget* widget) {
    const QString text(QChar(0x1b));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// The texts a label actually draws, with their baselines in the label's own coordinates.
QList<RecordedText> drawnTexts(QLabel* label) {
    RecordingPaintDevice device(label->parentWidget()->width(), 96);
    label->render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
    return device.texts();
}

} // namespace

TEST_F(PRNFormTest, EscClosesTheWindowAsItsCloseBoxDoesWhereverTheFocusIs) {
    // What the close box does: the window rejects, hides and ends its modal loop.
    auto closed = makeForm();
    closed->show();
    closed->close();
    ASSERT_FALSE(closed->isVisible());
    const int closeResult = closed->result();
    EXPECT_EQ(closeResult, QDialog::Rejected);

    using Target = QWidget* (*)(TPRNForm&);
    const std::pair<const char*, Target> targets[] = {
        {"window", [](TPRNForm& f) -> QWidget* { return &f; }},
        {"Edit1", [](TPRNForm& f) -> QWidget* { return f.Edit1; }},
        {"Edit2", [](TPRNForm& f) -> QWidget* { return f.Edit2; }},
        {"YearBox", [](TPRNForm& f) -> QWidget* { return f.YearBox; }},
        {"Edit3", [](TPRNForm& f) -> QWidget* { return f.Edit3; }},
        {"ComboBox1", [](TPRNForm& f) -> QWidget* { return f.ComboBox1; }},
        {"BtnPrint", [](TPRNForm& f) -> QWidget* { return f.BtnPrint; }},
        {"edCOmn (clicked into)", [](TPRNForm& f) -> QWidget* { return f.edCOmn; }},
        {"edRPM (clicked into)", [](TPRNForm& f) -> QWidget* { return f.edRPM; }},
    };
    for (const auto& [name, target] : targets) {
        auto form = makeForm();
        form->show();
        ASSERT_TRUE(form->isVisible()) << name;
        QWidget* focus = target(*form);
        focus->setFocus();
        pressEsc(focus);
        EXPECT_FALSE(form->isVisible()) << name;
        EXPECT_EQ(form->result(), closeResult) << name;
        EXPECT_EQ(form->edRPM->text(), readings.Label15) << name << ": the box is not typed into";
    }
    // Closing has no further effect: nothing is logged, printed or asked.
    EXPECT_TRUE(printer.pages.isEmpty());
    EXPECT_FALSE(QFile::exists("Pregledi00000.GPG"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PRNFormTest, EnterAndTabInAReadingBoxDoWhatTheyDoElsewhereInTheWindow) {
    // The reading boxes' filter takes typed characters only; the window's keys pass it.
    auto form = makeForm();
    form->show();
    form->activateWindow();
    form->edCHmx->setFocus();
    ASSERT_EQ(form->focusWidget(), form->edCHmx);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QApplication::sendEvent(form->edCHmx, &tab);
    EXPECT_NE(form->focusWidget(), form->edCHmx);
    EXPECT_EQ(form->edCHmx->text(), readings.Label13);

    form->edCOmn->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(form->edCOmn, &enter);
    EXPECT_EQ(printer.pages.size(), 1) << "Enter presses PRINT, the default button";
    EXPECT_TRUE(form->isVisible());
}

TEST_F(PRNFormTest, EscEndsTheModalLoopOfTheReportWindow) {
    auto form = makeForm();
    bool sent = false;
    bool forced = false;
    // The key goes where the keyboard would send it: to the modal window's focus widget.
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        pressEsc(modal->focusWidget() ? modal->focusWidget() : modal);
        sent = true;
    });
    // A window that ignored Esc would keep the test waiting; close it by its close box then.
    QTimer::singleShot(3000, form.get(), [&] {
        forced = form->isVisible();
        form->close();
    });
    const int result = form->exec();
    EXPECT_TRUE(sent);
    EXPECT_FALSE(forced) << "Esc left the window open";
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(PRNFormTest, LabelsDrawTheirTextFromTheTopOfTheirBoxClearOfTheControls) {
    auto form = makeForm();
    form->show();
    const QList<QLabel*> labels = form->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 16); // 5 captions of entries, 9 of reading boxes, 2 lines in Panel1
    for (QLabel* label : labels) {
        const QString name = label->text();
        const QList<RecordedText> drawn = drawnTexts(label);
        ASSERT_FALSE(drawn.isEmpty()) << name.toStdString();
        const QFontMetrics metrics(label->font());
        // The first line's baseline lies one ascent below the box's top: the text starts there.
        EXPECT_EQ(qRound(drawn.first().baseline.y()), metrics.ascent()) << name.toStdString();
        const qreal textFoot = drawn.last().baseline.y() + metrics.descent();
        EXPECT_LE(textFoot, label->height()) << name.toStdString();

        // The drawn text never runs under an entry box, a list or the button beside it.
        const QRect text =
            QRect(label->mapTo(form.get(), QPoint(0, 0)), QSize(label->width(), qCeil(textFoot)));
        for (QWidget* control : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel*>(control) || control == form->Panel1 || !control->isVisible())
                continue;
            EXPECT_FALSE(text.intersects(control->geometry()))
                << name.toStdString() << " runs under " << control->metaObject()->className() << " at "
                << control->x() << "," << control->y();
        }
    }

    // The year caption wraps to two lines in its fixed box and both end above YearBox.
    EXPECT_EQ(form->Label4->geometry(), QRect(296, 56, 105, 41));
    EXPECT_EQ(form->Label4->text(), QStringLiteral("   Година на производство"));
    const QList<RecordedText> year = drawnTexts(form->Label4);
    ASSERT_EQ(year.size(), 2);
    EXPECT_EQ(year.last().text, QStringLiteral("производство"));
    EXPECT_LE(form->Label4->y() + year.last().baseline.y() + QFontMetrics(form->Label4->font()).descent(),
              form->YearBox->y());
}
