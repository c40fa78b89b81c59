// The real station killed (SIGKILL) at points of PRINT, then started again in the same
// directory: each start repairs what the kill left and tells the operator, the next PRINT
// gets the next number, no number is given twice, and a second station started beside a
// running one is refused.
#include "StationFixture.h"

#include <QThread>

using namespace e2e;

namespace {

QList<QByteArray> chainLines(const QByteArray& chain) {
    QList<QByteArray> lines;
    for (const QByteArray& line : chain.split('\n')) {
        if (!line.isEmpty())
            lines.append(line.left(15));
    }
    return lines;
}

} // namespace

class TrailCrash : public Station {
protected:
    // Starts the station (killed at `crashAt` when given) and dismisses the demo box.
    void start(const QString& crashAt) {
        extraEnv = QProcessEnvironment();
        if (!crashAt.isEmpty())
            extraEnv.insert("VZ_TRAIL_CRASH_AT", crashAt);
        startStation();
        answerStartupBox("DEMO FILE LOADED");
    }

    // The station's own message box (captioned with the program's name): its text is not
    // readable from outside, so the test answers it and checks what it left behind.
    void answerStationBox(const char* key) {
        const QString box = findWindow(x.display(), "^vezaro$", 10000);
        ASSERT_FALSE(box.isEmpty()) << "no message box from the station";
        typeKeys(x.display(), box, {key});
    }

    // F4, then PRINT (the report window's default button).
    void pressPrint() {
        const QString win = mainWindow();
        ASSERT_FALSE(win.isEmpty());
        typeKeys(x.display(), win, {"F4"});
        const QString report = findWindow(x.display(), "Not Found Printer|Official Test", 10000);
        ASSERT_FALSE(report.isEmpty()) << "F4 did not open the report window";
        typeKeys(x.display(), report, {"Return"});
    }

    void expectKilled() {
        ASSERT_TRUE(station.waitForFinished(15000)) << "the station was not killed at its step";
        EXPECT_EQ(station.exitStatus(), QProcess::CrashExit);
    }

    int pregledi(const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(binDir() + "/pregledi", QStringList{"--dir", dir.path()} + args);
        p.waitForFinished(20000);
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

TEST_F(TrailCrash, AStationKilledDuringPrintRecoversAtItsNextStart) {
    copyDemoFile();

    // Killed after the record is on disk, before its chain entry.
    start("record-synced");
    pressPrint();
    expectKilled();
    EXPECT_EQ(fileBytes("Pregledi00000.GPG").size(), 160);
    EXPECT_TRUE(fileBytes("Pregledi.chain").isEmpty());

    // The next start seals that record as recovered and says so; this station is killed
    // after its record is sealed, while its page is being printed.
    start("printing-started");
    answerStationBox("Return");
    EXPECT_TRUE(waitFor([&] { return !fileBytes("Pregledi.chain").isEmpty(); }, 5000));
    EXPECT_EQ(chainLines(fileBytes("Pregledi.chain")), QList<QByteArray>{"00000001 rc-sha"});
    pressPrint();
    expectKilled();
    EXPECT_EQ(fileBytes("Pregledi00000.GPG").size(), 2 * 160);
    EXPECT_EQ(fileBytes("Pregledi.printing").trimmed(), "2");

    // The next start asks about the copy of examination 2 (declined here), and its PRINT is
    // examination 3.
    start(QString());
    answerStationBox("Escape");
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(dir.filePath("Pregledi.printing")); }, 5000))
        << "the unfinished printing is told once";
    pressPrint();
    // No printer here: the printer error, then the offer of a PDF, both declined.
    const QString error = findWindow(x.display(), "Printer Error", 15000);
    ASSERT_FALSE(error.isEmpty());
    typeKeys(x.display(), error, {"Return"});
    const QString offer = findWindow(x.display(), "^Official Test$", 10000);
    ASSERT_FALSE(offer.isEmpty());
    typeKeys(x.display(), offer, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return fileBytes("Pregledi00000.GPG").size() == 3 * 160; }, 5000));
    EXPECT_EQ(chainLines(fileBytes("Pregledi.chain")),
              (QList<QByteArray>{"00000001 rc-sha", "00000002 sha256", "00000003 sha256"}));

    // A second station in the same directory is refused with a message, and exits.
    QProcess second;
    QProcessEnvironment env = station.processEnvironment();
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(dir.path());
    second.start(binDir() + "/vezaro", {});
    ASSERT_TRUE(second.waitForStarted(5000));
    const QString refusal = findWindow(x.display(), "^vezaro$", 15000);
    ASSERT_FALSE(refusal.isEmpty()) << "the second station showed no refusal";
    typeKeys(x.display(), refusal, {"Return"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(fileBytes("Pregledi00000.GPG").size(), 3 * 160) << "the second station logged nothing";

    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    // The recovered entry is a recorded crash remnant, not tampering.
    QString out;
    EXPECT_EQ(pregledi({"verify"}, &out), 3) << out.toStdString();
    EXPECT_TRUE(out.contains("1")) << out.toStdString();
}
