// The months of the archive of two-speed tests as one series: a removed month, a clock a year
// ahead and back, a decoy copy and a planted month, each with what verify, show-test and the
// next number make of it; the seal a reprint prints only when it was checked; station names
// and texts escaped on the terminal; the ending, failing average and declaration in the list.
#include "ArchiveFixture.h"
#include "ArchiveVerify.h"
#include "ExamChain.h"
#include "PreglediRun.h"
#include "TestArchive.h"
#include "TestCommands.h"
#include "Verify.h"

#include <QJsonArray>
#include <QStandardPaths>

using namespace vz;
using namespace vz::test;

namespace {

QStringList findings(const VerifyOptions& options = {}) {
    QStringList found;
    verifyTrail(QStringLiteral("."), options,
                [&](const VerifyFinding& f) { found.append(describeFinding(f)); });
    return found;
}
QStringList tampering(const VerifyOptions& options = {}) {
    return findings(options).filter(QRegularExpression("^TAMPERING"));
}

// A file's chain made again, unkeyed, over its lines as they are now: what a forger without a
// key can do after changing them.
void reseal(const QString& lines) {
    QByteArray chain;
    QByteArray previous;
    const QList<QByteArray> all = ScratchFiles::readFile(lines).split('\n');
    for (qsizetype i = 0; i + 1 < all.size(); ++i) {
        previous = chainHash(previous, all[i] + '\n', nullptr);
        chain += chainEntryLine({int(i + 1), false, previous, ChainEntryKind::Record, {}});
    }
    ScratchFiles::writeFile(lines.chopped(5) + "chain", chain);
}

int nextNumber(const QDateTime& at) {
    ProtocolArchive archive(QStringLiteral("."), [&] { return at; });
    return archive.begin(ArchiveSeries::Official, {{"registration", "X"}}).number;
}

const QString kNovember = QStringLiteral("Protokoli-2026-11.jsonl");
const QString kDecember = QStringLiteral("Protokoli-2026-12.jsonl");

} // namespace

class ArchiveSeriesTest : public ArchiveFixture {
protected:
    // Tests 1-2 begun in November, 3-4 in December.
    void twoMonths() {
        clock = QDateTime(QDate(2026, 11, 27), QTime(9, 0));
        record(passingCar());
        record(failingCar());
        clock = QDateTime(QDate(2026, 12, 2), QTime(9, 0));
        record(passingCar(QStringLiteral("В1111СТ")));
        record(failingCar(QStringLiteral("СА7777АА")));
    }
    ProgramRun run(const QStringList& args) { return pregledi(QStringList{"--dir", scratch.path()} + args); }
};

TEST_F(ArchiveSeriesTest, ARemovedLatestMonthIsTamperingAndItsNumbersAreNotGivenAgain) {
    twoMonths();
    ASSERT_TRUE(findings().isEmpty()) << findings().join('\n').toStdString();
    QFile::remove(kDecember);
    QFile::remove("Protokoli-2026-12.chain");

    EXPECT_EQ(tampering(),
              QStringList{"TAMPERING Protokoli-2026-12.jsonl: the official series ends at test 2, "
                          "below its high-water mark 4 (Protokoli-nomera.jsonl): tests 3-4 are missing; "
                          "the register gives them to Protokoli-2026-12.jsonl, which is missing: a "
                          "month file removed, or cut short"});
    const TestLookup lookup = findTest(QStringLiteral("."), ArchiveSeries::Official, 3);
    EXPECT_FALSE(lookup.test);
    EXPECT_TRUE(lookup.whereBroken.startsWith("the series ends at test 2 (Protokoli-2026-11.jsonl)"))
        << lookup.whereBroken.toStdString();
    EXPECT_TRUE(findTest(QStringLiteral("."), ArchiveSeries::Official, 9).whereBroken.isEmpty());
    EXPECT_EQ(nextNumber(QDateTime(QDate(2026, 12, 20), QTime(9, 0))), 5);
}

TEST_F(ArchiveSeriesTest, AClockAYearAheadAndBackIsExplainedByItsClockLine) {
    record(passingCar());                                // 1: 2026-12-09
    clock = QDateTime(QDate(2027, 12, 9), QTime(10, 0)); // a year ahead
    record(failingCar());                                // 2: 2027-12
    clock = QDateTime(QDate(2026, 12, 9), QTime(11, 0)); // and back
    record(passingCar(QStringLiteral("В1111СТ")));       // 3: 2026-12, after a clock line
    EXPECT_TRUE(findings().isEmpty()) << findings().join('\n').toStdString();

    QList<int> order;
    readTests(
        QStringLiteral("."), ArchiveSeries::Official, {}, {},
        [&](const RecordedTest& t) { order.append(t.number); }, [](const ArchiveProblem&) {});
    EXPECT_EQ(order, QList<int>({1, 2, 3})) << "numbers, not months, give the order";
    const TestLookup second = findTest(QStringLiteral("."), ArchiveSeries::Official, 2);
    ASSERT_TRUE(second.test);
    EXPECT_EQ(second.test->fileName, "Protokoli-2027-12.jsonl");
    const TestLookup third = findTest(QStringLiteral("."), ArchiveSeries::Official, 3);
    ASSERT_TRUE(third.test);
    EXPECT_EQ(third.test->fileName, kDecember);
    EXPECT_TRUE(
        testShowText(third, {}).contains("Clock: behind the series' latest test when it began (test 2 "
                                         "began 2027-12-09T10:"))
        << testShowText(third, {}).toStdString();

    // Without its clock line (the chain made again), test 3 is out of order unexplained.
    const int clockLine = lineOf(kDecember, "clock", 3);
    ASSERT_GT(clockLine, 0);
    QList<QByteArray> lines = linesOf(kDecember);
    lines.removeAt(clockLine - 1);
    writeFile(kDecember, lines.join('\n') + '\n');
    reseal(kDecember);
    ASSERT_EQ(tampering().size(), 1) << findings().join('\n').toStdString();
    EXPECT_TRUE(
        tampering()[0].startsWith(QStringLiteral("TAMPERING %1 line %2: test 3 began in an earlier month "
                                                 "than test 2 (Protokoli-2027-12.jsonl, 2027-12-09T10:")
                                      .arg(kDecember)
                                      .arg(clockLine)))
        << tampering()[0].toStdString();
}

TEST_F(ArchiveSeriesTest, DecoyAndPlantedMonthsAreNamedAndHideNoTest) {
    twoMonths();
    const ProtocolSeal sealed = protocolSeal(QStringLiteral("."));
    ASSERT_TRUE(sealed.line.startsWith("P2026-12/4 ")) << sealed.line.toStdString();
    VerifyOptions withMonth;
    withMonth.expectProtocolHead = parseProtocolHead(sealed.line);
    VerifyOptions plain;
    plain.expectProtocolHead = parseProtocolHead("P4:" + sealed.line.mid(11));

    // A decoy: December copied whole under a later month, then a verdict changed in December
    // and its chain made again.
    for (const char* suffix : {".jsonl", ".chain"})
        ASSERT_TRUE(QFile::copy(QStringLiteral("Protokoli-2026-12") + suffix,
                                QStringLiteral("Protokoli-2027-03") + suffix));
    const int result = lineOf(kDecember, "result", 4);
    QByteArray changed = linesOf(kDecember)[result - 1];
    ASSERT_TRUE(changed.contains("\"verdict\":\"fail\""));
    changed.replace("\"verdict\":\"fail\"", "\"verdict\":\"pass\"");
    replaceLine(kDecember, result, changed);
    reseal(kDecember);

    VerifyResult verdict = verifyTrail(QStringLiteral("."), withMonth, [](const VerifyFinding&) {});
    EXPECT_EQ(verdict.protocolHead, VerifyResult::Head::Missing)
        << "the decoy's copy of the head does not count";
    EXPECT_EQ(verifyTrail(QStringLiteral("."), plain, [](const VerifyFinding&) {}).protocolHead,
              VerifyResult::Head::Ambiguous);
    const QStringList found = tampering();
    for (const char* wanted :
         {"TAMPERING Protokoli-2027-03.jsonl line 1: its link line names it Protokoli-2026-12.jsonl: a copy",
          "TAMPERING Protokoli-2027-03.jsonl: tests 3-4 are begun both here and in Protokoli-2026-12.jsonl"})
        EXPECT_EQ(found.filter(QString::fromUtf8(wanted)).size(), 1) << wanted << "\n"
                                                                     << found.join('\n').toStdString();
    const TestLookup fourth = findTest(QStringLiteral("."), ArchiveSeries::Official, 4);
    ASSERT_TRUE(fourth.test);
    EXPECT_EQ(fourth.test->fileName, kDecember) << "the register names the test's own month";

    // A month planted far ahead, with a test numbered low and no link.
    QFile::remove("Protokoli-2027-03.jsonl");
    QFile::remove("Protokoli-2027-03.chain");
    writeFile("Protokoli-2099-01.jsonl",
              "{\"kind\":\"started\",\"number\":1,\"registration\":\"X\",\"series\":\"official\",\"time\":"
              "\"2099-01-01T08:00:00\"}\n");
    reseal("Protokoli-2099-01.jsonl");
    for (int number : {1, 2, 3}) {
        const TestLookup lookup = findTest(QStringLiteral("."), ArchiveSeries::Official, number);
        ASSERT_TRUE(lookup.test) << number;
        EXPECT_EQ(lookup.test->fileName, number < 3 ? kNovember : kDecember) << number;
    }
    EXPECT_EQ(tampering().filter("Protokoli-2099-01.jsonl: its first line is no link, though").size(), 1)
        << tampering().join('\n').toStdString();
    EXPECT_EQ(tampering().filter("Protokoli-2099-01.jsonl: test 1 is begun both here and in").size(), 1)
        << tampering().join('\n').toStdString();
}

TEST_F(ArchiveSeriesTest, ReprintTestPrintsASealOnlyWhenItCheckedIt) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    const QByteArray key(kChainHashSize, '7');
    writeFile(kStationKeyFileName, key.toHex() + '\n');
    QFile::setPermissions(kStationKeyFileName, QFile::ReadOwner | QFile::WriteOwner);
    const Recorded failing = record(failingCar());
    const QByteArray chain = readFile("Protokoli-2026-12.chain");
    struct Case {
        const char* what;
        std::function<void()> spoil;
        int status;
        const char* foot;
    };
    const QList<Case> cases = {
        {"checked with the key", [] {}, 0, nullptr},
        {"the key missing", [] { QFile::remove(kStationKeyFileName); }, 1, "ключът на станцията липсва"},
        {"the key unusable", [] { writeFile(kStationKeyFileName, "not a key\n"); }, 1,
         "ключът на станцията е неизползваем"},
        {"the line unsealed", [] { QFile::remove("Protokoli-2026-12.chain"); }, 1, "записът не е запечатан"},
        {"the line changed",
         [this] {
             const int line = lineOf(kDecember, "result", 1);
             QByteArray bytes = linesOf(kDecember)[line - 1];
             bytes.replace("\"verdict\":\"fail\"", "\"verdict\":\"pass\"");
             replaceLine(kDecember, line, bytes);
         },
         1, "записът не съвпада с печата си"},
    };
    const QByteArray lines = readFile(kDecember);
    QTemporaryDir out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(kStationKeyFileName, key.toHex() + '\n');
        writeFile("Protokoli-2026-12.chain", chain);
        writeFile(kDecember, lines);
        c.spoil();
        const QString pdf = out.filePath("copy.pdf");
        const ProgramRun r = run({"reprint-test", "1", "-o", pdf});
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        QProcess text;
        text.start(QStandardPaths::findExecutable("pdftotext"), {pdf, "-"});
        text.waitForFinished(30000);
        const QString page = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        const QString seal = QString::fromLatin1(failing.result.seal.left(8).toHex());
        if (!c.foot) {
            EXPECT_TRUE(page.contains(seal)) << page.toStdString();
            continue;
        }
        EXPECT_FALSE(page.contains(seal)) << page.toStdString();
        EXPECT_TRUE(page.contains(QStringLiteral("без печат: ") + QString::fromUtf8(c.foot)))
            << page.toStdString();
        EXPECT_FALSE(r.messages().isEmpty());
    }
}

TEST_F(ArchiveSeriesTest, StationNamesAndTextsReachTheTerminalEscaped) {
    BenchCar car = passingCar(QStringLiteral("СА\x1b[31m1\\2"));
    record(car);
    logExams(2);
    const QString fake =
        QStringLiteral("verify: every record is sealed and matches its entry, with no break (exit status 0)");
    for (const QString& name :
         {QStringLiteral("Protokoli-x\n") + fake, QStringLiteral("Pregledi\r\x1b[2K") + fake})
        writeFile(name, "{}\n");

    ProgramRun r = run({"verify"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.count(fake), 3) << "the verdict, and the two names told on one line each:\n"
                                    << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("NOTE Protokoli-x\\n" + fake)) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Pregledi\\r\\x1b[2K" + fake)) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(u'\x1b'));
    for (const QStringList& command : {QStringList{"tests"}, QStringList{"show-test", "1"}}) {
        r = run(command);
        EXPECT_TRUE(r.out.contains("СА\\x1b[31m1\\\\2")) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(u'\x1b')) << r.out.toStdString();
    }
}

TEST_F(ArchiveSeriesTest, TheListShowsTheEndingTheFailingAverageAndTheDeclaration) {
    const QJsonObject average{{"phase", "high-idle"}, {"co", 0.624},  {"co2", 14.8}, {"hc", 20}, {"o2", 0.2},
                              {"lambda", 1.0123},     {"rpm", 2700.4}};
    const QJsonObject declaration{{"key", "registered-before-requirement"},
                                  {"text", "регистриран преди изискването за катализатор"}};
    // Lines as the station writes them, written through its archive.
    archive.begin(ArchiveSeries::Official, {{"registration", "A1"}, {"declaration", declaration}});
    archive.finish(ArchiveSeries::Official, 1,
                   {{"verdict", "fail"}, {"ending", "aborted"}, {"failingAverage", average}, {"attempt", 1}});
    archive.begin(ArchiveSeries::Official, {{"registration", "A2"}, {"declaration", QJsonValue::Null}});
    archive.finish(ArchiveSeries::Official, 2,
                   {{"verdict", "interrupted"}, {"ending", "interrupted"}, {"failingAverage", average}});
    archive.begin(ArchiveSeries::Official, {{"registration", "A3"}});
    archive.finish(ArchiveSeries::Official, 3,
                   {{"verdict", "pass"}, {"ending", "completed"}, {"attempt", 1}});
    archive.begin(ArchiveSeries::Official, {{"registration", "A4"}});
    archive.journal(ArchiveSeries::Official, 4, {{"failing", QJsonArray{average}}});
    archive.begin(ArchiveSeries::Training, {{"registration", "A5"}});

    QList<RecordedTest> tests;
    for (ArchiveSeries series : {ArchiveSeries::Official, ArchiveSeries::Training})
        readTests(
            QStringLiteral("."), series, {}, {}, [&](const RecordedTest& t) { tests.append(t); },
            [](const ArchiveProblem& p) { ADD_FAILURE() << describeArchiveProblem(p).toStdString(); });
    ASSERT_EQ(tests.size(), 5);
    const QString shown =
        QStringLiteral("high-idle: CO 0.62 %, CO2 14.8 %, HC 20 ppm, O2 0.20 %, lambda 1.012, 2700 rpm");
    const QStringList ends = {
        "fail         1  ending: aborted; failing average: " + shown +
            "; declaration: регистриран преди изискването за катализатор",
        "interrupted  -  interrupted after a failing average: " + shown,
        "pass         1",
        "in progress or interrupted; failing average: " + shown,
        "in progress or interrupted",
    };
    for (qsizetype i = 0; i < tests.size(); ++i)
        EXPECT_TRUE(testListLine(tests[i]).endsWith(ends[i])) << testListLine(tests[i]).toStdString();
    EXPECT_TRUE(testListLine(tests[4]).startsWith("     О-1  ")) << testListLine(tests[4]).toStdString();

    const QJsonObject json = testJson(tests[1]);
    EXPECT_EQ(json.value("number").toInt(), 2);
    EXPECT_EQ(json.value("ending").toString(), "interrupted");
    EXPECT_EQ(json.value("failingAverage").toObject(), average);
    EXPECT_TRUE(json.value("declaration").isNull());
    EXPECT_EQ(testJson(tests[0]).value("declaration").toObject(), declaration);
    EXPECT_EQ(testJson(tests[3]).value("failingAverage").toObject(), average);
    EXPECT_TRUE(testJson(tests[2]).value("failingAverage").isNull());

    const TestLookup interrupted = findTest(QStringLiteral("."), ArchiveSeries::Official, 2);
    ASSERT_TRUE(interrupted.test);
    const QString text = testShowText(interrupted, {});
    EXPECT_TRUE(text.contains(
        "Verdict: interrupted ()\nEnding: interrupted\nInterrupted after a failing average: " + shown + "\n"))
        << text.toStdString();
    const TestLookup training = findTest(QStringLiteral("."), ArchiveSeries::Training, 1);
    ASSERT_TRUE(training.test);
    EXPECT_TRUE(testShowText(training, {}).startsWith("Test: О-1 (training)\n"));
}

TEST_F(ArchiveSeriesTest, AnArchiveWrittenBeforeLinksVerifiesAsBeforeAndIsLinkedFromOn) {
    // Two months as the station wrote them before months were linked: tests' lines only.
    auto oldLine = [](const char* kind, int number, const char* time) {
        return QStringLiteral("{\"kind\":\"%1\",\"number\":%2,\"series\":\"official\",\"time\":\"%3\"}\n")
            .arg(QLatin1StringView(kind))
            .arg(number)
            .arg(QLatin1StringView(time))
            .toUtf8();
    };
    writeFile(kNovember,
              oldLine("started", 1, "2026-11-20T09:00:00") + oldLine("result", 1, "2026-11-20T09:05:00"));
    // The clock was set back within the month once: no clock lines then, and none asked for.
    writeFile(kDecember,
              oldLine("started", 2, "2026-12-03T09:00:00") + oldLine("started", 3, "2026-12-02T09:00:00"));
    reseal(kNovember);
    reseal(kDecember);
    EXPECT_TRUE(findings().isEmpty()) << findings().join('\n').toStdString();

    // The next month is the first with a link: to the file of the latest test.
    EXPECT_EQ(nextNumber(QDateTime(QDate(2027, 1, 5), QTime(9, 0))), 4);
    const QJsonObject link = objectOf(linesOf("Protokoli-2027-01.jsonl")[0]);
    EXPECT_EQ(link.value("previous").toString(), kDecember);
    EXPECT_EQ(link.value("previousEntry").toInt(), 2);
    EXPECT_EQ(link.value("highest").toInt(), 3);
    EXPECT_TRUE(findings().filter("Protokoli-2027-01").isEmpty()) << findings().join('\n').toStdString();
    // December rewritten since (its chain made again over a changed line): the link says so.
    QByteArray changed = linesOf(kDecember)[1];
    changed.replace("2026-12-02", "2026-12-04");
    replaceLine(kDecember, 2, changed);
    reseal(kDecember);
    EXPECT_EQ(tampering()
                  .filter("TAMPERING Protokoli-2027-01.jsonl line 1: its link seals entry 2 of "
                          "Protokoli-2026-12.chain as ")
                  .size(),
              1)
        << findings().join('\n').toStdString();
}
