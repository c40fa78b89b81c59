// The archive of two-speed tests read back: tests listed one at a time in order whatever their
// end, the fields a list needs read without the samples, one test found by its number across
// months, its protocol made again from its lines, and verify and seal over the archive's chains.
#include "TestArchive.h"
#include "ArchiveFixture.h"
#include "ArchiveVerify.h"
#include "ExamChain.h"
#include "ProtocolRecord.h"
#include "TestCommands.h"
#include "Verify.h"

#include <QJsonArray>

using namespace vz;
using namespace vz::test;

namespace {

struct Read {
    QList<RecordedTest> tests;
    QList<ArchiveProblem> problems;
};
Read readAll(ArchiveSeries series = ArchiveSeries::Official, std::optional<QDate> from = {},
             std::optional<QDate> to = {}) {
    Read read;
    readTests(
        QStringLiteral("."), series, from, to, [&](const RecordedTest& t) { read.tests.append(t); },
        [&](const ArchiveProblem& p) { read.problems.append(p); });
    return read;
}

QStringList verdicts(const QList<RecordedTest>& tests) {
    QStringList list;
    for (const RecordedTest& t : tests)
        list.append(testVerdict(t));
    return list;
}

// Every sample array taken out of an object, wherever it stands.
QJsonValue withoutSamples(const QJsonValue& value) {
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& v : value.toArray())
            array.append(withoutSamples(v));
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object;
    const QJsonObject source = value.toObject();
    for (auto it = source.begin(); it != source.end(); ++it) {
        if (it.key() != u"samples")
            object.insert(it.key(), withoutSamples(it.value()));
    }
    return object;
}

struct Verified {
    VerifyResult result;
    QStringList findings;
    QStringList of(const char* label) const {
        QStringList found;
        for (const QString& f : findings) {
            if (f.startsWith(QLatin1StringView(label)))
                found.append(f);
        }
        return found;
    }
    std::string text() const { return findings.join(u'\n').toStdString(); }
};
Verified verified(const VerifyOptions& options = {}) {
    Verified v;
    v.result = verifyTrail(QStringLiteral("."), options,
                           [&](const VerifyFinding& f) { v.findings.append(describeFinding(f)); });
    return v;
}

const QString kDecember = QStringLiteral("Protokoli-2026-12.jsonl");
const QString kDecemberChain = QStringLiteral("Protokoli-2026-12.chain");

} // namespace

class TestArchiveTest : public ArchiveFixture {
protected:
    // December's chain made again over its lines as they are now, unkeyed: what a forger
    // without the key can do.
    void resealUnkeyed() {
        QByteArray rebuilt;
        QByteArray previous;
        const QList<QByteArray> lines = linesOf(kDecember);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const ChainEntry entry{
                int(i + 1), false, chainHash(previous, lines[i] + '\n', nullptr), ChainEntryKind::Record, {}};
            rebuilt += chainEntryLine(entry);
            previous = entry.hash;
        }
        writeFile(kDecemberChain, rebuilt);
    }
};

TEST_F(TestArchiveTest, EveryRecordedTestIsListedInOrderWhateverItsEnd) {
    record(passingCar());
    record(failingCar());
    record(dilutedCar());
    BenchCar aborted = passingCar(QStringLiteral("ca 1234 bx"));
    aborted.end = BenchCar::End::Abort;
    record(aborted);
    record(oldCar());
    BenchCar training = passingCar();
    training.training = true;
    record(training);
    BenchCar killed = passingCar(QStringLiteral("СА-1234-ВХ"));
    killed.end = BenchCar::End::Kill;
    record(killed);

    const Read read = readAll();
    EXPECT_TRUE(read.problems.isEmpty());
    ASSERT_EQ(read.tests.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(read.tests[i].number, i + 1);
    EXPECT_EQ(verdicts(read.tests),
              QStringList({"pass", "fail", "void", "aborted", "pass", kUnfinishedVerdict}));
    // The attempts of one registration on one day, however it was typed.
    EXPECT_EQ(read.tests[0].result.value("attempt").toInt(), 1);
    EXPECT_EQ(read.tests[3].result.value("attempt").toInt(), 2);
    // An unfinished test: its started line, and the phase its journal saw end.
    const RecordedTest& unfinished = read.tests[5];
    EXPECT_FALSE(unfinished.finished());
    EXPECT_EQ(unfinished.started.value("registration").toString(), "СА-1234-ВХ");
    ASSERT_EQ(unfinished.endedPhases.size(), 1);
    EXPECT_EQ(unfinished.endedPhases[0].toObject().value("name").toString(), "high-idle");

    // The list reads a result line without its samples and averages, and gets the same values.
    const QList<QByteArray> lines = linesOf(kDecember);
    const QByteArray resultLine = lines[lineOf(kDecember, "result", 2) - 1];
    ASSERT_TRUE(resultLine.contains("\"samples\":[{"));
    const QJsonObject stripped = parseArchiveLine(resultLine, {"samples", "deciding", "lastAverage"});
    QJsonObject expected = withoutSamples(objectOf(resultLine)).toObject();
    QJsonArray phases;
    for (const QJsonValue& p : expected.value("phases").toArray()) {
        QJsonObject phase = p.toObject();
        phase.remove("deciding");
        phase.remove("lastAverage");
        phases.append(phase);
    }
    expected.insert("phases", phases);
    EXPECT_EQ(stripped, expected);
    EXPECT_EQ(read.tests[1].result, expected);

    // The next start records it as interrupted, from what its lines hold.
    ProtocolArchive restarted(QStringLiteral("."), [this] { return clock; });
    ASSERT_EQ(restarted
                  .recordInterrupted(ArchiveSeries::Official,
                                     [](const QJsonObject& started, const QList<QJsonObject>& samples) {
                                         return twospeed::interruptedResult(started, samples);
                                     })
                  .size(),
              1);
    const Read again = readAll();
    ASSERT_EQ(again.tests.size(), 6);
    EXPECT_EQ(testVerdict(again.tests[5]), "interrupted");
    EXPECT_EQ(testJson(again.tests[5]).value("phases").toArray()[0].toObject().value("verdict").toString(),
              "pass");

    // The training series is a list of its own.
    const Read practice = readAll(ArchiveSeries::Training);
    ASSERT_EQ(practice.tests.size(), 1);
    EXPECT_TRUE(practice.tests[0].training());
    EXPECT_EQ(practice.tests[0].number, 1);
}

TEST_F(TestArchiveTest, JsonHasTheFieldsAndFiltersCompareRegistrationsAsTheStationDoes) {
    record(passingCar(QStringLiteral("СА1234ВХ")));
    record(failingCar(QStringLiteral("РВ5678АК")));
    record(oldCar(QStringLiteral("Х2222ХХ")));
    BenchCar killed = passingCar(QStringLiteral("В1111СТ"));
    killed.end = BenchCar::End::Kill;
    record(killed);
    const Read read = readAll();
    ASSERT_EQ(read.tests.size(), 4);

    const QJsonObject failed = testJson(read.tests[1]);
    for (const char* key : {"number", "started", "registration", "fuel", "limitSet", "verdict", "reason",
                            "attempt", "training", "phases", "ended", "file", "line"})
        EXPECT_TRUE(failed.contains(QLatin1StringView(key))) << key;
    EXPECT_EQ(failed.value("verdict").toString(), "fail");
    EXPECT_EQ(failed.value("fuel").toString(), "petrol");
    EXPECT_EQ(failed.value("training").toBool(), false);
    EXPECT_EQ(failed.value("registrationKey").toString(), "РВ5678АК");
    EXPECT_EQ(failed.value("limitSet").toObject().value("basis").toString(), "catalyst-from-2002");
    const QJsonArray phases = failed.value("phases").toArray();
    ASSERT_EQ(phases.size(), 2);
    EXPECT_EQ(phases[0].toObject().value("name").toString(), "high-idle");
    EXPECT_EQ(phases[0].toObject().value("verdict").toString(), "fail");
    EXPECT_DOUBLE_EQ(phases[0].toObject().value("co").toDouble(), 0.62);
    EXPECT_EQ(phases[1].toObject().value("name").toString(), "idle");
    EXPECT_DOUBLE_EQ(phases[1].toObject().value("co").toDouble(), 0.1);
    for (const char* key : {"rpm", "co", "co2", "hc", "o2", "lambda", "verdict"})
        EXPECT_TRUE(phases[1].toObject().contains(QLatin1StringView(key))) << key;
    // The old car has no high idle phase and no lambda.
    const QJsonArray idleOnly = testJson(read.tests[2]).value("phases").toArray();
    ASSERT_EQ(idleOnly.size(), 1);
    EXPECT_EQ(idleOnly[0].toObject().value("name").toString(), "idle");
    // The unfinished test: its verdict and reason say so, its attempt and end are unknown.
    const QJsonObject unfinished = testJson(read.tests[3]);
    EXPECT_EQ(unfinished.value("verdict").toString(), "unfinished");
    EXPECT_TRUE(unfinished.value("attempt").isNull());
    EXPECT_TRUE(unfinished.value("ended").isNull());
    EXPECT_TRUE(unfinished.value("reason").toString().contains("no result line"));
    EXPECT_TRUE(testListLine(read.tests[3]).endsWith("in progress or interrupted"));
    // The element as an array writes it parses back to the same object.
    const QString array = jsonBegin() + testJsonElement(read.tests[1], true) +
                          testJsonElement(read.tests[3], false) + jsonEnd();
    const QJsonArray parsed = QJsonDocument::fromJson(array.toUtf8()).array();
    ASSERT_EQ(parsed.size(), 2);
    EXPECT_EQ(parsed[0].toObject(), failed);

    auto numbers = [&](const ExamFilter& filter) {
        QList<int> found;
        for (const RecordedTest& t : read.tests) {
            if (testMatches(t, filter))
                found.append(t.number);
        }
        return found;
    };
    ExamFilter filter;
    filter.reg = QStringLiteral("pb 5678"); // Latin look-alikes and blanks
    EXPECT_EQ(numbers(filter), QList<int>{2});
    filter.reg = QStringLiteral("x-2222");
    EXPECT_EQ(numbers(filter), QList<int>{3});
    filter = {};
    filter.text = QStringLiteral("НЕ СЪОТВЕТСТВА");
    EXPECT_EQ(numbers(filter), QList<int>{2});
    filter = {};
    filter.from = QDate(2026, 12, 10);
    EXPECT_TRUE(numbers(filter).isEmpty());
    filter.from = QDate(2026, 12, 9);
    filter.to = QDate(2026, 12, 9);
    EXPECT_EQ(numbers(filter).size(), 4);
    // A month outside the dates is not even opened.
    EXPECT_TRUE(readAll(ArchiveSeries::Official, QDate(2027, 1, 1)).tests.isEmpty());
    EXPECT_EQ(readAll(ArchiveSeries::Official, QDate(2026, 12, 31)).tests.size(), 4);
}

TEST_F(TestArchiveTest, ATestIsFoundByItsNumberInTheFileOfItsMonthAndItsProtocolMadeAgain) {
    clock = QDateTime(QDate(2026, 10, 30), QTime(9, 0));
    record(passingCar());
    clock = QDateTime(QDate(2026, 11, 30), QTime(16, 0));
    record(passingCar());
    const Recorded failing = record(failingCar());
    clock = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    record(oldCar());
    ASSERT_TRUE(QFile::exists("Protokoli-2026-11.jsonl"));

    TestLookup lookup = findTest(QStringLiteral("."), ArchiveSeries::Official, 3);
    ASSERT_TRUE(lookup.test);
    EXPECT_EQ(lookup.test->fileName, "Protokoli-2026-11.jsonl");
    EXPECT_EQ(lookup.test->number, 3);
    EXPECT_TRUE(lookup.test->finished());
    EXPECT_GT(lookup.journal.size(), 2);
    EXPECT_EQ(lookup.test->result.value("phases").toArray()[0].toObject().value("samples").toArray().size() >
                  10,
              true);
    EXPECT_EQ(findTest(QStringLiteral("."), ArchiveSeries::Official, 4).test->fileName,
              "Protokoli-2026-12.jsonl");
    EXPECT_EQ(findTest(QStringLiteral("."), ArchiveSeries::Official, 1).test->fileName,
              "Protokoli-2026-10.jsonl");
    EXPECT_FALSE(findTest(QStringLiteral("."), ArchiveSeries::Official, 5).test);
    EXPECT_FALSE(findTest(QStringLiteral("."), ArchiveSeries::Training, 3).test);

    // Its seal is the one the station printed, and it matches the line.
    const ArchiveFile november = *archiveFileNamed("Protokoli-2026-11.jsonl");
    LineSeal seal = sealOfLine(QStringLiteral("."), november, lookup.test->resultLine, lookup.resultBytes);
    EXPECT_EQ(seal.state, LineSeal::State::Matches);
    EXPECT_EQ(seal.hash, failing.result.seal);
    const QString shown = testShowText(lookup, seal);
    for (const char* text :
         {"Test: 3 (official)", "Verdict: fail (НЕ СЪОТВЕТСТВА)", "matches the result line",
          "registration: РВ5678АК", "Journal line 1:", "Result line:", "samples: "})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text << "\n" << shown.toStdString();

    // The page made from the lines is the page the station printed.
    ProtocolData again =
        protocolDataFromRecord(lookup.test->started, lookup.test->result, QString(), seal.hash, QString());
    const ProtocolData& live = failing.liveProtocol;
    EXPECT_EQ(again.number, live.number);
    EXPECT_EQ(again.attempt, live.attempt);
    EXPECT_EQ(again.date, live.date);
    EXPECT_EQ(again.startTime, live.startTime);
    EXPECT_EQ(again.endTime, live.endTime);
    EXPECT_EQ(again.registration, live.registration);
    EXPECT_EQ(again.makeModel, live.makeModel);
    EXPECT_EQ(again.firstRegistration, live.firstRegistration);
    EXPECT_EQ(again.fuel, live.fuel);
    EXPECT_EQ(again.emissionControl, live.emissionControl);
    EXPECT_EQ(again.typeApproval, live.typeApproval);
    EXPECT_EQ(again.limitExplanation, live.limitExplanation);
    EXPECT_EQ(again.limitSource, live.limitSource);
    EXPECT_EQ(again.analyserSerial, live.analyserSerial);
    EXPECT_EQ(again.oilAtStart, live.oilAtStart);
    EXPECT_EQ(again.oilMinimum, live.oilMinimum);
    EXPECT_EQ(again.outcome, live.outcome);
    EXPECT_EQ(again.verdict, live.verdict);
    EXPECT_EQ(again.verdictReason, live.verdictReason);
    EXPECT_EQ(again.operatorName, live.operatorName);
    EXPECT_EQ(again.setupDifferences, live.setupDifferences);
    EXPECT_FALSE(again.setupDifferences.isEmpty());
    EXPECT_EQ(again.seal, live.seal);
    ASSERT_EQ(again.phases.size(), live.phases.size());
    for (qsizetype i = 0; i < live.phases.size(); ++i) {
        EXPECT_EQ(again.phases[i].name, live.phases[i].name);
        EXPECT_EQ(again.phases[i].window, live.phases[i].window);
        EXPECT_EQ(again.phases[i].rpm, live.phases[i].rpm);
        EXPECT_EQ(again.phases[i].oil, live.phases[i].oil);
        EXPECT_EQ(again.phases[i].verdict, live.phases[i].verdict);
        EXPECT_EQ(again.phases[i].failed, live.phases[i].failed);
        EXPECT_EQ(again.phases[i].reason, live.phases[i].reason);
        ASSERT_EQ(again.phases[i].values.size(), live.phases[i].values.size());
        for (qsizetype k = 0; k < live.phases[i].values.size(); ++k) {
            EXPECT_EQ(again.phases[i].values[k].name, live.phases[i].values[k].name);
            EXPECT_EQ(again.phases[i].values[k].value, live.phases[i].values[k].value);
            EXPECT_EQ(again.phases[i].values[k].limit, live.phases[i].values[k].limit);
            EXPECT_EQ(again.phases[i].values[k].pass, live.phases[i].values[k].pass);
        }
    }

    // A result line changed afterwards no longer matches its seal.
    const int resultLine = lookup.test->resultLine;
    QByteArray changed = linesOf("Protokoli-2026-11.jsonl")[resultLine - 1];
    changed.replace("\"verdict\":\"fail\"", "\"verdict\":\"pass\"");
    replaceLine("Protokoli-2026-11.jsonl", resultLine, changed);
    lookup = findTest(QStringLiteral("."), ArchiveSeries::Official, 3);
    seal = sealOfLine(QStringLiteral("."), november, lookup.test->resultLine, lookup.resultBytes);
    EXPECT_EQ(seal.state, LineSeal::State::Differs);
    EXPECT_TRUE(testShowText(lookup, seal).contains("does NOT match"));
}

TEST_F(TestArchiveTest, VerifyChecksEveryLineOfEveryFileAgainstItsChain) {
    record(passingCar());
    record(failingCar());
    BenchCar training = passingCar();
    training.training = true;
    record(training);
    clock = QDateTime(QDate(2027, 1, 4), QTime(9, 0));
    record(oldCar());

    Verified v = verified();
    EXPECT_EQ(v.result.status(), kVerifyClean) << v.text();
    EXPECT_EQ(v.result.archiveFiles, 3);
    EXPECT_EQ(v.result.archiveTests, 4);
    EXPECT_EQ(v.result.archiveEntries, v.result.archiveLines);
    EXPECT_EQ(v.result.archiveMatched, v.result.archiveLines);
    EXPECT_GT(v.result.archiveLines, 12);

    // One changed line: one finding, naming its file, line and test.
    const int result2 = lineOf(kDecember, "result", 2);
    const QByteArray original = linesOf(kDecember)[result2 - 1];
    QByteArray changed = original;
    changed.replace("\"verdict\":\"fail\"", "\"verdict\":\"pass\"");
    replaceLine(kDecember, result2, changed);
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyTampering) << v.text();
    ASSERT_EQ(v.of("TAMPERING").size(), 1) << v.text();
    EXPECT_EQ(
        v.of("TAMPERING")[0],
        QStringLiteral("TAMPERING %1 line %2: test 2: does not match its chain entry: the line or the chain "
                       "was changed after it was written")
            .arg(kDecember)
            .arg(result2));
    replaceLine(kDecember, result2, original);

    // An entry changed instead: the line after it still links to the entry as sealed.
    const int result1 = lineOf(kDecember, "result", 1);
    const QByteArray chain = readFile(kDecemberChain);
    QList<QByteArray> entries = chain.split('\n');
    const std::optional<ChainEntry> entry = parseChainEntryLine(entries[result1 - 1] + '\n');
    ASSERT_TRUE(entry);
    ChainEntry forged = *entry;
    forged.hash[0] = char(forged.hash[0] ^ 1);
    entries[result1 - 1] = chainEntryLine(forged).chopped(1);
    writeFile(kDecemberChain, entries.join('\n'));
    v = verified();
    ASSERT_EQ(v.of("TAMPERING").size(), 1) << v.text();
    EXPECT_EQ(v.of("TAMPERING")[0],
              QStringLiteral(
                  "TAMPERING %1: test 1: the entry for line %2 was changed: the line matches the chain as "
                  "it was sealed")
                  .arg(kDecemberChain)
                  .arg(result1))
        << v.text();
    writeFile(kDecemberChain, chain);
    EXPECT_EQ(verified().result.status(), kVerifyClean);

    // A crash in the middle of a line: a break, and the station sets the bytes aside.
    const QByteArray lines = readFile(kDecember);
    writeFile(kDecember, lines + "{\"kind\":\"samples\",\"number\":3,\"sam");
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyBreaks) << v.text();
    ASSERT_EQ(v.of("BREAK").size(), 1) << v.text();
    EXPECT_TRUE(v.of("BREAK")[0].startsWith("BREAK " + kDecember + " line ")) << v.text();
    EXPECT_TRUE(v.of("BREAK")[0].contains("its end is torn: 33 bytes after its last whole line")) << v.text();
    writeFile(kDecember + ".torn-20261209-101500", "{\"kind\":\"samples\"");
    writeFile(kDecember, lines);
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyBreaks) << v.text();
    EXPECT_TRUE(v.of("BREAK")[0].contains("set aside by the station after a crash")) << v.text();
    QFile::remove(kDecember + ".torn-20261209-101500");

    // The last line written, not yet sealed: a break. Two lines without entries: tampering.
    // (In the latest month: an earlier month's head is sealed by the link of the month after it.)
    const QString latest = QStringLiteral("Protokoli-2027-01.jsonl");
    const QString latestChain = QStringLiteral("Protokoli-2027-01.chain");
    const QByteArray latestLines = readFile(latest);
    const QByteArray latestEntries = readFile(latestChain);
    writeFile(latestChain, latestEntries.left(latestEntries.lastIndexOf('\n', latestEntries.size() - 2) + 1));
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyBreaks) << v.text();
    EXPECT_TRUE(v.of("BREAK")[0].contains("the last line has no chain entry yet")) << v.text();
    writeFile(latest, latestLines + "{\"kind\":\"started\",\"number\":5,\"series\":\"official\"}\n");
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyTampering) << v.text();
    EXPECT_TRUE(v.of("TAMPERING")[0].contains("no chain entry, and no break accounts for them")) << v.text();
    writeFile(latest, latestLines);
    writeFile(latestChain, latestEntries);

    // A chain removed leaves its lines unsealed; a line file removed leaves its chain behind.
    const QByteArray january = readFile("Protokoli-2027-01.chain");
    QFile::remove("Protokoli-2027-01.chain");
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyBreaks) << v.text();
    EXPECT_TRUE(v.of("BREAK")[0].contains("unsealed: there is no chain")) << v.text();
    writeFile("Protokoli-2027-01.chain", january);
    const QByteArray januaryLines = readFile("Protokoli-2027-01.jsonl");
    QFile::remove("Protokoli-2027-01.jsonl");
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyTampering) << v.text();
    EXPECT_TRUE(v.of("TAMPERING")[0].startsWith("TAMPERING Protokoli-2027-01.chain: its line file"))
        << v.text();
    writeFile("Protokoli-2027-01.jsonl", januaryLines);
    writeFile("Protokoli-old.jsonl", "{}\n");
    v = verified();
    EXPECT_EQ(v.result.status(), kVerifyClean) << v.text();
    EXPECT_EQ(v.of("NOTE").size(), 1) << v.text();
}

TEST_F(TestArchiveTest, TheProtocolHeadAnchorsTheLatestFileOfOfficialTests) {
    record(passingCar());
    const Recorded second = record(failingCar());
    ProtocolSeal seal = protocolSeal(QStringLiteral("."));
    EXPECT_TRUE(seal.error.isEmpty()) << seal.error.toStdString();
    EXPECT_EQ(seal.line,
              QStringLiteral("P2026-12/2 %1").arg(QString::fromLatin1(second.result.seal.toHex())));

    EXPECT_FALSE(parseProtocolHead("P2:0123"));
    EXPECT_FALSE(parseProtocolHead("2:0123456789abcdef"));
    EXPECT_FALSE(parseProtocolHead("PE2:0123456789abcdef"));
    ASSERT_TRUE(parseExpectedHead("E12:0123456789ABCDEF"));
    EXPECT_EQ(parseExpectedHead("E12:0123456789ABCDEF")->examNumber, 12);
    VerifyOptions options;
    options.expectProtocolHead = parseProtocolHead(seal.line.left(10) + u':' + seal.line.mid(11, 16));
    ASSERT_TRUE(options.expectProtocolHead);
    EXPECT_EQ(options.expectProtocolHead->testNumber, 2);
    EXPECT_EQ(options.expectProtocolHead->month, QDate(2026, 12, 1));
    EXPECT_EQ(verified(options).result.protocolHead, VerifyResult::Head::Holds);

    // Later tests keep it; a change at or before it breaks it; a chain made again loses it.
    record(oldCar());
    Verified v = verified(options);
    EXPECT_EQ(v.result.protocolHead, VerifyResult::Head::Holds) << v.text();
    EXPECT_EQ(v.result.status(), kVerifyClean);
    const int started1 = lineOf(kDecember, "started", 1);
    QByteArray line = linesOf(kDecember)[started1 - 1];
    line.replace("СА1234ВХ", "СА1234ВВ");
    replaceLine(kDecember, started1, line);
    v = verified(options);
    EXPECT_EQ(v.result.protocolHead, VerifyResult::Head::Broken) << v.text();
    resealUnkeyed();
    v = verified(options);
    EXPECT_EQ(v.result.status(), kVerifyTampering) << v.text();
    EXPECT_EQ(v.result.protocolHead, VerifyResult::Head::Missing);
    EXPECT_TRUE(v.of("TAMPERING")[0].contains("the sealed protocol head P2026-12/2")) << v.text();
}

TEST_F(TestArchiveTest, AKeyedArchiveIsCheckedWithTheKey) {
    const QByteArray key(kChainHashSize, '5');
    writeFile(kStationKeyFileName, key.toHex() + '\n');
    QFile::setPermissions(kStationKeyFileName, QFile::ReadOwner | QFile::WriteOwner);
    record(passingCar());
    record(failingCar());
    const QByteArray chain = readFile(kDecemberChain);
    ASSERT_TRUE(chain.contains(" hmac  ")) << chain.toStdString();
    EXPECT_EQ(verified().result.status(), kVerifyClean) << verified().text();

    // Checked with a key kept off the station (the examination log has no chain here: that is a
    // finding of its own, about Pregledi.chain).
    auto archiveFindings = [](const Verified& v) {
        QStringList found;
        for (const QString& f : v.findings) {
            if (f.contains("Protokoli"))
                found.append(f);
        }
        return found;
    };
    VerifyOptions offStation;
    offStation.offStationKey = key;
    offStation.offStationKeyName = QStringLiteral("kept.key");
    Verified v = verified(offStation);
    EXPECT_TRUE(archiveFindings(v).isEmpty()) << v.text();
    EXPECT_EQ(v.result.archiveMatched, v.result.archiveLines);
    offStation.offStationKey = QByteArray(kChainHashSize, '6');
    v = verified(offStation);
    EXPECT_EQ(archiveFindings(v).size(), 2) << "the month's chain and the register's" << v.text();
    EXPECT_TRUE(v.text().find("none of the chain's first keyed entries matches with kept.key") !=
                std::string::npos)
        << v.text();

    // The chain made again without the key.
    resealUnkeyed();
    offStation.offStationKey = key;
    v = verified(offStation);
    EXPECT_EQ(v.result.status(), kVerifyTampering) << v.text();
    EXPECT_TRUE(v.text().find("not keyed with kept.key") != std::string::npos) << v.text();
}
