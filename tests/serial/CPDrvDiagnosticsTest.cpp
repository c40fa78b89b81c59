// The port's diagnostic lines (vezaro.port) over real pseudo-terminals: opening and closing
// with the device behind the port name, failed opens and sends with the system's reason, a
// lost device, and the logging rules that silence them.
#include "../DiagnosticsCapture.h"
#include "CPDrv.h"
#include "SerialTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using vz::test::DiagnosticsCapture;

namespace {

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

std::string text(const DiagnosticsCapture& capture) {
    return capture.all().toStdString();
}

// A component that polls only when the test says so.
void quietPolling(TCommPortDriver& drv) {
    drv.SetPollingDelay(60000);
}

// The child run: opens and closes the port named by VZ_DIAGNOSTICS_PORT, and nothing else.
// It exists only in a run started by PortDiagnostics.TheLinesReachStderrUnlessTheRulesSilenceThem.
class ChildOpenAndClose : public ::testing::Test {
public:
    void TestBody() override {
        TCommPortDriver drv;
        quietPolling(drv);
        drv.SetPortName(QString::fromLocal8Bit(std::getenv("VZ_DIAGNOSTICS_PORT")));
        ASSERT_TRUE(drv.Connect());
        drv.Disconnect();
    }
};
[[maybe_unused]] const bool childRegistered = [] {
    if (std::getenv("VZ_DIAGNOSTICS_PORT"))
        ::testing::RegisterTest("PortDiagnosticsChild", "OpenAndClose", nullptr, nullptr, __FILE__, __LINE__,
                                []() -> ::testing::Test* { return new ChildOpenAndClose; });
    return true;
}();

// The child run's stderr, with `rules` as QT_LOGGING_RULES (unset when empty).
QString childStderr(const QString& port, const QString& rules) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VZ_DIAGNOSTICS_PORT"), port);
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    if (rules.isEmpty())
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
    else
        env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
                {QStringLiteral("--gtest_filter=PortDiagnosticsChild.OpenAndClose")});
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished();
        ADD_FAILURE() << "the child run did not finish";
    }
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    return QString::fromLocal8Bit(child.readAllStandardError());
}

} // namespace

TEST(PortDiagnostics, OpeningAndClosingAComLinkNameTheDeviceBehindIt) {
    ScratchDir scratch;
    PtyPair pty;
    ASSERT_TRUE(QFile::link(pty.slavePath(), QStringLiteral("COM7")));
    const QString device = canonical(pty.slavePath());

    DiagnosticsCapture capture;
    TCommPortDriver drv;
    quietPolling(drv);
    drv.SetPort(pnCOM7);
    drv.SetBaudRate(br1200);
    ASSERT_TRUE(drv.Connect());
    drv.Disconnect();
    drv.Disconnect(); // already closed: nothing more

    ASSERT_EQ(capture.lines().size(), 2) << text(capture);
    EXPECT_EQ(capture.lines()[0].text,
              QStringLiteral("vezaro.port: opened COM7 -> %1 at 1200 baud").arg(device));
    EXPECT_EQ(capture.lines()[0].type, QtInfoMsg);
    EXPECT_EQ(capture.lines()[1].text, QStringLiteral("vezaro.port: closed COM7 -> %1").arg(device));
    EXPECT_EQ(capture.lines()[1].type, QtInfoMsg);

    // A device path as the port name is named once.
    capture.clear();
    drv.SetPortName(device);
    ASSERT_TRUE(drv.Connect());
    drv.Disconnect();
    EXPECT_TRUE(capture.has(QStringLiteral("vezaro.port: opened %1 at 1200 baud").arg(device)))
        << text(capture);
    EXPECT_TRUE(capture.has(QStringLiteral("vezaro.port: closed %1").arg(device))) << text(capture);
}

TEST(PortDiagnostics, AFailedOpenTellsTheSystemsReason) {
    ScratchDir scratch;
    const QString missing = scratch.path() + QStringLiteral("/absent-device");
    ASSERT_TRUE(QFile::link(missing, QStringLiteral("COM3")));
    // A plain file is no terminal: it opens, but its line cannot be set up.
    const QString plain = scratch.path() + QStringLiteral("/plain-file");
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(plain, QStringLiteral("COM4")));

    DiagnosticsCapture capture;
    TCommPortDriver drv;
    quietPolling(drv);
    drv.SetPort(pnCOM3);
    EXPECT_FALSE(drv.Connect());
    drv.SetPort(pnCOM4);
    EXPECT_FALSE(drv.Connect());

    ASSERT_EQ(capture.lines().size(), 2) << text(capture);
    EXPECT_EQ(capture.lines()[0].text,
              QStringLiteral("vezaro.port: open COM3 -> %1 failed: No such file or directory").arg(missing));
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
    EXPECT_TRUE(capture.lines()[1].text.startsWith(
        QStringLiteral("vezaro.port: open COM4 -> %1 failed: ").arg(canonical(plain))))
        << text(capture);
    EXPECT_EQ(capture.lines()[1].type, QtWarningMsg);
    // The failed opens never counted as open: no "closed" line when the component goes.
    drv.Disconnect();
    EXPECT_EQ(capture.lines().size(), 2) << text(capture);
}

TEST(PortDiagnostics, ADeviceLockedByAnotherProgramAndRefusedLineSettingsAreTold) {
    PtyPair pty;
    const QString device = canonical(pty.slavePath());
    DiagnosticsCapture capture;
    TCommPortDriver drv;
    quietPolling(drv);
    drv.SetPortName(device);

    const int other = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(drv.Connect());
    ::close(other);

    drv.SetBaudRateValue(0);
    EXPECT_FALSE(drv.Connect());

    ASSERT_EQ(capture.lines().size(), 2) << text(capture);
    EXPECT_EQ(capture.lines()[0].text,
              QStringLiteral("vezaro.port: open %1 failed: locked by another program (%2)")
                  .arg(device, QString::fromLocal8Bit(std::strerror(EWOULDBLOCK))));
    EXPECT_EQ(capture.lines()[1].text,
              QStringLiteral("vezaro.port: open %1 failed: line settings refused at 0 baud").arg(device));
}

TEST(PortDiagnostics, ALostDeviceIsToldOnceAndEachFailedSendWithItsReason) {
    PtyPair pty;
    const QString device = canonical(pty.slavePath());
    TCommPortDriver drv;
    quietPolling(drv);
    drv.SetPortName(device);
    drv.SetOutputTimeout(300);
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(drv.SendText("RG")); // a whole send says nothing

    DiagnosticsCapture capture;
    pty.closeMaster();
    EXPECT_FALSE(drv.SendText("RGRG")); // the write itself finds the device gone
    drv.PollTick();
    pumpFor(100); // the port may report read errors over and over meanwhile
    drv.PollTick();
    EXPECT_FALSE(drv.SendText("IN"));
    drv.Disconnect();

    const QString lostEio = QString::fromLocal8Bit(std::strerror(EIO));
    const QStringList expected{
        QStringLiteral("vezaro.port: lost %1: %2").arg(device, lostEio),
        QStringLiteral("vezaro.port: send to %1 failed: %2 (0 of 4 bytes sent)").arg(device, lostEio),
        QStringLiteral("vezaro.port: send to %1 failed: device lost (0 of 2 bytes sent)").arg(device),
        QStringLiteral("vezaro.port: closed %1").arg(device),
    };
    ASSERT_EQ(capture.lines().size(), expected.size()) << text(capture);
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(capture.lines()[i].text, expected[i]);
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
    EXPECT_EQ(capture.lines()[1].type, QtWarningMsg);
}

TEST(PortDiagnostics, ALineThatHangsUpWhileReadingIsToldAsSuch) {
    PtyPair pty;
    const QString device = canonical(pty.slavePath());
    TCommPortDriver drv;
    drv.SetPortName(device);
    drv.SetPollingDelay(10);
    ASSERT_TRUE(drv.Connect());

    DiagnosticsCapture capture;
    pty.closeMaster();
    pumpFor(150);
    EXPECT_EQ(capture.all(), QStringLiteral("vezaro.port: lost %1: the line hung up").arg(device));
}

TEST(PortDiagnostics, ASendStoppedByTheTimeoutOrTheLineCheckSaysSo) {
    PtyPair pty;
    const QString device = canonical(pty.slavePath());
    TCommPortDriver drv;
    quietPolling(drv);
    drv.SetPortName(device);
    DiagnosticsCapture capture;
    EXPECT_FALSE(drv.SendText("RG"));
    ASSERT_TRUE(drv.Connect());

    // Far more than a pty buffers, and the far end doesn't read.
    const QByteArray block(1 << 20, 'x');
    const uint32_t sent = drv.SendBytes(block.constData(), uint32_t(block.size()), 100);
    ASSERT_LT(sent, uint32_t(block.size()));
    pty.receive(int(sent), 5000);

    drv.SetCheckLineStatus(true); // a pty has no modem lines
    EXPECT_FALSE(drv.SendText("RG"));
    drv.Disconnect();

    const auto sends = capture.startingWith(QStringLiteral("vezaro.port: send to "));
    ASSERT_EQ(sends.size(), 3) << text(capture);
    EXPECT_EQ(
        sends[0].text,
        QStringLiteral("vezaro.port: send to %1 failed: port not open (0 of 2 bytes sent)").arg(device));
    EXPECT_EQ(sends[1].text,
              QStringLiteral("vezaro.port: send to %1 failed: no progress for 100 ms (%2 of %3 bytes sent)")
                  .arg(device)
                  .arg(sent)
                  .arg(block.size()));
    EXPECT_EQ(
        sends[2].text,
        QStringLiteral("vezaro.port: send to %1 failed: no modem line on (0 of 2 bytes sent)").arg(device));
}

TEST(PortDiagnostics, TheFilterRulesSilenceTheCategory) {
    ScratchDir scratch;
    PtyPair pty;
    DiagnosticsCapture capture;
    {
        vz::test::DiagnosticsSilenced silenced;
        TCommPortDriver drv;
        quietPolling(drv);
        drv.SetPortName(pty.slavePath());
        ASSERT_TRUE(drv.Connect());
        drv.Disconnect();
        drv.SetPortName(scratch.path() + QStringLiteral("/absent-device"));
        EXPECT_FALSE(drv.Connect());
        EXPECT_FALSE(drv.SendText("RG"));
    }
    EXPECT_TRUE(capture.lines().isEmpty()) << text(capture);
}

TEST(PortDiagnostics, TheLinesReachStderrUnlessTheRulesSilenceThem) {
    PtyPair pty;
    const QString device = canonical(pty.slavePath());
    const QString normal = childStderr(device, QString());
    EXPECT_TRUE(normal.contains(QStringLiteral("vezaro.port: opened %1 at 9600 baud\n").arg(device)))
        << normal.toStdString();
    EXPECT_TRUE(normal.contains(QStringLiteral("vezaro.port: closed %1\n").arg(device)))
        << normal.toStdString();

    const QString silenced = childStderr(device, QStringLiteral("vezaro.*=false"));
    EXPECT_FALSE(silenced.contains(QStringLiteral("vezaro."))) << silenced.toStdString();
    const QString otherSilenced = childStderr(device, QStringLiteral("vezaro.files=false"));
    EXPECT_TRUE(otherSilenced.contains(QStringLiteral("vezaro.port: opened"))) << otherSilenced.toStdString();
}
