// The main window's layout in numbers view (the chart hidden), and switching between views.
#include "layout_test_support.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <gtest/gtest.h>

using vz::test::bottom;
using vz::test::pointSize;
using vz::test::right;
using vz::test::shownMainWindow;

namespace {

const QString kDegreesC = QString(QChar(0x00B0)) + QLatin1Char('C');

void showNumbersView(TMnGASForm& w) {
    w.Chart1->hide();
    w.RestWin();
}

void showChartView(TMnGASForm& w) {
    w.Chart1->show();
    w.RestWin();
}

TEST(LayoutNumbersView, ReadingsStandInThreeRowsWithTheOilTemperatureBeneath) {
    auto w = shownMainWindow();
    for (int W : {400, 707, 1024, 1600}) {
        SCOPED_TRACE(W);
        w->resize(W, 1);
        showNumbersView(*w);
        const int H = (W / 4) * 3, d = W / 21, e = d / 2, U = W / 12, A = H - U - 40, Q = (W - 4) / 24;
        const int T = H / 64;
        auto L = [&](int n) { return w->Label(n); };

        // First row CO (left) and HC (right), second CO2 and O2, third speed and lambda.
        EXPECT_EQ(L(11)->pos(), QPoint(Q, U - U / 3));
        EXPECT_EQ(L(13)->pos(), QPoint(11 * Q, U - U / 3));
        EXPECT_EQ(L(12)->pos(), QPoint(Q, 3 * U + U / 4));
        EXPECT_EQ(L(14)->pos(), QPoint(11 * Q, 3 * U + U / 4));
        EXPECT_EQ(L(15)->pos(), QPoint(Q, 6 * U - U / 4));
        EXPECT_EQ(L(46)->pos(), QPoint(11 * Q, 6 * U - U / 4));
        EXPECT_LT(bottom(L(11)), L(12)->y());
        EXPECT_LT(bottom(L(12)), L(15)->y());
        // Oil temperature: caption, value and unit beneath the speed.
        EXPECT_EQ(L(43)->pos(), QPoint(Q + 4, 7 * U - U / 3 - 3));
        EXPECT_EQ(L(44)->pos(), QPoint(Q, 7 * U));
        EXPECT_EQ(L(42)->pos(), QPoint(5 * Q, 7 * U));
        EXPECT_GT(L(44)->y(), L(15)->y());
        for (int n = 11; n <= 14; ++n)
            EXPECT_EQ(pointSize(L(n)), 2 * d) << n;
        EXPECT_EQ(pointSize(L(15)), d);
        EXPECT_EQ(pointSize(L(42)), d);
        EXPECT_EQ(pointSize(L(43)), e);
        EXPECT_EQ(pointSize(L(44)), d);
        EXPECT_EQ(pointSize(L(46)), 2 * d);
        EXPECT_EQ(pointSize(L(47)), e);
        EXPECT_EQ(L(47)->pos(), QPoint(12 * Q, U / 3 + 5 * U));

        // Headings: CO and HC slightly above the window's top edge; CO2 and O2 between the
        // first and second row, measured from the first row's actual height.
        EXPECT_EQ(L(1)->pos(), QPoint(U, -(d / 4)));
        EXPECT_EQ(L(3)->pos(), QPoint(3 * (W / 6) + 4, -(d / 4)));
        EXPECT_LT(L(1)->y(), 0);
        const int row1Foot = bottom(L(11));
        EXPECT_EQ(L(2)->pos(), QPoint(U, row1Foot - 4));
        EXPECT_EQ(L(4)->pos(), QPoint(3 * (W / 6) + 4, row1Foot - 4));
        EXPECT_EQ(L(6)->pos(), QPoint(right(L(2)), row1Foot + e + 4));
        EXPECT_EQ(L(7)->pos(), QPoint(right(L(6)), row1Foot - 4));
        EXPECT_EQ(L(8)->pos(), QPoint(right(L(4)), row1Foot + e + 4));
        EXPECT_EQ(L(9)->pos(), QPoint(right(L(8)), row1Foot - 4));
        EXPECT_EQ(L(10)->pos(), QPoint(right(L(3)), d - d / 2));
        EXPECT_EQ(L(5)->pos(), QPoint(5 * (W / 24), 6 * U - U / 4));

        // The right-hand column keeps the hidden chart's width; the numbers view adds its buttons.
        const int b = W / 6 + 8, c = W - (b / 5 + b), m = c + c / 70;
        EXPECT_EQ(w->SettingsButton->geometry(), QRect(m, A - U + 4, b, H / 12));
        EXPECT_EQ(w->HelpButton->geometry(), QRect(m, H / 12 + A - U + 4 + 4, b, H / 12));
        EXPECT_EQ(w->Button4->geometry(), QRect(m, bottom(L(45)) + T, b, H / 12));
        EXPECT_EQ(pointSize(w->SettingsButton), e);
        EXPECT_EQ(pointSize(w->HelpButton), e);
        EXPECT_EQ(L(45)->pos(), QPoint(4 * ((W - 4) / 5), T + 4 * (H / 12 + T) + H / 30 + T));
        EXPECT_EQ(w->RPMGroup->pos(), QPoint(Q, H - 115));

        for (QWidget* shown : {static_cast<QWidget*>(w->SettingsButton), static_cast<QWidget*>(w->HelpButton),
                               static_cast<QWidget*>(w->Button4), static_cast<QWidget*>(L(42)),
                               static_cast<QWidget*>(L(43)), static_cast<QWidget*>(L(44))})
            EXPECT_TRUE(shown->isVisible()) << shown->objectName().toStdString();
        EXPECT_FALSE(w->Chart1->isVisible());
        EXPECT_TRUE(w->RPMGroup->isHidden());
        showChartView(*w);
    }
}

TEST(LayoutNumbersView, UnitOfTheOilTemperatureTurnsIntoDegreesOnceAndStays) {
    auto w = shownMainWindow();
    w->resize(707, 528);
    EXPECT_EQ(w->Label(42)->text(), QStringLiteral("oC"));
    showNumbersView(*w);
    EXPECT_EQ(w->Label(42)->text(), kDegreesC);
    EXPECT_TRUE(QFontMetrics(w->Label(42)->font()).inFont(QChar(0x00B0)));
    EXPECT_EQ(w->Label(42)->size(), w->Label(42)->sizeHint()); // sized to the new caption
    showChartView(*w);
    EXPECT_EQ(w->Label(42)->text(), kDegreesC);
    EXPECT_TRUE(w->Label(42)->isHidden());
}

TEST(LayoutNumbersView, BackToChartViewHidesTheNumbersViewControlsAndRestoresTheRow) {
    auto w = shownMainWindow();
    w->resize(707, 528);
    showNumbersView(*w);
    showChartView(*w);
    for (QWidget* hidden : {static_cast<QWidget*>(w->SettingsButton), static_cast<QWidget*>(w->HelpButton),
                            static_cast<QWidget*>(w->Button4), static_cast<QWidget*>(w->Label(43)),
                            static_cast<QWidget*>(w->Label(44))})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    const int valueLefts[] = {4, 140, 281, 421, 562};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w->Label(1 + i)->y(), 376) << i;
        EXPECT_EQ(w->Label(11 + i)->pos(), QPoint(valueLefts[i], 430)) << i;
        EXPECT_EQ(pointSize(w->Label(11 + i)), 33) << i;
    }
    EXPECT_EQ(w->Label(46)->pos(), QPoint(564, bottom(w->Label(45)) + 8));
    EXPECT_EQ(pointSize(w->Label(46)), 33);
}

} // namespace
