// Writes pictures of the main window in both views at two widths, for the documentation.
// Runs only when VZ_SCREENSHOT_DIR names the folder to write them to.
#include "layout_test_support.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

TEST(LayoutScreenshots, BothViewsAtTwoWidthsWhenAFolderIsGiven) {
    const QString dir = qEnvironmentVariable("VZ_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "set VZ_SCREENSHOT_DIR to write the pictures";
    ASSERT_TRUE(QDir().mkpath(dir));
    auto w = vz::test::shownMainWindow();
    for (int W : {707, 1280}) {
        w->resize(W, 1);
        for (bool chart : {true, false}) {
            w->Chart1->setVisible(chart);
            w->RestWin();
            const QImage shot = w->grab().toImage();
            EXPECT_EQ(shot.size(), QSize(W, (W / 4) * 3));
            const QString path =
                QDir(dir).filePath(QStringLiteral("main-%1-%2.png").arg(chart ? "chart" : "numbers").arg(W));
            EXPECT_TRUE(shot.save(path)) << path.toStdString();
        }
    }
}

} // namespace
