#include "GASbase.h"

#include "Files.h"
#include "LimitTexts.h"
#include "MessageBox.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace {
const QColor Aqua(0x00, 0xFF, 0xFF);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Navy(0x00, 0x00, 0x80);
const QColor White(0xFF, 0xFF, 0xFF);

QFont boldFont(QFont font) {
    font.setBold(true);
    return font;
}

// A label that sizes itself to its text, as all labels of this window do.
QLabel* makeLabel(QWidget* parent, int x, int y, const QString& text, const QColor& colour, bool bold) {
    auto* label = new QLabel(text, parent);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    if (bold)
        label->setFont(boldFont(label->font()));
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A value label: coloured text on navy.
QLabel* makeValue(QWidget* parent, int x, int y, const QString& text, const QColor& colour) {
    QLabel* label = makeLabel(parent, x, y, text, colour, false);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Navy);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
    return label;
}

QListWidget* makeList(QWidget* parent, const QRect& geometry, const QColor& background) {
    auto* list = new QListWidget(parent);
    list->setGeometry(geometry);
    QPalette pal = list->palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Text, Qt::black);
    list->setPalette(pal);
    list->setFont(boldFont(list->font()));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

// Flat buttons never take the focus, so Enter and Esc always reach the window's key handler
// and never click a default button behind its back.
QPushButton* makeFlatButton(QWidget* parent, const QRect& geometry, const QString& text,
                            const QColor& colour) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    button->setFlat(true);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    QFont font = boldFont(button->font());
    font.setPixelSize(13);
    button->setFont(font);
    QPalette pal = button->palette();
    pal.setColor(QPalette::ButtonText, colour);
    button->setPalette(pal);
    return button;
}
} // namespace

TGasDbForm::TGasDbForm(QWidget* owner, vz::SelectedVehicle& record) : QDialog(owner), Record(record) {
    buildControls();
    FormCreate();
}

TGasDbForm::~TGasDbForm() {
    FormClose();
}

void TGasDbForm::buildControls() {
    setWindowTitle(QStringLiteral("EXHAUST GAS CARS DATA BASE"));

    // The make list is made first: it is first in the tab order and has the focus at start.
    MarkBox = makeList(this, QRect(16, 40, 249, 185), Aqua);
    ModelBox = makeList(this, QRect(272, 40, 249, 185), Yellow);
    Label1 = makeLabel(this, 16, 16, QStringLiteral("CAR"), palette().color(QPalette::WindowText), true);
    CancelBut = makeFlatButton(this, QRect(360, 8, 81, 25), QStringLiteral("CANCEL"), Red);
    SelectBut = makeFlatButton(this, QRect(456, 8, 81, 25), QStringLiteral("SELECT"), Lime);

    Label8 = makeLabel(this, 24, 240, QStringLiteral("CO"), Red, false);
    Label13 = makeLabel(this, 120, 240, QStringLiteral("max"), palette().color(QPalette::WindowText), true);
    Label14 = makeLabel(this, 120, 264, QStringLiteral("min"), palette().color(QPalette::WindowText), true);
    Label2 = makeValue(this, 64, 232, QStringLiteral("0.000"), Red);
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(21);
    big.setBold(true);
    Label2->setFont(big);
    Label2->adjustSize();
    Label3 = makeValue(this, 64, 256, QStringLiteral("0.000"), Red);
    Label9 = makeLabel(this, 184, 232, QStringLiteral("CO2"), Lime, false);
    Label4 = makeValue(this, 176, 256, QStringLiteral("00.00"), Lime);
    Label10 = makeLabel(this, 280, 232, QStringLiteral("HC"), Yellow, false);
    Label5 = makeValue(this, 264, 256, QStringLiteral(" 0000"), Yellow);
    Label11 = makeLabel(this, 360, 232, QStringLiteral("O2"), Aqua, false);
    Label6 = makeValue(this, 344, 256, QStringLiteral("00.00"), Aqua);
    Label12 = makeLabel(this, 432, 232, QStringLiteral("RPM"), White, false);
    Label7 = makeValue(this, 432, 256, QStringLiteral(" 0000"), White);

    fitClientArea();

    MarkBox->installEventFilter(this);
    ModelBox->installEventFilter(this);
    // Any selection by the operator, by mouse or key, runs the list's click handler; rows the
    // window highlights itself (followCurrentRow) do not.
    connect(MarkBox, &QListWidget::currentRowChanged, this, [this] { MarkBoxClick(); });
    connect(MarkBox, &QListWidget::itemClicked, this, [this] { MarkBoxClick(); });
    connect(ModelBox, &QListWidget::currentRowChanged, this, [this] { ModelBoxClick(); });
    connect(ModelBox, &QListWidget::itemClicked, this, [this] { ModelBoxClick(); });
    connect(CancelBut, &QPushButton::clicked, this, [this] { CancelButClick(); });
    connect(SelectBut, &QPushButton::clicked, this, [this] { SelectButClick(); });
    MarkBox->setFocus();
}

void TGasDbForm::fitClientArea() {
    // The client area is 539 x 278. The "min" caption sits at y = 264, which leaves it 14
    // pixels: enough for the default 9-point face at 96 dpi, with nothing to spare. With a
    // taller default font (a higher dpi, a larger desktop font) the area grows just enough to
    // show the lowest label whole; no control moves and the width stays.
    int height = 278;
    for (const QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        height = std::max(height, label->geometry().bottom() + 1);
    setFixedSize(539, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TGasDbForm::setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

void TGasDbForm::FormCreate() {
    Following = true;
    MarkBox->clear();
    ModelBox->clear();
    Following = false;
    Index = {};
    if (!Table.open(vz::findFileNoCase(QDir::currentPath(), QStringLiteral("CarModel.DB")))) {
        setLabelText(Label1, Table.errorText());
        return;
    }
    Index = vz::buildMakeIndex(Table);
    if (Index.RowCount == 0) {
        setLabelText(Label1, QStringLiteral("CarModel.DB has no rows"));
        return;
    }
    Following = true;
    MarkBox->addItems(Index.Makes);
    for (int row = Index.firstRow(0); row < Index.endRow(0); ++row) {
        Table.goToRow(row);
        ModelBox->addItem(Table.field(QStringLiteral("Model")));
    }
    Following = false;
    Table.goToRow(1);
    followCurrentRow();
    ShowVal();
}

void TGasDbForm::followCurrentRow() {
    // The entry whose run holds the current row, and the row's place in that run. With
    // distinct makes and models this is the first equal entry; with a make listed twice or a
    // model named twice it keeps the highlight on the row actually shown.
    const int make = Index.makeOfRow(Table.currentRow());
    Following = true;
    MarkBox->setCurrentRow(make);
    ModelBox->setCurrentRow(make < 0 ? -1 : Table.currentRow() - Index.firstRow(make));
    Following = false;
}

void TGasDbForm::MarkBoxClick() {
    const int make = MarkBox->currentRow();
    if (Following || !Table.isOpen() || make < 0 || make >= Index.makeCount())
        return;
    Following = true;
    ModelBox->clear();
    for (int row = Index.firstRow(make); row < Index.endRow(make); ++row) {
        Table.goToRow(row);
        ModelBox->addItem(Table.field(QStringLiteral("Model")));
    }
    Following = false;
    Table.goToRow(Index.firstRow(make));
    followCurrentRow();
    ShowVal();
}

void TGasDbForm::ModelBoxClick() {
    const int make = MarkBox->currentRow();
    const int model = ModelBox->currentRow();
    if (Following || !Table.isOpen() || make < 0 || model < 0)
        return;
    const int row = Index.firstRow(make) + model;
    if (row >= Index.endRow(make))
        return;
    Table.goToRow(row);
    followCurrentRow();
    ShowVal();
}

void TGasDbForm::ShowVal() {
    if (Table.atEnd())
        return;
    const vz::RowTexts t = vz::showValTexts(vz::currentLimitRow(Table));
    setLabelText(Label1, t.Label1);
    setLabelText(Label2, t.Label2);
    setLabelText(Label3, t.Label3);
    setLabelText(Label4, t.Label4);
    setLabelText(Label5, t.Label5);
    setLabelText(Label6, t.Label6);
    setLabelText(Label7, t.Label7);
}

void TGasDbForm::SelectButClick() {
    // Without a row there is nothing to hand back: the record stays as it was and the window
    // stays open, so the operator leaves it with CANCEL or Esc.
    if (!Table.isOpen() || Table.atEnd())
        return;
    if (const std::optional<QString> bad = vz::applySelection(vz::currentLimitRow(Table), Record)) {
        vz::showConversionError(this, *bad);
        return;
    }
    accept();
}

void TGasDbForm::CancelButClick() {
    Record.LimitCO2mx = 0;
    reject();
}

void TGasDbForm::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        SelectButClick();
        break;
    case Qt::Key_Escape:
        CancelButClick();
        break;
    case Qt::Key_Left:
        MarkBox->setFocus();
        break;
    case Qt::Key_Right:
        ModelBox->setFocus();
        break;
    default:
        break;
    }
}

void TGasDbForm::FormClose() {
    Table.close();
}

void TGasDbForm::done(int result) {
    // accept, reject, Esc and the window's close button all end here.
    FormClose();
    QDialog::done(result);
}

bool TGasDbForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == MarkBox || watched == ModelBox) && event->type() == QEvent::KeyPress)
        FormKeyDown(static_cast<QKeyEvent*>(event)->key());
    return false; // the list still handles the key itself
}

void TGasDbForm::keyPressEvent(QKeyEvent* event) {
    // A key the focused list left alone comes here too; the list's filter has seen it already.
    const QWidget* focus = focusWidget();
    if (focus != MarkBox && focus != ModelBox)
        FormKeyDown(event->key());
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return; // SELECT and CANCEL did their part
    default:
        QDialog::keyPressEvent(event);
    }
}

namespace vz {
void runVehicleChoice(QWidget* owner, SelectedVehicle& record) {
    auto* form = new TGasDbForm(owner, record);
    form->exec();
    delete form;
}
} // namespace vz
