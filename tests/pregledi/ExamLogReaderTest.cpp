// Reading the log back: the records the station wrote, and files that are not such records.
#include "ExamLogReader.h"
#include "Cp1251.h"
#include "PreglediTestSupport.h"

#include <QFileInfo>
#include <sys/stat.h>

using namespace vz;
using vz::test::examFields;
using vz::test::StationDirTest;

namespace {

bool anyProblem(const ExamLogScan& scan, const QString& file, int record, const QString& part) {
    for (const LogProblem& p : scan.problems) {
        if (p.fileName == file && p.record == record && p.text.contains(part))
            return true;
    }
    return false;
}

QString allProblems(const ExamLogScan& scan) {
    QString text;
    for (const LogProblem& p : scan.problems)
        text += describeProblem(p) + u'\n';
    return text;
}

} // namespace

class ExamLogReaderTest : public StationDirTest {};

TEST_F(ExamLogReaderTest, ReadsEveryExaminationTheStationLoggedAcrossFiles) {
    logExams(203);
    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    EXPECT_TRUE(scan.problems.isEmpty()) << allProblems(scan).toStdString();
    ASSERT_EQ(scan.files, (QList<QString>{"Pregledi00000.GPG", "Pregledi00001.GPG"}));
    ASSERT_EQ(scan.exams.size(), 203);
    for (const LoggedExam& exam : scan.exams) {
        ASSERT_TRUE(exam.fields) << exam.number;
        const ReportFields expected = examFields(exam.number);
        for (const ExamRecordItem& item : examRecordLayout())
            EXPECT_EQ((*exam.fields).*(item.field), expected.*(item.field)) << exam.number << ' ' << item.key;
    }
    const LoggedExam* exam = scan.find(201);
    ASSERT_TRUE(exam);
    EXPECT_EQ(exam->fileName, "Pregledi00001.GPG");
    EXPECT_EQ(exam->recordInFile, 1);
    EXPECT_FALSE(scan.find(204));
}

TEST_F(ExamLogReaderTest, BadFilesAreToldByFileAndRecordAndNeverChanged) {
    logExams(3);
    QByteArray log = readFile("Pregledi00000.GPG");
    // Record 2: a byte that code page 1251 does not have. Record 3: no CR LF at its end.
    log[160 + 30] = '\x98';
    log[320 + 159] = 'x';
    // And a torn fourth record.
    log += QByteArray(70, 'z');
    writeFile("Pregledi00000.GPG", log);
    const QByteArray before = readFile("Pregledi00000.GPG");
    ASSERT_EQ(::chmod("Pregledi00000.GPG", 0444), 0); // read-only is all the reader needs

    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    const QString problems = allProblems(scan);
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 0, "not a whole number")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 2, "byte 31 (0x98) is not code page 1251"))
        << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 3, "159-160 are not CR LF")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 4, "cut short: 70 of 160")) << problems.toStdString();
    ASSERT_EQ(scan.exams.size(), 3);
    EXPECT_TRUE(scan.exams[0].fields);
    EXPECT_FALSE(scan.exams[1].fields);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), before);
}

TEST_F(ExamLogReaderTest, FilesOfAnotherProgramAreRefusedWithoutACrash) {
    struct Case {
        const char* what;
        QByteArray bytes;
        int record;
        const char* problem;
    };
    const Case cases[] = {
        {"binary", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(152, '\0'), 1, "are not CR LF"},
        {"binary ending in CR LF", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(150, '\0') + "\r\n", 1,
         "(0x1a) is not code page 1251"},
        {"text lines", QByteArray("hello world\n").repeated(20).left(158) + "\r\n", 1, "not code page 1251"},
        {"one long line", QByteArray(158, 'x') + "\r\n", 1, "no line break after the year"},
        {"the break in the wrong place", QByteArray(40, 'x') + "\r\n" + QByteArray(116, 'y') + "\r\n", 1,
         "not where the layout puts them"},
        {"empty fields moved one column", " " + examRecordBytes(ReportFields{}).left(157) + "\r\n", 1,
         "not where the layout puts them"},
        {"a few bytes", QByteArray("abc"), 1, "cut short: 3 of 160"},
    };
    for (const Case& c : cases) {
        writeFile("Pregledi00000.GPG", c.bytes);
        const ExamLogScan scan = scanExamLog(QStringLiteral("."));
        EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", c.record, c.problem))
            << c.what << ": " << allProblems(scan).toStdString();
        for (const LoggedExam& exam : scan.exams)
            EXPECT_FALSE(exam.fields) << c.what;
    }
}

TEST_F(ExamLogReaderTest, FilesOutOfSequenceAreProblems) {
    logExams(201);
    ASSERT_TRUE(QFile::rename("Pregledi00001.GPG", "Pregledi00003.GPG"));
    writeFile("Pregledi7.GPG", "x");
    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    const QString problems = allProblems(scan);
    EXPECT_TRUE(anyProblem(scan, "Pregledi00001.GPG", 0, "missing")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00002.GPG", 0, "missing")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi7.GPG", 0, "not a log file name")) << problems.toStdString();
    ASSERT_TRUE(scan.find(601));
    EXPECT_EQ(scan.find(601)->fields->regNumber, examFields(201).regNumber);

    // A file short of 200 records with a later file after it.
    ASSERT_TRUE(QFile::rename("Pregledi00003.GPG", "Pregledi00001.GPG"));
    ASSERT_TRUE(QFile::remove("Pregledi7.GPG"));
    writeFile("Pregledi00000.GPG", readFile("Pregledi00000.GPG").left(160 * 199));
    const ExamLogScan shortFile = scanExamLog(QStringLiteral("."));
    EXPECT_TRUE(
        anyProblem(shortFile, "Pregledi00000.GPG", 0, "holds 199 records, but a later log file exists"))
        << allProblems(shortFile).toStdString();
}

TEST(LogDates, ReadTheStationsShortDatesAndIso) {
    struct Case {
        const char* text;
        QDate date;
    };
    for (const Case& c : {Case{"07.12.2026", QDate(2026, 12, 7)}, Case{"7.12.26", QDate(2026, 12, 7)},
                          Case{"07.12.2026 г.", QDate(2026, 12, 7)}, Case{"12/7/2026", QDate(2026, 12, 7)},
                          Case{"2026-12-07", QDate(2026, 12, 7)}, Case{"07-12-2026", QDate(2026, 12, 7)}})
        EXPECT_EQ(parseLogDate(QString::fromUtf8(c.text)), std::optional<QDate>(c.date)) << c.text;
    for (const char* bad : {"", "yesterday", "32.12.2026", "2026-13-01", "07.12", "07.12-2026"})
        EXPECT_FALSE(parseLogDate(QString::fromUtf8(bad))) << bad;
}
