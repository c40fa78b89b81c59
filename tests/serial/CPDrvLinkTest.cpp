// Opening, closing, line settings and sending, over real pseudo-terminals.
#include "AnalyserFrames.h"
#include "CPDrv.h"
#include "SerialTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {
// A component on the pty's slave end, with polling left to the test.
void attach(TCommPortDriver& drv, const PtyPair& pty) {
    drv.SetPortName(pty.slavePath());
    drv.SetPollingDelay(60000);
}
} // namespace

TEST(CPDrvLink, ConnectFailsOnAMissingDeviceAndStaysClosed) {
    TCommPortDriver drv;
    drv.SetPortName(QStringLiteral("/dev/no-such-serial-device"));
    EXPECT_FALSE(drv.Connect());
    EXPECT_FALSE(drv.IsConnected());
    EXPECT_FALSE(drv.SendText("RG"));

    drv.SetPortName(QStringLiteral("/dev/null")); // exists, but is no terminal
    EXPECT_FALSE(drv.Connect());
    EXPECT_FALSE(drv.IsConnected());
}

TEST(CPDrvLink, ADeviceHeldByAnotherComponentOrProgramCannotBeOpened) {
    PtyPair pty;
    TCommPortDriver first, second;
    attach(first, pty);
    attach(second, pty);
    ASSERT_TRUE(first.Connect());
    EXPECT_FALSE(second.Connect());
    EXPECT_FALSE(second.IsConnected());
    EXPECT_TRUE(first.IsConnected());

    // Closing releases the device for the next one.
    first.Disconnect();
    ASSERT_TRUE(second.Connect());
    second.Disconnect();

    // Another program that locks the device holds it too.
    const int other = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(first.Connect());
    EXPECT_FALSE(first.IsConnected());
    ::close(other);
    EXPECT_TRUE(first.Connect());
}

TEST(CPDrvLink, AnInvalidLineSettingFailsConnectAndClosesTheDevice) {
    PtyPair pty;
    TCommPortDriver drv, next;
    attach(drv, pty);
    attach(next, pty);
    drv.SetBaudRateValue(0);
    EXPECT_FALSE(drv.Connect());
    EXPECT_FALSE(drv.IsConnected());
    EXPECT_TRUE(next.Connect()); // the failed attempt released the device
}

TEST(CPDrvLink, AnyBaudRateIsAcceptedByAPty) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    drv.SetBaudRateValue(1000);
    ASSERT_TRUE(drv.Connect());
    EXPECT_TRUE(drv.ApplyLineSettings());
    drv.SetBaudRateValue(1200);
    EXPECT_TRUE(drv.ApplyLineSettings());
    EXPECT_TRUE(drv.SendText("x"));
    EXPECT_EQ(pty.receive(1), QByteArray("x"));
}

TEST(CPDrvLink, LineSettingsReachTheTerminal) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    drv.SetBaudRate(br19200);
    drv.SetDataBits(db7BITS);
    drv.SetParity(ptODD);
    drv.SetStopBits(sb2BITS);
    drv.SetHwFlow(hfRTSCTS);
    drv.SetSwFlow(sfXONXOFF);
    ASSERT_TRUE(drv.Connect());

    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    // A pty keeps 8 data bits without parity, and that doesn't fail the settings.
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_iflag & IXON);
    EXPECT_TRUE(tio.c_iflag & IXOFF);
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B19200));

    // Re-applied at once while open.
    drv.SetStopBits(sb1BITS);
    drv.SetHwFlow(hfNONE);
    drv.SetSwFlow(sfNONE);
    drv.SetBaudRateValue(1200);
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_iflag & IXON);
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B1200));
    drv.SetSwFlow(sfXONXOFF);
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &tio), 0);
    EXPECT_TRUE(tio.c_iflag & IXON);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
}

TEST(CPDrvLink, EmptyTextSucceedsEvenClosedAndOtherTextNeedsAnOpenPort) {
    TCommPortDriver drv;
    EXPECT_TRUE(drv.SendText(QByteArray()));
    EXPECT_FALSE(drv.SendText("RG"));
    const char byte = 'x';
    EXPECT_EQ(drv.SendBytes(&byte, 1), 0u);

    PtyPair pty;
    attach(drv, pty);
    ASSERT_TRUE(drv.Connect());
    EXPECT_TRUE(drv.SendText(QByteArray()));
    EXPECT_TRUE(pty.receiveAll().isEmpty());
}

TEST(CPDrvLink, SentBytesArriveByteForByteZeroBytesIncluded) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    ASSERT_TRUE(drv.Connect());

    ASSERT_TRUE(drv.SendText(analyser::frameStart()));
    EXPECT_EQ(pty.receive(4), QByteArray::fromHex("64010404"));
    ASSERT_TRUE(drv.SendText(analyser::frameReset()));
    EXPECT_EQ(pty.receive(4), QByteArray::fromHex("64010000"));
    EXPECT_TRUE(pty.receiveAll().isEmpty()); // nothing more than the four bytes

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    ASSERT_TRUE(drv.SendText(all));
    EXPECT_EQ(pty.receive(256), all);

    ASSERT_TRUE(drv.SendText(analyser::frameOUBlank()));
    EXPECT_EQ(pty.receive(9), analyser::frameOUBlank());
}

TEST(CPDrvLink, ASendNoOneReadsStopsAfterTheTimeoutWithoutProgress) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    ASSERT_TRUE(drv.Connect());

    // Far more than a pty buffers: the far end doesn't read, so the queue fills and the
    // send gives up, having written a prefix of the block.
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    const uint32_t sent = drv.SendBytes(block.constData(), uint32_t(block.size()), 100);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, uint32_t(block.size()));
    EXPECT_EQ(pty.receive(int(sent), 5000), block.left(sent));
}

TEST(CPDrvLink, WithLineCheckingASendStopsWhenNoModemLineIsOn) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    ASSERT_TRUE(drv.Connect());
    EXPECT_EQ(drv.ModemLines(), 0); // a pty has no modem lines
    drv.SetCheckLineStatus(true);
    const char text[] = "RG";
    EXPECT_EQ(drv.SendBytes(text, 2), 0u);
    EXPECT_FALSE(drv.SendText("RG"));
    EXPECT_TRUE(pty.receiveAll().isEmpty());
    drv.SetCheckLineStatus(false);
    EXPECT_TRUE(drv.SendText("RG"));
    EXPECT_EQ(pty.receive(2), QByteArray("RG"));
}

TEST(CPDrvLink, ASendToAVanishedPeerFailsWithinTheTimeoutAndPollingStaysQuiet) {
    PtyPair pty;
    TCommPortDriver drv;
    attach(drv, pty);
    drv.SetOutputTimeout(300);
    int events = 0;
    drv.OnReceiveData = [&](TCommPortDriver*, const void*, uint32_t) { ++events; };
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(drv.SendText("RG"));

    pty.send("pending");
    ASSERT_TRUE(pty.waitQueued(7));
    pty.closeMaster();

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(drv.SendText(analyser::frameRG()));
    EXPECT_LE(timer.elapsed(), drv.OutputTimeout());

    drv.PollTick();
    pumpFor(100); // a vanished pty end may keep reporting read errors; none reach the owner
    drv.PollTick();
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(drv.SendText("RG"));
    EXPECT_EQ(drv.OutputRoom(), 0);

    // The owner closes the port; the component is usable again.
    EXPECT_TRUE(drv.IsConnected());
    drv.Disconnect();
    EXPECT_FALSE(drv.IsConnected());
    PtyPair next;
    drv.SetPortName(next.slavePath());
    ASSERT_TRUE(drv.Connect());
    EXPECT_TRUE(drv.SendText("IN"));
    EXPECT_EQ(next.receive(2), QByteArray("IN"));
}

TEST(CPDrvLink, AVanishedPeerNoticedWhileReadingRaisesNoEvent) {
    PtyPair pty;
    TCommPortDriver drv;
    drv.SetPortName(pty.slavePath());
    drv.SetPollingDelay(10);
    int events = 0;
    drv.OnReceiveData = [&](TCommPortDriver*, const void*, uint32_t) { ++events; };
    ASSERT_TRUE(drv.Connect());
    pty.closeMaster();
    pumpFor(150);
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(drv.SendText("RG"));
}
