#include "AboutZAN.h"
#include "VzVersion.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

namespace {

QFrame* colouredPanel(QWidget* parent, const QString& name, const QColor& colour, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, colour);
    panel->setPalette(pal);
    return panel;
}

QLabel* blackTextLabel(QWidget* parent, const QString& name, const QString& text, const QPoint& at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(QFont(QStringLiteral("Arial"), 8));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    label->move(at);
    label->adjustSize(); // sized to its text, like an auto-sized label
    return label;
}

} // namespace

TAboutBoxForm::TAboutBoxForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("About ZAN GAS TT"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(304, 259);

    // A 3-pixel black frame (Panel1) around the yellow panel that holds everything else.
    Panel1 = colouredPanel(this, QStringLiteral("Panel1"), Qt::black, QRect(0, 0, 304, 259));
    Panel2 = colouredPanel(Panel1, QStringLiteral("Panel2"), QColor(0xFF, 0xFF, 0x00), QRect(3, 3, 298, 253));

    Image2 = new QLabel(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(vz::analyserPicture());
    Image2->setGeometry(12, 0, 287, 129);

    Label4 =
        blackTextLabel(Panel2, QStringLiteral("Label4"),
                       QStringLiteral("Windows based program  for KV 40 MX / KV 50 MX  by."), QPoint(4, 144));

    // The wordmark sits at the top left of its image area, unstretched.
    Image1 = new QLabel(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(vz::makerWordmark());
    Image1->setGeometry(16, 168, 273, 33);

    // The notice line names the version the station runs.
    Label5 = blackTextLabel(Panel2, QStringLiteral("Label5"),
                            QStringLiteral("Version " VZ_VERSION ". Any key or click to continue."),
                            QPoint(52, 224));

    for (QWidget* part :
         {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Panel2), static_cast<QWidget*>(Image2),
          static_cast<QWidget*>(Label4), static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label5)})
        part->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus); // nothing inside takes the focus; the keys come here
}

void TAboutBoxForm::Panel1Click() {
    accept();
}

void TAboutBoxForm::FormKeyDown() {
    accept();
}

void TAboutBoxForm::keyPressEvent(QKeyEvent* event) {
    event->accept();
    FormKeyDown();
}

bool TAboutBoxForm::eventFilter(QObject* watched, QEvent* event) {
    // A click ends with the button's release, wherever on the window it was pressed.
    if (event->type() == QEvent::MouseButtonRelease) {
        Panel1Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBoxForm::showEvent(QShowEvent* event) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
    activateWindow();
    setFocus();
}

namespace vz {

void runAboutCommand(QWidget* owner) {
    TAboutBoxForm box(owner);
    box.exec();
}

} // namespace vz
