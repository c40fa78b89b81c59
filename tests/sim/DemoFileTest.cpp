// The shipped demo file, recorded with the simulator: the station replays its lines as they
// stand, so every line must be a clean frame with decimal points.
#include <QFile>
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
