#include "TChart.h"

#include <QPainter>

std::array<TubeGeometry, 4> chartTubes(int c, int ch, const std::array<int, 4>& values) {
    std::array<TubeGeometry, 4> tubes;
    const int slot = c / 4;
    const int width = slot * 55 / 100;
    const int ellipseH = qMax(4, width / 5); // depth of 20 % of the bar width
    const int top = ellipseH / 2;
    const int bottom = ch - ellipseH / 2 - 1;
    const int span = qMax(1, bottom - top);
    for (int i = 0; i < 4; ++i) {
        const int left = i * slot + (slot - width) / 2;
        tubes[i].tube = QRect(left, top, width, span + 1); // rows top..bottom inclusive
        tubes[i].fillTop = bottom - values[i] * span / 600;
        tubes[i].ellipseH = ellipseH;
        tubes[i].colour = QColor::fromRgb(TChart::kPointColours[i]);
    }
    return tubes;
}

TChart::TChart(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0)); // silver
    setPalette(p);
}

void TChart::setSeries1(const std::array<int, 4>& values) {
    if (values == FSeries1)
        return;
    FSeries1 = values;
    update();
}

std::array<int, 4> TChart::series2() const {
    std::array<int, 4> rest;
    for (int i = 0; i < 4; ++i)
        rest[i] = 600 - FSeries1[i];
    return rest;
}

void TChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1)); // single border
    for (const TubeGeometry& t : chartTubes(width(), height(), FSeries1)) {
        const QRect& r = t.tube;
        const int eh = t.ellipseH;
        const int bottom = r.bottom();
        const int fillTop = qBound(r.top() - eh, t.fillTop, bottom);
        // The filled part: body, bottom ellipse and the lit top ellipse at the level.
        if (fillTop < bottom) {
            p.setPen(t.colour.darker(150));
            p.setBrush(t.colour.darker(130));
            p.drawEllipse(QRect(r.left(), bottom - eh / 2, r.width(), eh));
            p.setPen(Qt::NoPen);
            QLinearGradient g(r.left(), 0, r.right(), 0);
            g.setColorAt(0, t.colour.darker(140));
            g.setColorAt(0.4, t.colour.lighter(130));
            g.setColorAt(1, t.colour.darker(160));
            p.setBrush(g);
            p.drawRect(QRect(r.left(), fillTop, r.width(), bottom - fillTop));
            p.setPen(t.colour.darker(150));
            p.setBrush(t.colour);
            p.drawEllipse(QRect(r.left(), fillTop - eh / 2, r.width(), eh));
        }
        // Series2, the clear remainder: only the tube's outline.
        p.setBrush(Qt::NoBrush);
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawEllipse(QRect(r.left(), r.top() - eh / 2, r.width(), eh));
        p.drawLine(r.left(), r.top(), r.left(), bottom);
        p.drawLine(r.right(), r.top(), r.right(), bottom);
        p.drawArc(QRect(r.left(), bottom - eh / 2, r.width(), eh), 180 * 16, 180 * 16);
    }
}
