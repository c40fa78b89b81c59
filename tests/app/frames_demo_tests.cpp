// Replaying the demo file into frame slots 1 and 2.
#include "DemoFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace vz;

namespace {

class DemoFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(previous); }

    void write(const QByteArray& content) {
        QFile f(QStringLiteral("VEZARO.DMO"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    // Slots 1 and 2 after each of `ticks` replay steps.
    std::vector<std::pair<QByteArray, QByteArray>> replay(int ticks, std::array<QByteArray, 5>& frameSlots) {
        std::vector<std::pair<QByteArray, QByteArray>> seen;
        for (int i = 0; i < ticks; ++i) {
            EXPECT_TRUE(demo.replayStep(frameSlots));
            seen.emplace_back(frameSlots[0], frameSlots[1]);
        }
        return seen;
    }

    QTemporaryDir dir;
    QString previous;
    DemoFile demo;
};

using Pairs = std::vector<std::pair<QByteArray, QByteArray>>;

} // namespace

TEST_F(DemoFileTest, AThreeLineFileShiftsItsPairingAfterTheFirstPass) {
    for (const QByteArray& content : {QByteArray("l1\r\nl2\r\nl3\r\n"), QByteArray("l1\nl2\nl3")}) {
        write(content);
        ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
        std::array<QByteArray, 5> frameSlots;
        frameSlots[2] = "three", frameSlots[4] = "five";
        EXPECT_EQ(replay(4, frameSlots), (Pairs{{"l1", "l2"}, {"l3", "l2"}, {"l1", "l2"}, {"l3", "l2"}}));
        EXPECT_EQ(frameSlots[2], "three");
        EXPECT_EQ(frameSlots[4], "five");
        demo.close();
    }
}

TEST_F(DemoFileTest, LinesAreUsedAsTheyStand) {
    write("\x06"
          "1RG\x17 00,500 14.50\x03\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    ASSERT_TRUE(demo.replayStep(frameSlots));
    EXPECT_EQ(frameSlots[0], "\x06"
                             "1RG\x17 00,500 14.50\x03");
}

TEST_F(DemoFileTest, AnEmptyFileLeavesTheSlotsAsTheyAre) {
    write("");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_EQ(replay(3, frameSlots), (Pairs{{"", ""}, {"", ""}, {"", ""}}));
}

TEST_F(DemoFileTest, AnEndOfFileMarkEndsTheFile) {
    write("l1\r\nl2\r\n\x1Al3\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_EQ(replay(3, frameSlots), (Pairs{{"l1", "l2"}, {"l1", "l1"}, {"l2", "l1"}}));

    demo.close();
    write("l1\r\nl2\x1Atail\r\nl3\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    EXPECT_EQ(replay(3, frameSlots), (Pairs{{"l1", "l2"}, {"l1", "l1"}, {"l2", "l1"}}));
}

TEST_F(DemoFileTest, AMissingOrClosedFileIsAnError) {
    EXPECT_FALSE(demo.open(QStringLiteral("VEZARO.DMO")));
    EXPECT_FALSE(demo.isOpen());
    std::array<QByteArray, 5> frameSlots;
    EXPECT_FALSE(demo.replayStep(frameSlots));
    EXPECT_FALSE(demo.errorString().isEmpty());
}
