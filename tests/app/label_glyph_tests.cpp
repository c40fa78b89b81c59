// Large text at a device-pixel ratio other than 1 is drawn from glyph images the label keeps
// (Qt's raster engine would draw it from the outlines every time). The picture must be the
// one QLabel draws, but for each glyph sitting on a whole device pixel; at ratio 1 and for
// small text nothing changes at all.
#include "TLabel.h"
#include "layout_test_support.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage rendered(QWidget& label, qreal ratio) {
    QImage image((QSizeF(label.size()) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The device pixels the text darkens, and how much ink it puts down in all.
struct Ink {
    QRect box;
    qint64 total = 0;
};
Ink inkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int dark = 255 - qGray(image.pixel(x, y));
            if (dark > 32)
                ink.box |= QRect(x, y, 1, 1);
            ink.total += dark;
        }
    return ink;
}

} // namespace

TEST(LabelGlyphs, LargeTextIsDrawnAsQLabelDrawsIt) {
    vz::test::layoutApp();
    const char* texts[] = {"0.503", "14.43", " 0865", "1.001", "CO %", "AVAWA", "RPM"};
    for (const bool right : {false, true})
        for (const int points : {12, 40})
            for (const char* text : texts) {
                QFont font(QStringLiteral("Liberation Sans"));
                font.setBold(true);
                font.setPointSize(points);
                TLabel label(QString::fromLatin1(text), nullptr, right);
                label.setFont(font);
                label.adjustSize();
                QLabel reference(QString::fromLatin1(text));
                reference.setFont(font);
                reference.setMargin(0);
                reference.setIndent(0);
                reference.setAlignment(label.alignment());
                reference.resize(label.size());
                for (const qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
                    SCOPED_TRACE(QStringLiteral("\"%1\" %2 pt at %3, %4")
                                     .arg(QString::fromLatin1(text))
                                     .arg(points)
                                     .arg(ratio)
                                     .arg(right ? "right" : "left")
                                     .toStdString());
                    const QImage mine = rendered(label, ratio);
                    const QImage qt = rendered(reference, ratio);
                    if (ratio == 1.0 || points * ratio * 96 / 72 < 64) {
                        EXPECT_EQ(mine, qt) << "drawn by QLabel itself";
                        EXPECT_EQ(label.keptGlyphCount(), 0);
                        continue;
                    }
                    EXPECT_GT(label.keptGlyphCount(), 0) << "drawn from the kept glyph images";
                    const Ink a = inkOf(mine), b = inkOf(qt);
                    ASSERT_FALSE(b.box.isEmpty());
                    EXPECT_LE(qAbs(a.box.left() - b.box.left()), 1);
                    EXPECT_LE(qAbs(a.box.right() - b.box.right()), 1);
                    EXPECT_LE(qAbs(a.box.top() - b.box.top()), 1);
                    EXPECT_LE(qAbs(a.box.bottom() - b.box.bottom()), 1);
                    EXPECT_NEAR(double(a.total), double(b.total), 0.03 * double(b.total));
                    EXPECT_EQ(rendered(label, ratio), mine) << "the kept glyphs draw the same again";
                }
            }
}
