#include "CPDrv.h"
#include "SettingsDlg.h"
#include "SettingsTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

namespace {

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// A driver as the main window leaves it after start-up: closed, COM1, 9600 baud.
struct SettingsDialog : ::testing::Test {
    SettingsDialog() { testApp(); }
    TCommPortDriver drv;
    void SetUp() override { drv.SetPort(pnCOM1); }
};

struct DriverSnapshot {
    TPortNumber port;
    QString name;
    TBaudRate baud;
    uint32_t baudValue;
    TDataBits bits;
    TParity parity;
    TStopBits stop;
    THwFlowControl hw;
    TSwFlowControl sw;
    bool dtr;
    bool check;
    explicit DriverSnapshot(const TCommPortDriver& d)
        : port(d.Port()), name(d.PortName()), baud(d.BaudRate()), baudValue(d.BaudRateValue()),
          bits(d.DataBits()), parity(d.Parity()), stop(d.StopBits()), hw(d.HwFlow()), sw(d.SwFlow()),
          dtr(d.EnableDTROnOpen()), check(d.CheckLineStatus()) {}
    bool operator==(const DriverSnapshot&) const = default;
};

} // namespace

TEST_F(SettingsDialog, FormLaysOutItsPagesControlsAndButtons) {
    TSettingsForm form(nullptr, &drv);
    EXPECT_EQ(form.windowTitle(), "Settings");
    EXPECT_EQ(form.size(), QSize(314, 206));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()); // fixed frame
    ASSERT_EQ(form.SettingsPageControl->count(), 3);
    EXPECT_EQ(form.SettingsPageControl->tabText(0), "Base Settings");
    EXPECT_EQ(form.SettingsPageControl->tabText(1), "Flow Control");
    EXPECT_EQ(form.SettingsPageControl->tabText(2), "Device Control");
    EXPECT_EQ(form.SettingsPageControl->currentWidget(), form.BaseSettingsTabSheet);

    EXPECT_EQ(itemsOf(form.PortComboBox).size(), 16);
    EXPECT_EQ(itemsOf(form.PortComboBox).first(), "\\\\.\\COM1");
    EXPECT_EQ(itemsOf(form.PortComboBox).last(), "\\\\.\\COM16");
    EXPECT_EQ(itemsOf(form.BaudRateComboBox),
              QStringList({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                           "56000", "57600", "115200", "128000", "230400", "256000", "460800", "921600"}));
    EXPECT_EQ(itemsOf(form.DataBitsComboBox), QStringList({"5", "6", "7", "8"}));
    EXPECT_EQ(itemsOf(form.ParityComboBox), QStringList({"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(itemsOf(form.StopBitsComboBox), QStringList({"1", "1.5", "2"}));
    EXPECT_EQ(itemsOf(form.HwFlowComboBox), QStringList({"None", "None but RTS on", "RTS/CTS"}));
    EXPECT_EQ(itemsOf(form.SwFlowComboBox), QStringList({"None", "XON/XOFF"}));
    EXPECT_EQ(itemsOf(form.DTRControlComboBox), QStringList({"Standard", "Keep off"}));
    EXPECT_EQ(itemsOf(form.DevCheckComboBox), QStringList({"Yes", "No"}));

    const std::pair<QLabel*, const char*> labels[] = {
        {form.Label1, "Port name:"},     {form.Label2, "Baud rate:"},   {form.Label3, "Data bits:"},
        {form.Label4, "Parity:"},        {form.Label5, "Stop bits:"},   {form.Label6, "Hardware flow:"},
        {form.Label7, "Software flow:"}, {form.Label8, "DTR control:"}, {form.Label9, "Device check:"}};
    const int rows[] = {20, 48, 76, 104, 132, 20, 48, 76, 20};
    for (size_t i = 0; i < std::size(labels); ++i) {
        QLabel* label = labels[i].first;
        EXPECT_EQ(label->text(), labels[i].second);
        EXPECT_TRUE(label->alignment() & Qt::AlignRight);
        EXPECT_EQ(label->geometry().right() + 1, 83) << labels[i].second;
        auto* combo = qobject_cast<QComboBox*>(label->buddy());
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->geometry().topLeft(), QPoint(88, rows[i])) << labels[i].second;
        EXPECT_EQ(combo->width(), 114);
        EXPECT_EQ(combo->isEditable(), i < 2) << labels[i].second; // only port and baud rate take free text
    }

    EXPECT_EQ(form.OkButton->text(), "Ok");
    EXPECT_EQ(form.OkButton->geometry(), QRect(228, 32, 75, 25));
    EXPECT_TRUE(form.OkButton->isDefault());
    EXPECT_EQ(form.CancelButton->text(), "Cancel");
    EXPECT_EQ(form.CancelButton->geometry(), QRect(228, 60, 76, 25));
}

TEST_F(SettingsDialog, OpensShowingTheDriversValues) {
    drv.SetPortName("/dev/ttyUSB0");
    drv.SetBaudRateValue(1000);
    drv.SetDataBits(db7BITS);
    drv.SetParity(ptEVEN);
    drv.SetStopBits(sb2BITS);
    drv.SetHwFlow(hfRTSCTS);
    drv.SetSwFlow(sfXONXOFF);
    drv.SetEnableDTROnOpen(false);
    drv.SetCheckLineStatus(true);
    TSettingsForm form(nullptr, &drv);
    EXPECT_EQ(form.PortComboBox->currentText(), "/dev/ttyUSB0");
    EXPECT_EQ(form.BaudRateComboBox->currentText(), "1000");
    EXPECT_EQ(form.DataBitsComboBox->currentText(), "7");
    EXPECT_EQ(form.ParityComboBox->currentText(), "Even");
    EXPECT_EQ(form.StopBitsComboBox->currentText(), "2");
    EXPECT_EQ(form.HwFlowComboBox->currentText(), "RTS/CTS");
    EXPECT_EQ(form.SwFlowComboBox->currentText(), "XON/XOFF");
    EXPECT_EQ(form.DTRControlComboBox->currentText(), "Keep off");
    EXPECT_EQ(form.DevCheckComboBox->currentText(), "Yes");

    // Ok without changes keeps every value; port and rate become custom.
    const DriverSnapshot before(drv);
    form.OkButtonClick();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(drv.PortName(), before.name);
    EXPECT_EQ(drv.BaudRateValue(), 1000u);
    EXPECT_EQ(drv.DataBits(), db7BITS);
    EXPECT_EQ(drv.Parity(), ptEVEN);
    EXPECT_EQ(drv.StopBits(), sb2BITS);
    EXPECT_EQ(drv.HwFlow(), hfRTSCTS);
    EXPECT_EQ(drv.SwFlow(), sfXONXOFF);
    EXPECT_FALSE(drv.EnableDTROnOpen());
    EXPECT_TRUE(drv.CheckLineStatus());
}

TEST_F(SettingsDialog, PortNameAndBaudRateChecks) {
    struct Case {
        const char* port;
        const char* baud;
        const char* message; // nullptr: accepted
        const char* appliedName;
        uint32_t appliedRate;
    };
    const Case cases[] = {
        {"   ", "9600", "Please, enter a valid port name.", nullptr, 0},
        {"\t\r\n", "9600", "Please, enter a valid port name.", nullptr, 0},
        {"", "abc", "Please, enter a valid port name.", nullptr, 0}, // the port name wins
        {" \\\\.\\COM5 ", "9600", nullptr, "\\\\.\\COM5", 9600},
        {"COM3", "9600", nullptr, "COM3", 9600},
        {"\\\\.\\COM1", "109", "Please, enter a valid baud rate.", nullptr, 0},
        {"\\\\.\\COM1", "921601", "Please, enter a valid baud rate.", nullptr, 0},
        {"\\\\.\\COM1", "fast", "Please, enter a valid baud rate.", nullptr, 0},
        {"\\\\.\\COM1", "", "Please, enter a valid baud rate.", nullptr, 0},
        {"\\\\.\\COM1", "-9600", "Please, enter a valid baud rate.", nullptr, 0},
        {"\\\\.\\COM1", "110", nullptr, "\\\\.\\COM1", 110},
        {"\\\\.\\COM1", "921600", nullptr, "\\\\.\\COM1", 921600},
        {"\\\\.\\COM1", "1000", nullptr, "\\\\.\\COM1", 1000},
    };
    for (const Case& c : cases) {
        TCommPortDriver d;
        d.SetPort(pnCOM2);
        d.SetBaudRate(br19200);
        const DriverSnapshot before(d);
        TSettingsForm form(nullptr, &d);
        form.show();
        form.PortComboBox->setEditText(c.port);
        form.BaudRateComboBox->setEditText(c.baud);
        MessageRecorder recorder;
        form.OkButtonClick();
        if (c.message) {
            ASSERT_EQ(recorder.messages.size(), 1u) << c.port << " / " << c.baud;
            EXPECT_EQ(recorder.messages[0].caption, "Error");
            EXPECT_EQ(recorder.messages[0].text, c.message);
            EXPECT_EQ(recorder.messages[0].icon, vz::MsgIcon::Error);
            EXPECT_EQ(recorder.messages[0].buttons, vz::MsgButtons::Ok);
            EXPECT_TRUE(form.isVisible()) << "the dialog stays open";
            EXPECT_TRUE(DriverSnapshot(d) == before) << "nothing is applied";
        } else {
            EXPECT_TRUE(recorder.messages.empty()) << c.port << " / " << c.baud;
            EXPECT_FALSE(form.isVisible());
            EXPECT_EQ(form.result(), QDialog::Accepted);
            EXPECT_EQ(d.PortName(), c.appliedName);
            EXPECT_EQ(d.Port(), pnCustom);
            EXPECT_EQ(d.BaudRateValue(), c.appliedRate);
            EXPECT_EQ(d.BaudRate(), brCustom);
        }
    }
}

TEST_F(SettingsDialog, OkAppliesEveryChoiceAndMakesNamedValuesCustom) {
    TSettingsForm form(nullptr, &drv);
    form.PortComboBox->setCurrentIndex(3); // "\\.\COM4", a named port
    form.BaudRateComboBox->setEditText("9600");
    form.DataBitsComboBox->setCurrentIndex(0);
    form.ParityComboBox->setCurrentIndex(4);
    form.StopBitsComboBox->setCurrentIndex(1);
    form.HwFlowComboBox->setCurrentIndex(0);
    form.SwFlowComboBox->setCurrentIndex(1);
    form.DTRControlComboBox->setCurrentIndex(1);
    form.DevCheckComboBox->setCurrentIndex(0);
    form.OkButtonClick();
    EXPECT_EQ(drv.PortName(), "\\\\.\\COM4");
    EXPECT_EQ(drv.Port(), pnCustom);
    EXPECT_EQ(drv.BaudRateValue(), 9600u);
    EXPECT_EQ(drv.BaudRate(), brCustom);
    EXPECT_EQ(drv.DataBits(), db5BITS);
    EXPECT_EQ(drv.Parity(), ptSPACE);
    EXPECT_EQ(drv.StopBits(), sb1HALFBITS);
    EXPECT_EQ(drv.HwFlow(), hfNONE);
    EXPECT_EQ(drv.SwFlow(), sfXONXOFF);
    EXPECT_FALSE(drv.EnableDTROnOpen());
    EXPECT_TRUE(drv.CheckLineStatus());
}

TEST_F(SettingsDialog, CancelEscapeAndCloseChangeNothing) {
    for (int way = 0; way < 3; ++way) {
        const DriverSnapshot before(drv);
        TSettingsForm form(nullptr, &drv);
        form.show();
        form.PortComboBox->setEditText("\\\\.\\COM9");
        form.BaudRateComboBox->setEditText("4800");
        form.ParityComboBox->setCurrentIndex(2);
        form.DevCheckComboBox->setCurrentIndex(0);
        if (way == 0) {
            form.CancelButton->click();
        } else if (way == 1) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&form, &esc);
        } else {
            form.close();
        }
        EXPECT_FALSE(form.isVisible()) << way;
        EXPECT_EQ(form.result(), QDialog::Rejected) << way;
        EXPECT_TRUE(DriverSnapshot(drv) == before) << way;
    }
}

TEST_F(SettingsDialog, EnterPressesOk) {
    TSettingsForm form(nullptr, &drv);
    form.show();
    form.BaudRateComboBox->setEditText("2400");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(drv.BaudRateValue(), 2400u);

    // Also while typing in the baud-rate box: the typed text is taken, not turned into an item.
    TSettingsForm typing(nullptr, &drv);
    typing.show();
    typing.BaudRateComboBox->setEditText("4800");
    QKeyEvent enterInBox(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(typing.BaudRateComboBox->lineEdit(), &enterInBox);
    EXPECT_EQ(typing.result(), QDialog::Accepted);
    EXPECT_EQ(drv.BaudRateValue(), 4800u);
    EXPECT_EQ(typing.BaudRateComboBox->count(), 18);
}

TEST_F(SettingsDialog, NumbersIgnoreTheLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // "921.600" there
    drv.SetBaudRateValue(921600);
    TSettingsForm form(nullptr, &drv);
    EXPECT_EQ(form.BaudRateComboBox->currentText(), "921600");
    form.BaudRateComboBox->setEditText("115200");
    form.OkButtonClick();
    QLocale::setDefault(previous);
    EXPECT_EQ(drv.BaudRateValue(), 115200u);
}

TEST_F(SettingsDialog, SettingsCommandOnAClosedPortShowsTheDialogWithoutAsking) {
    MessageRecorder recorder;
    TSettingsForm* shown = nullptr;
    vz::runSettingsCommand(nullptr, drv, [&](TSettingsForm& form) {
        shown = &form;
        EXPECT_EQ(form.Driver, &drv);
        form.BaudRateComboBox->setEditText("1200");
        form.OkButtonClick();
    });
    EXPECT_NE(shown, nullptr);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(drv.BaudRateValue(), 1200u);
}

TEST_F(SettingsDialog, SettingsCommandOnAnOpenPortAsksFirst) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char slaveName[128] = {};
    ASSERT_EQ(ttyname_r(slave, slaveName, sizeof slaveName), 0);
    drv.SetPortName(QString::fromLocal8Bit(slaveName));
    ASSERT_TRUE(drv.Connect()) << "the driver could not open " << slaveName;

    const QString question = "Could not change settings while a connection is active.\r\n"
                             "Close the connection and continue ?";
    bool shown = false;
    {
        MessageRecorder recorder(vz::MsgAnswer::Cancel);
        vz::runSettingsCommand(nullptr, drv, [&](TSettingsForm&) { shown = true; });
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].caption, "Confirm");
        EXPECT_EQ(recorder.messages[0].text, question);
        EXPECT_EQ(recorder.messages[0].icon, vz::MsgIcon::Question);
        EXPECT_EQ(recorder.messages[0].buttons, vz::MsgButtons::OkCancel);
        EXPECT_FALSE(shown);
        EXPECT_TRUE(drv.IsConnected()) << "the port stays open";
    }
    {
        MessageRecorder recorder(vz::MsgAnswer::Ok);
        vz::runSettingsCommand(nullptr, drv, [&](TSettingsForm&) {
            shown = true;
            EXPECT_FALSE(drv.IsConnected()) << "closed before the dialog opens";
        });
        EXPECT_EQ(recorder.messages.size(), 1u);
        EXPECT_TRUE(shown);
        EXPECT_FALSE(drv.IsConnected()) << "the port stays closed afterwards";
    }
    close(slave);
    close(master);
}
