// verify over station directories written by hand and then damaged: every finding, one per
// event, in its class, and the anchors kept off the station against forgeries that a plain
// verify cannot see.
#include "ExamTrail.h"
#include "TrailFixture.h"
#include "TrailRecovery.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace vz;
using vz::test::TrailFixture;

namespace {

bool mentions(const VerifyFinding& finding, const char* text) {
    return finding.text.contains(QLatin1StringView(text));
}

struct Crash {};

// The station's own PRINT: the record logged and sealed as the station does it.
int print(int n) {
    const TrailAppend append = appendExam(QStringLiteral("."), examRecordBytes(vz::test::examFields(n)));
    EXPECT_TRUE(append.logged) << append.logError.toStdString();
    return append.examNumber;
}

// The station's start after a crash: what it finds, repaired.
void startStation() {
    const TrailInspection found = inspectTrail(QStringLiteral("."));
    const RecoveryResult result = applyRecovery(found, decideRecovery(found));
    EXPECT_TRUE(result.failed.isEmpty()) << result.failed.join(u'\n').toStdString();
}

} // namespace

class VerifyTest : public TrailFixture {};

TEST_F(VerifyTest, AnIntactTrailIsCleanWithOrWithoutAKey) {
    station(205); // over two log files
    // Every entry a record entry of 82 bytes: the format chains have always had.
    EXPECT_EQ(readFile(kChainFileName).size(), 205 * kChainEntrySize);
    Verified v = verify();
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    EXPECT_TRUE(v.findings.isEmpty()) << v.text();
    EXPECT_EQ(v.result.records, 205);
    EXPECT_EQ(v.result.entries, 205);
    EXPECT_EQ(v.result.matched, 205);
    EXPECT_EQ(v.result.logFiles, 2);

    clearStation();
    useKey();
    station(12);
    v = verify();
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    EXPECT_EQ(v.result.keyedEntries, 12);
    EXPECT_EQ(v.result.checkedWith, QString::fromLatin1(kStationKeyFileName));

    // A key added to a station whose chain began without one: unkeyed, then keyed.
    clearStation();
    station(4);
    useKey();
    station(8, 5);
    v = verify();
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    EXPECT_EQ(v.result.keyedEntries, 4);
}

TEST_F(VerifyTest, OneEventIsOneFindingNamedByItsExamination) {
    struct Case {
        const char* what;
        std::function<void()> damage;
        int first;
        const char* says;
    };
    const Case cases[] = {
        {"a record in the middle changed", [] { putRecord(5, recordOf(99)); }, 5,
         "does not match its chain entry"},
        {"one byte of the first record flipped",
         [] {
             QByteArray record = recordAt(1);
             record[30] = static_cast<char>(record[30] ^ 1);
             putRecord(1, record);
         },
         1, "does not match"},
        {"a record removed, the later ones moved up",
         [] {
             QByteArray log = readFile("Pregledi00000.GPG");
             writeFile("Pregledi00000.GPG", log.remove(3 * 160, 160));
         },
         4, "the record of examination 4 removed from the log"},
        {"two records removed",
         [] {
             QByteArray log = readFile("Pregledi00000.GPG");
             writeFile("Pregledi00000.GPG", log.remove(3 * 160, 320));
         },
         4, "examinations 4-5 removed"},
        {"a record inserted",
         [] {
             QByteArray log = readFile("Pregledi00000.GPG");
             writeFile("Pregledi00000.GPG", log.insert(5 * 160, recordOf(77)));
         },
         6, "inserted before them"},
        {"two records swapped",
         [] {
             const QByteArray three = recordAt(3);
             putRecord(3, recordAt(7));
             putRecord(7, three);
         },
         3, "the records of examinations 3 and 7 have changed places"},
        {"two neighbours swapped",
         [] {
             const QByteArray three = recordAt(3);
             putRecord(3, recordAt(4));
             putRecord(4, three);
         },
         3, "the records of examinations 3 and 4 have changed places"},
        {"the last record deleted, its entry kept",
         [] { writeFile("Pregledi00000.GPG", readFile("Pregledi00000.GPG").left(11 * 160)); }, 12,
         "no record at its place"},
        {"a chain line removed",
         [] {
             QByteArray chain = readFile(kChainFileName);
             writeFile(kChainFileName, chain.remove(4 * kChainEntrySize, kChainEntrySize));
         },
         6, "entries were removed from the chain"},
        {"one entry's hash changed",
         [] {
             QByteArray chain = readFile(kChainFileName);
             chain[4 * kChainEntrySize + 20] = chain[4 * kChainEntrySize + 20] == 'a' ? 'b' : 'a';
             writeFile(kChainFileName, chain);
         },
         5, "do not match their chain entries"},
        {"a chain line that is no entry",
         [] {
             QByteArray chain = readFile(kChainFileName);
             writeFile(kChainFileName, chain.insert(3 * kChainEntrySize, "edited by hand\r\n"));
         },
         0, "not a chain entry: the chain was edited"},
        {"a record added by hand after the last, and another",
         [] {
             appendTo("Pregledi00000.GPG", recordOf(13));
             appendTo("Pregledi00000.GPG", recordOf(14));
         },
         13, "no chain entry, and no break accounts for them"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearStation();
        station(12);
        c.damage();
        const Verified v = verify();
        EXPECT_EQ(v.status, kVerifyTampering) << v.text();
        ASSERT_EQ(v.findings.size(), 1) << v.text();
        EXPECT_EQ(v.findings[0].kind, FindingClass::Tampering);
        EXPECT_EQ(v.findings[0].first, c.first) << v.text();
        EXPECT_TRUE(mentions(v.findings[0], c.says)) << v.text();
    }

    // A whole log file gone from between two: one finding for its 200 examinations.
    clearStation();
    station(410);
    ASSERT_TRUE(QFile::remove("Pregledi00001.GPG"));
    Verified v = verify();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 201);
    EXPECT_EQ(v.findings[0].last, 400);
    EXPECT_TRUE(mentions(v.findings[0], "no record at their places")) << v.text();

    // Several events: each told, in the order of the examinations, whatever the order found.
    clearStation();
    station(30);
    putRecord(25, recordOf(1));
    putRecord(3, recordOf(2));
    QByteArray log = readFile("Pregledi00000.GPG");
    writeFile("Pregledi00000.GPG", log.remove(9 * 160, 160)); // examination 10
    v = verify();
    ASSERT_EQ(v.findings.size(), 3) << v.text();
    EXPECT_EQ(v.findings[0].first, 3);
    EXPECT_EQ(v.findings[1].first, 10);
    // Examination 25's changed record moved up to place 24 with the others: it is the one
    // entry of the shifted run whose record matches nothing, so the run ends before it.
    EXPECT_EQ(v.findings[1].last, 24) << v.text();
    EXPECT_EQ(v.findings[2].first, 25) << v.text();
}

TEST_F(VerifyTest, CrashRemnantsAndRecordedBreaksAreTheirOwnClass) {
    // The last record without its entry: the station stopped between the two.
    station(5);
    logRecords(6, 6);
    Verified v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 6);
    EXPECT_TRUE(mentions(v.findings[0], "the last record has no chain entry")) << v.text();
    // Two such records are not a crash's doing.
    logRecords(7, 7);
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 6);
    EXPECT_EQ(v.findings[0].last, 7);

    // The station sealed that last record at its next start: a recovered entry.
    clearStation();
    station(5);
    logRecords(6, 6);
    seal(6, ChainEntryKind::Recovered);
    station(8, 7);
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 6);
    EXPECT_TRUE(mentions(v.findings[0], "recovered entry")) << v.text();
    EXPECT_EQ(v.result.recovered, 1);

    // Records logged while the chain could not be written, then a break that says so.
    clearStation();
    station(5);
    logRecords(6, 8);
    breakEntry(8, "resumed: examinations 6-8 were logged without a seal");
    station(10, 9);
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 2) << v.text();
    EXPECT_EQ(v.findings[0].first, 6);
    EXPECT_EQ(v.findings[0].last, 8);
    EXPECT_TRUE(mentions(v.findings[0], "the break at examination 8")) << v.text();
    EXPECT_EQ(v.findings[1].first, 8);
    EXPECT_TRUE(mentions(v.findings[1], "resumed: examinations 6-8 were logged without a seal")) << v.text();
    EXPECT_EQ(v.count(FindingClass::Tampering), 0);

    // A log older than its chain, and a log with no chain at all.
    clearStation();
    logRecords(1, 4);
    station(7, 5);
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].last, 4);
    EXPECT_TRUE(mentions(v.findings[0], "logged before the chain began")) << v.text();
    ASSERT_TRUE(QFile::remove(kChainFileName));
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].last, 7);
    EXPECT_TRUE(mentions(v.findings[0], "there is no chain")) << v.text();

    // Torn ends of the log and of the chain, and what the station set aside before.
    clearStation();
    station(5);
    appendTo("Pregledi00000.GPG", recordOf(6).left(70));
    appendTo(kChainFileName, QByteArray("00000006 sha2"));
    writeFile("Pregledi.chain.torn-20261209-081500", QByteArray(30, '\0'));
    writeFile("Pregledi00000.GPG.torn-20261209-081500", recordOf(9).left(20));
    writeFile("Pregledi.chain.aside-20261208-170000", "00000001 sha256 ...\r\n");
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    EXPECT_EQ(v.count(FindingClass::Break), 5) << v.text();
    EXPECT_EQ(v.count(FindingClass::Tampering), 0) << v.text();
    const std::string text = v.text();
    for (const char* expected :
         {"Pregledi00000.GPG: its end is torn: 70 bytes", "Pregledi.chain line 6: its end is torn: 13 bytes",
          "Pregledi.chain.torn-20261209-081500: the torn end of Pregledi.chain (30 bytes)",
          "Pregledi00000.GPG.torn-20261209-081500: the torn end of Pregledi00000.GPG",
          "Pregledi.chain.aside-20261208-170000: a chain (21 bytes) the station could not read"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    // Zeros where the last entry's bytes never reached the disk are a torn end too.
    writeFile(kChainFileName, readFile(kChainFileName).left(5 * kChainEntrySize) + QByteArray(82, '\0'));
    v = verify();
    EXPECT_EQ(v.count(FindingClass::Tampering), 0) << v.text();
    EXPECT_NE(v.text().find("Pregledi.chain line 6: its end is torn: 82 bytes"), std::string::npos)
        << v.text();
    // Lines that are whole but no entries, at the end, are not a torn write.
    appendTo(kChainFileName, QByteArray("0\r\nnot an entry\r\n"));
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();

    // A filler record where the chain holds an examination: its record was lost.
    clearStation();
    station(6);
    putRecord(4, fillerRecord());
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 4);
    EXPECT_TRUE(mentions(v.findings[0], "a filler record stands in its place")) << v.text();
}

TEST_F(VerifyTest, OddStationFilesAreFindingsNotErrors) {
    station(3);
    // A chain longer than any station writes is reported, not read (a sparse file).
    ASSERT_EQ(::truncate(kChainFileName, qint64(3) * 1024 * 1024 * 1024), 0);
    Verified v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_FALSE(v.findings.isEmpty());
    EXPECT_EQ(v.findings[0].file, QString::fromLatin1(kChainFileName));
    EXPECT_TRUE(mentions(v.findings[0], "more than any station writes")) << v.text();

    clearStation();
    station(3);
    ASSERT_TRUE(QFile::remove(kChainFileName));
    ASSERT_EQ(::mkfifo(kChainFileName, 0600), 0);
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "a FIFO")) << v.text();

    // An empty key file, and one that holds no key.
    clearStation();
    station(3);
    writeFile(kStationKeyFileName, "");
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "empty, not a station key")) << v.text();
    writeFile(kStationKeyFileName, "secret\n");
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "not a station key")) << v.text();

    // A log file that is a link, or a directory: its records are not read.
    clearStation();
    station(205);
    ASSERT_TRUE(QFile::rename("Pregledi00000.GPG", "elsewhere.GPG"));
    ASSERT_TRUE(QFile::link("elsewhere.GPG", "Pregledi00000.GPG"));
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.count(FindingClass::Tampering), 1) << v.text();
    EXPECT_TRUE(mentions(v.of(FindingClass::Tampering)[0], "a symbolic link")) << v.text();
    ASSERT_TRUE(QFile::remove("Pregledi00000.GPG"));
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_TRUE(mentions(v.of(FindingClass::Tampering)[0], "a directory")) << v.text();

    // A log file of more records than a station writes.
    clearStation();
    station(200);
    appendTo("Pregledi00000.GPG", recordOf(201));
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "32160 bytes: more than 200 records")) << v.text();

    // A keyed chain without its key: one finding, not one per entry.
    clearStation();
    useKey();
    station(20);
    ASSERT_TRUE(QFile::remove(kStationKeyFileName));
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "no usable key")) << v.text();
    // Another station's key: one finding too.
    useKey('3');
    v = verify();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "keyed with another key")) << v.text();

    // What cannot be read as a directory is the one status-2 case.
    EXPECT_EQ(verifyTrail(QStringLiteral("no-such-directory"), {}, [](const VerifyFinding&) {}).status(),
              kVerifyUsage);
}

// Forgeries by someone who can write the station's files. Each is run without an anchor (what
// a plain verify can and cannot see) and against the anchor that catches it.
TEST_F(VerifyTest, ForgeriesThatPassPlainVerifyFailTheAnchors) {
    // An intact trail checks against its seal.
    station(10);
    const ExpectedHead sealedAt8 = headAt(8, kMinHeadHexDigits);
    Verified v = verify(expecting(sealedAt8));
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    EXPECT_EQ(v.result.head, VerifyResult::Head::Holds);
    EXPECT_EQ(v.result.headHash, entryOf(8).hash);

    // A record changed and the whole SHA-256 chain computed again: nothing for a plain verify
    // to see, but the value sealed at 8 has changed.
    putRecord(3, recordOf(33));
    rewriteChain(10, nullptr);
    v = verify();
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    v = verify(expecting(sealedAt8));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_EQ(v.result.head, VerifyResult::Head::Missing);
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "now reads")) << v.text();
    // A change after the seal is beyond its reach: what came after the last seal is unprotected.
    clearStation();
    station(10);
    const ExpectedHead sealedAt5 = headAt(5);
    putRecord(7, recordOf(77));
    rewriteChain(10, nullptr);
    EXPECT_EQ(verify(expecting(sealedAt5)).status, kVerifyClean);
    // A change before the seal without a new chain: the sealed entry is still there, but the
    // trail up to it no longer matches.
    putRecord(2, recordOf(22));
    v = verify(expecting(sealedAt5));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_EQ(v.result.head, VerifyResult::Head::Broken) << v.text();

    // An HMAC chain computed again with the station's own key, which its user can read.
    clearStation();
    useKey();
    station(10);
    const ExpectedHead keyedAt9 = headAt(9);
    putRecord(4, recordOf(44));
    rewriteChain(10, &key_);
    EXPECT_EQ(verify().status, kVerifyClean);
    EXPECT_EQ(verify(withKey(key_)).status, kVerifyClean); // the key cannot tell either
    v = verify(expecting(keyedAt9));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();

    // The chain deleted: unsealed examinations for a plain verify; both anchors fail.
    clearStation();
    useKey();
    station(10);
    const ExpectedHead beforeDeletion = headAt(10);
    ASSERT_TRUE(QFile::remove(kChainFileName));
    EXPECT_EQ(verify().status, kVerifyBreaks);
    v = verify(withKey(key_));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_TRUE(mentions(v.of(FindingClass::Tampering)[0], "no chain to check with the key")) << v.text();
    EXPECT_EQ(verify(expecting(beforeDeletion)).status, kVerifyTampering);

    // A keyed chain made again without the key: whole, it passes a plain verify; mixed with
    // keyed entries it does not; and the off-station key refuses both.
    clearStation();
    useKey();
    station(10);
    const QByteArray stationKey = key_;
    putRecord(6, recordOf(66));
    rewriteChain(10, nullptr);
    v = verify();
    EXPECT_EQ(v.status, kVerifyClean) << v.text();
    v = verify(withKey(stationKey));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 1);
    EXPECT_EQ(v.findings[0].last, 10);
    clearStation();
    useKey();
    station(5); // the keyed entries 1-5 as the station wrote them
    logRecords(6, 10);
    putRecord(6, recordOf(66));
    QByteArray forged = readFile(kChainFileName);
    QByteArray previous = entryOf(5).hash;
    for (int n = 6; n <= 10; ++n) {
        const ChainEntry entry{
            n, false, chainHash(previous, recordAt(n), nullptr), ChainEntryKind::Record, {}};
        forged += chainEntryLine(entry);
        previous = entry.hash;
    }
    writeFile(kChainFileName, forged);
    v = verify();
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].first, 6);
    EXPECT_TRUE(mentions(v.findings[0], "unkeyed chain entries after keyed ones")) << v.text();

    // The last records removed together with their chain lines: the chain is shorter, and
    // whole; the head sealed after them is gone.
    clearStation();
    station(10);
    const ExpectedHead sealedAt10 = headAt(10);
    writeFile("Pregledi00000.GPG", readFile("Pregledi00000.GPG").left(8 * 160));
    writeFile(kChainFileName, readFile(kChainFileName).left(8 * kChainEntrySize));
    EXPECT_EQ(verify().status, kVerifyClean);
    v = verify(expecting(sealedAt10));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "cut short")) << v.text();

    // Everything replaced by another log and its own chain.
    clearStation();
    station(10);
    const ExpectedHead original = headAt(10);
    clearStation();
    for (int n = 1; n <= 10; ++n) {
        putRecord(n, recordOf(n + 500));
        seal(n);
    }
    EXPECT_EQ(verify().status, kVerifyClean);
    EXPECT_EQ(verify(expecting(original)).status, kVerifyTampering);

    // The off-station key vouches only for entries keyed with it: the start of a chain from
    // before the key was made is not.
    clearStation();
    station(3);
    useKey();
    station(6, 4);
    v = verify(withKey(key_));
    EXPECT_EQ(v.status, kVerifyTampering) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_EQ(v.findings[0].last, 3);
    EXPECT_TRUE(mentions(v.findings[0], "not keyed with the off-station key")) << v.text();
}

TEST_F(VerifyTest, ExpectedHeadsAreReadAsSealPrintsThem) {
    const QByteArray hex = QByteArray(64, 'a');
    std::optional<ExpectedHead> head = parseExpectedHead(QStringLiteral("1234:") + QString::fromLatin1(hex));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->examNumber, 1234);
    EXPECT_EQ(head->hexPrefix, hex);
    head = parseExpectedHead(QStringLiteral("  7 0123456789ABCDEF "));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->hexPrefix, "0123456789abcdef");
    for (const char* bad : {"1234", "1234:0123456789abcde", "0:0123456789abcdef", "x:0123456789abcdef",
                            "12:0123456789abcdeg", "12:", ":0123456789abcdef"})
        EXPECT_FALSE(parseExpectedHead(QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(parseExpectedHead(QStringLiteral("5:") + QString(65, u'a')));
}

// The trail as the station itself leaves it through a crash, its repair and a lost key: what
// verify makes of each state is the class the station's own doing belongs to.
TEST_F(VerifyTest, TheStationsOwnTrailIsReadAsTheStationLeftIt) {
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(print(n), n);
    EXPECT_EQ(verify().status, kVerifyClean);

    // Killed between the record and its entry.
    setTrailStepHook([](TrailStep step) {
        if (step == TrailStep::RecordSynced)
            throw Crash{};
    });
    EXPECT_THROW(print(4), Crash);
    setTrailStepHook({});
    Verified v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    ASSERT_EQ(v.findings.size(), 1) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "the last record has no chain entry")) << v.text();

    // The next start seals it as recovered; a torn record at the end is set aside.
    startStation();
    EXPECT_EQ(print(5), 5);
    appendTo("Pregledi00000.GPG", recordOf(6).left(90));
    startStation();
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    EXPECT_EQ(v.count(FindingClass::Tampering), 0) << v.text();
    ASSERT_EQ(v.findings.size(), 2) << v.text();
    EXPECT_TRUE(mentions(v.findings[0], "the torn end of Pregledi00000.GPG (90 bytes)")) << v.text();
    EXPECT_EQ(v.findings[1].first, 4);
    EXPECT_TRUE(mentions(v.findings[1], "recovered entry")) << v.text();

    // A keyed station whose key goes missing for a while: the records logged meanwhile stay
    // unsealed behind a break that says why, and sealing goes on keyed when the key is back.
    QString error;
    ASSERT_TRUE(createStationKey(QStringLiteral("."), &error)) << error.toStdString();
    EXPECT_EQ(print(6), 6);
    const QByteArray key = readFile(kStationKeyFileName);
    ASSERT_TRUE(QFile::remove(kStationKeyFileName));
    EXPECT_EQ(print(7), 7);
    EXPECT_EQ(print(8), 8);
    writeFile(kStationKeyFileName, key);
    EXPECT_EQ(print(9), 9);
    v = verify();
    EXPECT_EQ(v.status, kVerifyBreaks) << v.text();
    EXPECT_EQ(v.count(FindingClass::Tampering), 0) << v.text();
    const QList<VerifyFinding> breaks = v.of(FindingClass::Break);
    const auto unsealed = std::find_if(breaks.begin(), breaks.end(),
                                       [](const VerifyFinding& f) { return f.first == 7 && f.last == 8; });
    ASSERT_NE(unsealed, breaks.end()) << v.text();
    EXPECT_TRUE(mentions(*unsealed, "logged while the chain could not be written")) << v.text();
    EXPECT_NE(v.text().find("Pregledi.key is missing"), std::string::npos) << v.text();
}
