// The polling tick: data mode, packet mode with its time-outs, purging and the timer.
#include "CPDrv.h"
#include "SerialTestSupport.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <vector>

namespace {
QByteArray pattern(int size, int seed = 0) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 13 + 1);
    return bytes;
}

// Records every event the component raises.
struct Recorder {
    std::vector<QByteArray> data, packets;
    void attach(TCommPortDriver& drv) {
        drv.OnReceiveData = [this](TCommPortDriver*, const void* p, uint32_t n) {
            data.emplace_back(static_cast<const char*>(p), qsizetype(n));
        };
        drv.OnReceivePacket = [this](TCommPortDriver*, const void* p, uint32_t n) {
            packets.emplace_back(static_cast<const char*>(p), qsizetype(n));
        };
    }
};

// Ticks are driven by the test: the polling timer never runs because no test here pumps
// the event loop.
struct ManualPort {
    PtyPair pty;
    TCommPortDriver drv;
    Recorder seen;
    explicit ManualPort(int16_t packetSize = -1) {
        drv.SetPortName(pty.slavePath());
        drv.SetPollingDelay(50);
        drv.SetPacketSize(packetSize);
        seen.attach(drv);
    }
    void arrive(const QByteArray& bytes) {
        const int before = queued();
        pty.send(bytes);
        EXPECT_TRUE(pty.waitQueued(before + int(bytes.size())));
    }
    int queued() {
        int n = 0;
        ::ioctl(pty.slaveFd(), FIONREAD, &n);
        return n;
    }
};
} // namespace

TEST(CPDrvReceive, DataModeDeliversAllWaitingBytesInOneEvent) {
    ManualPort port;
    ASSERT_TRUE(port.drv.Connect());
    port.drv.PollTick();
    EXPECT_TRUE(port.seen.data.empty()); // nothing waiting, no event

    const QByteArray bytes = pattern(37);
    port.arrive(bytes);
    port.drv.PollTick();
    ASSERT_EQ(port.seen.data.size(), 1u);
    EXPECT_EQ(port.seen.data[0], bytes);
    EXPECT_TRUE(port.seen.packets.empty());
    port.drv.PollTick();
    EXPECT_EQ(port.seen.data.size(), 1u);
}

TEST(CPDrvReceive, MoreThanTheBufferIsDeliveredOverSeveralTicks) {
    ManualPort port;
    port.drv.SetInBufSize(128);
    ASSERT_TRUE(port.drv.Connect());
    const QByteArray bytes = pattern(300, 5);
    port.arrive(bytes);
    QByteArray got;
    for (int tick = 0; tick < 10 && got.size() < bytes.size(); ++tick) {
        port.drv.PollTick();
        if (!port.seen.data.empty()) {
            EXPECT_LE(port.seen.data.back().size(), 128);
            got += port.seen.data.back();
            port.seen.data.clear();
        }
    }
    EXPECT_EQ(got, bytes);
}

TEST(CPDrvReceive, PacketModeDeliversWholePacketsAndLeavesTheRestQueued) {
    FakeClock clock(1000);
    ManualPort port(10);
    port.drv.SetPacketTimeout(100);
    ASSERT_TRUE(port.drv.Connect());
    const QByteArray bytes = pattern(25);
    port.arrive(bytes);
    port.drv.PollTick();
    ASSERT_EQ(port.seen.packets.size(), 2u);
    EXPECT_EQ(port.seen.packets[0], bytes.mid(0, 10));
    EXPECT_EQ(port.seen.packets[1], bytes.mid(10, 10));
    EXPECT_TRUE(port.seen.data.empty());

    // The five left over become the head of the next packet.
    const QByteArray more = pattern(5, 99);
    port.arrive(more);
    clock.now += 20;
    port.drv.PollTick();
    ASSERT_EQ(port.seen.packets.size(), 3u);
    EXPECT_EQ(port.seen.packets[2], bytes.mid(20) + more);
}

TEST(CPDrvReceive, APartialPacketIsPassedOnOrDroppedWhenItTimesOut) {
    for (const TPacketMode mode : {pmPass, pmDiscard}) {
        FakeClock clock(1000);
        ManualPort port(10);
        port.drv.SetPacketTimeout(100);
        port.drv.SetPacketMode(mode);
        ASSERT_TRUE(port.drv.Connect());

        const QByteArray part = pattern(5);
        port.arrive(part);
        port.drv.PollTick(); // the partial packet starts now
        clock.now += 100;
        port.drv.PollTick(); // not yet over the time-out
        EXPECT_TRUE(port.seen.packets.empty());
        clock.now += 1;
        port.drv.PollTick();
        if (mode == pmPass) {
            ASSERT_EQ(port.seen.packets.size(), 1u);
            EXPECT_EQ(port.seen.packets[0], part);
        } else {
            EXPECT_TRUE(port.seen.packets.empty());
        }
        // Either way the partial bytes are gone: the next packet is all new bytes.
        port.seen.packets.clear();
        const QByteArray next = pattern(10, 50);
        port.arrive(next);
        port.drv.PollTick();
        ASSERT_EQ(port.seen.packets.size(), 1u) << int(mode);
        EXPECT_EQ(port.seen.packets[0], next);
    }
}

TEST(CPDrvReceive, WithoutAPacketTimeoutAPartialPacketWaitsForever) {
    FakeClock clock(1000);
    ManualPort port(10);
    port.drv.SetPacketMode(pmPass);
    ASSERT_TRUE(port.drv.Connect());
    port.arrive(pattern(5));
    port.drv.PollTick();
    clock.now += 1000000;
    port.drv.PollTick();
    EXPECT_TRUE(port.seen.packets.empty());
}

TEST(CPDrvReceive, ARemainderAfterWholePacketsIsTimedFromTheTickThatLeftIt) {
    FakeClock clock(1000);
    ManualPort port(10);
    port.drv.SetPacketTimeout(100);
    port.drv.SetPacketMode(pmPass);
    ASSERT_TRUE(port.drv.Connect());
    port.arrive(pattern(25));
    port.drv.PollTick();
    ASSERT_EQ(port.seen.packets.size(), 2u);
    clock.now += 50;
    port.drv.PollTick();
    EXPECT_EQ(port.seen.packets.size(), 2u); // the remainder has not timed out yet
    clock.now += 51;
    port.drv.PollTick();
    ASSERT_EQ(port.seen.packets.size(), 3u);
    EXPECT_EQ(port.seen.packets[2].size(), 5);
}

TEST(CPDrvReceive, AnAdvancedPacketStartNeverLiesInTheFuture) {
    FakeClock clock(1000);
    ManualPort port(10);
    port.drv.SetPacketTimeout(100);
    port.drv.SetPacketMode(pmPass);
    ASSERT_TRUE(port.drv.Connect());
    port.arrive(pattern(5));
    port.drv.PollTick(); // started at 1000
    // A pty delivers the next twenty bytes faster than two packets' line time (20 ms).
    port.arrive(pattern(20, 7));
    clock.now = 1005;
    port.drv.PollTick();
    ASSERT_EQ(port.seen.packets.size(), 2u);
    clock.now = 1006;
    port.drv.PollTick();
    EXPECT_EQ(port.seen.packets.size(), 2u);
    clock.now = 1106;
    port.drv.PollTick();
    EXPECT_EQ(port.seen.packets.size(), 3u);
}

TEST(CPDrvReceive, ThePacketStartAdvancesByOnePacketTimePerPacket) {
    FakeClock clock(1000);
    ManualPort port(10);
    port.drv.SetPacketTimeout(100);
    port.drv.SetPacketMode(pmPass);
    ASSERT_TRUE(port.drv.Connect());
    port.arrive(pattern(5));
    port.drv.PollTick(); // started at 1000
    port.arrive(pattern(20, 3));
    clock.now = 1050;
    port.drv.PollTick(); // two packets of 10 ms each: the remainder starts at 1020
    ASSERT_EQ(port.seen.packets.size(), 2u);
    clock.now = 1120;
    port.drv.PollTick();
    EXPECT_EQ(port.seen.packets.size(), 2u);
    clock.now = 1121;
    port.drv.PollTick();
    EXPECT_EQ(port.seen.packets.size(), 3u);
}

TEST(CPDrvReceive, ConnectOnAnOpenPortKeepsWaitingBytes) {
    ManualPort port;
    ASSERT_TRUE(port.drv.Connect());
    port.arrive("abcd");
    EXPECT_TRUE(port.drv.Connect());
    port.drv.PollTick();
    ASSERT_EQ(port.seen.data.size(), 1u);
    EXPECT_EQ(port.seen.data[0], QByteArray("abcd"));
}

TEST(CPDrvReceive, ChangingParityWhileOpenDiscardsUnreadBytes) {
    ManualPort port;
    port.drv.SetPollingDelay(60000); // this test pumps the event loop
    ASSERT_TRUE(port.drv.Connect());
    port.arrive("stale bytes");
    port.drv.SetParity(ptEVEN);
    EXPECT_EQ(port.drv.Parity(), ptEVEN);
    port.drv.PollTick();
    EXPECT_TRUE(port.seen.data.empty());

    port.arrive("fresh");
    port.drv.PollTick();
    ASSERT_EQ(port.seen.data.size(), 1u);
    EXPECT_EQ(port.seen.data[0], QByteArray("fresh"));

    // Bytes already taken into the port's own buffer are discarded as well.
    port.arrive("buffered");
    pumpFor(20);
    EXPECT_TRUE(port.drv.PurgeQueues(true, false));
    port.drv.PollTick();
    EXPECT_EQ(port.seen.data.size(), 1u);
}

TEST(CPDrvReceive, ThePollingTimerDeliversUntilDisconnect) {
    PtyPair pty;
    TCommPortDriver drv;
    Recorder seen;
    seen.attach(drv);
    drv.SetPortName(pty.slavePath());
    drv.SetPollingDelay(20);
    ASSERT_TRUE(drv.Connect());
    auto total = [&] {
        qsizetype n = 0;
        for (const QByteArray& b : seen.data)
            n += b.size();
        return n;
    };
    const QByteArray first = pattern(50);
    pty.send(first);
    ASSERT_TRUE(pumpUntil([&] { return total() == 50; }, 2000));
    EXPECT_EQ(seen.data.front().left(5), first.left(5));

    // A long delay set while open restarts the timer with it.
    drv.SetPollingDelay(60000);
    pty.send("x");
    pumpFor(200);
    EXPECT_EQ(total(), 50);
    drv.SetPollingDelay(20);
    ASSERT_TRUE(pumpUntil([&] { return total() == 51; }, 2000));

    drv.Disconnect();
    pty.send("after");
    pumpFor(100);
    EXPECT_EQ(total(), 51);
}
