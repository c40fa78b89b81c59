// Property defaults, setter rules and invariants of the serial component.
#include "CPDrv.h"
#include "SerialTestSupport.h"

#include <gtest/gtest.h>

TEST(CPDrvProperties, DefaultsAreThoseOfAFreshComponent) {
    TCommPortDriver drv;
    EXPECT_EQ(drv.Port(), pnCOM2);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM2"));
    EXPECT_EQ(drv.BaudRate(), br9600);
    EXPECT_EQ(drv.BaudRateValue(), 9600u);
    EXPECT_EQ(drv.DataBits(), db8BITS);
    EXPECT_EQ(drv.StopBits(), sb1BITS);
    EXPECT_EQ(drv.Parity(), ptNONE);
    EXPECT_EQ(drv.HwFlow(), hfNONERTSON);
    EXPECT_EQ(drv.SwFlow(), sfNONE);
    EXPECT_EQ(drv.InBufSize(), 2048u);
    EXPECT_EQ(drv.OutBufSize(), 2048u);
    EXPECT_EQ(drv.PacketSize(), -1);
    EXPECT_EQ(drv.PacketTimeout(), -1);
    EXPECT_EQ(drv.PacketMode(), pmDiscard);
    EXPECT_EQ(drv.PollingDelay(), 50);
    EXPECT_TRUE(drv.EnableDTROnOpen());
    EXPECT_EQ(drv.OutputTimeout(), 500);
    EXPECT_EQ(drv.InputTimeout(), 200u);
    EXPECT_FALSE(drv.CheckLineStatus());
    EXPECT_FALSE(drv.OnReceiveData);
    EXPECT_FALSE(drv.OnReceivePacket);
    EXPECT_FALSE(drv.IsConnected());
    EXPECT_EQ(drv.OutputRoom(), 65535);
    EXPECT_EQ(drv.ModemLines(), 0);
    EXPECT_FALSE(drv.ApplyLineSettings());
    EXPECT_FALSE(drv.PurgeQueues(true, true));
}

TEST(CPDrvProperties, PortNumberSetsTheComNameAndACustomNameSetsPnCustom) {
    TCommPortDriver drv;
    drv.SetPort(pnCOM12);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM12"));
    drv.SetPort(pnCOM1);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM1"));
    drv.SetPort(pnCOM16);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM16"));
    drv.SetPort(pnCustom);
    EXPECT_EQ(drv.Port(), pnCustom);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM16"));

    drv.SetPort(pnCOM3);
    drv.SetPortName(QStringLiteral("\\\\.\\COM7"));
    EXPECT_EQ(drv.Port(), pnCustom);
    EXPECT_EQ(drv.PortName(), QStringLiteral("\\\\.\\COM7"));
    drv.SetPortName(QStringLiteral("  /dev/ttyUSB0 ")); // stored exactly, no trimming
    EXPECT_EQ(drv.PortName(), QStringLiteral("  /dev/ttyUSB0 "));
}

TEST(CPDrvProperties, BaudRateAndBaudRateValueFollowTheTable) {
    TCommPortDriver drv;
    const uint32_t expected[16] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                   14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int ordinal = 1; ordinal < 16; ++ordinal) {
        drv.SetBaudRate(static_cast<TBaudRate>(ordinal));
        EXPECT_EQ(drv.BaudRateValue(), expected[ordinal]) << ordinal;
        EXPECT_EQ(BaudRateTable[ordinal], expected[ordinal]) << ordinal;
    }
    drv.SetBaudRate(br19200);
    drv.SetBaudRate(brCustom);
    EXPECT_EQ(drv.BaudRate(), brCustom);
    EXPECT_EQ(drv.BaudRateValue(), 19200u);

    drv.SetBaudRate(br9600);
    drv.SetBaudRateValue(1200);
    EXPECT_EQ(drv.BaudRate(), brCustom);
    EXPECT_EQ(drv.BaudRateValue(), 1200u);
    drv.SetBaudRateValue(0); // no range check
    EXPECT_EQ(drv.BaudRateValue(), 0u);
}

TEST(CPDrvProperties, BufferSizesAreClampedTo128To8192) {
    struct Case {
        uint32_t set, expected;
    };
    for (const Case c : {Case{0, 128}, Case{100, 128}, Case{128, 128}, Case{129, 129}, Case{8192, 8192},
                         Case{10000, 8192}, Case{0xFFFFFFFFu, 8192}}) {
        TCommPortDriver drv;
        drv.SetInBufSize(c.set);
        drv.SetOutBufSize(c.set);
        EXPECT_EQ(drv.InBufSize(), c.expected) << c.set;
        EXPECT_EQ(drv.OutBufSize(), c.expected) << c.set;
    }
}

TEST(CPDrvProperties, PollingDelayHasAFloorOfFiveAndRaisesThePacketTimeout) {
    for (uint16_t v = 0; v <= 4; ++v) {
        TCommPortDriver drv;
        drv.SetPollingDelay(v);
        EXPECT_EQ(drv.PollingDelay(), 5) << v;
    }
    TCommPortDriver drv;
    struct Case {
        int32_t set, expected;
    };
    for (const Case c :
         {Case{30, 70}, Case{0, -1}, Case{-5, -1}, Case{49, 70}, Case{50, 50}, Case{1000, 1000}}) {
        drv.SetPacketTimeout(c.set);
        EXPECT_EQ(drv.PacketTimeout(), c.expected) << c.set;
    }
    drv.SetPacketTimeout(1000);
    drv.SetPollingDelay(1200);
    EXPECT_EQ(drv.PacketTimeout(), 1680);
    drv.SetPollingDelay(65535);
    EXPECT_EQ(drv.PacketTimeout(), 65535 + 65535 * 40 / 100);
    drv.SetPacketTimeout(-1);
    drv.SetPollingDelay(10);
    EXPECT_EQ(drv.PacketTimeout(), -1);
}

TEST(CPDrvProperties, PacketSizeNeverEndsAboveInBufSize) {
    TCommPortDriver drv;
    drv.SetPacketSize(4096);
    EXPECT_EQ(drv.PacketSize(), 4096);
    EXPECT_EQ(drv.InBufSize(), 4096u);
    drv.SetPacketSize(0);
    EXPECT_EQ(drv.PacketSize(), -1);
    drv.SetPacketSize(-7);
    EXPECT_EQ(drv.PacketSize(), -1);

    // A smaller buffer is raised back to the packet size.
    drv.SetPacketSize(3000);
    drv.SetInBufSize(1000);
    EXPECT_EQ(drv.InBufSize(), 3000u);

    // Beyond the largest buffer the packet is cut to it.
    drv.SetPacketSize(9000);
    EXPECT_EQ(drv.InBufSize(), 8192u);
    EXPECT_EQ(drv.PacketSize(), 8192);
}

TEST(CPDrvProperties, PacketTimeRoundsToTheNearestMillisecond) {
    TCommPortDriver drv;
    EXPECT_EQ(drv.PacketTime(100), 104u); // 100 / 960 s
    EXPECT_EQ(drv.PacketTime(10), 10u);
    EXPECT_EQ(drv.PacketTime(0), 0u);
    drv.SetBaudRate(br110);
    EXPECT_EQ(drv.PacketTime(1), 91u);
    drv.SetBaudRateValue(1200);
    EXPECT_EQ(drv.PacketTime(43), 358u);
    drv.SetBaudRateValue(0);
    EXPECT_EQ(drv.PacketTime(100), 0u);
}

TEST(CPDrvProperties, WhileConnectedPortNamesAndBufferSizesAreIgnored) {
    PtyPair pty;
    TCommPortDriver drv;
    drv.SetPortName(pty.slavePath());
    drv.SetPollingDelay(60000);
    ASSERT_TRUE(drv.Connect());

    drv.SetPort(pnCOM5);
    drv.SetPortName(QStringLiteral("/dev/other"));
    drv.SetInBufSize(4096);
    drv.SetOutBufSize(4096);
    EXPECT_EQ(drv.Port(), pnCustom);
    EXPECT_EQ(drv.PortName(), pty.slavePath());
    EXPECT_EQ(drv.InBufSize(), 2048u);
    EXPECT_EQ(drv.OutBufSize(), 2048u);
    EXPECT_EQ(drv.OutputRoom(), 2048); // nothing waits to go out on a pty

    // The buffer can't grow while connected, so the packet is cut down instead.
    drv.SetPacketSize(4096);
    EXPECT_EQ(drv.PacketSize(), 2048);
    EXPECT_EQ(drv.InBufSize(), 2048u);

    // A line setter keeps its value even when the device refuses it.
    drv.SetBaudRateValue(0);
    EXPECT_EQ(drv.BaudRateValue(), 0u);
    EXPECT_TRUE(drv.IsConnected());

    drv.Disconnect();
    EXPECT_FALSE(drv.IsConnected());
    drv.SetInBufSize(4096);
    EXPECT_EQ(drv.InBufSize(), 4096u);
}
