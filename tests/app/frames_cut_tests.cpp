// Cutting received blocks into frame slots, and the 1200-baud lettered-field record.
#include "StationLogic.h"
#include "frames_test_support.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace vz;
using namespace vz::test;

namespace {

void receive(StationState& s, FakeEnv& env, const QByteArray& block) {
    cpDrvReceiveData(s, env, block.constData(), uint32_t(block.size()));
}

QByteArray etx() {
    return QByteArray(1, analyser::kEnd);
}

// The default record with the measured fields replaced.
QByteArray patchedDefault(const char* co, const char* co2, const char* hc, const char* o2, const char* rpm) {
    return resultRecord(co, co2, hc, o2, rpm);
}

} // namespace

TEST(FrameCutting, CommasBecomePointsAndCarriageReturnsBlanksWithoutChangingTheLength) {
    StationState s;
    FakeEnv env;
    QByteArray block = resultRecord("00,500", "14,50", "00100", "00,50");
    block.insert(block.size() - 1, '\r');
    receive(s, env, block);

    QByteArray expected = resultRecord("00.500", "14.50", "00100", "00.50");
    expected.insert(expected.size() - 1, ' ');
    EXPECT_EQ(s.FrameSlots[0], expected);
    EXPECT_EQ(s.FrameSlots[0].size(), block.size());
    EXPECT_EQ(s.Display.Label11, "0.500"); // the display read the cleaned frame
}

TEST(FrameCutting, FiveFramesFillFourSlotsInOrderAndTheFifthIsLeftOver) {
    const QByteArray frames[5] = {frame("IN", "xxx1"), frame("RM", "x"), frame("RS", "x  "),
                                  resultRecord("00.100", "14.00", "00050", "01.00"), frame("IN", "yyy2")};
    const QByteArray block = "junk" + frames[0] + frames[1] + "\n" + frames[2] + frames[3] + frames[4];

    StationState s;
    s.FrameSlots[4] = "slot five";
    const QByteArray rest = cutFrames(s, block);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.FrameSlots[k], frames[k]) << "slot " << k + 1;
    EXPECT_EQ(s.FrameSlots[4], "slot five"); // never touched by cutting
    EXPECT_EQ(rest, "junk\n" + frames[4]);

    // At 1200 baud the left-over text becomes lettered-field text and slot 1 the record.
    FakeEnv env;
    env.baud = 1200;
    StationState s1200;
    s1200.FrameSlots[4] = analyser::defaultResultRecord();
    receive(s1200, env, block + "C1.23xxx");
    EXPECT_EQ(s1200.FrameSlots[1], frames[1]);
    EXPECT_EQ(s1200.FrameSlots[0], s1200.FrameSlots[4]);
    EXPECT_EQ(s1200.FrameSlots[4].mid(6, 6), "01.230");
}

TEST(FrameCutting, AnEndByteBeforeTheFirstStartByteYieldsNoFrame) {
    StationState s;
    const QByteArray block = etx() + resultRecord("00.100", "14.00", "00050", "01.00");
    EXPECT_EQ(cutFrames(s, block), block);
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(s.FrameSlots[k].isEmpty());
}

TEST(FrameCutting, AnEmptyBlockChangesNothingAndDoesNotUpdateTheDisplay) {
    StationState s;
    FakeEnv env;
    s.FrameSlots[0] = resultRecord("05.000", "14.00", "00050", "01.00");
    s.FrameSlots[1] = frame("RS", "xW-");
    receive(s, env, QByteArray());
    cpDrvReceiveData(s, env, nullptr, 10);
    EXPECT_EQ(s.FrameSlots[1], frame("RS", "xW-"));
    EXPECT_EQ(s.Display.Label11, "0.000");
    EXPECT_EQ(s.OpState, 7);
}

TEST(FrameCutting, NoiseSeveralStartBytesAndUnendedFramesNeverLoseOrInventBytes) {
    QRandomGenerator rng(1234);
    const QByteArray alphabet("\x06\x03\x06\x03,\r\nABCDG1RG0123456789. ");
    MessageRecorder boxes; // a decoded zeroing request must never block on a real box
    for (int round = 0; round < 200; ++round) {
        QByteArray block;
        const int size = 1 + int(rng.bounded(4096));
        for (int i = 0; i < size; ++i)
            block += alphabet[int(rng.bounded(alphabet.size()))];

        for (uint32_t baud : {9600u, 1200u}) {
            StationState s;
            FakeEnv env;
            env.baud = baud;
            const QByteArray rest = cutFrames(s, block);
            qsizetype total = rest.size();
            for (int k = 0; k < 4; ++k) {
                const QByteArray& f = s.FrameSlots[k];
                total += f.size();
                if (f.isEmpty())
                    continue;
                EXPECT_EQ(f.front(), analyser::kStart);
                EXPECT_EQ(f.indexOf(analyser::kEnd), f.size() - 1); // ends at the first end byte
            }
            EXPECT_EQ(total, block.size());
            EXPECT_FALSE(rest.contains(',') || rest.contains('\r'));
            receive(s, env, block);
            if (baud == 1200) {
                EXPECT_EQ(s.FrameSlots[4].size(), 43);
            }
            EXPECT_TRUE(s.CurFrame.isEmpty());
        }
    }

    StationState s;
    const QByteArray unended = QByteArray(3, analyser::kStart) + "1RG 00.100";
    EXPECT_EQ(cutFrames(s, unended), unended);
    EXPECT_TRUE(s.FrameSlots[0].isEmpty());
    const QByteArray starts = QByteArray(3, analyser::kStart) + "1IN" + etx();
    EXPECT_TRUE(cutFrames(s, starts).isEmpty());
    EXPECT_EQ(s.FrameSlots[0], starts);
}

TEST(LetteredFields, FieldsArePaddedAndWrittenWhenThreeCharactersFollow) {
    FakeEnv env;
    env.baud = 1200;
    StationState s;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    receive(s, env, "C1.23B14.5A0123D20.8G0850\r\nX");
    EXPECT_EQ(s.FrameSlots[4], patchedDefault("01.230", "14.50", "00123", "20.80", "0850"));
    EXPECT_EQ(s.FrameSlots[0], s.FrameSlots[4]);
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
    EXPECT_EQ(s.Display.Label45Colour, kGreen);
    EXPECT_TRUE(s.Display.Label45Visible);
    EXPECT_EQ(s.Display.Label11, "1.230");
    EXPECT_EQ(s.Display.Label15, " 0850");

    // Two characters after the last field are not enough for it; the others still count.
    StationState t;
    t.FrameSlots[4] = analyser::defaultResultRecord();
    receive(t, env, "C1.23B14.5A0123D20.8G0850\r\n");
    EXPECT_EQ(t.FrameSlots[4], patchedDefault("01.230", "14.50", "00123", "20.80", "0000"));

    // Only the first occurrence of a letter is used.
    t.CurFrame = "C2.00xxxC3.00xxx";
    ConvData(t);
    EXPECT_EQ(t.FrameSlots[4].mid(6, 6), "02.000");
}

TEST(LetteredFields, TextWithoutLettersKeepsTheRecordButShowsRunning) {
    StationState s;
    s.FrameSlots[4] = patchedDefault("01.230", "14.50", "00123", "20.80", "0850");
    const QByteArray before = s.FrameSlots[4];
    s.CurFrame = "12345 nothing here 67890";
    ConvData(s);
    EXPECT_EQ(s.FrameSlots[4], before);
    EXPECT_EQ(s.FrameSlots[0], before);
    EXPECT_EQ(s.Display.Label45Caption, "    R U N N I N G    ");
}

TEST(LetteredFields, AnEmptySlotFiveStartsFromTheDefaultRecord) {
    StationState s; // the rate became 1200 after start-up: no record yet
    s.CurFrame = "D19.5xxx";
    ConvData(s);
    EXPECT_EQ(s.FrameSlots[4], patchedDefault("00.000", "00.00", "00000", "19.50", "0000"));
}

TEST(LetteredFields, LongTextsAreSearchedWholeWithoutReadingPastTheEnd) {
    StationState s;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    s.CurFrame = QByteArray(300, '.') + "A0456xxx" + QByteArray(600, ' ') + "G";
    ConvData(s);
    EXPECT_EQ(s.FrameSlots[4], patchedDefault("00.000", "00.00", "00456", "20.85", "0000"));
    for (const char* tail : {"G", "G1", "G12", "G123", "G1234", "G12345", "G123456"}) {
        s.CurFrame = tail;
        ConvData(s);
        EXPECT_EQ(s.FrameSlots[4].size(), 43);
    }
    EXPECT_EQ(s.FrameSlots[4].mid(36, 4), "0000");
}
