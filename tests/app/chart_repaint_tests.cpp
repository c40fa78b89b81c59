// The chart repaints only the tubes that moved: the picture after such a partial repaint must
// be the picture of a full repaint, and a tube's change must not reach into another's slot.
#include "TChart.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <random>

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);

QImage fullPaint(int c, int ch, const std::array<int, 4>& values) {
    QImage image(c, ch, QImage::Format_RGB32);
    image.fill(kSilver);
    QPainter p(&image);
    paintChart(p, c, ch, values);
    return image;
}

// What the window system shows after `before` was painted and only the changed region
// was filled with the background and painted again with `after`.
QImage partialRepaint(int c, int ch, const std::array<int, 4>& before, const std::array<int, 4>& after) {
    QImage image = fullPaint(c, ch, before);
    QPainter p(&image);
    p.setClipRegion(changedChartRegion(c, ch, before, after));
    p.fillRect(image.rect(), kSilver);
    paintChart(p, c, ch, after);
    return image;
}

TEST(ChartRepaint, APartialRepaintGivesTheFullPicture) {
    std::mt19937 random(7);
    const QSize sizes[] = {{557, 372}, {300, 200}, {1525, 1018}, {8, 6}};
    // Values over the whole axis, beyond it, at zero, and the small steps of the animation.
    std::uniform_int_distribution<int> any(0, 700);
    std::uniform_int_distribution<int> step(-12, 12);
    std::uniform_int_distribution<int> pick(0, 5);
    for (const QSize size : sizes) {
        for (int trial = 0; trial < 25; ++trial) {
            std::array<int, 4> before{}, after{};
            for (int i = 0; i < 4; ++i) {
                before[i] = pick(random) == 0 ? 0 : any(random);
                switch (pick(random)) {
                case 0:
                    after[i] = before[i];
                    break;
                case 1:
                    after[i] = 0;
                    break;
                case 2:
                    after[i] = any(random);
                    break;
                default:
                    after[i] = std::max(0, before[i] + step(random));
                    break;
                }
            }
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " trial " << trial);
            ASSERT_EQ(partialRepaint(size.width(), size.height(), before, after),
                      fullPaint(size.width(), size.height(), after));
        }
    }
}

TEST(ChartRepaint, OnlyTheTubesThatMovedAreRepainted) {
    const int c = 557, ch = 372;
    const std::array<int, 4> before{100, 200, 300, 400};
    EXPECT_TRUE(changedChartRegion(c, ch, before, before).isEmpty());

    const auto tubes = chartTubes(c, ch, before);
    for (int i = 0; i < 4; ++i) {
        std::array<int, 4> after = before;
        after[i] += 3; // one animation step of one tube
        const QRect changed = changedChartRegion(c, ch, before, after).boundingRect();
        SCOPED_TRACE(i);
        EXPECT_FALSE(changed.isEmpty());
        // Within the tube's own slot, and a few rows high rather than the tube's height.
        EXPECT_GE(changed.left(), i * (c / 4));
        EXPECT_LE(changed.right(), (i + 1) * (c / 4));
        EXPECT_LT(changed.height(), tubes[i].tube.height() / 4);
    }
}

} // namespace
