// Replaying the demo file into frame slots 1 and 2, and its diagnostic lines.
#include "../DiagnosticsCapture.h"
#include "../ScratchFiles.h"
#include "DemoFile.h"
#include "Files.h"

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
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

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

    vz::test::ScratchCurrentDir dir;
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

// A runaway demo file: a line far longer than any frame is handed out in pieces of at most
// MaxLineBytes, one piece per slot, so a replay step reads a few kilobytes however big the
// line is, and the replay goes on through the file and back to its start.
TEST_F(DemoFileTest, AMultiMegabyteFileWithoutLineEndsIsReplayedInBoundedPieces) {
    constexpr qsizetype size = 3'000'000;
    constexpr qsizetype pieces = (size + MaxLineBytes - 1) / MaxLineBytes; // 733, the last one short
    // Every piece is one letter, the next piece the next letter, so each can be recognised.
    QByteArray content(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        content[i] = char('A' + (i / MaxLineBytes) % 26);
    write(content);
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));

    auto piece = [&](qsizetype k) { return content.mid(k * MaxLineBytes, MaxLineBytes); };
    std::array<QByteArray, 5> frameSlots;
    qsizetype next = 0; // the piece the next read should give
    int rewinds = 0;
    for (int tick = 0; tick < 2 * pieces + 4 && rewinds < 2; ++tick) {
        const std::array<QByteArray, 5> before = frameSlots;
        ASSERT_TRUE(demo.replayStep(frameSlots)) << demo.errorString().toStdString();
        for (int slot = 0; slot < 2; ++slot) {
            ASSERT_LE(frameSlots[slot].size(), MaxLineBytes);
            if (next == pieces) { // the file has ended: this slot rewinds and keeps its text
                EXPECT_EQ(frameSlots[slot], before[slot]) << "tick " << tick;
                next = 0;
                ++rewinds;
                continue;
            }
            ASSERT_EQ(frameSlots[slot], piece(next)) << "tick " << tick << " slot " << slot;
            ++next;
        }
    }
    EXPECT_EQ(rewinds, 2) << "the replay wraps to the start at the end of the file, more than once";
    EXPECT_EQ(piece(pieces - 1).size(), size % MaxLineBytes);
}

TEST_F(DemoFileTest, LinesAfterAnOverLongLineStillReplay) {
    const QByteArray frame1 = "\x06"
                              "1RG\x17 00.500 14.50\x03";
    const QByteArray frame2 = "\x06"
                              "1RT\x17 0090\x03";
    const QByteArray junk = QByteArray(MaxLineBytes, 'x') + QByteArray(MaxLineBytes, 'y') + "zzz";
    write(junk + "\r\n" + frame1 + "\r\n" + frame2 + "\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_EQ(replay(4, frameSlots), (Pairs{{QByteArray(MaxLineBytes, 'x'), QByteArray(MaxLineBytes, 'y')},
                                            {"zzz", frame1},
                                            {frame2, frame1}, // slot 2 rewinds
                                            {QByteArray(MaxLineBytes, 'x'), QByteArray(MaxLineBytes, 'y')}}));

    // The same object then replays an ordinary file as usual.
    demo.close();
    write(frame1 + "\r\n" + frame2 + "\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    EXPECT_EQ(replay(2, frameSlots), (Pairs{{frame1, frame2}, {frame1, frame1}}));
}

// A line that just fits, with its line end right after the limit, is one line: it never
// leaves an empty line behind. One byte more and it is two pieces.
TEST_F(DemoFileTest, ALineEndRightAtTheLimitStillEndsTheLine) {
    const QByteArray full(MaxLineBytes, 'f');
    const QByteArray almost(MaxLineBytes - 1, 'a');
    write(full + "\r\n" + almost + "\r\n" + full + "\n" + full + "g\r\nend");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_EQ(replay(3, frameSlots), (Pairs{{full, almost}, {full, full}, {"g", "end"}}));
}

// The end-of-file mark still counts inside a piece of an over-long line.
TEST_F(DemoFileTest, AnEndOfFileMarkInsideAnOverLongLineEndsTheFile) {
    write("l1\r\n" + QByteArray(MaxLineBytes + 10, 'x') + "\x1A" + "never\r\nl3\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_EQ(replay(3, frameSlots), (Pairs{{"l1", QByteArray(MaxLineBytes, 'x')},
                                            {QByteArray(10, 'x'), QByteArray(MaxLineBytes, 'x')}, // rewinds
                                            {"l1", QByteArray(MaxLineBytes, 'x')}}));
}

// The demo file's diagnostic lines (vezaro.files): opened, missing, unopenable, unreadable.
TEST_F(DemoFileTest, OpeningAMissingAnUnopenableAndAReadableFileIsTold) {
    vz::test::DiagnosticsCapture capture;
    EXPECT_FALSE(demo.open(QStringLiteral("VEZARO.DMO")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("sub/VEZARO.DMO")));
    EXPECT_FALSE(demo.open(QStringLiteral("sub/VEZARO.DMO")));
    write("l1\r\nl2\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    std::array<QByteArray, 5> frameSlots;
    EXPECT_TRUE(demo.replayStep(frameSlots)); // replaying says nothing

    const QStringList expected{
        QStringLiteral("vezaro.files: no VEZARO.DMO: demo mode off"),
        QStringLiteral("vezaro.files: open VEZARO.DMO failed: file to open is a directory"),
        QStringLiteral("vezaro.files: opened VEZARO.DMO: demo mode"),
    };
    ASSERT_EQ(capture.lines().size(), expected.size()) << capture.all().toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(capture.lines()[i].text, expected[i]);
    EXPECT_EQ(capture.lines()[0].type, QtInfoMsg);
    EXPECT_EQ(capture.lines()[1].type, QtWarningMsg);
    EXPECT_EQ(capture.lines()[2].type, QtInfoMsg);
}

TEST_F(DemoFileTest, AFailedReplayIsAWarningWithTheReason) {
    write("l1\r\n");
    ASSERT_TRUE(demo.open(QStringLiteral("VEZARO.DMO")));
    demo.close();
    vz::test::DiagnosticsCapture capture;
    std::array<QByteArray, 5> frameSlots;
    EXPECT_FALSE(demo.replayStep(frameSlots));
    ASSERT_EQ(capture.lines().size(), 1) << capture.all().toStdString();
    EXPECT_EQ(capture.lines()[0].text,
              QStringLiteral("vezaro.files: read VEZARO.DMO failed: %1").arg(demo.errorString()));
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
}
