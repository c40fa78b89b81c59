#include "Files.h"
#include "SettingsFile.h"
#include "SettingsTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace vz;

namespace {

SettingsLines linesOf(QString l1, QString l2, QString l3, QString l4, QString l5) {
    return {l1, l2, l3, l4, l5};
}

const SettingsLines Example =
    linesOf("COM PORT= COM2", "BAUDRATE= 9600", "DATABITS= 8bits", "Hor Size= 707", "Windowed= normal");

// A driver in start-up's state before the file is applied.
struct StartupDriver {
    TCommPortDriver drv;
    StartupDriver() {
        drv.SetDataBits(db8BITS);
        drv.SetPort(pnCOM1);
    }
};

// Writes what shut-down writes for `drv`, then reads it back into a fresh start-up driver.
SettingsApplyResult roundTrip(const TCommPortDriver& drv, TCommPortDriver& fresh, int width = 707,
                              bool normal = true) {
    EXPECT_TRUE(writeSettingsFile(settingsFromDriver(drv, width, normal)));
    const std::optional<SettingsLines> lines = readSettingsFile();
    EXPECT_TRUE(lines.has_value());
    return lines ? applySettings(*lines, fresh) : SettingsApplyResult{};
}

} // namespace

TEST(SettingsFile, MissingFileGivesNothingAndAnUnreadableOneToo) {
    ScratchDir dir;
    EXPECT_FALSE(readSettingsFile().has_value());
    QDir(dir.path()).mkdir("VEZARO.ini"); // a directory where the file should be
    EXPECT_FALSE(readSettingsFile().has_value());
}

TEST(SettingsFile, ReadsFiveLinesWithEitherLineEndAndMissingLinesEmpty) {
    ScratchDir dir;
    dir.writeFile("VEZARO.ini", "COM PORT= COM3\r\nBAUDRATE= 4800\nDATABITS= 7bits\r\n");
    const std::optional<SettingsLines> lines = readSettingsFile();
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ((*lines)[0], "COM PORT= COM3");
    EXPECT_EQ((*lines)[1], "BAUDRATE= 4800");
    EXPECT_EQ((*lines)[2], "DATABITS= 7bits");
    EXPECT_EQ((*lines)[3], "");
    EXPECT_EQ((*lines)[4], "");

    dir.writeFile("VEZARO.ini", QByteArray());
    ASSERT_TRUE(readSettingsFile().has_value()); // an empty file is read, all lines empty
    EXPECT_TRUE(interpretSettings(*readSettingsFile()).BaudText.isEmpty());
}

TEST(SettingsFile, ExampleFileGivesItsValues) {
    const SettingsValues v = interpretSettings(Example);
    EXPECT_EQ(v.Port, pnCOM2);
    EXPECT_EQ(v.BaudRateValue, 9600);
    EXPECT_EQ(v.DataBits, db8BITS);
    EXPECT_EQ(v.Width, 707);
    EXPECT_FALSE(v.Maximized);
}

TEST(SettingsFile, PortIsTakenFromCharacters14And15) {
    struct Case {
        const char* line;
        std::optional<TPortNumber> port;
    };
    const Case cases[] = {
        {"COM PORT= COM1", pnCOM1},
        {"COM PORT= COM12", pnCOM12},
        {"COM PORT= COM16", pnCOM16},
        {"COM PORT= COM17", {}},
        {"COM PORT= COM0", {}},
        {"COM PORT= ", {}},
        {"COM PORT= COM 9", pnCOM9},
        {"COM PORT= COM9x", pnCOM9},
        {"COM PORT= COM123", pnCOM12},
        {"COM PORT= ttyUSB0", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SettingsLines lines = Example;
        lines[0] = c.line;
        EXPECT_EQ(interpretSettings(lines).Port, c.port) << c.line;
    }
}

TEST(SettingsFile, BaudRateIsTheStrictIntegerAfterTheTenCharacterKey) {
    SettingsLines lines = Example;
    lines[1] = "BAUDRATE=9600"; // no blank after '=': the first digit is lost to the key
    EXPECT_EQ(interpretSettings(lines).BaudRateValue, 600);
    lines[1] = "BAUDRATE= 921600";
    EXPECT_EQ(interpretSettings(lines).BaudRateValue, 921600);

    for (const char* bad : {"BAUDRATE= 96x0", "BAUDRATE= ", "", "BAUDRATE= 9600 ", "BAUDRATE= 99999999999"}) {
        lines[1] = bad;
        const SettingsValues v = interpretSettings(lines);
        EXPECT_FALSE(v.BaudRateValue.has_value()) << bad;
        EXPECT_EQ(v.BaudText, QString(bad).mid(10)) << bad;
    }
}

TEST(SettingsFile, DataBitsWidthAndWindowStateByPosition) {
    SettingsLines lines = Example;
    lines[2] = "DATABITS= 5bits";
    lines[3] = "Hor Size= 8x00";
    lines[4] = "Windowed= maximized";
    SettingsValues v = interpretSettings(lines);
    EXPECT_EQ(v.DataBits, db5BITS);
    EXPECT_FALSE(v.Width.has_value());
    EXPECT_TRUE(v.Maximized);

    lines[2] = "DATABITS= 9bits";
    lines[3] = "Hor Size= 12345"; // only the first four digits fit
    lines[4] = "Windowed= Maximized";
    v = interpretSettings(lines);
    EXPECT_FALSE(v.DataBits.has_value());
    EXPECT_EQ(v.Width, 1234);
    EXPECT_FALSE(v.Maximized); // the comparison keeps case

    lines[2] = "DATABITS=";
    lines[4] = "Windowed= maximize";
    v = interpretSettings(lines);
    EXPECT_FALSE(v.DataBits.has_value());
    EXPECT_FALSE(v.Maximized);
}

TEST(SettingsFile, KeysInAnotherOrderAreStillReadByPosition) {
    // Lines 3 and 4 swapped: "Hor Size= 707" now gives the data bits and "DATABITS= 8bits" the width.
    const SettingsLines lines =
        linesOf("COM PORT= COM4", "BAUDRATE= 2400", "Hor Size= 707", "DATABITS= 8bits", "Windowed= normal");
    const SettingsValues v = interpretSettings(lines);
    EXPECT_EQ(v.Port, pnCOM4);
    EXPECT_EQ(v.DataBits, db7BITS);
    EXPECT_FALSE(v.Width.has_value()); // "8bit"
}

TEST(SettingsFile, ApplyStopsAtABadBaudRateAfterThePort) {
    StartupDriver s;
    const SettingsLines lines = linesOf("COM PORT= COM5", "BAUDRATE= fast", "DATABITS= 6bits",
                                        "Hor Size= 900", "Windowed= maximized");
    const SettingsApplyResult r = applySettings(lines, s.drv);
    ASSERT_TRUE(r.BaudError.has_value());
    EXPECT_EQ(*r.BaudError, "fast");
    EXPECT_EQ(conversionErrorText(*r.BaudError), "'fast' is not a valid integer value");
    EXPECT_EQ(s.drv.Port(), pnCOM5);         // applied before the baud rate
    EXPECT_EQ(s.drv.BaudRateValue(), 9600u); // unchanged
    EXPECT_EQ(s.drv.DataBits(), db8BITS);    // never reached
    EXPECT_FALSE(r.Width.has_value());
    EXPECT_FALSE(r.Maximized);
}

TEST(SettingsFile, ApplyLeavesDefaultsForUnusableValues) {
    StartupDriver s;
    const SettingsLines lines =
        linesOf("COM PORT= COM99", "BAUDRATE= 1200", "DATABITS= 3bits", "Hor Size= abcd", "Windowed=");
    const SettingsApplyResult r = applySettings(lines, s.drv);
    EXPECT_FALSE(r.BaudError.has_value());
    EXPECT_EQ(s.drv.Port(), pnCOM1);
    EXPECT_EQ(s.drv.PortName(), "\\\\.\\COM1");
    EXPECT_EQ(s.drv.BaudRateValue(), 1200u);
    EXPECT_EQ(s.drv.BaudRate(), brCustom);
    EXPECT_EQ(s.drv.DataBits(), db8BITS);
    EXPECT_FALSE(r.Width.has_value());
    EXPECT_FALSE(r.Maximized);
}

TEST(SettingsFile, WritesExactlyTheFiveLinesOfTheExample) {
    ScratchDir dir;
    TCommPortDriver drv;
    drv.SetPort(pnCOM2);
    drv.SetBaudRateValue(9600);
    drv.SetDataBits(db8BITS);
    ASSERT_TRUE(writeSettingsFile(settingsFromDriver(drv, 707, true)));
    EXPECT_EQ(dir.readFile("VEZARO.INI"), QByteArray("COM PORT= COM2\r\n"
                                                     "BAUDRATE= 9600\r\n"
                                                     "DATABITS= 8bits\r\n"
                                                     "Hor Size= 707\r\n"
                                                     "Windowed= normal\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"VEZARO.INI"});
}

TEST(SettingsFile, RoundTripsPortsRatesBitsWidthAndState) {
    ScratchDir dir;
    TCommPortDriver drv;
    drv.SetPort(pnCOM12);
    drv.SetBaudRateValue(921600);
    drv.SetDataBits(db7BITS);
    StartupDriver fresh;
    const SettingsApplyResult r = roundTrip(drv, fresh.drv, 1024, false);
    EXPECT_EQ(dir.readFile("VEZARO.INI").left(17), "COM PORT= COM12\r\n");
    EXPECT_EQ(fresh.drv.Port(), pnCOM12);
    EXPECT_EQ(fresh.drv.PortName(), "\\\\.\\COM12");
    EXPECT_EQ(fresh.drv.BaudRateValue(), 921600u);
    EXPECT_EQ(fresh.drv.DataBits(), db7BITS);
    EXPECT_EQ(r.Width, 1024);
    EXPECT_TRUE(r.Maximized);
}

// What start-up accepts into BaudRateValue, shut-down writes and the next start reads back,
// along with the other four settings of the same file.
TEST(SettingsFile, OddBaudRatesSurviveShutDownAndTheNextStart) {
    struct Case {
        const char* text;    // line 2 after the key, as found on disk
        uint32_t stored;     // what start-up puts into the driver
        const char* written; // line 2 after the key, as shut-down writes it
    };
    const Case cases[] = {
        {"-5", 4294967291u, "-5"},
        {"0", 0u, "0"},
        {"-1", 4294967295u, "-1"},
        {"2147483647", 2147483647u, "2147483647"},
        {"-2147483648", 2147483648u, "-2147483648"},
        {"+1200", 1200u, "1200"},
        {"  4800", 4800u, "4800"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScratchDir dir;
        dir.writeFile("VEZARO.ini", QByteArray("COM PORT= COM7\r\nBAUDRATE= ") + c.text +
                                        "\r\nDATABITS= 6bits\r\nHor Size= 900\r\nWindowed= maximized\r\n");
        // Three runs: the hand-made file, then twice what shut-down wrote.
        for (int run = 0; run < 3; ++run) {
            SCOPED_TRACE(run);
            const std::optional<SettingsLines> lines = readSettingsFile();
            ASSERT_TRUE(lines.has_value());
            StartupDriver s;
            const SettingsApplyResult r = applySettings(*lines, s.drv);
            ASSERT_FALSE(r.BaudError.has_value()) << r.BaudError->toStdString();
            EXPECT_EQ(s.drv.BaudRateValue(), c.stored);
            EXPECT_EQ(s.drv.Port(), pnCOM7);
            EXPECT_EQ(s.drv.DataBits(), db6BITS);
            EXPECT_EQ(r.Width, 900);
            EXPECT_TRUE(r.Maximized);

            ASSERT_TRUE(writeSettingsFile(settingsFromDriver(s.drv, r.Width.value_or(0), !r.Maximized)));
            const QByteArray file = dir.readFile("VEZARO.ini"); // the writer keeps the name it found
            EXPECT_EQ(file, QByteArray("COM PORT= COM7\r\nBAUDRATE= ") + c.written +
                                "\r\nDATABITS= 6bits\r\nHor Size= 900\r\nWindowed= maximized\r\n");
        }
    }
}

// Whatever the driver holds, the written line 2 reads back as the same value.
TEST(SettingsFile, EveryDriverRateIsWrittenAsTextTheReaderTakesBack) {
    for (const uint32_t rate :
         {0u, 110u, 1200u, 9600u, 921600u, 2147483647u, 2147483648u, 4294967291u, 4294967295u}) {
        SettingsToWrite s;
        s.BaudRateValue = rate;
        const QList<QByteArray> lines = splitLines(settingsFileContent(s));
        ASSERT_EQ(lines.size(), 5);
        const SettingsValues v = interpretSettings(linesOf(
            QString::fromLatin1(lines[0]), QString::fromLatin1(lines[1]), QString::fromLatin1(lines[2]),
            QString::fromLatin1(lines[3]), QString::fromLatin1(lines[4])));
        ASSERT_TRUE(v.BaudRateValue.has_value()) << lines[1].toStdString();
        EXPECT_EQ(static_cast<uint32_t>(*v.BaudRateValue), rate) << lines[1].toStdString();
        if (rate <= 2147483647u) { // a real rate is written as its plain decimal number
            EXPECT_EQ(lines[1], "BAUDRATE= " + QByteArray::number(rate));
        }
    }
}

// A rate start-up refuses never reaches the driver: shut-down writes the default it kept,
// and the start after that gets all of its settings again.
TEST(SettingsFile, ARefusedHugeRateIsReplacedByTheKeptOneAtShutDown) {
    ScratchDir dir;
    dir.writeFile("VEZARO.ini", "COM PORT= COM3\r\nBAUDRATE= 99999999999\r\nDATABITS= 7bits\r\n"
                                "Hor Size= 800\r\nWindowed= normal\r\n");
    StartupDriver first;
    const SettingsApplyResult r1 = applySettings(readSettingsFile().value(), first.drv);
    ASSERT_TRUE(r1.BaudError.has_value());
    EXPECT_EQ(*r1.BaudError, "99999999999");
    EXPECT_EQ(first.drv.BaudRateValue(), 9600u);

    first.drv.SetDataBits(db7BITS); // as if chosen again in the dialog during the run
    ASSERT_TRUE(writeSettingsFile(settingsFromDriver(first.drv, 800, true)));
    StartupDriver second;
    const SettingsApplyResult r2 = applySettings(readSettingsFile().value(), second.drv);
    EXPECT_FALSE(r2.BaudError.has_value());
    EXPECT_EQ(second.drv.Port(), pnCOM3);
    EXPECT_EQ(second.drv.BaudRateValue(), 9600u);
    EXPECT_EQ(second.drv.DataBits(), db7BITS);
    EXPECT_EQ(r2.Width, 800);
}

TEST(SettingsFile, PortNameWithoutDevicePrefixComesBackAsCom1) {
    ScratchDir dir;
    TCommPortDriver drv;
    drv.SetPortName("COM3");
    StartupDriver fresh;
    roundTrip(drv, fresh.drv);
    EXPECT_TRUE(dir.readFile("VEZARO.INI").startsWith("COM PORT= \r\nBAUDRATE= "));
    EXPECT_EQ(fresh.drv.Port(), pnCOM1);
}

TEST(SettingsFile, WidthOf10000OrMoreComesBackAsItsFirstFourDigits) {
    ScratchDir dir;
    TCommPortDriver drv;
    StartupDriver fresh;
    EXPECT_EQ(roundTrip(drv, fresh.drv, 10240).Width, 1024);
}

TEST(SettingsFile, WriterReusesAnExistingFileWhateverItsCase) {
    ScratchDir dir;
    dir.writeFile("vezaro.ini", "old content that is longer than the new one, much longer, really\r\n");
    TCommPortDriver drv;
    drv.SetPort(pnCOM2);
    ASSERT_TRUE(writeSettingsFile(settingsFromDriver(drv, 707, true)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"vezaro.ini"});
    EXPECT_TRUE(dir.readFile("vezaro.ini").startsWith("COM PORT= COM2\r\nBAUDRATE= 9600\r\n"));
    EXPECT_TRUE(dir.readFile("vezaro.ini").endsWith("Windowed= normal\r\n"));
    // ...and the reader finds it under its own spelling.
    ASSERT_TRUE(readSettingsFile().has_value());
    EXPECT_EQ((*readSettingsFile())[0], "COM PORT= COM2");
}

TEST(SettingsFile, WriteFailureReportsFalse) {
    ScratchDir dir;
    EXPECT_FALSE(writeSettingsFile(SettingsToWrite{}, dir.path() + "/no/such/dir"));
    QDir(dir.path()).mkdir("sub");
    QDir(dir.path() + "/sub").mkdir("VEZARO.INI"); // the name is taken by a directory
    EXPECT_FALSE(writeSettingsFile(SettingsToWrite{}, dir.path() + "/sub"));
}

TEST(SettingsFile, ReadOnlyFileKeepsItsContent) {
    ScratchDir dir;
    dir.writeFile("VEZARO.INI", "keep me\r\n");
    QFile::setPermissions(dir.path() + "/VEZARO.INI", QFileDevice::ReadOwner);
    QFile probe(dir.path() + "/VEZARO.INI");
    if (probe.open(QIODevice::WriteOnly | QIODevice::Append))
        GTEST_SKIP() << "running with rights that ignore file permissions";
    EXPECT_FALSE(writeSettingsFile(SettingsToWrite{}));
    EXPECT_EQ(dir.readFile("VEZARO.INI"), "keep me\r\n");
}

TEST(SettingsFile, ControlCharactersInThePortNameNeverSplitTheFile) {
    SettingsToWrite s;
    s.PortName = "\\\\.\\C\r\nX\x1a";
    const QByteArray content = settingsFileContent(s);
    EXPECT_EQ(content.count("\r\n"), 5);
    EXPECT_TRUE(content.startsWith("COM PORT= C  X \r\nBAUDRATE= 9600\r\n"));
}

TEST(SettingsFile, BinaryAndHugeContentNeverCrashes) {
    ScratchDir dir;
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char(i * 37 % 256));
    dir.writeFile("VEZARO.ini", binary);
    std::optional<SettingsLines> lines = readSettingsFile();
    ASSERT_TRUE(lines.has_value());
    TCommPortDriver drv;
    applySettings(*lines, drv);

    // A line of a million digits is cut, not loaded whole, and is no integer.
    dir.writeFile("VEZARO.ini", "COM PORT= COM7\r\nBAUDRATE= " + QByteArray(1'000'000, '9') +
                                    "\r\nDATABITS= 6bits\r\nHor Size= 800\r\nWindowed= maximized\r\n");
    lines = readSettingsFile();
    ASSERT_TRUE(lines.has_value());
    EXPECT_LE((*lines)[1].size(), 4096);
    EXPECT_EQ((*lines)[2], "DATABITS= 6bits"); // the next line is still found
    const SettingsValues v = interpretSettings(*lines);
    EXPECT_FALSE(v.BaudRateValue.has_value());
    EXPECT_TRUE(v.Maximized);
}
