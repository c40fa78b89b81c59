// The 1200-baud line tap: the analyser's lines found in the received blocks beside the
// lettered-field record, one id per complete line, and the over-range lines counted.
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

// The receive event without the tap: the described steps alone.
void receiveWithoutTap(StationState& s, FakeEnv& env, const QByteArray& block) {
    const QByteArray rest = cutFrames(s, block);
    if (env.BaudRateValue() == 1200) {
        s.CurFrame = rest;
        ConvData(s);
    }
    ShowResData(s, env);
}

// A line as the analyser sends it; an rpm below 0 leaves out the G field.
QByteArray line(int coCenti, int co2Deci, int hc, int o2Deci, int rpm = 800) {
    QByteArray l = QByteArray("C") + QByteArray::number(coCenti / 100) + '.' +
                   QByteArray::number(coCenti % 100).rightJustified(2, '0');
    l += 'B' + QByteArray::number(co2Deci / 10).rightJustified(2, '0') + '.' +
         QByteArray::number(co2Deci % 10);
    l += 'A' + QByteArray::number(hc).rightJustified(4, '0');
    l += 'D' + QByteArray::number(o2Deci / 10).rightJustified(2, '0') + '.' + QByteArray::number(o2Deci % 10);
    if (rpm >= 0)
        l += 'G' + QByteArray::number(rpm).rightJustified(4, '0');
    return l + "\r\n";
}

struct Expected {
    int coMilli, co2Centi, hcPpm, o2Centi, speed; // speed -1: no G field
};

} // namespace

TEST(LineTap, FindsEachCompleteLineOnceWhateverTheBlocksAndNothingElse) {
    const struct {
        const char* name;
        std::vector<QByteArray> blocks;
        std::vector<Expected> lines;
        std::vector<size_t> linesAfterBlock; // complete lines after each block
    } cases[] = {
        {"a line split over two blocks",
         {"C0.36B14.6A00", "60D00.3G0810\r\n"},
         {{360, 1460, 60, 30, 810}},
         {0, 1}},
        {"split between CR and LF, and right after the letter",
         {"C0.36B14.6A0060D00.3G", "0810\r", "\nC0.35B14.6A0060D00.3G0820\r\n"},
         {{360, 1460, 60, 30, 810}, {350, 1460, 60, 30, 820}},
         {0, 1, 2}},
        {"two lines in one block",
         {line(36, 146, 60, 3, 810) + line(0, 0, 0, 208, 790)},
         {{360, 1460, 60, 30, 810}, {0, 0, 0, 2080, 790}},
         {2}},
        {"a repeated identical line is two lines",
         {line(36, 146, 60, 3), line(36, 146, 60, 3)},
         {{360, 1460, 60, 30, 800}, {360, 1460, 60, 30, 800}},
         {1, 2}},
        {"a line without speed", {line(8, 149, 25, 2, -1)}, {{80, 1490, 25, 20, -1}}, {1}},
        {"decimal commas, fields in another order, LF alone",
         {"G2700D00.2A0025B14,9C0,08\n"},
         {{80, 1490, 25, 20, 2700}},
         {1}},
        {"noise before a line is skipped",
         {"\x01x#0 .7" + line(36, 146, 60, 3)},
         {{360, 1460, 60, 30, 800}},
         {1}},
        {"garbage and partial lines give nothing",
         {"xyz-#*~?0123\r\n",
          "6A0060D00.3G0810\r\n",            // the start was lost before the station listened
          "C0.36B14.6A006D00.3G0810\r\n",    // a field cut short
          "C0.36B14.6A0060D00.3G0810x\r\n",  // something after the fields
          "C0.36B14.6A0060A0060D00.3\r\n",   // a field twice
          "C0.36B14.6A0060D00.3G0810G0810\n" // the speed twice
          "C0.36B14.6A0060D00.3G08"},        // not ended yet
         {},
         {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StationState s;
        FakeEnv env;
        env.baud = 1200;
        s.FrameSlots[4] = analyser::defaultResultRecord();
        for (size_t b = 0; b < c.blocks.size(); ++b) {
            receive(s, env, c.blocks[b]);
            EXPECT_EQ(s.RecentAnalyserLines.size(), c.linesAfterBlock[b]) << "after block " << b;
        }
        ASSERT_EQ(s.RecentAnalyserLines.size(), c.lines.size());
        EXPECT_EQ(s.LineTap.lastId(), c.lines.size());
        for (size_t k = 0; k < c.lines.size(); ++k) {
            const AnalyserLine& got = s.RecentAnalyserLines[k];
            const Expected& want = c.lines[k];
            EXPECT_EQ(got.id, k + 1);
            EXPECT_EQ(got.coMilli, want.coMilli) << k;
            EXPECT_EQ(got.co2Centi, want.co2Centi) << k;
            EXPECT_EQ(got.hcPpm, want.hcPpm) << k;
            EXPECT_EQ(got.o2Centi, want.o2Centi) << k;
            EXPECT_EQ(got.hasSpeed, want.speed >= 0) << k;
            EXPECT_EQ(got.engineSpeed(1),
                      want.speed >= 0 ? std::optional<int32_t>(want.speed) : std::nullopt);
            EXPECT_EQ(got.engineSpeed(2),
                      want.speed >= 0 ? std::optional<int32_t>(want.speed / 2) : std::nullopt);
            EXPECT_EQ(got.engineSpeed(4), std::nullopt) << "vacuum mode shows no speed";
        }
    }
}

TEST(LineTap, CountsOverRangeLinesUntilZeroingOrAStartAndDoesNothingAt9600) {
    MessageRecorder boxes;
    StationState s;
    FakeEnv env;
    env.baud = 1200;
    env.connected = true;
    s.DemoMode = false;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    receive(s, env, line(36, 146, 60, 3));
    receive(s, env, line(36, 250, 60, 3));                            // CO2 25.0 %
    receive(s, env, line(36, 249, 9000, 3) + line(36, 260, 9500, 3)); // HC; CO2 and HC: once
    EXPECT_EQ(s.LineOverRangeCount, 3);

    Button3Click(s, env); // zeroing
    EXPECT_EQ(s.LineOverRangeCount, 0);
    receive(s, env, line(36, 146, 9999, 3));
    Timer1Timer(s, env); // a zeroing tick: what came during zeroing is not kept
    EXPECT_EQ(s.LineOverRangeCount, 0);
    receive(s, env, line(36, 146, 9999, 3));
    EXPECT_EQ(s.LineOverRangeCount, 1);
    Button2Click(s, env); // F2 starts the run again
    EXPECT_EQ(s.LineOverRangeCount, 0);

    // At 9600 baud the tap finds nothing, and forgets a line begun at 1200.
    receive(s, env, "C0.36B14.6A99");
    env.baud = 9600;
    receive(s, env, line(36, 146, 9999, 3));
    EXPECT_EQ(s.LineOverRangeCount, 0);
    env.baud = 1200;
    receive(s, env, "99D00.3G0810\r\n");
    EXPECT_EQ(s.LineTap.lastId(), 6u) << "no line from the two halves around 9600 baud";
}

// Random lines cut into random blocks with noise and garbage between: with the tap on, the
// record, the labels and every reading are what the described steps alone give, and the tap
// finds every whole line with its own values.
TEST(LineTap, LeavesTheDescribedDecodingAsItWasAndFindsEveryWholeLine) {
    QRandomGenerator random(26);
    QByteArray stream;
    std::vector<Expected> sent;
    for (int k = 0; k < 400; ++k) {
        const int pick = random.bounded(10);
        if (pick == 0) {
            stream += "C0.3xB1\r\n"; // garbage that looks like a start
            continue;
        }
        const Expected e{random.bounded(1000) * 10, random.bounded(300) * 10, random.bounded(10000),
                         random.bounded(220) * 10, pick == 1 ? -1 : random.bounded(6000)};
        sent.push_back(e);
        stream += line(e.coMilli / 10, e.co2Centi / 10, e.hcPpm, e.o2Centi / 10, e.speed);
    }

    MessageRecorder boxes;
    StationState tapped, plain;
    FakeEnv env;
    env.baud = 1200;
    tapped.FrameSlots[4] = plain.FrameSlots[4] = analyser::defaultResultRecord();
    std::vector<AnalyserLine> found;
    uint64_t lastTaken = 0;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = 1 + random.bounded(70);
        const QByteArray block = stream.mid(at, size);
        at += size;
        receive(tapped, env, block);
        receiveWithoutTap(plain, env, block);
        SCOPED_TRACE(at);
        ASSERT_EQ(tapped.FrameSlots, plain.FrameSlots);
        const StationDisplay& a = tapped.Display;
        const StationDisplay& b = plain.Display;
        ASSERT_EQ(a.Label11, b.Label11);
        ASSERT_EQ(a.Label12, b.Label12);
        ASSERT_EQ(a.Label13, b.Label13);
        ASSERT_EQ(a.Label14, b.Label14);
        ASSERT_EQ(a.Label15, b.Label15);
        ASSERT_EQ(a.Label46, b.Label46);
        ASSERT_EQ(a.Label45Caption, b.Label45Caption);
        ASSERT_EQ(a.MarkerGreen, b.MarkerGreen);
        ASSERT_EQ(tapped.ValCO, plain.ValCO);
        ASSERT_EQ(tapped.ValCO2, plain.ValCO2);
        ASSERT_EQ(tapped.ValHC, plain.ValHC);
        ASSERT_EQ(tapped.ValO2, plain.ValO2);
        ASSERT_EQ(tapped.RpmText, plain.RpmText);
        ASSERT_EQ(tapped.OverRangeCount, plain.OverRangeCount);
        ASSERT_EQ(tapped.ResultDecodes, plain.ResultDecodes);
        ASSERT_EQ(tapped.ResultRecordId, plain.ResultRecordId);
        // A reader taking the lines newer than the last it took misses none.
        for (const AnalyserLine& l : tapped.RecentAnalyserLines)
            if (l.id > lastTaken)
                found.push_back(l);
        lastTaken = tapped.LineTap.lastId();
    }
    ASSERT_EQ(found.size(), sent.size());
    for (size_t k = 0; k < sent.size(); ++k) {
        EXPECT_EQ(found[k].id, k + 1);
        EXPECT_EQ(found[k].coMilli, sent[k].coMilli) << k;
        EXPECT_EQ(found[k].co2Centi, sent[k].co2Centi) << k;
        EXPECT_EQ(found[k].hcPpm, sent[k].hcPpm) << k;
        EXPECT_EQ(found[k].o2Centi, sent[k].o2Centi) << k;
        EXPECT_EQ(found[k].engineSpeed(1).value_or(-1), sent[k].speed) << k;
    }
}
