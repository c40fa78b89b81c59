#pragma once
// A label that sizes itself to its text and font, as the station's labels always have.
// A right-aligned label keeps its right edge when a new text or font changes its width,
// so the value labels grow and shrink toward the left between two layouts.
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QRawFont>

class QPainter;

class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(const QString& caption, QWidget* parent, bool rightAligned = false)
        : QLabel(caption, parent), FRightAligned(rightAligned) {
        setMargin(0);
        setIndent(0);
        setAlignment(rightAligned ? (Qt::AlignRight | Qt::AlignVCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
        setTextFormat(Qt::PlainText);
        adjustSize();
    }

    void setCaption(const QString& caption) {
        if (caption == text())
            return;
        const int right = x() + width();
        setText(caption);
        resizeToText(right);
    }

    void setFontSize(int points) {
        QFont f = font();
        if (f.pointSize() == points)
            return;
        f.setPointSize(points > 0 ? points : 1);
        const int right = x() + width();
        setFont(f);
        resizeToText(right);
    }

    // How many glyph images the label keeps (none while QLabel draws its text).
    qsizetype keptGlyphCount() const { return Glyphs.size(); }

protected:
    // Text too large for the raster engine's glyph cache at a device-pixel ratio other than 1
    // is drawn from glyph images the label keeps (TLabel.cpp); anything else as QLabel draws it.
    void paintEvent(QPaintEvent* event) override;

private:
    struct GlyphImage {
        QImage image;  // the glyph in the label's colour, at the device-pixel ratio
        QPoint offset; // device pixels from the glyph's origin to the image's top left
    };
    bool paintFromGlyphImages(QPainter& p);
    QHash<quint32, GlyphImage> Glyphs; // by glyph index, for GlyphsFace/-Ratio/-Colour
    QRawFont GlyphsFace;
    qreal GlyphsRatio = 0;
    QColor GlyphsColour;

    void resizeToText(int right) {
        // A reading's new text mostly has the width of the old one: then nothing is resized or
        // moved, and the label only repaints its text.
        const QSize wanted = sizeHint();
        if (wanted.isValid() && wanted == size())
            return;
        adjustSize();
        if (FRightAligned)
            move(right - width(), y());
    }

    bool FRightAligned;
};
