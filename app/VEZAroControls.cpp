// The main window's controls with their design texts, fonts, colours, visibility and tab
// order. Positions and sizes are set by RestWin.
#include "LayoutMetrics.h"
#include "TChart.h"
#include "TLabel.h"
#include "VEZAro.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
constexpr QRgb clRed = 0xFF0000, clLime = 0x00FF00, clYellow = 0xFFFF00, clAqua = 0x00FFFF,
               clBlack = 0x000000, clWhite = 0xFFFFFF, clNavy = 0x000080, clSilver = 0xC0C0C0,
               clWindowText = 0x000000;
const QString kAvantGarde = QStringLiteral("AvantGarde Md BT");
const QString kArial = QStringLiteral("Arial");
const QString kLucida = QStringLiteral("Lucida Sans Unicode");

QFont boldFont(const QString& family, int points = 8) {
    QFont f(family);
    f.setBold(true);
    f.setPointSize(points);
    return f;
}

void setColours(QWidget* w, QRgb text, std::optional<QRgb> background) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor::fromRgb(text));
    if (background) {
        p.setColor(QPalette::Window, QColor::fromRgb(*background));
        w->setAutoFillBackground(true);
    } else {
        w->setAutoFillBackground(false); // transparent
    }
    w->setPalette(p);
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QFont& font) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setFont(font);
    return b;
}
} // namespace

// The design's faces are Windows fonts. Where they are missing, map them to installed faces of
// similar width (Liberation Sans is metric-compatible with Arial) rather than to the
// platform's wide default, so the readings row keeps its proportions.
static void substituteDesignFonts() {
    QFont::insertSubstitutions(kAvantGarde,
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(kArial, {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(kLucida, {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

void TMnGASForm::CreateControls() {
    substituteDesignFonts();
    setWindowTitle(QStringLiteral("ZAN GAS ANALISER "));
    setMinimumSize(400, vz::snappedHeight(400)); // the smallest 4:3 window, 400 × 300
    setFont(QFont(kAvantGarde));
    QPalette wp = palette();
    wp.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0)); // button face
    setPalette(wp);
    setAutoFillBackground(true);

    Chart1 = new TChart(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->move(0, 0);

    auto label = [this](int n, QWidget* parent, const QString& caption, const QFont& font, QRgb text,
                        std::optional<QRgb> background, bool right = false, bool visible = true) {
        auto* l = new TLabel(caption, parent, right);
        l->setObjectName(QStringLiteral("Label%1").arg(n));
        l->setFont(font);
        setColours(l, text, background);
        l->adjustSize();
        l->setVisible(visible);
        Labels[n] = l;
        return l;
    };
    const QFont ag = boldFont(kAvantGarde);
    // Headings of the readings row.
    label(1, this, QStringLiteral("CO %"), ag, clRed, std::nullopt);
    label(2, this, QStringLiteral("CO"), ag, clLime, std::nullopt);
    label(6, this, QStringLiteral("2"), ag, clLime, std::nullopt);
    label(7, this, QStringLiteral("%"), ag, clLime, std::nullopt);
    label(3, this, QStringLiteral("HC"), ag, clYellow, std::nullopt);
    label(10, this, QStringLiteral("PPM"), ag, clYellow, std::nullopt);
    label(4, this, QStringLiteral("O"), ag, clAqua, std::nullopt);
    label(8, this, QStringLiteral("2"), ag, clAqua, std::nullopt);
    label(9, this, QStringLiteral("%"), ag, clAqua, std::nullopt);
    label(5, this, QStringLiteral("RPM"), ag, clBlack, std::nullopt);
    // Values.
    label(11, this, QStringLiteral("0.000"), ag, clRed, clBlack, true);
    label(12, this, QStringLiteral("00.00"), ag, clLime, clBlack, true);
    label(13, this, QStringLiteral(" 0000"), ag, clYellow, clBlack, true);
    label(14, this, QStringLiteral("00.00"), ag, clAqua, clBlack, true);
    label(15, this, QStringLiteral(" 0000"), ag, clWhite, clBlack, true);
    label(45, this, QStringLiteral("Label45"), boldFont(kArial), clBlack, vz::kButtonFace, false, false);
    label(46, this, QStringLiteral(" 0000"), ag, clWhite, clNavy);
    label(47, this, QStringLiteral("Lambda Factor"), boldFont(kArial), clNavy, std::nullopt);
    label(42, this, QStringLiteral("oC"), boldFont(kArial), clNavy, std::nullopt, false, false);
    label(43, this, QStringLiteral("Oil TEMP"), boldFont(kArial), clNavy, std::nullopt);
    label(44, this, QStringLiteral("000.0"), boldFont(kArial), clWhite, clNavy, false, false);
    Labels[15]->setCursor(Qt::PointingHandCursor);
    Labels[5]->setCursor(Qt::PointingHandCursor);
    Labels[5]->installEventFilter(this);
    Labels[15]->installEventFilter(this);

    // Scale labels and limit markers on the chart.
    const char* coScale[] = {"__1", "__2", "__3", "__4", "__5"};
    for (int i = 0; i < 5; ++i) {
        label(16 + i, Chart1, QString::fromLatin1(coScale[i]), ag, clWindowText, clSilver);
        label(27 + i, Chart1, QString::fromLatin1(coScale[i]), ag, clWindowText, clSilver);
    }
    for (int i = 0; i < 6; ++i)
        label(21 + i, Chart1, QStringLiteral("__%1").arg(10 + i), ag, clWindowText, clSilver);
    const char* hcScale[] = {"__200", "__400", "__600", "__800", "_1000"};
    for (int i = 0; i < 5; ++i)
        label(32 + i, Chart1, QString::fromLatin1(hcScale[i]), ag, clWindowText, clSilver);
    const QFont ms = boldFont(QStringLiteral("MS Sans Serif"));
    const char* markers[] = {"<1.32", "<1.80", "<12.50", "<150", "<2.50"};
    for (int i = 0; i < 5; ++i)
        label(37 + i, Chart1, QString::fromLatin1(markers[i]), ms, clBlack, clRed, false, false);

    // Buttons and the right-hand column.
    const QFont lucida = boldFont(kLucida);
    Button1 = makeButton(this, QStringLiteral("Button1"), QStringLiteral("F1   BASE"), lucida);
    Button2 = makeButton(this, QStringLiteral("Button2"), QStringLiteral("F2 START"), lucida);
    Button3 = makeButton(this, QStringLiteral("Button3"), QStringLiteral("F3  ZERO"), lucida);
    Button4 = makeButton(this, QStringLiteral("Button4"), QStringLiteral("F4 PRINT"), lucida);
    Button4->setVisible(false);
    SettingsButton = makeButton(this, QStringLiteral("SettingsButton"), QStringLiteral("SETTINGS"), lucida);
    HelpButton = makeButton(this, QStringLiteral("HelpButton"), QStringLiteral("HELP"), lucida);
    AboutButton = makeButton(this, QStringLiteral("AboutButton"), QStringLiteral("About"), font());
    ViewButton = makeButton(this, QStringLiteral("ViewButton"), QStringLiteral("View"), font());

    GASBox = new QComboBox(this);
    GASBox->setObjectName(QStringLiteral("GASBox"));
    GASBox->setEditable(true);
    GASBox->setInsertPolicy(QComboBox::NoInsert);
    GASBox->addItems({QStringLiteral("BENZIN"), QStringLiteral(" LPG"), QStringLiteral("METAN")});
    GASBox->setFont(boldFont(kArial));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 80);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);

    RPMGroup = new QGroupBox(QStringLiteral("RPM CONST"), this);
    RPMGroup->setObjectName(QStringLiteral("RPMGroup"));
    QFont groupFont = boldFont(kAvantGarde);
    groupFont.setPixelSize(17);
    RPMGroup->setFont(groupFont);
    RPMGroup->resize(122, 113);
    auto* groupLayout = new QVBoxLayout(RPMGroup);
    auto* buttons = new QButtonGroup(RPMGroup);
    const char* items[] = {"RPM / 1", "RPM / 2", "Vacuum"};
    for (int i = 0; i < 3; ++i) {
        RPMGroupItems[i] = new QRadioButton(QString::fromLatin1(items[i]), RPMGroup);
        groupLayout->addWidget(RPMGroupItems[i]);
        buttons->addButton(RPMGroupItems[i], i);
    }
    RPMGroupItems[0]->setChecked(true);
    RPMGroup->setVisible(false);
    RPMGroup->installEventFilter(this); // a click on its caption or blank part
    connect(buttons, &QButtonGroup::idClicked, this, [this](int id) { RPMGroupClick(id); });

    // Tab order: Button2, Button3, SettingsButton, AboutButton, Button1, ProgressBar1,
    // RPMGroup, GASBox, ViewButton, Button4, HelpButton. The chart takes no focus.
    Chart1->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {Button2,          Button3, SettingsButton, AboutButton, Button1,
                        RPMGroupItems[0], GASBox,  ViewButton,     Button4,     HelpButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget* w : order)
        w->installEventFilter(this); // function keys reach FormKeyDown from every control

    // A sensible place for everything until the first layout.
    resize(707, 515);
    RestWin(); // a hidden window gets no resize event until it is shown
}
