// The two-speed test on the real station against the ways a result can be bent from outside:
// the probe pulled out of the pipe for a second at idle, Esc pressed once a phase holds a
// failing average, and a result line that cannot be written. The simulator plays a car from
// data/vehicles/ held at its first point and driven through its control socket; the line is a
// pseudo-terminal, so every test is a training test (Obuchenie-*.jsonl). What is checked is
// what the station leaves behind: the archive's lines, what pregledi says of them, and the
// files it saves.
#include "TwoSpeedStationFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

using namespace e2e;

namespace {

// The mark across the page that stands in for a protocol, in its two halves: text set
// diagonally may come out of pdftotext with its words on lines of their own.
const QStringList kUnwrittenMark = {QStringLiteral("НЕЗАПИСАН РЕЗУЛТАТ"), QStringLiteral("НЕ Е ПРОТОКОЛ")};

class StationTwoSpeedBending : public TwoSpeedStationFixture {
protected:
    // High idle from the profile's 13 s until the phase has ended.
    void playHighIdle() {
        drive("go 13");
        ASSERT_TRUE(waitFor([&] { return endedPhases().contains("high-idle"); }, 50000))
            << "the high idle phase never ended";
    }

    // The station's largest file size, set on the running process (prlimit --pid): a write
    // that would make any file larger fails with EFBIG (the station ignores SIGXFSZ). Only the
    // soft limit is set, so that it can be lifted again without privileges.
    bool limitFileSize(const QString& bytes) {
        QProcess p;
        p.start(findTool("prlimit"),
                {"--pid", QString::number(station.processId()), QStringLiteral("--fsize=%1:").arg(bytes)});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
};

} // namespace

// Idle CO 0.36 % fails the 0.3 % limit; the probe out of the pipe for one second in the first
// 5-s idle average brings that average to 0.29 % with CO + CO2 about 12 %. Each of the samples
// taken with the probe out is diluted, so the car does not pass.
TEST_F(StationTwoSpeedBending, aProbePulledForASecondAtIdleDoesNotPassTheCar) {
    writeFile("TWOSPEED.ini", "StabilisationSeconds = 1\n"
                              "MeasuringSeconds = 10\n"
                              "AveragingSeconds = 5\n"
                              "PhaseLimitSeconds = 30\n");
    startCar("petrol-catalyst-probe-pulled");
    const QString win = openTestWindowInPhases("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    playHighIdle();
    // Idle from 69 s: stabilised about 1 s later, the probe out from 73 s to 74 s, inside the
    // first average.
    drive("go 69");
    ASSERT_TRUE(waitFor([&] { return !ofKind(archive(), "result").isEmpty(); }, 40000))
        << "the test never ended";
    const QJsonObject result = ofKind(archive(), "result").value(0);
    EXPECT_NE(result["verdict"].toString(), "pass") << QJsonDocument(result).toJson().toStdString();
    // The pull was measured: samples of air among the idle phase's measuring samples.
    int pulled = 0;
    for (const QJsonValue& phase : result["phases"].toArray()) {
        if (phase["name"].toString() != "idle")
            continue;
        EXPECT_NE(phase["verdict"].toString(), "pass") << "idle CO 0.36 %";
        for (const QJsonValue& sample : phase["samples"].toArray())
            if (sample["measuring"].toBool() && sample["co"].toDouble() + sample["co2"].toDouble() < 6)
                ++pulled;
    }
    EXPECT_GE(pulled, 1) << "the probe was not out while idle was measured";

    typeKeys(x.display(), win, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    const QJsonObject listed = listedTest();
    EXPECT_NE(listed["verdict"].toString(), "pass") << QJsonDocument(listed).toJson().toStdString();
}

// High idle CO 0.60 % gives a valid failing average within seconds; Esc and Yes then end the
// test, which is a fail that records how it ended.
TEST_F(StationTwoSpeedBending, escAfterAFailingHighIdleAverageRecordsAFailEndedByAbort) {
    writeFile("TWOSPEED.ini", "StabilisationSeconds = 1\n"
                              "MeasuringSeconds = 30\n"
                              "AveragingSeconds = 3\n"
                              "PhaseLimitSeconds = 60\n");
    startCar("petrol-catalyst-fail-co");
    const QString win = openTestWindowInPhases("PB 4567 AK");
    ASSERT_FALSE(win.isEmpty());
    drive("go 13");
    // Ten measuring samples at high idle are 5 s of measuring, more than the averaging time:
    // the phase holds a failing average and still has most of its 30 s to run.
    const auto measuringHighIdle = [&] {
        int n = 0;
        for (const QJsonObject& line : ofKind(archive(), "samples"))
            for (const QJsonValue& s : line["samples"].toArray())
                if (s["phase"].toString() == "high-idle" && s["measuring"].toBool() &&
                    s["co"].toDouble() > 0.5)
                    ++n;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return measuringHighIdle() >= 10; }, 30000)) << "high idle was never measured";
    ASSERT_TRUE(endedPhases().isEmpty()) << "high idle ended before Esc";

    typeKeys(x.display(), win, {"Escape"});
    const QString question = newWindow(kTestCaption, 15000);
    ASSERT_FALSE(question.isEmpty()) << "Esc did not ask";
    typeKeys(x.display(), question, {"Return"});
    ASSERT_TRUE(waitFor([&] { return !ofKind(archive(), "result").isEmpty(); }, 10000));
    const QJsonObject result = ofKind(archive(), "result").value(0);
    EXPECT_EQ(result["verdict"].toString(), "fail") << QJsonDocument(result).toJson().toStdString();

    typeKeys(x.display(), win, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    const QJsonObject listed = listedTest();
    EXPECT_EQ(listed["verdict"].toString(), "fail") << QJsonDocument(listed).toJson().toStdString();
    EXPECT_EQ(listed["ending"].toString(), "aborted") << QJsonDocument(listed).toJson().toStdString();
}

// The archive file may grow by 8 KiB once high idle has ended: enough for the samples lines
// of a short idle phase, not for the result line, which holds every sample of both phases
// (some 60 of high idle alone). The window then prints no protocol; the only paper it offers is the marked
// page.
TEST_F(StationTwoSpeedBending, aResultLineThatCannotBeWrittenGivesNoProtocolOnlyTheMarkedPage) {
    if (findTool("prlimit").isEmpty() || findTool("pdftotext").isEmpty())
        GTEST_SKIP() << "prlimit (util-linux) or pdftotext (poppler-utils) is not installed";
    // A long failing high idle (CO 0.60 %: it runs its whole measuring time) gives a result
    // line far larger than what idle, passing at its first average, writes after it.
    writeFile("TWOSPEED.ini", "StabilisationSeconds = 1\n"
                              "MeasuringSeconds = 30\n"
                              "AveragingSeconds = 3\n"
                              "PhaseLimitSeconds = 60\n");
    startCar("petrol-catalyst-fail-co");
    const QString win = openTestWindowInPhases("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    playHighIdle();
    ASSERT_EQ(archiveFiles().size(), 1);
    const qint64 size = QFileInfo(dir.filePath(archiveFiles().first())).size();
    const qint64 room = 8192;
    ASSERT_TRUE(limitFileSize(QString::number(size + room))) << "prlimit failed";
    drive("go 66");
    // Idle passes at its first average; the test has ended once the archive, which takes a
    // samples line at most 4 s apart while samples come, has stopped growing for 6 s.
    const auto idleSamples = [&] {
        int n = 0;
        for (const QJsonObject& line : ofKind(archive(), "samples"))
            for (const QJsonValue& s : line["samples"].toArray())
                n += s["phase"].toString() == "idle" ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return idleSamples() > 0; }, 30000)) << "idle was never measured";
    const auto archiveSize = [&] { return QFileInfo(dir.filePath(archiveFiles().first())).size(); };
    qint64 before = -1;
    for (int i = 0; i < 8 && archiveSize() != before; ++i) {
        before = archiveSize();
        QThread::msleep(6000);
    }
    ASSERT_EQ(archiveSize(), before) << "the archive kept growing";
    EXPECT_EQ(station.state(), QProcess::Running) << "the file-size limit ended the station";
    EXPECT_TRUE(ofKind(archive(), "result").isEmpty()) << "the result line was written after all";
    EXPECT_LE(archiveSize(), size + room);

    // Room again, so that the page can be saved; the result stays unwritten for this test.
    ASSERT_TRUE(limitFileSize("unlimited"));
    // Enter asks for paper. Every box that comes (the window's word on the unwritten result,
    // the printer error with no printer, the offer of a PDF) is answered with Enter; with no
    // box open, Enter goes to the test window again; until a PDF is saved.
    const auto pdfs = [&] { return QDir(dir.path()).entryList({"*.pdf"}, QDir::Files); };
    for (int i = 0; i < 6 && pdfs().isEmpty(); ++i) {
        const QString box = newWindow(".", 4000);
        if (box.isEmpty()) {
            typeKeys(x.display(), win, {"Return"});
            continue;
        }
        known << box;
        typeKeys(x.display(), box, {"Return"});
        waitFor([&] { return !pdfs().isEmpty(); }, 3000);
    }
    const QStringList saved = pdfs();
    for (const QString& name : saved) {
        EXPECT_FALSE(name.startsWith("Obuchenie") || name.startsWith("Protokol"))
            << "a protocol was saved: " << name.toStdString();
    }
    ASSERT_EQ(saved.size(), 1) << "no page saved";
    const QString text = QString::fromUtf8(
        run(x.display(), findTool("pdftotext"), {"-enc", "UTF-8", dir.filePath(saved.first()), "-"}, 20000));
    for (const QString& half : kUnwrittenMark)
        EXPECT_TRUE(text.contains(half)) << half.toStdString() << "\n" << text.toStdString();
}
