#include "AboutZAN.h"
#include "SettingsTestSupport.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSet>
#include <gtest/gtest.h>

namespace {

struct AboutBox : ::testing::Test {
    AboutBox() { testApp(); }
};

// Presses and releases the left button at `windowPoint` of the box, delivered to whatever
// part of the box lies there, as the window system would.
QWidget* clickAt(TAboutBoxForm& box, QPoint windowPoint) {
    QWidget* target = box.childAt(windowPoint);
    if (!target)
        target = &box;
    const QPointF local = target->mapFrom(&box, windowPoint);
    const QPointF global = box.mapToGlobal(windowPoint);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    return target;
}

int distinctColours(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

} // namespace

TEST_F(AboutBox, WindowAndItsPartsHaveTheirPlaces) {
    TAboutBoxForm box(nullptr);
    EXPECT_EQ(box.windowTitle(), "About ZAN GAS TT");
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box.size(), QSize(304, 259));
    EXPECT_EQ(box.Panel1->geometry(), QRect(0, 0, 304, 259));
    EXPECT_EQ(box.Panel1->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(box.Panel2->geometry(), QRect(3, 3, 298, 253));
    EXPECT_EQ(box.Panel2->palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_EQ(box.Image2->geometry(), QRect(12, 0, 287, 129));
    EXPECT_EQ(box.Image2->pixmap().size(), QSize(287, 129));
    EXPECT_EQ(box.Image1->geometry(), QRect(16, 168, 273, 33));
    EXPECT_EQ(box.Image1->pixmap().size(), QSize(264, 27));
    EXPECT_EQ(box.Label4->pos(), QPoint(4, 144));
    EXPECT_EQ(box.Label4->text(), "Windows based program  for KV 40 MX / KV 50 MX  by.");
    EXPECT_EQ(box.Label5->pos(), QPoint(52, 224));
    EXPECT_FALSE(box.Label5->text().isEmpty());
    for (QLabel* label : {box.Label4, box.Label5}) {
        EXPECT_EQ(label->font().family(), "Arial");
        EXPECT_EQ(label->font().pointSize(), 8);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
        // The whole line fits inside the yellow panel.
        EXPECT_LE(label->geometry().right(), box.Panel2->width());
        EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));
    }
}

TEST_F(AboutBox, PicturesAreDrawnAndTheWordmarkKeepsTo16Colours) {
    EXPECT_GT(distinctColours(vz::analyserPicture()), 16); // a real picture, not a blank
    const int wordmark = distinctColours(vz::makerWordmark());
    EXPECT_GE(wordmark, 3);
    EXPECT_LE(wordmark, 16);
}

TEST_F(AboutBox, ShiftAloneClosesIt) {
    TAboutBoxForm box(nullptr);
    box.show();
    ASSERT_TRUE(box.isVisible());
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(&box, &shift);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST_F(AboutBox, AnyOtherKeyClosesItToo) {
    for (int key :
         {int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_A), int(Qt::Key_F1), int(Qt::Key_Control)}) {
        TAboutBoxForm box(nullptr);
        box.show();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&box, &press);
        EXPECT_FALSE(box.isVisible()) << key;
        EXPECT_EQ(box.result(), QDialog::Accepted) << key; // Esc too: it is a close, not a cancel
    }
}

TEST_F(AboutBox, AClickOnEveryPartClosesIt) {
    struct Part {
        const char* name;
        QPoint at; // in window coordinates
    };
    const Part parts[] = {
        {"Panel1", {1, 1}},    {"Panel1", {302, 130}}, // the black frame
        {"Panel2", {6, 10}},   {"Panel2", {150, 250}}, // the yellow panel around the parts
        {"Image2", {150, 60}}, {"Label4", {40, 150}},  {"Image1", {100, 185}}, {"Label5", {80, 230}},
    };
    for (const Part& part : parts) {
        TAboutBoxForm box(nullptr);
        box.show();
        QWidget* hit = clickAt(box, part.at);
        EXPECT_EQ(hit->objectName(), part.name) << "the point lies on another part";
        EXPECT_FALSE(box.isVisible()) << part.name;
        EXPECT_EQ(box.result(), QDialog::Accepted) << part.name;
    }
}
