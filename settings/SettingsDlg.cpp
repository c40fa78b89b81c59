#include "SettingsDlg.h"

#include "CPDrv.h"
#include "Conversions.h"
#include "MessageBox.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

namespace vz {

QString trimPortName(const QString& text) {
    auto trimmed = [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace(); };
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && trimmed(text[first]))
        ++first;
    while (last > first && trimmed(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

std::optional<uint32_t> acceptedBaudRate(const QString& text) {
    const std::optional<int32_t> rate = strToInt(text);
    if (!rate || *rate < 110 || *rate > 921600)
        return std::nullopt;
    return static_cast<uint32_t>(*rate);
}

} // namespace vz

namespace {
// Layout of every page: labels end at x = 83, combo boxes start at x = 88.
constexpr int LabelRight = 83;
constexpr int ComboLeft = 88;
constexpr int ComboWidth = 114;
constexpr int ComboHeight = 21;
constexpr int RowTop[] = {20, 48, 76, 104, 132};

QStringList portItems() {
    QStringList items;
    for (int n = 1; n <= 16; ++n)
        items << QStringLiteral("\\\\.\\COM%1").arg(n);
    return items;
}

// Selects a pick-list item by an ordinal; an index outside the list leaves nothing selected.
void selectIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(index < combo->count() ? index : -1);
}
} // namespace

TSettingsForm::TSettingsForm(QWidget* owner, TCommPortDriver* driver) : QDialog(owner), Driver(driver) {
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(314, 206);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 314, 206);
    SettingsPageControl = new QTabWidget(Panel1);
    SettingsPageControl->setObjectName(QStringLiteral("SettingsPageControl"));
    SettingsPageControl->setGeometry(2, 2, 310, 202); // border width 2 inside Panel1

    BaseSettingsTabSheet = new QWidget;
    FlowControlTabSheet = new QWidget;
    TabSheet1 = new QWidget;
    SettingsPageControl->addTab(BaseSettingsTabSheet, QStringLiteral("Base Settings"));
    SettingsPageControl->addTab(FlowControlTabSheet, QStringLiteral("Flow Control"));
    SettingsPageControl->addTab(TabSheet1, QStringLiteral("Device Control"));

    Label1 = addRow(BaseSettingsTabSheet, 0, QStringLiteral("Port name:"), PortComboBox, true, portItems());
    Label2 = addRow(BaseSettingsTabSheet, 1, QStringLiteral("Baud rate:"), BaudRateComboBox, true,
                    {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
                     "57600", "115200", "128000", "230400", "256000", "460800", "921600"});
    Label3 = addRow(BaseSettingsTabSheet, 2, QStringLiteral("Data bits:"), DataBitsComboBox, false,
                    {"5", "6", "7", "8"});
    Label4 = addRow(BaseSettingsTabSheet, 3, QStringLiteral("Parity:"), ParityComboBox, false,
                    {"None", "Odd", "Even", "Mark", "Space"});
    Label5 = addRow(BaseSettingsTabSheet, 4, QStringLiteral("Stop bits:"), StopBitsComboBox, false,
                    {"1", "1.5", "2"});
    Label6 = addRow(FlowControlTabSheet, 0, QStringLiteral("Hardware flow:"), HwFlowComboBox, false,
                    {"None", "None but RTS on", "RTS/CTS"});
    Label7 = addRow(FlowControlTabSheet, 1, QStringLiteral("Software flow:"), SwFlowComboBox, false,
                    {"None", "XON/XOFF"});
    Label8 = addRow(FlowControlTabSheet, 2, QStringLiteral("DTR control:"), DTRControlComboBox, false,
                    {"Standard", "Keep off"});
    Label9 = addRow(TabSheet1, 0, QStringLiteral("Device check:"), DevCheckComboBox, false, {"Yes", "No"});

    // The buttons lie on the form itself, over the empty right-hand part of the pages.
    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setGeometry(228, 32, 75, 25);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(228, 60, 76, 25);
    OkButton->raise();
    CancelButton->raise();
    connect(OkButton, &QPushButton::clicked, this, &TSettingsForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject); // Esc does the same

    FillFromDriver();
    SettingsPageControl->setCurrentWidget(BaseSettingsTabSheet);
}

QLabel* TSettingsForm::addRow(QWidget* page, int row, const QString& caption, QComboBox*& combo,
                              bool editable, const QStringList& items) {
    const int top = RowTop[row];
    auto* label = new QLabel(caption, page);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(0, top, LabelRight, ComboHeight);
    combo = new QComboBox(page);
    combo->setEditable(editable);
    if (editable)
        combo->setInsertPolicy(QComboBox::NoInsert); // typed text is a value, not a new item
    combo->addItems(items);
    combo->setGeometry(ComboLeft, top, ComboWidth, ComboHeight);
    combo->setMaxVisibleItems(items.size());
    label->setBuddy(combo);
    return label;
}

void TSettingsForm::FillFromDriver() {
    PortComboBox->setEditText(Driver->PortName());
    BaudRateComboBox->setEditText(QString::number(Driver->BaudRateValue()));
    selectIndex(DataBitsComboBox, Driver->DataBits());
    selectIndex(ParityComboBox, Driver->Parity());
    selectIndex(StopBitsComboBox, Driver->StopBits());
    selectIndex(HwFlowComboBox, Driver->HwFlow());
    selectIndex(SwFlowComboBox, Driver->SwFlow());
    DTRControlComboBox->setCurrentIndex(Driver->EnableDTROnOpen() ? 0 : 1);
    DevCheckComboBox->setCurrentIndex(Driver->CheckLineStatus() ? 0 : 1);
}

void TSettingsForm::OkButtonClick() {
    const QString name = vz::trimPortName(PortComboBox->currentText());
    if (name.isEmpty()) {
        vz::showMessage(this, QStringLiteral("Error"), QStringLiteral("Please, enter a valid port name."),
                        vz::MsgIcon::Error);
        return;
    }
    const std::optional<uint32_t> rate = vz::acceptedBaudRate(BaudRateComboBox->currentText());
    if (!rate) {
        vz::showMessage(this, QStringLiteral("Error"), QStringLiteral("Please, enter a valid baud rate."),
                        vz::MsgIcon::Error);
        return;
    }
    Driver->SetPortName(name);
    Driver->SetBaudRateValue(*rate);
    // A pick-list with nothing selected leaves its property as it was.
    if (DataBitsComboBox->currentIndex() >= 0)
        Driver->SetDataBits(static_cast<TDataBits>(DataBitsComboBox->currentIndex()));
    if (ParityComboBox->currentIndex() >= 0)
        Driver->SetParity(static_cast<TParity>(ParityComboBox->currentIndex()));
    if (StopBitsComboBox->currentIndex() >= 0)
        Driver->SetStopBits(static_cast<TStopBits>(StopBitsComboBox->currentIndex()));
    if (HwFlowComboBox->currentIndex() >= 0)
        Driver->SetHwFlow(static_cast<THwFlowControl>(HwFlowComboBox->currentIndex()));
    if (SwFlowComboBox->currentIndex() >= 0)
        Driver->SetSwFlow(static_cast<TSwFlowControl>(SwFlowComboBox->currentIndex()));
    if (DTRControlComboBox->currentIndex() >= 0)
        Driver->SetEnableDTROnOpen(DTRControlComboBox->currentIndex() == 0);
    if (DevCheckComboBox->currentIndex() >= 0)
        Driver->SetCheckLineStatus(DevCheckComboBox->currentIndex() == 0);
    accept();
}

void TSettingsForm::showEvent(QShowEvent* event) {
    // Centred on the desktop, not on the owner.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

namespace vz {

void runSettingsCommand(QWidget* owner, TCommPortDriver& drv,
                        const std::function<void(TSettingsForm&)>& show) {
    if (drv.IsConnected()) {
        const MsgAnswer answer = showMessage(owner, QStringLiteral("Confirm"),
                                             QStringLiteral("Could not change settings while a connection is "
                                                            "active.\r\nClose the connection and continue ?"),
                                             MsgIcon::Question, MsgButtons::OkCancel);
        if (answer != MsgAnswer::Ok)
            return;
        drv.Disconnect();
    }
    TSettingsForm form(owner, &drv);
    if (show)
        show(form);
    else
        form.exec();
}

} // namespace vz
