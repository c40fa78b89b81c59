// The chart repaints only the tubes that moved: the picture after such a partial repaint must
// be the picture of a full repaint, and a tube's change must not reach into another's slot.
// The pictures are painted as a window's backing store holds them at the device-pixel ratios
// of 100 % to 200 % desktops, with the chart at a place in the window where its logical
// pixels do not start on device pixels.
#include "TChart.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);
const qreal kRatios[] = {1, 1.25, 1.5, 1.75, 2};
// Where the chart sits in its window (logical pixels); at 125 % and 175 % the odd place puts
// the chart's origin a quarter of a device pixel off the grid, at 150 % half of one.
const QPoint kPlaces[] = {{0, 0}, {3, 7}};
constexpr int kMargin = 5; // window around the chart, right and below

// A logical region in device pixels, as the backing store clips a widget's paint event:
// each rectangle's edges scaled by the ratio and rounded to the nearest device pixel.
QRegion toDevicePixels(const QRegion& logical, qreal ratio) {
    QRegion device;
    for (const QRect& r : logical) {
        const int x1 = qRound(r.x() * ratio), y1 = qRound(r.y() * ratio);
        const int x2 = qRound((r.x() + r.width()) * ratio), y2 = qRound((r.y() + r.height()) * ratio);
        device += QRect(x1, y1, x2 - x1, y2 - y1);
    }
    return device;
}

// A window's backing store at `ratio` holding the chart of `size` at `place`.
struct Window {
    QSize size;
    QPoint place;
    QImage image;

    Window(QSize chartSize, QPoint at, qreal ratio) : size(chartSize), place(at) {
        const QSize logical(at.x() + size.width() + kMargin, at.y() + size.height() + kMargin);
        image =
            QImage(qRound(logical.width() * ratio), qRound(logical.height() * ratio), QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::black);
    }

    // The chart's paint event for the region `changed` (chart coordinates), or for the
    // whole chart: the background, then the chart, clipped to the device pixels of the region.
    void paint(const std::array<int, 4>& values, const QRegion& changed = QRegion()) {
        const QRect chart(QPoint(0, 0), size);
        const QRegion area = changed.isEmpty() ? QRegion(chart) : changed & chart;
        const qreal ratio = image.devicePixelRatio();
        QPainter p(&image);
        p.setTransform(QTransform::fromScale(1 / ratio, 1 / ratio)); // a clip in device pixels
        p.setClipRegion(toDevicePixels(area.translated(place), ratio));
        p.resetTransform();
        p.translate(place);
        p.fillRect(chart, kSilver);
        // What the widget's paint event hands over: the logical region, the parts outside it
        // not drawn at all.
        paintChart(p, size.width(), size.height(), values, area);
    }
};

// Values over the whole axis, beyond it, at zero, and the small steps of the animation.
std::array<int, 4> nextValues(std::mt19937& random, const std::array<int, 4>& before) {
    std::uniform_int_distribution<int> any(0, 700);
    std::uniform_int_distribution<int> step(-12, 12);
    std::uniform_int_distribution<int> pick(0, 5);
    std::array<int, 4> after{};
    for (int i = 0; i < 4; ++i) {
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
    return after;
}

// The first device pixel that differs, for the failure message.
QString firstDifference(const QImage& a, const QImage& b) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("(%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return QStringLiteral("none");
}

TEST(ChartRepaint, PartialRepaintsGiveTheFullPictureAtEveryRatio) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(0, 700);
    const QSize sizes[] = {{557, 372}, {300, 200}, {1525, 1018}, {8, 6}};
    for (const qreal ratio : kRatios) {
        for (const QPoint place : kPlaces) {
            for (const QSize size : sizes) {
                // A run of animation steps, each repainting only its changed region, checked
                // against a full repaint of the same state after every step.
                const int steps = size.width() > 1000 ? 6 : 20;
                std::array<int, 4> values{any(random), any(random), 0, any(random)};
                Window window(size, place, ratio);
                window.paint(values);
                for (int step = 0; step < steps; ++step) {
                    const std::array<int, 4> after = nextValues(random, values);
                    window.paint(after, changedChartRegion(size.width(), size.height(), values, after));
                    values = after;
                    Window full(size, place, ratio);
                    full.paint(values);
                    SCOPED_TRACE(testing::Message()
                                 << "ratio " << ratio << ", chart " << size.width() << "x" << size.height()
                                 << " at " << place.x() << "," << place.y() << ", step " << step
                                 << ", values " << values[0] << " " << values[1] << " " << values[2] << " "
                                 << values[3]);
                    ASSERT_TRUE(window.image == full.image)
                        << firstDifference(window.image, full.image).toStdString();
                }
            }
        }
    }
}

TEST(ChartRepaint, TheFilledBodyHasNoSeamsAtAnyRatio) {
    // The body's gradient runs across the tube, so every device row of its interior, away from
    // the end ellipses, must be the same as the next, whatever the level and the ratio.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> high(350, 700);
    const QSize sizes[] = {{557, 372}, {1525, 1018}};
    for (const qreal ratio : kRatios) {
        for (const QPoint place : kPlaces) {
            for (const QSize size : sizes) {
                for (int trial = 0; trial < 4; ++trial) {
                    const std::array<int, 4> values{600, high(random), high(random), high(random)};
                    Window window(size, place, ratio);
                    window.paint(values);
                    const QImage& image = window.image;
                    const auto tubes = chartTubes(size.width(), size.height(), values);
                    for (int i = 0; i < 4; ++i) {
                        const TubeGeometry& t = tubes[i];
                        const int eh = t.ellipseH;
                        // Logical rows clear of both ellipses and their outlines, in device rows.
                        const int top =
                            std::ceil((place.y() + std::max(t.fillTop, t.tube.top()) + eh + 2) * ratio);
                        const int bottom = std::floor((place.y() + t.tube.bottom() - eh - 2) * ratio);
                        const int left = std::floor((place.x() + t.tube.left() - 2) * ratio);
                        const int right = std::ceil((place.x() + t.tube.right() + 2) * ratio);
                        SCOPED_TRACE(testing::Message()
                                     << "ratio " << ratio << ", chart " << size.width() << "x"
                                     << size.height() << " at " << place.x() << "," << place.y() << ", tube "
                                     << i << " at " << values[i]);
                        ASSERT_GT(bottom - top, 64 * ratio); // the body spans more than one band
                        for (int y = top + 1; y <= bottom; ++y) {
                            for (int x = left; x <= right; ++x) {
                                if (image.pixel(x, y) != image.pixel(x, top)) {
                                    ADD_FAILURE()
                                        << "device row " << y << " differs from row " << top << " at column "
                                        << x << ": " << std::hex << image.pixel(x, y) << " instead of "
                                        << image.pixel(x, top);
                                    return;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

int processThreads() {
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

TEST(ChartRepaint, PaintingALargeChartStartsNoThreads) {
    // The raster engine splits a large fill among pool threads, which then stay for a while;
    // the chart is drawn on the GUI thread alone. The painting runs in a fresh process, so that
    // no thread left by another test hides one that the chart would start.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int before = processThreads();
            int after = before;
            for (const qreal ratio : kRatios) {
                Window window(QSize(1920, 1080), QPoint(0, 0), ratio);
                window.paint({600, 450, 300, 20});
                window.paint({590, 460, 0, 700},
                             changedChartRegion(1920, 1080, {600, 450, 300, 20}, {590, 460, 0, 700}));
                after = std::max(after, processThreads());
                std::fprintf(stderr, "ratio %g: %d threads\n", ratio, processThreads());
            }
            std::fprintf(stderr, "threads before painting %d, after %d\n", before, after);
            std::exit(after > before ? 1 : 0);
        },
        testing::ExitedWithCode(0), "threads before painting");
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
