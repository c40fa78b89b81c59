// The two-speed test on the real station: F5 on the main window, the vehicle typed into the
// test window, the analyser simulator playing a car from data/vehicles/ held at its first
// point and driven through its control socket (high idle, then idle) while the station's
// procedure runs with short times from TWOSPEED.ini. The line is a pseudo-terminal, so every
// test is a training test (Obuchenie-*.jsonl). What the test checks is what the station
// leaves behind: the archive's JSON lines, the protocol saved as a PDF when there is no
// printer or as the job a private print server received, and what pregledi says of the
// directory.
#include "PrintServer.h"
#include "TwoSpeedStationFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

using namespace e2e;

namespace {

// Short times, so that a phase ends within seconds; the averaging window is long enough for
// the samples a 9600-baud run brings in it.
const QByteArray kShortSetup = "# Short times for the end-to-end runs\n"
                               "StabilisationSeconds = 1\n"
                               "MeasuringSeconds = 4\n"
                               "AveragingSeconds = 2\n"
                               "PhaseLimitSeconds = 30\n";

class StationTwoSpeed : public TwoSpeedStationFixture {
protected:
    void SetUp() override {
        TwoSpeedStationFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        writeFile("TWOSPEED.ini", kShortSetup);
    }

    // High idle until the phase ends, then idle until the test ends; `idleAt` is the
    // profile's time of its return to idle.
    void playBothSpeeds(int idleAt) {
        drive("go 13");
        ASSERT_TRUE(waitFor([&] { return !endedPhases().isEmpty(); }, 30000))
            << "the high idle phase never ended";
        drive(QStringLiteral("go %1").arg(idleAt));
        ASSERT_TRUE(waitFor([&] { return !ofKind(archive(), "result").isEmpty(); }, 30000))
            << "the test never ended";
    }

    QJsonObject onlyResult() {
        const QList<QJsonObject> results = ofKind(archive(), "result");
        EXPECT_EQ(results.size(), 1);
        return results.value(0);
    }

    // verify finds no problem in the log or the archive the station left (3: only what the
    // station's next start repairs or has recorded, such as a crash's remnant).
    void expectVerifyClean() {
        QString out;
        const int status = pregledi({"verify"}, &out);
        EXPECT_TRUE(status == 0 || status == 3)
            << "pregledi verify exited with " << status << " (-1: it crashed)\n"
            << out.toStdString();
    }

    // pregledi lists the test `number` (a training one) with `verdict`, and finds nothing
    // wrong in the directory.
    void expectListed(int number, const QString& verdict) {
        QString out;
        ASSERT_EQ(pregledi({"tests", "--json", "--training"}, &out), 0) << out.toStdString();
        const QJsonArray tests = QJsonDocument::fromJson(out.toUtf8()).array();
        ASSERT_EQ(tests.size(), 1) << out.toStdString();
        EXPECT_EQ(tests[0]["number"].toInt(), number) << out.toStdString();
        EXPECT_EQ(tests[0]["verdict"].toString(), verdict) << out.toStdString();
        EXPECT_TRUE(tests[0]["training"].toBool()) << out.toStdString();
        expectVerifyClean();
    }
};

} // namespace

TEST_F(StationTwoSpeed, aPassingCarIsRecordedAndItsProtocolSavedAsAPdfWithoutAPrinter) {
    if (findTool("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed (package poppler-utils)";
    startCar("petrol-catalyst-pass");
    const QString win = openTestWindow("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    const QJsonObject started = ofKind(archive(), "started").value(0);
    EXPECT_EQ(started["registration"].toString(), "CA 1234 BX");
    EXPECT_TRUE(started["training"].toBool()) << "a pseudo-terminal makes a training test";
    EXPECT_EQ(started["setup"]["StabilisationSeconds"].toDouble(), 1.0);

    reachPhases(win);
    playBothSpeeds(61);
    const QJsonObject result = onlyResult();
    EXPECT_EQ(result["verdict"].toString(), "pass");
    EXPECT_EQ(result["number"].toInt(), started["number"].toInt());
    const QJsonArray phases = result["phases"].toArray();
    ASSERT_EQ(phases.size(), 2);
    for (const QJsonValue& p : phases)
        EXPECT_EQ(p["verdict"].toString(), "pass");

    // Enter prints; with no printer the error, then the offer of a PDF, taken.
    typeKeys(x.display(), win, {"Return"});
    const QString error = newWindow(".");
    ASSERT_FALSE(error.isEmpty()) << "no printer error";
    typeKeys(x.display(), error, {"Return"});
    known << error;
    const QString offer = newWindow(kTestCaption);
    ASSERT_FALSE(offer.isEmpty()) << "no offer of a PDF";
    typeKeys(x.display(), offer, {"Return"});
    const QString pdf = dir.filePath(QStringLiteral("Obuchenie%1.pdf").arg(result["number"].toInt()));
    ASSERT_TRUE(waitFor([&] { return QFileInfo(pdf).size() > 0; }, 10000)) << "no protocol PDF";
    const QString text =
        QString::fromUtf8(run(x.display(), findTool("pdftotext"), {"-enc", "UTF-8", pdf, "-"}, 20000));
    EXPECT_TRUE(text.contains("СЪОТВЕТСТВА")) << text.toStdString();
    EXPECT_FALSE(text.contains("НЕ СЪОТВЕТСТВА")) << text.toStdString();
    EXPECT_TRUE(text.contains("ОБУЧЕНИЕ")) << text.toStdString();
    EXPECT_TRUE(text.contains("1234")) << text.toStdString();

    // After printing, Enter closes the window.
    typeKeys(x.display(), win, {"Return"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    expectListed(result["number"].toInt(), "pass");
}

TEST_F(StationTwoSpeed, aCarWithHighCoAtHighIdleFailsAndItsProtocolIsPrinted) {
    // The protocol goes to a print server of the test's own when there is one.
    std::unique_ptr<PrintServer> cups;
    if (PrintServer::missingPrograms().isEmpty() && !findTool("pdftotext").isEmpty()) {
        cups = std::make_unique<PrintServer>();
        ASSERT_TRUE(cups->ok()) << cups->error().toStdString();
        extraEnv.insert("CUPS_SERVER", cups->socketPath());
    }
    startCar("petrol-catalyst-fail-co");
    const QString win = openTestWindow("PB 4567 AK");
    ASSERT_FALSE(win.isEmpty());
    reachPhases(win);
    playBothSpeeds(66);
    const QJsonObject result = onlyResult();
    EXPECT_EQ(result["verdict"].toString(), "fail");
    const QJsonArray phases = result["phases"].toArray();
    ASSERT_EQ(phases.size(), 2);
    EXPECT_EQ(phases[0]["verdict"].toString(), "fail") << "high idle, CO 0.60 %";
    EXPECT_EQ(phases[1]["verdict"].toString(), "pass") << "idle, CO 0.25 %";

    if (cups) {
        // Enter prints: one job, the protocol with its verdict and the failing average.
        typeKeys(x.display(), win, {"Return"});
        ASSERT_TRUE(waitFor([&] { return cups->finishedJobs().size() == 1; }, 30000))
            << "no print job\n"
            << cups->logTail().toStdString();
        const QString text = QString::fromUtf8(run(
            x.display(), findTool("pdftotext"), {"-enc", "UTF-8", cups->finishedJobs().first(), "-"}, 20000));
        EXPECT_TRUE(text.contains("НЕ СЪОТВЕТСТВА")) << text.toStdString();
        EXPECT_TRUE(text.contains("0,60")) << "the failing CO average\n" << text.toStdString();
        EXPECT_TRUE(text.contains("ОБУЧЕНИЕ")) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("№ О-%1").arg(result["number"].toInt())))
            << "a training number carries its series\n"
            << text.toStdString();
        EXPECT_TRUE(newWindow(".", 1000).isEmpty()) << "printing said something";
    }
    // Esc closes the result (printed or not).
    typeKeys(x.display(), win, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    expectListed(result["number"].toInt(), "fail");
}

TEST_F(StationTwoSpeed, aDilutedSampleGivesAVoidTestNotAPass) {
    startCar("petrol-catalyst-diluted");
    const QString win = openTestWindow("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    reachPhases(win);
    playBothSpeeds(66);
    const QJsonObject result = onlyResult();
    EXPECT_EQ(result["verdict"].toString(), "void");
    EXPECT_TRUE(result["reason"].toString().contains("разредена"))
        << result["reason"].toString().toStdString();
    for (const QJsonValue& p : result["phases"].toArray())
        EXPECT_EQ(p["verdict"].toString(), "void") << p["name"].toString().toStdString();

    typeKeys(x.display(), win, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    expectListed(result["number"].toInt(), "void");
}

TEST_F(StationTwoSpeed, anAbortConfirmedWithEscIsRecordedAsAborted) {
    startCar("petrol-catalyst-pass");
    const QString win = openTestWindow("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    reachPhases(win);

    // Esc asks; No leaves the test running, Yes aborts it.
    typeKeys(x.display(), win, {"Escape"});
    QString question = newWindow(kTestCaption);
    ASSERT_FALSE(question.isEmpty()) << "Esc did not ask";
    typeKeys(x.display(), question, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return newWindow(kTestCaption, 0).isEmpty(); }, 5000));
    EXPECT_TRUE(ofKind(archive(), "result").isEmpty()) << "declined: the test goes on";

    typeKeys(x.display(), win, {"Escape"});
    question = newWindow(kTestCaption);
    ASSERT_FALSE(question.isEmpty()) << "Esc did not ask again";
    typeKeys(x.display(), question, {"Return"});
    ASSERT_TRUE(waitFor([&] { return !ofKind(archive(), "result").isEmpty(); }, 10000));
    const QJsonObject result = onlyResult();
    EXPECT_EQ(result["verdict"].toString(), "aborted");

    typeKeys(x.display(), win, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return findWindow(x.display(), kTestCaption, 0).isEmpty(); }, 10000));
    closeStation();
    expectListed(result["number"].toInt(), "aborted");
}

TEST_F(StationTwoSpeed, aStationKilledDuringATestRecordsItAsInterruptedAtItsNextStart) {
    startCar("petrol-catalyst-pass");
    const QString win = openTestWindow("CA 1234 BX");
    ASSERT_FALSE(win.isEmpty());
    reachPhases(win);
    drive("go 13");
    QThread::msleep(1500);

    const int number = ofKind(archive(), "started").value(0)["number"].toInt();
    station.kill(); // SIGKILL to the station's own process
    ASSERT_TRUE(station.waitForFinished(10000));
    EXPECT_EQ(station.exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(ofKind(archive(), "result").isEmpty());

    // The next start writes the result the killed station never wrote.
    startStation();
    answerStartupBox("DEMO FILE NOT FOUND");
    ASSERT_TRUE(waitFor([&] { return !ofKind(archive(), "result").isEmpty(); }, 15000))
        << "the interrupted test was not recorded at the start";
    const QJsonObject result = onlyResult();
    EXPECT_EQ(result["verdict"].toString(), "interrupted");
    EXPECT_EQ(result["number"].toInt(), number);
    closeStation();
    expectListed(number, "interrupted");
}
