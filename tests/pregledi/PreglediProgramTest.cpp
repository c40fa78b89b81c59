// The real pregledi program, run on logs the station's own append wrote.
#include "CommandLine.h"
#include "ExamChain.h"
#include "PreglediRun.h"
#include "PreglediTestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <sys/stat.h>

using namespace vz;
using vz::test::examFields;
using vz::test::parseCsv;
using vz::test::pregledi;
using vz::test::ProgramRun;
using vz::test::StationDirTest;

class PreglediProgramTest : public StationDirTest {
protected:
    QString dir() const { return scratch.path(); }
};

TEST_F(PreglediProgramTest, AnswersHelpVersionAndBadArguments) {
    ProgramRun run = pregledi({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.contains("Usage: pregledi")) << run.out.toStdString();
    run = pregledi({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(), versionLine("pregledi"));

    for (const QStringList& bad : {QStringList{"list", "--no-such-option"}, QStringList{"frobnicate"},
                                   QStringList{}, QStringList{"show"}, QStringList{"export"},
                                   QStringList{"reprint", "1"}, QStringList{"list", "--from", "soon"}}) {
        run = pregledi(bad);
        EXPECT_EQ(run.status, 2) << bad.join(' ').toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("pregledi: ")) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists("Pregledi00000.GPG"));
}

TEST_F(PreglediProgramTest, ListsShowsAndFiltersTheExaminations) {
    logExams(12);
    ProgramRun run = pregledi({"--dir", dir(), "list"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 13);
    for (int n = 1; n <= 12; ++n) {
        const QString& line = lines[n];
        const ReportFields f = examFields(n);
        EXPECT_TRUE(line.trimmed().startsWith(QString::number(n) + u' ')) << line.toStdString();
        for (const QString& value : {f.date, f.time, f.regNumber, f.makeModel, f.year, f.owner, f.co, f.co2,
                                     f.hc.trimmed(), f.o2, f.rpm.trimmed(), f.oilTemp})
            EXPECT_TRUE(line.contains(value))
                << n << ": " << value.toStdString() << " in " << line.toStdString();
        // The list's order: registration before make and model, owner after the year.
        EXPECT_LT(line.indexOf(f.regNumber), line.indexOf(f.makeModel));
        EXPECT_LT(line.indexOf(f.year, line.indexOf(f.makeModel)), line.indexOf(f.owner));
    }

    // Latin letters find a plate written in Cyrillic.
    run = pregledi({"--dir", dir(), "list", "--reg", "ca 1005 bk"});
    lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[1].trimmed().startsWith("5 "));

    run = pregledi({"--dir", dir(), "list", "--text", QStringLiteral("лада")});
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts).size(), 7) << run.out.toStdString(); // 6 odd ones

    // Dates as the log holds them and as ISO, both ends included: 03.12 to 05.12 is 2, 3, 4.
    run = pregledi({"--dir", dir(), "list", "--from", "03.12.2026", "--to", "2026-12-05"});
    lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
    EXPECT_TRUE(lines[1].trimmed().startsWith("2 "));
    EXPECT_TRUE(lines[3].trimmed().startsWith("4 "));

    run = pregledi({"--dir", dir(), "show", "3"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const ReportFields f = examFields(3);
    for (const QString& labelled :
         {QStringLiteral("Examination: 3"), QStringLiteral("Logged in: Pregledi00000.GPG, record 3"),
          QStringLiteral("Date: ") + f.date, QStringLiteral("Time: ") + f.time,
          QStringLiteral("Owner: ") + f.owner, QStringLiteral("Make and model: ") + f.makeModel,
          QStringLiteral("Year: ") + f.year, QStringLiteral("Registration: ") + f.regNumber,
          QStringLiteral("CO %: ") + f.co, QStringLiteral("CO2 %: ") + f.co2,
          QStringLiteral("HC ppm: ") + f.hc, QStringLiteral("O2 %: ") + f.o2,
          QStringLiteral("Engine speed RPM: ") + f.rpm, QStringLiteral("Oil temperature C: ") + f.oilTemp,
          QStringLiteral("Operator: (not logged)")})
        EXPECT_TRUE(run.out.contains(labelled + u'\n')) << labelled.toStdString() << " in\n"
                                                        << run.out.toStdString();

    run = pregledi({"--dir", dir(), "show", "13"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("examination 13 is not in the log")) << run.err.toStdString();
}

TEST_F(PreglediProgramTest, ExportsEveryFieldAsCsvAndJsonThatReadBack) {
    logExams(203);
    const QByteArray before = readFile("Pregledi00000.GPG");
    const QDateTime modified = QFileInfo("Pregledi00000.GPG").lastModified();

    ProgramRun run = pregledi({"--dir", dir(), "export", "--csv"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QStringList> rows = parseCsv(run.out);
    ASSERT_EQ(rows.size(), 204);
    const QStringList header = rows[0];
    EXPECT_EQ(header.mid(0, 3), (QStringList{"number", "file", "record"}));
    for (int n = 1; n <= 203; ++n) {
        const QStringList& row = rows[n];
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[0], QString::number(n));
        EXPECT_EQ(row[1], n <= 200 ? "Pregledi00000.GPG" : "Pregledi00001.GPG");
        const ReportFields f = examFields(n);
        int column = 3;
        for (const ExamRecordItem& item : examRecordLayout()) {
            EXPECT_EQ(header[column], QString::fromLatin1(item.key));
            EXPECT_EQ(row[column], f.*(item.field)) << n << ' ' << item.key;
            ++column;
        }
    }

    run = pregledi(
        {"--dir", dir(), "export", "--json", "-o", "exams.json", "--reg", QStringLiteral("СА1201ВК")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonArray exams = QJsonDocument::fromJson(readFile("exams.json")).array();
    ASSERT_EQ(exams.size(), 1);
    const QJsonObject exam = exams[0].toObject();
    EXPECT_EQ(exam["number"].toInt(), 201);
    EXPECT_EQ(exam["record"].toInt(), 1);
    const ReportFields f = examFields(201);
    for (const ExamRecordItem& item : examRecordLayout())
        EXPECT_EQ(exam[QString::fromLatin1(item.key)].toString(), f.*(item.field)) << item.key;

    EXPECT_EQ(readFile("Pregledi00000.GPG"), before);
    EXPECT_EQ(QFileInfo("Pregledi00000.GPG").lastModified(), modified);
}

// verify's findings are told in VerifyTest and TrailCommandsTest; here, its exit status through
// the whole program, and the other commands on the same damaged log.
TEST_F(PreglediProgramTest, VerifyExitStatusFollowsWhatItFinds) {
    ProgramRun run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();

    // A log from before the chain: not protected, said so, and not tampering.
    QByteArray old;
    for (int n = 1; n <= 4; ++n)
        old += examRecordBytes(examFields(n));
    writeFile("Pregledi00000.GPG", old);
    run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 3) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("examinations 1-4")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("TAMPERING"));

    logExams(3, 5);
    run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 3) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("TAMPERING"));

    QByteArray log = readFile("Pregledi00000.GPG");
    log[5 * 160 + 60] = 'Z';
    writeFile("Pregledi00000.GPG", log);
    run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("TAMPERING examination 6 (Pregledi00000.GPG record 6)"))
        << run.out.toStdString();

    // A file of another program among the logs: verify fails, and the other commands name the
    // bad file and record too, and fail.
    writeFile("Pregledi00000.GPG", log.left(5 * 160));
    writeFile("Pregledi00001.GPG", QByteArray("%PDF-1.4\n") + QByteArray(300, '\x01'));
    run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("examination 201 (Pregledi00001.GPG record 1)")) << run.out.toStdString();
    run = pregledi({"--dir", dir(), "list"});
    EXPECT_EQ(run.status, 1);
    for (const char* told :
         {"pregledi: Pregledi00000.GPG: holds 5 records, but a later log file exists\n",
          "pregledi: Pregledi00001.GPG: 309 bytes is not a whole number of 160-byte records\n",
          "pregledi: Pregledi00001.GPG record 1 (examination 201): bytes 159-160 are not CR LF\n",
          "pregledi: Pregledi00001.GPG record 2: cut short: 149 of 160 bytes\n"})
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(told))) << told << " in\n" << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("     201  (does not follow the record layout)")) << run.out.toStdString();
}

TEST_F(PreglediProgramTest, InitKeyMakesAPrivateKeyOnceAndTheChainBecomesKeyed) {
    ProgramRun run = pregledi({"--dir", dir(), "init-key"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(kStationKeyFileName, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const QByteArray key = readFile(kStationKeyFileName);
    EXPECT_EQ(key.size(), 65);

    run = pregledi({"--dir", dir(), "init-key"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("exists already")) << run.err.toStdString();
    EXPECT_EQ(readFile(kStationKeyFileName), key);

    logExams(2);
    EXPECT_EQ(readFile(kChainFileName).count("hmac  "), 2) << readFile(kChainFileName).toStdString();
    run = pregledi({"--dir", dir(), "verify"});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
}

TEST_F(PreglediProgramTest, ReprintDrawsTheLoggedPageMarkedAsACopy) {
    logExams(3);
    ProgramRun run = pregledi({"--dir", dir(), "reprint", "2", "-o", "copy.pdf"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    ASSERT_TRUE(readFile("copy.pdf").startsWith("%PDF"));

    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), QStringLiteral("copy.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    ASSERT_EQ(text.exitCode(), 0);
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    const ReportFields f = examFields(2);
    for (const QString& expected :
         {QStringLiteral("ДИАГНОСТИЧЕН"), QStringLiteral("КОПИЕ / COPY"), f.makeModel, f.year, f.regNumber,
          f.owner, f.co + " %", f.co2 + " %", f.hc.trimmed() + " ppm", f.o2 + " %", f.oilTemp + "°C",
          f.rpm.trimmed(), QStringLiteral("Дата: ") + f.date, QStringLiteral("Час: ") + f.time})
        EXPECT_TRUE(page.contains(expected)) << expected.toStdString() << " in\n" << page.toStdString();
    EXPECT_TRUE(page.contains(QRegularExpression(QStringLiteral("Преглед №\\s+2\\b")))) << page.toStdString();
    // What the log does not hold is not made up.
    EXPECT_FALSE(page.contains(f.operatorName));
    EXPECT_FALSE(page.contains(f.lambda));

    run = pregledi({"--dir", dir(), "reprint", "9", "-o", "none.pdf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("examination 9 is not in the log")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists("none.pdf"));
}
