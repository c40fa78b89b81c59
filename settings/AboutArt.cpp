// The two pictures of the about box, drawn at run time so the program carries no image files:
// the analyser unit with its display and sampling probe, and the maker's wordmark.
#include "AboutZAN.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor PanelYellow(0xFF, 0xFF, 0x00);

// The instrument: a grey cabinet seen slightly from above and to the right.
void drawCabinet(QPainter& p) {
    // Shadow on the "bench".
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xB0, 0xA8, 0x00));
    p.drawEllipse(QRectF(16, 104, 206, 18));

    // Top face and right-hand face give the box its depth.
    const QPolygonF top({QPointF(22, 20), QPointF(34, 8), QPointF(214, 8), QPointF(202, 20)});
    const QPolygonF side({QPointF(202, 20), QPointF(214, 8), QPointF(214, 100), QPointF(202, 112)});
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0xD8, 0xD8, 0xD8));
    p.drawPolygon(top);
    p.setBrush(QColor(0x80, 0x80, 0x80));
    p.drawPolygon(side);

    QLinearGradient front(0, 20, 0, 112);
    front.setColorAt(0, QColor(0xC8, 0xC8, 0xC8));
    front.setColorAt(1, QColor(0x98, 0x98, 0x98));
    p.setBrush(front);
    p.drawRect(QRectF(22, 20, 180, 92));

    // Feet.
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRect(QRectF(30, 112, 16, 5));
    p.drawRect(QRectF(178, 112, 16, 5));
}

// The reading window: dark glass with four lit readings.
void drawDisplay(QPainter& p) {
    const QRectF bezel(32, 28, 118, 52);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    p.setBrush(QColor(0x10, 0x18, 0x10));
    p.drawRoundedRect(bezel, 3, 3);

    QFont digits(QStringLiteral("DejaVu Sans Mono"));
    digits.setPixelSize(13);
    digits.setBold(true);
    QFont units(QStringLiteral("DejaVu Sans"));
    units.setPixelSize(7);

    struct Reading {
        const char* value;
        const char* unit;
    };
    const Reading readings[] = {{"0.45", "CO %"}, {"14.6", "CO2 %"}, {" 120", "HC ppm"}, {"0.52", "O2 %"}};
    for (int i = 0; i < 4; ++i) {
        const qreal x = bezel.left() + 6 + (i % 2) * 57;
        const qreal y = bezel.top() + 5 + (i / 2) * 23;
        p.setPen(QColor(0x40, 0xFF, 0x70));
        p.setFont(digits);
        p.drawText(QRectF(x, y, 40, 15), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(readings[i].value));
        p.setPen(QColor(0x30, 0xA0, 0x50));
        p.setFont(units);
        p.drawText(QRectF(x, y + 14, 48, 8), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(readings[i].unit));
    }
}

// Keys, a power lamp, a ventilation grille and the model plate.
void drawControls(QPainter& p) {
    const QColor keyColours[] = {QColor(0x20, 0x80, 0x20), QColor(0xC0, 0x20, 0x20), QColor(0x20, 0x40, 0xA0),
                                 QColor(0xE0, 0xE0, 0xE0)};
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(keyColours[i]);
        p.drawRoundedRect(QRectF(160 + (i % 2) * 20, 32 + (i / 2) * 20, 14, 12), 2, 2);
    }
    p.setBrush(QColor(0xFF, 0x30, 0x20)); // power lamp
    p.drawEllipse(QRectF(186, 94, 7, 7));

    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.5));
    for (int i = 0; i < 6; ++i)
        p.drawLine(QPointF(34, 90 + i * 3.5), QPointF(96, 90 + i * 3.5));

    QFont plate(QStringLiteral("DejaVu Sans"));
    plate.setPixelSize(9);
    plate.setBold(true);
    p.setFont(plate);
    p.setPen(QColor(0x20, 0x20, 0x50));
    p.drawText(QRectF(106, 88, 76, 18), Qt::AlignCenter, QStringLiteral("KV 50 MX"));
}

// The sampling hose from the side of the cabinet to the steel probe.
void drawProbe(QPainter& p) {
    QPainterPath hose(QPointF(214, 78));
    hose.cubicTo(QPointF(250, 86), QPointF(262, 120), QPointF(270, 96));
    hose.cubicTo(QPointF(276, 78), QPointF(262, 56), QPointF(262, 44));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x18, 0x18, 0x18), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(hose);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(hose.translated(-1, -1.5));

    // Hose fitting on the cabinet, the probe's handle and its steel tube.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    p.drawRect(QRectF(212, 74, 6, 9));
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRoundedRect(QRectF(256, 30, 12, 16), 3, 3);
    QLinearGradient steel(262, 0, 268, 0);
    steel.setColorAt(0, QColor(0xF0, 0xF0, 0xF0));
    steel.setColorAt(1, QColor(0x90, 0x90, 0x90));
    p.setBrush(steel);
    p.drawRect(QRectF(260, 4, 4, 27));
}

} // namespace

namespace vz {

QPixmap analyserPicture() {
    QImage image(287, 129, QImage::Format_RGB888);
    image.fill(PanelYellow);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawCabinet(p);
    drawDisplay(p);
    drawControls(p);
    drawProbe(p);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap makerWordmark() {
    QImage image(264, 27, QImage::Format_RGB32);
    image.fill(PanelYellow);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Three heavy slanted letters, with red speed lines running into them from the left.
    const QColor navy(0x00, 0x00, 0x80);
    const QColor red(0xFF, 0x00, 0x00);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(2 + i * 6, 6 + i * 6, 34 - i * 6, 3));

    QFont letters(QStringLiteral("DejaVu Sans"));
    letters.setPixelSize(26);
    letters.setWeight(QFont::Black);
    letters.setItalic(true);
    letters.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    QPainterPath word;
    word.addText(QPointF(40, 24), letters, QStringLiteral("ZAN"));
    p.setBrush(navy);
    p.setPen(QPen(Qt::black, 1));
    p.drawPath(word);

    p.setPen(red);
    p.drawLine(QPointF(112, 22), QPointF(262, 22));
    QFont tag(QStringLiteral("DejaVu Sans"));
    tag.setPixelSize(11);
    tag.setBold(true);
    p.setFont(tag);
    p.setPen(navy);
    p.drawText(QRectF(112, 4, 150, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("GAS ANALYSERS"));
    p.end();

    // The wordmark is a 16-colour picture: reduce it to the classic 16-colour palette.
    const QList<QRgb> palette16 = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return QPixmap::fromImage(image.convertToFormat(QImage::Format_Indexed8, palette16, Qt::ThresholdDither));
}

} // namespace vz
