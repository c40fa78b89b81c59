// The reading labels' text at a device-pixel ratio other than 1. Qt's raster engine keeps
// glyphs as images only below 64 device pixels; larger text is drawn from the glyphs'
// outlines every time, through the font's hinting and curve flattening. The readings in chart
// view are set at W div 21 points (44 pixels in a 707-pixel window): at 150 % that is 66
// device pixels, and every new reading would cost its outlines again. Such a label keeps an
// image of each glyph it has drawn, made once from the same outline, and places the images
// where the text layout puts the glyphs (kerning included), each on a whole device pixel.
#include "TLabel.h"

#include <QFontInfo>
#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

namespace {

// The raster engine's own limit: glyphs at or above this many device pixels are not cached.
constexpr qreal kLargestCachedGlyphPx = 64;

} // namespace

void TLabel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!paintFromGlyphImages(p)) {
        p.end();
        QLabel::paintEvent(event);
    }
}

bool TLabel::paintFromGlyphImages(QPainter& p) {
    // The ratio the painter really draws at (a widget rendered into an image of its own ratio
    // included).
    const qreal ratio = qAbs(p.deviceTransform().m22());
    if (qFuzzyCompare(ratio, 1) || text().isEmpty() ||
        QFontInfo(font()).pixelSize() * ratio < kLargestCachedGlyphPx)
        return false;
    const QColor colour =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());

    // One line placed in the contents as QLabel's plain text is (its alignment, no margin), in
    // one face: a text that needs a fallback face for some character is left to QLabel.
    QTextLayout layout(text(), font(), this);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = line.isValid() ? line.glyphRuns() : QList<QGlyphRun>();
    if (runs.size() != 1)
        return false;
    const QGlyphRun& run = runs.front();
    const QRawFont face = run.rawFont();
    if (face != GlyphsFace || ratio != GlyphsRatio || colour != GlyphsColour) {
        Glyphs.clear();
        GlyphsFace = face;
        GlyphsRatio = ratio;
        GlyphsColour = colour;
    }
    const QRectF r = contentsRect();
    const Qt::Alignment a = QStyle::visualAlignment(layoutDirection(), alignment());
    QPointF origin = r.topLeft();
    if (a & Qt::AlignRight)
        origin.rx() += r.width() - line.naturalTextWidth();
    else if (a & Qt::AlignHCenter)
        origin.rx() += (r.width() - line.naturalTextWidth()) / 2;
    if (a & Qt::AlignBottom)
        origin.ry() += r.height() - line.height();
    else if (a & Qt::AlignVCenter)
        origin.ry() += (r.height() - line.height()) / 2;

    const QTransform toDevice = p.deviceTransform();
    const QTransform fromDevice = toDevice.inverted();
    const QList<quint32> indexes = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        auto found = Glyphs.find(indexes[i]);
        if (found == Glyphs.end()) {
            GlyphImage glyph;
            const QPainterPath path = face.pathForGlyph(indexes[i]);
            const QRectF box = path.boundingRect();
            if (!box.isEmpty()) {
                const QRect device = QRectF(box.topLeft() * ratio, box.bottomRight() * ratio)
                                         .toAlignedRect()
                                         .adjusted(-1, -1, 1, 1);
                glyph.image = QImage(device.size(), QImage::Format_ARGB32_Premultiplied);
                glyph.image.fill(Qt::transparent);
                QPainter g(&glyph.image);
                g.setRenderHint(QPainter::Antialiasing);
                g.translate(-device.topLeft());
                g.scale(ratio, ratio);
                g.fillPath(path, colour);
                g.end();
                glyph.image.setDevicePixelRatio(ratio);
                glyph.offset = device.topLeft();
            }
            found = Glyphs.insert(indexes[i], glyph);
        }
        if (found->image.isNull())
            continue; // a space
        // The glyph's origin on a whole device pixel of whatever the painter draws on.
        const QPointF at = toDevice.map(origin + positions[i]);
        const QPointF device(std::round(at.x()) + found->offset.x(), std::round(at.y()) + found->offset.y());
        p.drawImage(fromDevice.map(device), found->image);
    }
    return true;
}
