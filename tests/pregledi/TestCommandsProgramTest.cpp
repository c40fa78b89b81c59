// The real pregledi program over an archive of two-speed tests: tests and its JSON, show-test,
// reprint-test read back with pdftotext, export --tests, and verify and seal with both heads.
#include "ArchiveFixture.h"
#include "ExamChain.h"
#include "PreglediRun.h"

#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace vz;
using namespace vz::test;

namespace {

const QString kDecember = QStringLiteral("Protokoli-2026-12.jsonl");

QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStandardPaths::findExecutable("pdftotext"), {path, "-"});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestCommandsProgramTest : public ArchiveFixture {
protected:
    void SetUp() override {
        ArchiveFixture::SetUp();
        record(passingCar());
        failing = record(failingCar());
        BenchCar practice = failingCar();
        practice.training = true;
        record(practice);
        BenchCar killed = passingCar(QStringLiteral("ВТ3333ВТ"));
        killed.end = BenchCar::End::Kill;
        record(killed);
    }
    ProgramRun run(const QStringList& args) { return pregledi(QStringList{"--dir", scratch.path()} + args); }

    Recorded failing;
};

TEST_F(TestCommandsProgramTest, TestsListsAndShowsEveryTest) {
    ProgramRun r = run({"tests"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("     No.  Date")) << lines[0].toStdString();
    EXPECT_EQ(lines[1],
              "       1  09.12.2026  09:00:00  СА1234ВХ    petrol  catalyst-from-2002    pass         1");
    EXPECT_TRUE(lines[2].contains("РВ5678АК") && lines[2].contains("  fail  ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("       3") && lines[3].endsWith("in progress or interrupted"))
        << lines[3].toStdString();

    r = run({"tests", "--reg", "pb5678ak"});
    EXPECT_EQ(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 2) << r.out.toStdString();
    r = run({"tests", "--training"});
    lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(lines[1].startsWith("     О-1  ") && lines[1].contains("fail")) << lines[1].toStdString();

    r = run({"tests", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonArray tests = QJsonDocument::fromJson(r.outBytes, &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    ASSERT_EQ(tests.size(), 3);
    QStringList verdicts;
    for (const QJsonValue& t : tests)
        verdicts.append(t.toObject().value("verdict").toString());
    EXPECT_EQ(verdicts, QStringList({"pass", "fail", "unfinished"}));
    const QJsonObject second = tests[1].toObject();
    EXPECT_EQ(second.value("number").toInt(), 2);
    EXPECT_TRUE(second.value("started").toString().startsWith("2026-12-09T09:")) << r.out.toStdString();
    EXPECT_EQ(second.value("attempt").toInt(), 1);
    EXPECT_FALSE(second.value("training").toBool());
    EXPECT_FALSE(second.value("reason").toString().isEmpty());
    const QJsonArray phases = second.value("phases").toArray();
    ASSERT_EQ(phases.size(), 2);
    EXPECT_EQ(phases[0].toObject().value("name").toString(), "high-idle");
    EXPECT_EQ(phases[0].toObject().value("verdict").toString(), "fail");
    EXPECT_GT(phases[0].toObject().value("lambda").toDouble(), 0.5);
    r = run({"tests", "--json", "--training"});
    EXPECT_TRUE(QJsonDocument::fromJson(r.outBytes).array()[0].toObject().value("training").toBool());

    r = run({"show-test", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    for (const char* text :
         {"Test: 2 (official)", "Verdict: fail (НЕ СЪОТВЕТСТВА)", "matches the result line",
          "Started line:", "  operator: Мария Иванова", "Result line:"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(text))) << text << "\n" << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromLatin1(failing.result.seal.toHex())));
    r = run({"show-test", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("Verdict: unfinished (in progress or interrupted)")) << r.out.toStdString();
    r = run({"show-test", "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.messages().contains("test 9 is not in the archive")) << r.err.toStdString();
    for (const QStringList& bad :
         {QStringList{"show-test"}, QStringList{"tests", "--csv"}, QStringList{"list", "--training"},
          QStringList{"reprint-test", "2"}, QStringList{"tests", "--tests"}}) {
        r = run(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
    }
}

TEST_F(TestCommandsProgramTest, ReprintTestDrawsTheProtocolAgainMarkedAsACopy) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    QTemporaryDir out;
    const QString pdf = out.filePath("copy.pdf");
    ProgramRun r = run({"reprint-test", "2", "-o", pdf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString text = pdfText(pdf);
    for (const char* wanted : {"КОПИЕ / COPY", "НЕ СЪОТВЕТСТВА", "РВ5678АК", "Протокол"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(wanted))) << wanted << "\n" << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromLatin1(failing.result.seal.left(8).toHex())))
        << text.toStdString();
    EXPECT_EQ(QFile::permissions(pdf) & (QFile::ReadOther | QFile::WriteOther), QFile::Permissions());

    // Training has its own numbers; an unfinished test has no protocol; a station file is never
    // written over.
    r = run({"reprint-test", "1", "--training", "-o", out.filePath("training.pdf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(pdfText(out.filePath("training.pdf")).contains("ОБУЧЕНИЕ"));
    r = run({"reprint-test", "3", "-o", out.filePath("none.pdf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.messages().contains("no result line")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out.filePath("none.pdf")));
    const QByteArray archive = readFile(kDecember);
    r = run({"reprint-test", "2", "-o", scratch.filePath(kDecember)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(kDecember), archive);

    // A changed result line: the copy says at its foot that it has no seal.
    const int line = lineOf(kDecember, "result", 2);
    QByteArray changed = linesOf(kDecember)[line - 1];
    changed.replace("\"verdict\":\"fail\"", "\"verdict\":\"pass\"");
    replaceLine(kDecember, line, changed);
    r = run({"reprint-test", "2", "-o", pdf});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.messages().contains("does not match its seal")) << r.err.toStdString();
    EXPECT_TRUE(pdfText(pdf).contains("без печат")) << pdfText(pdf).toStdString();
}

TEST_F(TestCommandsProgramTest, VerifySealAndExportCoverTheArchive) {
    // Exports of the examinations stay as they were; --tests exports the tests.
    logExams(3);
    const QByteArray examsJson = run({"export", "--json"}).outBytes;
    const QByteArray examsCsv = run({"export", "--csv"}).outBytes;
    ProgramRun r = run({"export", "--tests", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.outBytes, run({"tests", "--json"}).outBytes);
    r = run({"export", "--tests", "--csv"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QStringList> rows = vz::test::parseCsv(r.out);
    ASSERT_EQ(rows.size(), 4);
    const qsizetype verdict = rows[0].indexOf("verdict");
    const qsizetype highIdleCo = rows[0].indexOf("highIdleCo");
    ASSERT_TRUE(verdict > 0 && highIdleCo > 0) << rows[0].join(',').toStdString();
    EXPECT_EQ(rows[2][verdict], "fail");
    EXPECT_EQ(rows[2][highIdleCo], "0.62");
    EXPECT_EQ(rows[3][verdict], "unfinished");
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), rows[0].size());
    ASSERT_TRUE(QDir().mkdir("aside"));
    for (const QString& name : QDir().entryList({"Protokoli-*", "Obuchenie-*"}, QDir::Files))
        ASSERT_TRUE(QFile::rename(name, "aside/" + name)) << name.toStdString();
    EXPECT_EQ(run({"export", "--json"}).outBytes, examsJson);
    EXPECT_EQ(run({"export", "--csv"}).outBytes, examsCsv);
    for (const QString& name : QDir("aside").entryList(QDir::Files))
        ASSERT_TRUE(QFile::rename("aside/" + name, name));
    ASSERT_TRUE(QDir().rmdir("aside"));

    // A fresh archive and log verify clean.
    r = run({"verify"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(
        r.out.contains(QRegularExpression("test archive: 2 files, [0-9]+ lines \\(4 tests\\), [0-9]+ "
                                          "chain entries \\([0-9]+ matching their lines, 0 breaks\\)")))
        << r.out.toStdString();

    // seal: the examination head, then the protocol head with its month; verify takes both back.
    r = run({"seal"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList heads = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(heads.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(heads[0].startsWith("3 ")) << heads[0].toStdString();
    EXPECT_TRUE(heads[1].startsWith("P2026-12/3 ") && heads[1].size() == 11 + 64) << heads[1].toStdString();
    const QString exam = "E" + heads[0].left(1) + ":" + heads[0].mid(2, 16);
    const QString protocol = heads[1].left(10) + ":" + heads[1].mid(11, 16);
    r = run({"verify", "--expect-head", exam, "--expect-head", protocol});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("seal: 3 " + heads[0].mid(2, 16) + " is in the chain")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("seal: P2026-12/3 " + heads[1].mid(11, 16) +
                               " is in the test archive, and every line"))
        << r.out.toStdString();
    EXPECT_EQ(run({"verify", "--expect-head", QString(heads[0]).replace(u' ', u':')}).status, 0);
    for (const QStringList& bad :
         {QStringList{"verify", "--expect-head", "P3:12ab"},
          QStringList{"verify", "--expect-head", protocol, "--expect-head", protocol},
          QStringList{"seal", "--expect-head", protocol}}) {
        r = run(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
    }

    // One changed line: named, with its test; tampering breaks the protocol head before it.
    const int line = lineOf(kDecember, "started", 2);
    const QByteArray original = linesOf(kDecember)[line - 1];
    QByteArray changed = original;
    changed.replace("РВ5678АК", "РВ5678АА");
    replaceLine(kDecember, line, changed);
    r = run({"verify", "--expect-head", protocol});
    EXPECT_EQ(r.status, 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("TAMPERING %1 line %2: test 2: does not match its chain entry")
                                   .arg(kDecember)
                                   .arg(line)))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("but its file up to it was changed")) << r.out.toStdString();
    replaceLine(kDecember, line, original);

    // A torn last line: a break, exit status 3.
    writeFile(kDecember, readFile(kDecember) + "{\"kind\":\"samples\",\"number\":3,");
    r = run({"verify"});
    EXPECT_EQ(r.status, 3) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("BREAK " + kDecember + " line ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("its end is torn")) << r.out.toStdString();
}
