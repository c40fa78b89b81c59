// The report window and the start of the station with the examination trail in the states a
// crash or a damaged chain leave: the customer's page always comes out, the operator is told.
#include "ExamChain.h"
#include "ExamTrail.h"
#include "LogFiles.h"
#include "PRNUnit.h"
#include "ProtocolArchive.h"
#include "RecordingPrinter.h"
#include "ReportTestSupport.h"
#include "TrailRecovery.h"
#include "TrailStart.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

using namespace vz;
using vz::test::ReportTest;

namespace {

bool pageHolds(const QList<RecordedText>& page, const QString& text) {
    for (const RecordedText& item : page) {
        if (item.text.contains(text))
            return true;
    }
    return false;
}

} // namespace

class StationTrailTest : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        printer.names = {QStringLiteral("HP LaserJet")};
        printer.pageWidthPx = 4960;
    }
    void print() {
        TPRNForm form(nullptr, state, printer, [] { return MainReadings{}; });
        form.Edit3->setText(QStringLiteral("Иван Петров"));
        form.btnPrintClick();
        form.Edit3->setText(QStringLiteral("Петър Иванов"));
        form.btnPrintClick();
    }
    ReportState state;
    RecordingPrinterService printer;
};

TEST_F(StationTrailTest, AChainThatCannotBeWrittenIsToldOnceAfterThePagesAreOut) {
    ASSERT_TRUE(QDir().mkdir(kChainFileName));
    print();
    EXPECT_EQ(printer.pages.size(), 2) << "both customers get their page";
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 2 * kExamRecordSize);
    ASSERT_EQ(messages.size(), 1) << "told once per window";
    EXPECT_EQ(messages[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(messages[0].text.contains(kChainFileName)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("отпечатан"))) << messages[0].text.toStdString();
    EXPECT_FALSE(QFile::exists(kPendingPrintFileName)) << "printing finished";
}

TEST_F(StationTrailTest, ALogThatCannotBeWrittenStillPrintsNothing) {
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    TPRNForm form(nullptr, state, printer, [] { return MainReadings{}; });
    form.btnPrintClick();
    EXPECT_TRUE(printer.pages.isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.startsWith("The examination could not be logged and was not printed.\r\n"));
    EXPECT_FALSE(QFile::exists(kPendingPrintFileName));
}

TEST_F(StationTrailTest, AKillDuringPrintingIsToldAtTheNextStartWithACopyOneKeyAway) {
    print();
    // The station was killed after the marker, before the page was out.
    QString error;
    ASSERT_TRUE(markPrinting(QStringLiteral("."), 2, &error));
    printer.pages.clear();

    StationTrail trail;
    ASSERT_TRUE(trail.lock(QStringLiteral("."), &error));
    nextAnswer = MsgAnswer::Yes;
    trail.recover(nullptr, printer, state);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Преглед 2 е записан")))
        << messages[0].text.toStdString();
    ASSERT_EQ(printer.pages.size(), 1);
    EXPECT_TRUE(pageHolds(printer.pages[0], QStringLiteral("КОПИЕ")));
    EXPECT_TRUE(pageHolds(printer.pages[0], QStringLiteral("Петър Иванов")));
    EXPECT_FALSE(QFile::exists(kPendingPrintFileName)) << "told once";

    // A second station in the same directory is refused, naming the first.
    StationTrail second;
    EXPECT_FALSE(second.lock(QStringLiteral("."), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("PID %1").arg(QCoreApplication::applicationPid())))
        << error.toStdString();
}

TEST_F(StationTrailTest, ARepairAtStartIsToldOnceAndNotAgain) {
    print();
    QFile log("Pregledi00000.GPG");
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write(QByteArray(70, 't'));
    log.close();
    StationTrail trail;
    trail.recover(nullptr, printer, state);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains("Pregledi00000.GPG")) << messages[0].text.toStdString();
    trail.recover(nullptr, printer, state);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(readFile("Pregledi00000.GPG").size(), 2 * kExamRecordSize);
}

TEST(FillerRecord, IsARecordOfTheStationsOwnLayout) {
    ReportFields fields;
    fields.date = QStringLiteral("00.00.0000");
    fields.time = QStringLiteral("00:00:00");
    fields.owner = QStringLiteral("MISSING EXAMINATION");
    EXPECT_EQ(fillerRecord(), examRecordBytes(fields));
    const std::optional<ReportFields> back = parseExamRecordText(QString::fromLatin1(fillerRecord()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->owner, QStringLiteral("MISSING EXAMINATION"));
}

TEST_F(StationTrailTest, ATwoSpeedTestTheStationNeverFinishedIsRecordedAsInterruptedAtStart) {
    {
        ProtocolArchive archive(QStringLiteral("."));
        ASSERT_TRUE(
            archive.begin(ArchiveSeries::Training, {{"registration", "CA1234BK"}, {"training", true}}).ok);
        // An official car's second test today, cut short the same way.
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(archive.begin(ArchiveSeries::Official, {{"registration", "CA1234BK"}}).ok);
    }
    StationTrail trail;
    trail.recover(nullptr, printer, state);
    // The test's own lines, after the month's link line the archive begins each file with.
    const auto resultOf = [this](ArchiveSeries series) {
        QList<QJsonObject> tests;
        for (const QByteArray& line :
             readFile(ProtocolArchive::fileName(series, QDate::currentDate())).split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value("kind").toString() == "started" || object.value("kind").toString() == "result")
                tests << object;
        }
        return tests;
    };
    const QList<QJsonObject> training = resultOf(ArchiveSeries::Training);
    ASSERT_EQ(training.size(), 2);
    EXPECT_EQ(training[1].value("kind").toString(), "result");
    EXPECT_EQ(training[1].value("verdict").toString(), "interrupted");
    EXPECT_EQ(training[1].value("attempt").toInt(-1), 0) << "a training test counts no attempt";
    const QList<QJsonObject> official = resultOf(ArchiveSeries::Official);
    ASSERT_EQ(official.size(), 3);
    EXPECT_EQ(official[2].value("verdict").toString(), "interrupted");
    EXPECT_EQ(official[2].value("attempt").toInt(), 2) << "the registration's second test of the day";
    EXPECT_TRUE(messages.isEmpty()) << "told in the diagnostics, not in a box";
}
