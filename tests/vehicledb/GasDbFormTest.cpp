#include "GASbase.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTimer>
#include <gtest/gtest.h>

using vztest::row;

namespace {
QStringList items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

const std::vector<vz::LimitRow> SampleRows = {
    row("LADA", "2101", "450", "0", "120", "250", "1200", "800"),
    row("LADA", "2107", "350", "5", "125", "200", "1000", "850"),
    row("VW", "GOLF", "50", "0", "135", "100", "300", "800"),
    row("VW", "POLO", "30", "0", "140", "50", "200", "750"),
    row("ВОЛГА", "ГАЗ 24", "12345", "", "145", "250", "450", "650"),
};
} // namespace

TEST(GasDbForm, OpensOnRowOneWithTheMakesAndTheFirstMakesModels) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    EXPECT_EQ(items(form.MarkBox), (QStringList{"LADA", "VW", "ВОЛГА"}));
    EXPECT_EQ(items(form.ModelBox), (QStringList{"2101", "2107"}));
    EXPECT_EQ(form.MarkBox->currentRow(), 0);
    EXPECT_EQ(form.ModelBox->currentRow(), 0);
    EXPECT_EQ(form.Label1->text(), "LADA  2101");
    EXPECT_EQ(form.Label2->text(), "04.50");
    EXPECT_EQ(form.Label3->text(), "00.00");
    EXPECT_EQ(form.Label4->text(), "012.0");
    EXPECT_EQ(form.Label5->text(), " 1200");
    EXPECT_EQ(form.Label6->text(), "02.50");
    EXPECT_EQ(form.Label7->text(), "800");
    EXPECT_TRUE(form.table().isOpen());
}

TEST(GasDbForm, ChoosingMakesAndModelsShowsTheirRows) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);

    form.MarkBox->setCurrentRow(2); // the last make runs to the table's last row
    EXPECT_EQ(items(form.ModelBox), QStringList{"ГАЗ 24"});
    EXPECT_EQ(form.ModelBox->currentRow(), 0);
    EXPECT_EQ(form.Label1->text(), "ВОЛГА  ГАЗ 24");
    EXPECT_EQ(form.Label2->text(), "12.345");
    EXPECT_EQ(form.Label3->text(), "00.00");
    EXPECT_EQ(form.Label4->text(), "014.5");
    EXPECT_EQ(form.Label5->text(), " 0450");

    form.MarkBox->setCurrentRow(1);
    EXPECT_EQ(items(form.ModelBox), (QStringList{"GOLF", "POLO"}));
    EXPECT_EQ(form.Label1->text(), "VW  GOLF");
    form.ModelBox->setCurrentRow(1);
    EXPECT_EQ(form.Label1->text(), "VW  POLO");
    EXPECT_EQ(form.table().currentRow(), 4);
    EXPECT_EQ(form.MarkBox->currentRow(), 1);

    // Keys move through the lists like the mouse does.
    form.show();
    vztest::pressKey(form.ModelBox, Qt::Key_Up);
    EXPECT_EQ(form.Label1->text(), "VW  GOLF");
    vztest::pressKey(form.ModelBox, Qt::Key_Left);
    EXPECT_EQ(form.focusWidget(), form.MarkBox);
    vztest::pressKey(form.MarkBox, Qt::Key_Up);
    EXPECT_EQ(form.Label1->text(), "LADA  2101");
    EXPECT_EQ(items(form.ModelBox), (QStringList{"2101", "2107"}));
    vztest::pressKey(form.MarkBox, Qt::Key_Right);
    EXPECT_EQ(form.focusWidget(), form.ModelBox);
    vztest::pressKey(form.ModelBox, Qt::Key_Down);
    EXPECT_EQ(form.Label1->text(), "LADA  2107");
    EXPECT_EQ(form.Label7->text(), "850");
}

TEST(GasDbForm, OneMakeListsEveryRowAsAModel) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("LADA", "A"), row("LADA", "B"), row("LADA", "C")});
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    EXPECT_EQ(items(form.MarkBox), QStringList{"LADA"});
    EXPECT_EQ(items(form.ModelBox), (QStringList{"A", "B", "C"}));
    form.ModelBox->setCurrentRow(2);
    EXPECT_EQ(form.Label1->text(), "LADA  C");
}

TEST(GasDbForm, AMakeInTwoRunsIsListedTwiceAndEachEntryShowsItsOwnRows) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("LADA", "2101", "450"), row("VW", "GOLF", "50"),
                                       row("LADA", "NIVA", "30"), row("LADA", "SAMARA", "40")});
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    EXPECT_EQ(items(form.MarkBox), (QStringList{"LADA", "VW", "LADA"}));
    form.MarkBox->setCurrentRow(2);
    EXPECT_EQ(items(form.ModelBox), (QStringList{"NIVA", "SAMARA"}));
    // The highlight stays on the entry chosen, so a model picked next belongs to that run.
    EXPECT_EQ(form.MarkBox->currentRow(), 2);
    form.ModelBox->setCurrentRow(1);
    EXPECT_EQ(form.Label1->text(), "LADA  SAMARA");
    EXPECT_EQ(form.Label2->text(), "00.40");
    form.SelectButClick();
    EXPECT_EQ(record.VehicleText, "LADA SAMARA");
    EXPECT_EQ(record.LimitCOmx, 40);
}

TEST(GasDbForm, MoreThanSixtyFourMakesAreAllListedAndReachable) {
    vztest::ScratchDir dir;
    std::vector<vz::LimitRow> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back(row(QString("MAKE%1").arg(i), QString("MODEL%1").arg(i), QString::number(i)));
    vztest::writeTable("CarModel.DB", rows);
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    ASSERT_EQ(form.MarkBox->count(), 100);
    form.MarkBox->setCurrentRow(99);
    EXPECT_EQ(items(form.ModelBox), QStringList{"MODEL99"});
    EXPECT_EQ(form.Label2->text(), "00.99");
    form.MarkBox->setCurrentRow(70);
    EXPECT_EQ(form.Label1->text(), "MAKE70  MODEL70");
}

TEST(GasDbForm, SelectHandsTheRowBackAndCloses) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    form.show();
    form.MarkBox->setCurrentRow(0);
    form.ModelBox->setCurrentRow(1);
    vztest::pressKey(form.ModelBox, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.table().isOpen());
    EXPECT_EQ(record.VehicleText, "LADA 2107");
    EXPECT_EQ(record.LimitCOmx, 350);
    EXPECT_EQ(record.LimitCOmn, 5);
    EXPECT_EQ(record.LimitCO2mx, 125);
    EXPECT_EQ(record.LimitO2mx, 200);
    EXPECT_EQ(record.LimitCHmx, 1000);
}

TEST(GasDbForm, ABadFieldIsReportedOnceAndTheWindowStaysOpenWithTheEarlierLimitsStored) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("VW", "GOLF", "120", "7", "abc", "100", "300", "800")});
    vz::SelectedVehicle record{"LADA 2107", 1, 2, 3, 4, 5};
    vztest::MessageRecorder messages;
    TGasDbForm form(nullptr, record);
    form.show();
    vztest::pressKey(form.MarkBox, Qt::Key_Enter);
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Text, "'abc' is not a valid integer value");
    EXPECT_EQ(messages.Messages[0].Icon, vz::MsgIcon::Error);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.table().isOpen());
    EXPECT_EQ(record.LimitCOmx, 120);
    EXPECT_EQ(record.LimitCOmn, 7);
    EXPECT_EQ(record.LimitCO2mx, 3);
    EXPECT_EQ(record.LimitO2mx, 4);
    EXPECT_EQ(record.LimitCHmx, 5);
    EXPECT_EQ(record.VehicleText, "LADA 2107");

    form.SelectBut->click();
    EXPECT_EQ(messages.Messages.size(), 2u);
    EXPECT_TRUE(form.isVisible());
}

TEST(GasDbForm, EscCancelsTheChoiceButKeepsTheOtherLimits) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record{"LADA 2107", 350, 5, 125, 200, 1000};
    vztest::MessageRecorder messages;
    TGasDbForm form(nullptr, record);
    form.show();
    vztest::pressKey(form.ModelBox, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.table().isOpen());
    EXPECT_EQ(record.LimitCO2mx, 0);
    EXPECT_EQ(record.LimitCOmx, 350);
    EXPECT_EQ(record.LimitCOmn, 5);
    EXPECT_EQ(record.LimitO2mx, 200);
    EXPECT_EQ(record.LimitCHmx, 1000);
    EXPECT_EQ(record.VehicleText, "LADA 2107");
    EXPECT_TRUE(messages.Messages.empty());
}

TEST(GasDbForm, CancelButtonAndTheWindowsCloseBoxBothCloseTheTable) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record{"LADA 2107", 350, 5, 125, 200, 1000};
    {
        TGasDbForm form(nullptr, record);
        form.show();
        form.close();
        EXPECT_FALSE(form.table().isOpen());
        EXPECT_EQ(record.LimitCO2mx, 125); // closing by the window's own means changes nothing
    }
    TGasDbForm form(nullptr, record);
    form.show();
    form.CancelBut->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.table().isOpen());
    EXPECT_EQ(record.LimitCO2mx, 0);
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST(GasDbForm, AMissingBrokenOrEmptyTableOpensAnEmptyWindowThatSaysWhy) {
    struct Case {
        const char* name;
        std::function<void()> make;
        const char* heading;
    } cases[] = {
        {"missing", [] {}, "CarModel.DB not found"},
        {"not sqlite",
         [] {
             QFile f("CarModel.DB");
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray(2048, 'x'));
         },
         "CarModel.DB is not an SQLite database"},
        {"empty", [] { vztest::writeTable("CarModel.DB", {}); }, "CarModel.DB has no rows"},
    };
    for (const Case& c : cases) {
        vztest::ScratchDir dir;
        c.make();
        vz::SelectedVehicle record{"LADA 2107", 350, 5, 125, 200, 1000};
        vztest::MessageRecorder messages;
        TGasDbForm form(nullptr, record);
        form.show();
        EXPECT_EQ(form.Label1->text(), c.heading) << c.name;
        EXPECT_EQ(form.MarkBox->count(), 0) << c.name;
        EXPECT_EQ(form.ModelBox->count(), 0) << c.name;
        EXPECT_EQ(form.Label2->text(), "0.000") << c.name;
        vztest::pressKey(form.MarkBox, Qt::Key_Return);
        form.SelectBut->click();
        EXPECT_TRUE(form.isVisible()) << c.name;
        EXPECT_TRUE(messages.Messages.empty()) << c.name;
        EXPECT_EQ(record.LimitCO2mx, 125) << c.name;
        EXPECT_EQ(record.VehicleText, "LADA 2107") << c.name;
        vztest::pressKey(form.MarkBox, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible()) << c.name;
        EXPECT_EQ(record.LimitCO2mx, 0) << c.name;
        EXPECT_EQ(record.LimitCOmx, 350) << c.name;
        EXPECT_FALSE(QFile::exists("CarModel.DB") && QString(c.name) == "missing");
    }
}

TEST(GasDbForm, OddFieldsAreShownAndRefusedWithoutHarm) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("", "", "", "", "", "", "", ""),
                                       row("ЗАЗ", "ТАВРИЯ", "123456", "70000", "1e3", "-5", " 12", "x"),
                                       row("ЗАЗ", "СЛАВУТА", "70000", "65536", "125", "-1", "0", "800")});
    vz::SelectedVehicle record{"OLD", 1, 2, 3, 4, 5};
    vztest::MessageRecorder messages;
    TGasDbForm form(nullptr, record);
    EXPECT_EQ(items(form.MarkBox), (QStringList{"", "ЗАЗ"}));
    EXPECT_EQ(form.Label1->text(), "  ");
    EXPECT_EQ(form.Label2->text(), "00.00");
    form.SelectButClick();
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Text, "'' is not a valid integer value");

    form.MarkBox->setCurrentRow(1);
    EXPECT_EQ(form.Label2->text(), "12.3456");
    EXPECT_EQ(form.Label4->text(), "01e.3");
    form.SelectButClick();
    ASSERT_EQ(messages.Messages.size(), 2u);
    EXPECT_EQ(messages.Messages[1].Text, "'1e3' is not a valid integer value");
    EXPECT_EQ(record.LimitCOmx, 123456 & 0xFFFF);
    EXPECT_EQ(record.LimitCOmn, 70000 - 65536);
    EXPECT_EQ(record.VehicleText, "OLD");

    form.ModelBox->setCurrentRow(1);
    form.SelectButClick();
    EXPECT_EQ(messages.Messages.size(), 2u);
    EXPECT_EQ(record.VehicleText, "ЗАЗ СЛАВУТА");
    EXPECT_EQ(record.LimitCOmn, 0);
    EXPECT_EQ(record.LimitO2mx, 65535);
}

TEST(GasDbForm, LooksAsDesigned) {
    vztest::ScratchDir dir;
    vz::SelectedVehicle record;
    TGasDbForm form(nullptr, record);
    form.show();
    EXPECT_EQ(form.windowTitle(), "EXHAUST GAS CARS DATA BASE");
    EXPECT_EQ(form.size(), QSize(539, 278));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.focusWidget(), form.MarkBox);
    EXPECT_EQ(form.MarkBox->geometry(), QRect(16, 40, 249, 185));
    EXPECT_EQ(form.ModelBox->geometry(), QRect(272, 40, 249, 185));
    EXPECT_EQ(form.MarkBox->palette().color(QPalette::Base), QColor(0, 255, 255));
    EXPECT_EQ(form.ModelBox->palette().color(QPalette::Base), QColor(255, 255, 0));
    EXPECT_TRUE(form.MarkBox->font().bold());
    EXPECT_EQ(form.CancelBut->geometry(), QRect(360, 8, 81, 25));
    EXPECT_EQ(form.SelectBut->geometry(), QRect(456, 8, 81, 25));
    EXPECT_EQ(form.CancelBut->text(), "CANCEL");
    EXPECT_EQ(form.SelectBut->text(), "SELECT");
    EXPECT_TRUE(form.CancelBut->isFlat());
    EXPECT_EQ(form.CancelBut->font().pixelSize(), 13);
    EXPECT_TRUE(form.SelectBut->font().bold());
    EXPECT_EQ(form.CancelBut->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    EXPECT_EQ(form.SelectBut->palette().color(QPalette::ButtonText), QColor(0, 255, 0));

    struct Expected {
        QLabel* label;
        QPoint pos;
        const char* text;
        QColor colour;
    } labels[] = {
        {form.Label2, {64, 232}, "0.000", QColor(255, 0, 0)},
        {form.Label3, {64, 256}, "0.000", QColor(255, 0, 0)},
        {form.Label4, {176, 256}, "00.00", QColor(0, 255, 0)},
        {form.Label5, {264, 256}, " 0000", QColor(255, 255, 0)},
        {form.Label6, {344, 256}, "00.00", QColor(0, 255, 255)},
        {form.Label7, {432, 256}, " 0000", QColor(255, 255, 255)},
        {form.Label8, {24, 240}, "CO", QColor(255, 0, 0)},
        {form.Label9, {184, 232}, "CO2", QColor(0, 255, 0)},
        {form.Label10, {280, 232}, "HC", QColor(255, 255, 0)},
        {form.Label11, {360, 232}, "O2", QColor(0, 255, 255)},
        {form.Label12, {432, 232}, "RPM", QColor(255, 255, 255)},
    };
    for (const Expected& e : labels) {
        EXPECT_EQ(e.label->pos(), e.pos) << e.text;
        EXPECT_EQ(e.label->text(), e.text);
        EXPECT_EQ(e.label->palette().color(QPalette::WindowText), e.colour) << e.text;
    }
    for (QLabel* value : {form.Label2, form.Label3, form.Label4, form.Label5, form.Label6, form.Label7}) {
        EXPECT_TRUE(value->autoFillBackground());
        EXPECT_EQ(value->palette().color(QPalette::Window), QColor(0, 0, 128));
    }
    EXPECT_EQ(form.Label2->font().pixelSize(), 21);
    EXPECT_EQ(form.Label2->font().family(), "Arial");
    EXPECT_EQ(form.Label13->text(), "max");
    EXPECT_EQ(form.Label14->text(), "min");
    EXPECT_EQ(form.Label14->pos(), QPoint(120, 264));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label1->pos(), QPoint(16, 16));
}

TEST(GasDbForm, EveryCaptionAndValueIsDrawnWholeInsideTheWindow) {
    // The default face, and a taller one as a station with a higher dpi or a larger desktop
    // font has. The "min" caption at y = 264 is the lowest text of the window.
    vztest::ensureApp();
    const QFont defaultFont = QApplication::font();
    QFont taller = defaultFont;
    taller.setPixelSize(QFontInfo(defaultFont).pixelSize() + 5);
    for (const QFont& font : {defaultFont, taller}) {
        QApplication::setFont(font);
        vztest::ScratchDir dir;
        vztest::writeTable("CarModel.DB", SampleRows);
        vz::SelectedVehicle record;
        TGasDbForm form(nullptr, record);
        form.show();
        QApplication::setFont(defaultFont);
        const int pixels = QFontInfo(form.Label14->font()).pixelSize();

        EXPECT_EQ(form.Label14->text(), "min") << pixels;
        EXPECT_EQ(form.Label14->pos(), QPoint(120, 264)) << pixels;
        EXPECT_EQ(form.width(), 539) << pixels;
        EXPECT_GE(form.height(), 278) << pixels;
        EXPECT_EQ(form.minimumSize(), form.maximumSize()) << pixels;
        for (QLabel* label : form.findChildren<QLabel*>()) {
            const QFontMetrics metrics(label->font());
            const QRect text =
                metrics.boundingRect(label->contentsRect(), int(label->alignment()), label->text());
            EXPECT_TRUE(label->rect().contains(text))
                << label->text().toStdString() << " at " << pixels << " px: its box cuts the text";
            const QRect inWindow = text.translated(label->pos());
            EXPECT_TRUE(form.rect().contains(inWindow))
                << label->text().toStdString() << " at " << pixels << " px ends at y = " << inWindow.bottom()
                << " in a window " << form.height() << " high";
        }
    }
}

TEST(GasDbForm, BaseRunsAFreshModalWindowAndFreesIt) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", SampleRows);
    vz::SelectedVehicle record{"VW GOLF", 50, 0, 135, 100, 300};
    QWidget owner;
    bool sawWindow = false;
    // Plays the operator: once the modal window is up, choose VW POLO and press Enter.
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TGasDbForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        sawWindow = form->parent() == &owner;
        form->MarkBox->setCurrentRow(1);
        form->ModelBox->setCurrentRow(1);
        vztest::pressKey(form->ModelBox, Qt::Key_Return);
    });
    // Never block the test run if the window did not show up.
    QTimer::singleShot(5000, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    vz::runVehicleChoice(&owner, record);
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(record.VehicleText, "VW POLO");
    EXPECT_EQ(record.LimitCO2mx, 140);
    EXPECT_TRUE(owner.findChildren<TGasDbForm*>().isEmpty());
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}
