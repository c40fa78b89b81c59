// The command frames the station sends, byte for byte.
#include "AnalyserFrames.h"

#include <gtest/gtest.h>

TEST(AnalyserFrames, EveryCommandFrameHasItsExactBytes) {
    struct Case {
        const char* name;
        QByteArray (*frame)();
        const char* hex;
    };
    const Case cases[] = {
        {"RG", analyser::frameRG, "02 31 52 47 43 41 03"},
        {"RM", analyser::frameRM, "02 31 52 4D 44 30 03"},
        {"IN", analyser::frameIN, "02 31 49 4E 43 38 03"},
        {"RS", analyser::frameRS, "02 31 52 53 44 36 03"},
        {"OU blank", analyser::frameOUBlank, "02 31 4F 55 17 20 30 43 03"},
        {"OU A", analyser::frameOUA, "02 31 4F 55 17 41 32 44 03"},
        {"OU P", analyser::frameOUP, "02 31 4F 55 17 50 33 43 03"},
        {"ZP", analyser::frameZP, "02 31 5A 50 44 42 03"},
        {"ZE", analyser::frameZE, "02 31 5A 45 44 30 03"},
        {"start", analyser::frameStart, "64 01 04 04"},
        {"reset", analyser::frameReset, "64 01 00 00"},
    };
    for (const Case& c : cases) {
        const QByteArray expected = QByteArray::fromHex(QByteArray(c.hex).replace(' ', ""));
        EXPECT_EQ(c.frame().toHex(' ').toUpper(), expected.toHex(' ').toUpper()) << c.name;
        EXPECT_EQ(c.frame().size(), expected.size()) << c.name;
    }
}

TEST(AnalyserFrames, TheChecksumIsTheLowByteOfTheSumInUpperCaseHex) {
    EXPECT_EQ(analyser::checksumText("1RG"), QByteArray("CA"));
    EXPECT_EQ(analyser::checksumText(QByteArray("1OU\x17 ", 5)), QByteArray("0C"));
    EXPECT_EQ(analyser::checksumText(QByteArray()), QByteArray("00"));
    EXPECT_EQ(analyser::checksumText(QByteArray("\xFF\x01", 2)), QByteArray("00"));
    EXPECT_EQ(analyser::checksumText(QByteArray(1, '\x0A')), QByteArray("0A"));
}
