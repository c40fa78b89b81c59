#include "TChart.h"

#include <QPaintEvent>
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
    // Only the tubes that moved are repainted; the bar animation changes a few rows of one or
    // two tubes per step, and the scale labels and markers over the chart stay as they are.
    const QRegion changed = changedChartRegion(width(), height(), FSeries1, values);
    FSeries1 = values;
    update(changed);
}

std::array<int, 4> TChart::series2() const {
    std::array<int, 4> rest;
    for (int i = 0; i < 4; ++i)
        rest[i] = 600 - FSeries1[i];
    return rest;
}

QRegion changedChartRegion(int c, int ch, const std::array<int, 4>& before, const std::array<int, 4>& after) {
    const std::array<TubeGeometry, 4> was = chartTubes(c, ch, before);
    const std::array<TubeGeometry, 4> now = chartTubes(c, ch, after);
    QRegion changed;
    for (int i = 0; i < 4; ++i) {
        if (before[i] == after[i])
            continue;
        const QRect& r = now[i].tube;
        const int eh = now[i].ellipseH;
        const int bottom = r.bottom();
        // The level as paintChart draws it, and whether the filled part is drawn at all.
        auto level = [&](const TubeGeometry& t) { return qBound(r.top() - eh, t.fillTop, bottom); };
        const int a = level(was[i]);
        const int b = level(now[i]);
        // From the higher level's top ellipse to the lower one's; a level at the bottom takes
        // in the bottom ellipse, which comes and goes with the filled part.
        const int top = qMin(a, b) - eh / 2;
        const int low = qMax(a, b) + eh / 2;
        // The outlines' pen reaches half a pixel beyond the ellipses' rectangles, and
        // antialiasing colours every device pixel an edge passes through. At a fractional
        // device-pixel ratio the window repaints this region rounded to the nearest device
        // pixel, which may leave out half a device pixel on each side. Two logical pixels
        // round the band keep one and a half clear of the outermost edge: enough at any ratio.
        changed += QRect(QPoint(r.left() - 2, top - 2), QPoint(r.right() + 2, low + 2));
    }
    return changed & QRegion(0, 0, c, ch);
}

namespace {

// Fills the tube's body, a gradient that is the same in every row, in bands of at most 64
// device rows. The raster engine hands a gradient fill of about a hundred rows or more to its
// pool threads; the chart is small enough that drawing it on the GUI thread is cheaper than
// waking them at every animation step. The bands are drawn without antialiasing: the engine
// then rounds each band's edges to device rows, and two bands sharing an edge round it alike,
// so they tile exactly at any device-pixel ratio. With antialiasing, an edge between device
// rows (at 125 % or 150 %) would be half covered by each band, and their blend would show as
// a line across the body. At 100 % and 200 % the edges are whole pixels and the fill is the
// same either way.
void fillInBands(QPainter& p, const QRect& r) {
    constexpr int kBandRows = 64;
    const qreal scale = qMax(qreal(1), qAbs(p.deviceTransform().m22()));
    const int band = qMax(1, int(kBandRows / scale)); // logical rows, at most 64 device rows
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = r.top(); y <= r.bottom(); y += band)
        p.drawRect(QRect(r.left(), y, r.width(), qMin(band, r.bottom() - y + 1)));
    p.restore();
}

} // namespace

void paintChart(QPainter& p, int c, int ch, const std::array<int, 4>& values, const QRegion& dirty) {
    // Only what reaches the dirty region is drawn: an animation step repaints a strip of one or
    // two tubes, and stroking the other tubes' outlines (a path of curves at a fractional
    // device-pixel ratio) for pixels the clip throws away would cost most of the step. A part
    // is drawn when its rectangle, grown by the anti-aliased edge, meets the region.
    const auto reaches = [&dirty](const QRect& r) {
        return dirty.isEmpty() || dirty.intersects(r.adjusted(-2, -2, 2, 2));
    };
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(Qt::NoBrush);
    const QRect border = QRect(0, 0, c, ch).adjusted(0, 0, -1, -1);
    if (dirty.isEmpty() || !QRegion(border.adjusted(2, 2, -2, -2)).contains(dirty.boundingRect()))
        p.drawRect(border); // single border
    for (const TubeGeometry& t : chartTubes(c, ch, values)) {
        const QRect& r = t.tube;
        const int eh = t.ellipseH;
        const int bottom = r.bottom();
        if (!reaches(QRect(QPoint(r.left(), r.top() - eh), QPoint(r.right(), bottom + eh))))
            continue;
        const int fillTop = qBound(r.top() - eh, t.fillTop, bottom);
        const QRect bottomEllipse(r.left(), bottom - eh / 2, r.width(), eh);
        // The filled part: body, bottom ellipse and the lit top ellipse at the level.
        if (fillTop < bottom) {
            p.setPen(t.colour.darker(150));
            p.setBrush(t.colour.darker(130));
            if (reaches(bottomEllipse))
                p.drawEllipse(bottomEllipse);
            p.setPen(Qt::NoPen);
            QLinearGradient g(r.left(), 0, r.right(), 0);
            g.setColorAt(0, t.colour.darker(140));
            g.setColorAt(0.4, t.colour.lighter(130));
            g.setColorAt(1, t.colour.darker(160));
            p.setBrush(g);
            fillInBands(p, QRect(r.left(), fillTop, r.width(), bottom - fillTop));
            p.setPen(t.colour.darker(150));
            p.setBrush(t.colour);
            const QRect level(r.left(), fillTop - eh / 2, r.width(), eh);
            if (reaches(level))
                p.drawEllipse(level);
        }
        // Series2, the clear remainder: only the tube's outline.
        p.setBrush(Qt::NoBrush);
        p.setPen(QColor(0x40, 0x40, 0x40));
        const QRect topEllipse(r.left(), r.top() - eh / 2, r.width(), eh);
        if (reaches(topEllipse))
            p.drawEllipse(topEllipse);
        p.drawLine(r.left(), r.top(), r.left(), bottom);
        p.drawLine(r.right(), r.top(), r.right(), bottom);
        if (reaches(bottomEllipse))
            p.drawArc(bottomEllipse, 180 * 16, 180 * 16);
    }
}

void TChart::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintChart(p, width(), height(), FSeries1, event->region());
}
