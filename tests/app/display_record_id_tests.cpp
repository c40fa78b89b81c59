// Result record identity: every decoding is counted, and a record counts as new once. At 9600
// baud every frame cut from a block is a new record, even with the values of the one before;
// at 1200 baud the record kept in slot 5 is decoded at every receive event and is new only
// when a lettered field has changed it.
#include "AnalyserFrames.h"
#include "StationLogic.h"
#include "StationState.h"

#include <gtest/gtest.h>

#include "frames_test_support.h"

namespace vz {
namespace {

using test::FakeEnv;
using test::MessageRecorder;
using test::resultRecord;

void receive(StationState& s, FakeEnv& env, const QByteArray& block) {
    cpDrvReceiveData(s, env, block.constData(), uint32_t(block.size()));
}

TEST(ResultRecordId, framesCutFromABlockAreNewRecordsEvenWithTheSameValues) {
    MessageRecorder boxes;
    StationState s;
    FakeEnv env;
    const QByteArray record = resultRecord("00.500", "14.50", "00100", "00.50", "0850");
    receive(s, env, record);
    EXPECT_EQ(s.ResultDecodes, 1u);
    EXPECT_EQ(s.ResultRecordId, 1u);
    receive(s, env, record);
    EXPECT_EQ(s.ResultRecordId, 2u) << "the analyser answered again: a new record";
    receive(s, env, record + record);
    EXPECT_EQ(s.ResultDecodes, 4u);
    EXPECT_EQ(s.ResultRecordId, 4u);
    receive(s, env, test::frame("IN", "xxx0"));
    EXPECT_EQ(s.ResultDecodes, 4u) << "no result record, nothing counted";
    EXPECT_EQ(s.Display.Label15, " 0850") << "the display is as before";
}

TEST(ResultRecordId, theKeptRecordAt1200BaudIsNewOnlyWhenAFieldChanges) {
    MessageRecorder boxes;
    StationState s;
    FakeEnv env;
    env.baud = 1200;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    const QByteArray line = "C0.50B14.5A0100D00.5G0850\r\nX";
    receive(s, env, line);
    EXPECT_EQ(s.ResultDecodes, 2u) << "slot 1 and slot 5 hold the same record";
    EXPECT_EQ(s.ResultRecordId, 1u);
    receive(s, env, line);
    receive(s, env, "partial");
    EXPECT_EQ(s.ResultDecodes, 6u);
    EXPECT_EQ(s.ResultRecordId, 1u) << "the same record decoded again";
    receive(s, env, "C0.51B14.5A0100D00.5G0850\r\nX");
    EXPECT_EQ(s.ResultRecordId, 2u);
    EXPECT_EQ(s.Display.Label11, "0.510");
}

TEST(ResultRecordId, demoLinesAreNewRecordsAndTheKeptRecordIsNot) {
    MessageRecorder boxes;
    StationState s;
    FakeEnv env;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    s.FrameSlots[0] = resultRecord("00.500", "14.50", "00100", "00.50");
    s.FrameSlots[1] = resultRecord("00.500", "14.50", "00100", "00.50");
    ShowResData(s, env);
    EXPECT_EQ(s.ResultDecodes, 3u);
    EXPECT_EQ(s.ResultRecordId, 3u);
    s.FrameSlots[0] = resultRecord("00.600", "14.50", "00100", "00.50");
    s.FrameSlots[1] = resultRecord("00.600", "14.50", "00100", "00.50");
    ShowResData(s, env);
    EXPECT_EQ(s.ResultDecodes, 6u);
    EXPECT_EQ(s.ResultRecordId, 5u) << "two replayed lines; slot 5 is unchanged";
}

} // namespace
} // namespace vz
