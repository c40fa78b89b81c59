// The report's diagnostic lines: each examination logged with its number and file
// (vezaro.log), the station file read or missing and the report PDF written (vezaro.files).
#include "../DiagnosticsCapture.h"
#include "Cp1251.h"
#include "ExamLog.h"
#include "PRNUnit.h"
#include "RecordingPrinter.h"
#include "ReportPage.h"
#include "ReportSetup.h"
#include "ReportTestSupport.h"

using namespace vz;
using vz::test::DiagnosticsCapture;
using vz::test::ReportTest;

namespace {
QByteArray record() {
    return QByteArray(158, 'r') + "\r\n";
}
std::string text(const DiagnosticsCapture& capture) {
    return capture.all().toStdString();
}
} // namespace

class ReportDiagnostics : public ReportTest {
protected:
    DiagnosticsCapture capture;
};

TEST_F(ReportDiagnostics, EachExaminationLoggedIsToldWithItsNumberAndFile) {
    uint16_t index = 0;
    ASSERT_TRUE(appendExamRecord(index, record()).ok);
    ASSERT_TRUE(appendExamRecord(index, record()).ok);
    writeFile("Pregledi00000.GPG", QByteArray(32000, 'x')); // full: the next file takes it
    ASSERT_TRUE(appendExamRecord(index, record()).ok);

    const QStringList expected{
        "vezaro.log: examination 1 logged in Pregledi00000.GPG",
        "vezaro.log: examination 2 logged in Pregledi00000.GPG",
        "vezaro.log: examination 201 logged in Pregledi00001.GPG",
    };
    ASSERT_EQ(capture.lines().size(), expected.size()) << text(capture);
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(capture.lines()[i].text, expected[i]);
        EXPECT_EQ(capture.lines()[i].type, QtInfoMsg);
    }
}

TEST_F(ReportDiagnostics, AFailedAppendIsAWarningWithItsError) {
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record());
    ASSERT_FALSE(result.ok);
    ASSERT_EQ(capture.lines().size(), 1) << text(capture);
    EXPECT_EQ(capture.lines()[0].text, "vezaro.log: examination not logged: " + result.error);
    EXPECT_TRUE(result.error.startsWith("Pregledi00000.GPG: ")) << result.error.toStdString();
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
}

TEST_F(ReportDiagnostics, TheStationFileReadMissingOrUnreadableIsTold) {
    EXPECT_FALSE(readStationFile("SERVICE.ini").opened);
    writeFile("SERVICE.ini", toCp1251(QStringLiteral("ГТП Младост\r\nПетров\r\n")));
    EXPECT_TRUE(readStationFile("SERVICE.ini").opened);
    ASSERT_TRUE(QDir().mkpath("sub/SERVICE.ini"));
    EXPECT_FALSE(readStationFile("sub/SERVICE.ini").opened);

    ASSERT_EQ(capture.lines().size(), 3) << text(capture);
    EXPECT_EQ(capture.lines()[0].text, "vezaro.files: no SERVICE.ini: no station line, no operators");
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
    EXPECT_EQ(capture.lines()[1].text, "vezaro.files: read SERVICE.ini");
    EXPECT_EQ(capture.lines()[1].type, QtInfoMsg);
    EXPECT_EQ(capture.lines()[2].text, "vezaro.files: read SERVICE.ini failed: file to open is a directory");
    EXPECT_EQ(capture.lines()[2].type, QtWarningMsg);
}

TEST_F(ReportDiagnostics, AReportPdfWrittenOrNotIsTold) {
    QString error;
    ASSERT_TRUE(writeReportPdf(reportPdfFileName(7), vz::test::sampleFields(), 7, "ГТП", &error));
    EXPECT_FALSE(
        writeReportPdf("no/such/dir/" + reportPdfFileName(8), vz::test::sampleFields(), 8, "ГТП", &error));
    EXPECT_EQ(error, "no/such/dir/Pregled8.pdf: the file could not be written"); // the operator's words stay

    ASSERT_EQ(capture.lines().size(), 2) << text(capture);
    EXPECT_EQ(capture.lines()[0].text, "vezaro.files: wrote Pregled7.pdf");
    EXPECT_EQ(capture.lines()[0].type, QtInfoMsg);
    EXPECT_EQ(capture.lines()[1].text, "vezaro.files: write Pregled8.pdf failed: No such file or directory");
    EXPECT_EQ(capture.lines()[1].type, QtWarningMsg);
    EXPECT_TRUE(readFile("Pregled7.pdf").startsWith("%PDF"));
}

TEST_F(ReportDiagnostics, PrintInTheReportWindowTellsTheStationFileTheExaminationAndThePdf) {
    ReportState state;
    RecordingPrinterService printer;
    printer.failure = "The print job could not be started.";
    const MainReadings readings{"0.500", "14.50", " 0100", "00.50", "085.0", " 0850", "1.004", 0};
    TPRNForm form(nullptr, state, printer, [&] { return readings; });
    nextAnswer = MsgAnswer::Yes; // save the report as a PDF
    form.btnPrintClick();

    const QStringList expected{
        "vezaro.files: no SERVICE.ini: no station line, no operators",
        "vezaro.log: examination 1 logged in Pregledi00000.GPG",
        "vezaro.files: wrote Pregled1.pdf",
    };
    ASSERT_EQ(capture.lines().size(), expected.size()) << text(capture);
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(capture.lines()[i].text, expected[i]);
}

TEST_F(ReportDiagnostics, TheFilterRulesSilenceThem) {
    {
        vz::test::DiagnosticsSilenced silenced;
        uint16_t index = 0;
        ASSERT_TRUE(appendExamRecord(index, record()).ok);
        EXPECT_FALSE(readStationFile("SERVICE.ini").opened);
        ASSERT_TRUE(writeReportPdf(reportPdfFileName(1), vz::test::sampleFields(), 1, "ГТП", nullptr));
    }
    EXPECT_TRUE(capture.lines().isEmpty()) << text(capture);
}
