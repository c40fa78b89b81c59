// The shipped demo file, recorded with the simulator: the station replays its lines as they
// stand, so every line must be a clean frame with decimal points. And the replay of a damaged
// file at the end-of-file mark.
#include "DemoFile.h"
#include "Files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

TEST(ShippedDemoFile, HoldsCleanCrLfFramesOfARunningEngine) {
    QFile file(VZ_DEMO_FILE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << VZ_DEMO_FILE;
    const std::string text = file.readAll().toStdString();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    std::set<std::string> types;
    int lines = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string frame = text.substr(at, end - at);
        at = end + 2;
        ++lines;
        ASSERT_GE(frame.size(), 5u);
        EXPECT_EQ(frame.front(), '\x06');
        EXPECT_EQ(frame.back(), '\x03');
        EXPECT_EQ(frame.find('\x03'), frame.size() - 1); // exactly one frame per line
        EXPECT_EQ(frame.find_first_of(",\r\n\x1A"), std::string::npos) << frame;
        const std::string type = frame.substr(2, 2);
        types.insert(type);
        if (type == "RG") {
            ASSERT_EQ(frame.size(), 43u);
            EXPECT_EQ(frame[8], '.');
            EXPECT_NE(frame.substr(36, 4), "0000") << "the engine must be running";
        }
        if (type == "RS") { // a replay must not throw the station into warm-up or zeroing
            EXPECT_EQ(frame.substr(5, 2), "OK");
        }
    }
    EXPECT_GE(lines, 20);
    EXPECT_EQ(types, (std::set<std::string>{"RG", "RM", "IN", "RS"}));
}

// A CR right before the end-of-file mark is the last line's line end, as it is right before
// the end of the file, also where an over-long line is cut into pieces next to it: the
// replay gives the line's pieces and then starts again, never an empty line or a stray CR.
// These inputs failed the check of the demo replay fuzz target (fuzz/fuzz_demo.cpp).
TEST(DemoFileReplay, ACrBeforeTheEndMarkEndsACutLineLikeTheEndOfTheFile) {
    const QByteArray full(vz::MaxLineBytes, 'A');
    const QByteArray almost(vz::MaxLineBytes - 1, 'A');
    struct Case {
        QByteArray content;
        QByteArray last; // the line's last piece, after `full` or on its own
    };
    const Case cases[] = {
        {full + "\r\x1A" + "junk\r\n", full},     // the CR after a full piece
        {almost + "\r\x1A" + "junk\r\n", almost}, // the CR as the piece's last byte
        {almost + "\r\r\x1A", almost + "\r"},     // a CR of the line's own, then the line end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.right(8).toHex().toStdString());
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("VEZARO.DMO")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        vz::DemoFile demo;
        ASSERT_TRUE(demo.open(file.fileName()));
        // A file of one line: each step reads it into slot 1 and rewinds for slot 2, which
        // keeps its (empty) text.
        std::array<QByteArray, 5> frameSlots;
        for (int step = 0; step < 2; ++step) {
            SCOPED_TRACE(step);
            ASSERT_TRUE(demo.replayStep(frameSlots));
            EXPECT_EQ(frameSlots[0], c.last);
            EXPECT_TRUE(frameSlots[1].isEmpty()) << frameSlots[1].size() << " bytes in slot 2";
        }
    }
}
