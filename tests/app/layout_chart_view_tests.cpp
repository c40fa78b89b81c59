// The main window's layout in chart view, on a real window on the offscreen platform.
#include "layout_test_support.h"

#include "LayoutMetrics.h"

#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

using vz::test::bottom;
using vz::test::pointSize;
using vz::test::right;
using vz::test::shownMainWindow;

namespace {

TEST(LayoutChartView, DesignedWidthReproducesTheWorkedExample) {
    auto w = shownMainWindow();
    w->resize(707, 515);
    ASSERT_EQ(w->width(), 707);
    EXPECT_EQ(w->height(), 528);

    EXPECT_EQ(w->Chart1->geometry(), QRect(0, 0, 557, 372));
    EXPECT_EQ(w->Button1->geometry(), QRect(564, 8, 125, 44));
    EXPECT_EQ(w->Button2->geometry(), QRect(564, 60, 125, 44));
    EXPECT_EQ(w->Button3->geometry(), QRect(564, 112, 125, 44));
    EXPECT_EQ(w->GASBox->geometry(), QRect(564, 164, 125, 44));
    EXPECT_EQ(w->ProgressBar1->geometry(), QRect(564, 216, 125, 17));
    EXPECT_EQ(w->Label(45)->pos(), QPoint(564, 241));
    EXPECT_EQ(w->ViewButton->geometry(), QRect(564, 346, 62, 26));
    EXPECT_EQ(w->AboutButton->geometry(), QRect(626, 346, 62, 26));

    const int headingLefts[] = {4, 145, 286, 428, 569};
    const int valueLefts[] = {4, 140, 281, 421, 562};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(w->Label(1 + i)->pos(), QPoint(headingLefts[i], 376));
        EXPECT_EQ(w->Label(11 + i)->pos(), QPoint(valueLefts[i], 430));
        EXPECT_EQ(pointSize(w->Label(1 + i)), 33);
        EXPECT_EQ(pointSize(w->Label(11 + i)), 33);
    }
    EXPECT_EQ(w->Label(16)->pos(), QPoint(104, 294));
    EXPECT_EQ(pointSize(w->Label(16)), 11);

    // Fonts of the column: e for the big buttons and the fuel box, d div 3 for the small ones.
    EXPECT_EQ(pointSize(w->Button1), 16);
    EXPECT_EQ(pointSize(w->GASBox), 16);
    EXPECT_EQ(pointSize(w->ViewButton), 11);
    EXPECT_EQ(pointSize(w->Label(45)), 11);
}

// Expected chart-view geometry, worked from the layout's formulas for a window W wide.
void expectChartViewFormulas(TMnGASForm& w, int W) {
    const int H = (W / 4) * 3, d = W / 21, e = d / 2, U = W / 12, b = W / 6 + 8, A = H - U - 40;
    const int c = W - (b / 5 + b), ch = H - 2 * U - 40, m = c + c / 70;
    const int T = H / 64, B = H / 12;

    EXPECT_EQ(w.height(), H);
    EXPECT_EQ(w.Chart1->geometry(), QRect(0, 0, c, ch));
    QWidget* column[] = {w.Button1, w.Button2, w.Button3, w.GASBox};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(column[i]->geometry(), QRect(m, T + i * (B + T), b, B)) << i;
        EXPECT_EQ(pointSize(column[i]), e) << i;
    }
    const int progressTop = T + 4 * (B + T);
    EXPECT_EQ(w.ProgressBar1->geometry(), QRect(m, progressTop, b, H / 30));
    EXPECT_EQ(w.Label(45)->pos(), QPoint(m, progressTop + H / 30 + T));
    EXPECT_EQ(w.ViewButton->geometry(), QRect(m, ch - H / 20, b / 2, H / 20));
    EXPECT_EQ(w.AboutButton->geometry(), QRect(m + b / 2, ch - H / 20, b / 2, H / 20));

    // Lambda under the status label, its caption under the value.
    EXPECT_EQ(w.Label(46)->pos(), QPoint(m, bottom(w.Label(45)) + T));
    EXPECT_EQ(w.Label(47)->pos(), QPoint(m, bottom(w.Label(46))));
    EXPECT_EQ(pointSize(w.Label(46)), d);
    EXPECT_EQ(pointSize(w.Label(47)), d / 3);

    // The readings row: headings with their subscripts and units, then the values.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.Label(1 + i)->pos(), QPoint((i * W) / 5 + 4, A - U + 4)) << i;
        EXPECT_EQ(w.Label(11 + i)->pos(), QPoint((i * (W - 4)) / 5 + (i == 0 ? 4 : 0), A)) << i;
        EXPECT_EQ(pointSize(w.Label(11 + i)), d) << i;
    }
    EXPECT_EQ(w.Label(6)->pos(), QPoint(right(w.Label(2)), A - U + d));
    EXPECT_EQ(w.Label(7)->pos(), QPoint(right(w.Label(6)), A - U + 4));
    EXPECT_EQ(w.Label(8)->pos(), QPoint(right(w.Label(4)), A - U + d));
    EXPECT_EQ(w.Label(9)->pos(), QPoint(right(w.Label(8)), A - U + 4));
    EXPECT_EQ(w.Label(10)->pos(), QPoint(right(w.Label(3)), A - U + d));
    EXPECT_EQ(pointSize(w.Label(6)), e);
    EXPECT_EQ(pointSize(w.Label(7)), d);
    EXPECT_EQ(w.Label(42)->y(), A + 52);

    // Scale labels, one column a gas.
    struct Scale {
        int first, count, n, sixteenths;
    };
    for (const Scale& s : {Scale{16, 5, 6, 3}, Scale{21, 6, 7, 7}, Scale{27, 5, 6, 15}, Scale{32, 5, 6, 11}})
        for (int i = 0; i < s.count; ++i) {
            const int k = s.count - i;
            EXPECT_EQ(w.Label(s.first + i)->pos(), QPoint((s.sixteenths * c) / 16, (ch * k) / s.n - e))
                << "Label" << s.first + i;
            EXPECT_EQ(pointSize(w.Label(s.first + i)), d / 3);
        }

    EXPECT_EQ(w.RPMGroup->pos(), QPoint(W - 122 - 10, H - 115));
    for (QWidget* hidden : {static_cast<QWidget*>(w.SettingsButton), static_cast<QWidget*>(w.HelpButton),
                            static_cast<QWidget*>(w.Button4), static_cast<QWidget*>(w.Label(42)),
                            static_cast<QWidget*>(w.Label(43)), static_cast<QWidget*>(w.Label(44)),
                            static_cast<QWidget*>(w.RPMGroup)})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
}

TEST(LayoutChartView, EveryWidthKeepsTheFormulas) {
    auto w = shownMainWindow();
    for (int W : {400, 707, 1024, 1280, 1600}) {
        SCOPED_TRACE(W);
        w->resize(W, 100);
        ASSERT_EQ(w->width(), W);
        expectChartViewFormulas(*w, W);
    }
}

TEST(LayoutWindow, ChangingOnlyTheHeightSnapsBackToThreeQuartersOfTheWidth) {
    auto w = shownMainWindow();
    w->resize(800, 600);
    for (int h : {700, 599, 300, 2000}) {
        w->resize(800, h);
        EXPECT_EQ(w->size(), QSize(800, 600)) << h;
    }
    w->resize(803, 600); // the width's remainder is dropped before the 3/4
    EXPECT_EQ(w->size(), QSize(803, 600));
    EXPECT_EQ(w->Chart1->height(), 600 - 2 * (803 / 12) - 40);
}

TEST(LayoutWindow, WidthBelowTheMinimumStaysAtFourHundred) {
    auto w = shownMainWindow();
    w->resize(250, 500);
    EXPECT_EQ(w->size(), QSize(400, 300));
    expectChartViewFormulas(*w, 400);
}

TEST(LayoutWindow, EveryLayoutHidesTheSpeedModeGroup) {
    auto w = shownMainWindow();
    w->RPMGroup->show();
    w->St.Display.RPMGroupVisible = true;
    w->RestWin();
    EXPECT_TRUE(w->RPMGroup->isHidden());
    EXPECT_FALSE(w->St.Display.RPMGroupVisible);
}

TEST(LayoutChartView, LimitMarkersFollowTheLimitsAndMayLeaveTheChart) {
    auto w = shownMainWindow();
    w->resize(707, 528);
    const int ch = 372, e = 16, c = 557;
    vz::SelectedVehicle& v = w->St.Vehicle;
    v.LimitCOmn = 50;   // 0.50 %
    v.LimitCOmx = 1000; // 10 %, above the 6 % top of the CO scale
    v.LimitCO2mx = 50;  // 5.0 %, below the 9 % foot of the CO2 scale
    v.LimitCHmx = 300;  // ppm
    v.LimitO2mx = 200;  // 2 %
    w->RestWin();

    EXPECT_EQ(w->Label(37)->pos(), QPoint((3 * c) / 16, ch - (50 * ch) / 600 - e));
    EXPECT_EQ(w->Label(38)->pos(), QPoint((3 * c) / 16, ch - (1000 * ch) / 600 - e));
    EXPECT_EQ(w->Label(39)->pos(), QPoint((7 * c) / 16, ch - (-40 * ch) / 70 - e));
    EXPECT_EQ(w->Label(40)->pos(), QPoint((11 * c) / 16, ch - (300 * ch) / 1200 - e));
    EXPECT_EQ(w->Label(41)->pos(), QPoint((15 * c) / 16, ch - (200 * ch) / 600 - e));
    EXPECT_GT(w->Label(39)->y(), ch);
    EXPECT_LT(w->Label(38)->y(), 0);
    // Off the chart the markers keep their size: they are neither clipped nor pulled back.
    EXPECT_EQ(w->Label(38)->size(), w->Label(38)->sizeHint());
    EXPECT_EQ(w->Label(39)->size(), w->Label(39)->sizeHint());

    // A new vehicle moves them on the next layout.
    v.LimitCO2mx = 160;
    w->RestWin();
    EXPECT_EQ(w->Label(39)->y(), ch - (70 * ch) / 70 - e);
}

TEST(LayoutChartView, ValueLabelsStartAtTheirColumnAgainAfterAWiderReading) {
    auto w = shownMainWindow();
    w->resize(707, 528);
    TLabel* hc = w->Label(13);
    const int rightEdge = right(hc);
    hc->setCaption(QStringLiteral("99999"));
    ASSERT_EQ(right(hc), rightEdge); // grew toward the left
    ASSERT_LT(hc->x(), 281);
    w->RestWin();
    EXPECT_EQ(hc->x(), 281);
}

// The same controls show as in the expected snapshot, with the same geometry in their
// parents, fonts and captions.
void expectSameLayout(const vz::test::LayoutSnapshot& actual, const vz::test::LayoutSnapshot& expected) {
    ASSERT_EQ(actual.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const vz::test::ControlState& a = actual.value(it.key());
        const std::string name = it.key().toStdString();
        EXPECT_EQ(a.geometry, it->geometry) << name;
        EXPECT_EQ(a.points, it->points) << name;
        EXPECT_EQ(a.caption, it->caption) << name;
    }
}

// The layout of a normal 4:3 window W wide in the given view: the reference for a window
// of another shape whose 4:3 area is W wide.
vz::test::LayoutSnapshot fourToThreeLayout(int W, bool chartView) {
    auto w = shownMainWindow();
    w->resize(W, 1);
    EXPECT_EQ(w->size(), QSize(W, vz::snappedHeight(W)));
    w->Chart1->setVisible(chartView);
    w->RestWin();
    return vz::test::snapshot(*w);
}

// Maximized on a 16:9 and on a 16:10 screen, the window keeps the screen's size, asks for no
// other and lays out both views in the centred 4:3 area exactly as a 4:3 window of the
// area's width; restored, it is a 4:3 window again with no margins.
TEST(LayoutStage, AMaximizedWindowOfAnotherShapeIsLaidOutInTheCentredArea) {
    for (const QSize& screenSize : vz::test::kWideScreens) {
        SCOPED_TRACE(testing::Message() << "screen " << screenSize.width() << "x" << screenSize.height());
        QScreen* screen = vz::test::screenOfSize(screenSize);
        ASSERT_NE(screen, nullptr) << "the offscreen platform has no such screen";
        auto w = shownMainWindow();
        w->windowHandle()->setScreen(screen);
        w->move(screen->geometry().topLeft());
        vz::test::ResizeRequests requests;
        w->installEventFilter(&requests);
        w->showMaximized();
        vz::test::pumpEvents(100);
        ASSERT_TRUE(w->windowState() & Qt::WindowMaximized);
        ASSERT_EQ(w->size(), screenSize);
        EXPECT_EQ(requests.count, 0) << "a maximized window asked for another size";

        const vz::Stage stage = vz::stageIn(screenSize.width(), screenSize.height());
        EXPECT_LT(stage.W, screenSize.width());
        for (bool chartView : {true, false, true}) {
            SCOPED_TRACE(chartView ? "chart view" : "numbers view");
            w->Chart1->setVisible(chartView);
            w->RestWin();
            expectSameLayout(vz::test::snapshot(*w, QPoint(stage.x, stage.y)),
                             fourToThreeLayout(stage.W, chartView));
        }
        // The margins hold no control: every control of the window is inside the area, apart
        // from the headings the numbers view lifts above its top edge (not shown here).
        const QRect area(stage.x, stage.y, stage.W, stage.H);
        for (const QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (c->isVisible()) {
                EXPECT_TRUE(area.contains(c->geometry())) << c->objectName().toStdString();
            }
        }
        EXPECT_EQ(requests.count, 0);

        w->showNormal();
        vz::test::pumpEvents(100);
        ASSERT_EQ(w->size(), QSize(707, 528));
        expectSameLayout(vz::test::snapshot(*w), fourToThreeLayout(707, true));
        w->removeEventFilter(&requests);
    }
}

// A size the window system gives a normal window is snapped with one request; a window
// manager that puts the window back to its own size (a tiled window) gets no second request,
// neither from the answer nor from later layouts, and the window is laid out in the centred
// area of the size it was given. A new size from the window manager is asked to snap once.
TEST(LayoutStage, ARefusedSnapIsAskedOnceAndTheGivenSizeLaidOutCentred) {
    auto w = shownMainWindow();
    vz::test::pumpEvents(50);
    vz::test::ResizeRequests requests;
    w->installEventFilter(&requests);

    // The window system gives 1000 × 700; the window asks for 1000 × 750 and gets it.
    w->windowHandle()->resize(1000, 700);
    vz::test::pumpEvents(400);
    EXPECT_EQ(requests.count, 1);
    EXPECT_EQ(w->size(), QSize(1000, 750));
    expectSameLayout(vz::test::snapshot(*w), fourToThreeLayout(1000, true));

    // A tiling window manager: every size the window asks for is answered with the tile.
    QSize tile(960, 1080);
    struct TilingManager : QObject {
        QWidget* window;
        QSize* tile;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Resize && !event->spontaneous() && window->size() != *tile)
                QTimer::singleShot(0, window, [w = window, t = *tile] { w->windowHandle()->resize(t); });
            return false;
        }
    } manager;
    manager.window = w.get();
    manager.tile = &tile;
    w->installEventFilter(&manager);

    for (const QSize& given : {QSize(960, 1080), QSize(1000, 1080)}) {
        SCOPED_TRACE(testing::Message() << "tile " << given.width() << "x" << given.height());
        tile = given;
        requests.count = 0;
        w->windowHandle()->resize(tile);
        vz::test::pumpEvents(800);
        EXPECT_EQ(requests.count, 1) << "the snapped size was asked more than once";
        EXPECT_EQ(w->size(), tile);
        for (int i = 0; i < 3; ++i) // the View button, twice, and one more layout
            w->RestWin();
        vz::test::pumpEvents(400);
        EXPECT_EQ(requests.count, 1);
        const vz::Stage stage = vz::stageIn(tile.width(), tile.height());
        EXPECT_GT(stage.y, 0);
        expectSameLayout(vz::test::snapshot(*w, QPoint(stage.x, stage.y)), fourToThreeLayout(stage.W, true));
    }
    w->removeEventFilter(&manager);
    w->removeEventFilter(&requests);
}

} // namespace
