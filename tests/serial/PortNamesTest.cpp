// Port names: "\\.\COMn" through a COMn link in the current directory, or /dev/ttyS(n-1).
#include "PortNames.h"
#include "CPDrv.h"
#include "SerialTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(PortNames, WithoutALinkComNamesMapToTheOnBoardPorts) {
    ScratchDir scratch;
    struct Case {
        const char *name, *device;
    };
    for (const Case c :
         {Case{R"(\\.\COM1)", "/dev/ttyS0"}, Case{R"(\\.\COM2)", "/dev/ttyS1"},
          Case{R"(\\.\COM16)", "/dev/ttyS15"}, Case{R"(\\.\com3)", "/dev/ttyS2"},
          // Anything else is a device path used as given.
          Case{"/dev/ttyUSB0", "/dev/ttyUSB0"}, Case{"COM1", "COM1"}, Case{R"(\\.\COM0)", R"(\\.\COM0)"},
          Case{R"(\\.\COM)", R"(\\.\COM)"}, Case{R"(\\.\COM1 )", R"(\\.\COM1 )"}, Case{"", ""},
          Case{R"(\\.\COM01)", R"(\\.\COM01)"}, Case{R"(\\.\COM1x)", R"(\\.\COM1x)"},
          Case{R"(\\.\cOm123456789)", "/dev/ttyS123456788"},
          Case{R"(\\.\COM1234567890)", R"(\\.\COM1234567890)"}, Case{R"(x\\.\COM1)", R"(x\\.\COM1)"}}) {
        EXPECT_EQ(mapPortName(QString::fromLatin1(c.name)), QString::fromLatin1(c.device)) << c.name;
    }
}

TEST(PortNames, AComLinkInTheCurrentDirectoryLeadsToItsDevice) {
    ScratchDir scratch;
    PtyPair pty;
    ASSERT_TRUE(QFile::link(pty.slavePath(), QStringLiteral("COM1")));
    const QString device = QFileInfo(pty.slavePath()).canonicalFilePath();
    EXPECT_EQ(mapPortName(QStringLiteral("\\\\.\\COM1")), device);
    EXPECT_EQ(mapPortName(QStringLiteral("\\\\.\\COM2")), QStringLiteral("/dev/ttyS1"));
    // A link in another directory counts only when that directory is asked for.
    {
        QTemporaryDir other;
        EXPECT_EQ(mapPortName(QStringLiteral("\\\\.\\COM1"), other.path()), QStringLiteral("/dev/ttyS0"));
        EXPECT_EQ(mapPortName(QStringLiteral("\\\\.\\COM1"), scratch.path()), device);
    }
    // A dangling link names its missing target rather than another port.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/no-such-serial-device"), QStringLiteral("COM4")));
    EXPECT_EQ(mapPortName(QStringLiteral("\\\\.\\COM4")), QStringLiteral("/dev/no-such-serial-device"));

    TCommPortDriver drv;
    drv.SetPort(pnCOM1);
    EXPECT_EQ(drv.DevicePath(), device);
    drv.SetPollingDelay(60000);
    ASSERT_TRUE(drv.Connect());
    EXPECT_TRUE(drv.SendText("RG"));
    EXPECT_EQ(pty.receive(2), QByteArray("RG"));

    // The device is held whichever name it is opened by.
    TCommPortDriver byPath;
    byPath.SetPortName(pty.slavePath());
    EXPECT_FALSE(byPath.Connect());
    drv.Disconnect();

    drv.SetPort(pnCOM4);
    EXPECT_FALSE(drv.Connect());
}
