// The archive of two-speed tests: numbered series, lines sealed one by one, a test the
// station never finished recorded at the next start, attempts counted, and the anchors that
// tie the months into one series: links, clock lines and the register of numbers.
#include "ProtocolArchive.h"
#include "ArchiveAnchors.h"
#include "TrailTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace vz;
using vz::test::TrailTest;

namespace {

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    lines.removeLast();
    return lines;
}

QJsonObject object(const QByteArray& line) {
    return QJsonDocument::fromJson(line).object();
}

QString upper(const QString& text) {
    return text.toUpper().remove(u' ');
}

} // namespace

class ProtocolArchiveTest : public TrailTest {
protected:
    QDateTime clock = QDateTime(QDate(2026, 12, 9), QTime(10, 0));
    ProtocolArchive archive{dir.path(), [this] { return clock; }};

    QJsonObject vehicle(const char* registration) {
        return {{QStringLiteral("registration"), QLatin1StringView(registration)}};
    }
};

TEST_F(ProtocolArchiveTest, EachLineIsSealedInTheChainOfItsFile) {
    const ArchiveWrite started = archive.begin(ArchiveSeries::Official, vehicle("CA 1234 BK"));
    ASSERT_TRUE(started.ok) << started.error.toStdString();
    EXPECT_EQ(started.number, 1);
    EXPECT_TRUE(started.sealTrouble.isEmpty()) << started.sealTrouble.toStdString();
    ASSERT_TRUE(archive.journal(ArchiveSeries::Official, 1, {{"samples", QJsonArray{1, 2}}}).ok);
    const ArchiveWrite finished = archive.finish(ArchiveSeries::Official, 1, {{"verdict", "pass"}});
    ASSERT_TRUE(finished.ok);
    EXPECT_EQ(archive.begin(ArchiveSeries::Official, vehicle("PB1111AA")).number, 2);

    // The month's first line is its link (the series' first file: no file before it).
    const QList<QByteArray> lines = linesOf(get("Protokoli-2026-12.jsonl"));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(object(lines[0]).value("kind").toString(), "link");
    EXPECT_TRUE(object(lines[0]).value("previous").isNull());
    EXPECT_EQ(object(lines[1]).value("kind").toString(), "started");
    EXPECT_EQ(object(lines[1]).value("registration").toString(), "CA 1234 BK");
    EXPECT_EQ(object(lines[1]).value("time").toString(), "2026-12-09T10:00:00");
    EXPECT_EQ(object(lines[3]).value("kind").toString(), "result");
    EXPECT_EQ(object(lines[3]).value("number").toInt(), 1);

    // One entry per line, numbered by the line, each the hash of the line after the one before.
    const QByteArray chain = get("Protokoli-2026-12.chain");
    QByteArray previous;
    int n = 0;
    for (const QByteArray& text : chain.split('\n')) {
        if (text.isEmpty())
            continue;
        const std::optional<ChainEntry> entry = parseChainEntryLine(text + '\n');
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->examNumber, n + 1);
        EXPECT_EQ(entry->hash, chainHash(previous, lines[n] + '\n', nullptr));
        if (n == 3) {
            EXPECT_EQ(entry->hash, finished.seal) << "the seal a protocol prints is its result line's entry";
        }
        previous = entry->hash;
        ++n;
    }
    EXPECT_EQ(n, 5);
}

TEST_F(ProtocolArchiveTest, TrainingHasItsOwnSeriesAndAMonthChangeKeepsATestInItsFile) {
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A1")).number, 1);
    ASSERT_EQ(archive.begin(ArchiveSeries::Training, vehicle("A1")).number, 1);
    clock = QDateTime(QDate(2026, 12, 31), QTime(23, 59));
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A2")).number, 2);
    clock = QDateTime(QDate(2027, 1, 1), QTime(0, 2));
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 2, {{"verdict", "fail"}}).ok);
    EXPECT_EQ(linesOf(get("Protokoli-2026-12.jsonl")).size(), 4);
    EXPECT_FALSE(QFile::exists(path("Protokoli-2027-01.jsonl")));
    // Numbers go on across months, from the files as they are (a new archive object); names
    // that only look like a month's file are no month.
    for (const char* stray : {"Protokoli-2099-01.jsonl.torn-20270101-000000", "Protokoli-2099-13.jsonl",
                              "Protokoli-20x9-01.jsonl", "Protokoli-2099-1.jsonl", "Protokoli-2099-011.jsonl",
                              "protokoli-2099-01.jsonl"})
        put(QString::fromLatin1(stray), "{\"kind\":\"started\",\"number\":50}\n");
    ProtocolArchive later(dir.path(), [this] { return clock; });
    EXPECT_EQ(later.begin(ArchiveSeries::Official, vehicle("A3")).number, 3);
    EXPECT_EQ(later.finish(ArchiveSeries::Official, 2, {}).ok, true) << "an earlier run's test is found";
    EXPECT_EQ(linesOf(get("Obuchenie-2026-12.jsonl")).size(), 2);
}

TEST_F(ProtocolArchiveTest, ATestTheStationNeverFinishedIsRecordedAtTheNextStart) {
    ASSERT_TRUE(archive.begin(ArchiveSeries::Official, vehicle("A1")).ok);
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 1, {{"verdict", "pass"}}).ok);
    ASSERT_TRUE(archive.begin(ArchiveSeries::Official, vehicle("A2")).ok);
    ASSERT_TRUE(archive.journal(ArchiveSeries::Official, 2, {{"n", 1}}).ok);
    ASSERT_TRUE(archive.journal(ArchiveSeries::Official, 2, {{"n", 2}}).ok);
    // The kill came in the middle of the next journal line.
    QFile file(path("Protokoli-2026-12.jsonl"));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("{\"kind\":\"samples\",\"n\":3,");
    file.close();

    ProtocolArchive restarted(dir.path(), [this] { return clock; });
    QJsonObject seenStarted;
    int seenSamples = 0;
    const QList<int> recorded = restarted.recordInterrupted(
        ArchiveSeries::Official, [&](const QJsonObject& started, const QList<QJsonObject>& samples) {
            seenStarted = started;
            seenSamples = samples.size();
            return QJsonObject{{"verdict", "interrupted"}};
        });
    EXPECT_EQ(recorded, QList<int>{2});
    EXPECT_EQ(seenStarted.value("registration").toString(), "A2");
    EXPECT_EQ(seenSamples, 2) << "the torn journal line is not a line";
    const QList<QByteArray> lines = linesOf(get("Protokoli-2026-12.jsonl"));
    EXPECT_EQ(object(lines.last()).value("verdict").toString(), "interrupted");
    EXPECT_EQ(object(lines.last()).value("number").toInt(), 2);
    EXPECT_EQ(named("Protokoli-2026-12.jsonl.torn-").size(), 1) << "the torn bytes are kept";
    EXPECT_TRUE(
        restarted.recordInterrupted(ArchiveSeries::Official, [](auto&, auto&) { return QJsonObject(); })
            .isEmpty())
        << "recorded once";
    EXPECT_EQ(restarted.begin(ArchiveSeries::Official, vehicle("A3")).number, 3);
}

TEST_F(ProtocolArchiveTest, AttemptsCountTheSameRegistrationOnTheSameDay) {
    for (const char* registration : {"CA 1234 BK", "ca1234bk", "PB 1 A", "CA1234BK"})
        archive.begin(ArchiveSeries::Official, vehicle(registration));
    archive.begin(ArchiveSeries::Training, vehicle("CA1234BK"));
    clock = clock.addDays(1);
    archive.begin(ArchiveSeries::Official, vehicle("CA1234BK"));
    EXPECT_EQ(archive.attempts("CA 1234BK", QDate(2026, 12, 9), upper), 3);
    EXPECT_EQ(archive.attempts("CA 1234BK", QDate(2026, 12, 10), upper), 1);
}

TEST_F(ProtocolArchiveTest, AChainThatCannotBeWrittenNeverStopsATest) {
    ASSERT_TRUE(QDir().mkdir(path("Protokoli-2026-12.chain")));
    const ArchiveWrite started = archive.begin(ArchiveSeries::Official, vehicle("A1"));
    EXPECT_TRUE(started.ok);
    EXPECT_FALSE(started.sealTrouble.isEmpty());
    EXPECT_TRUE(started.seal.isEmpty());
    ASSERT_TRUE(QDir().rmdir(path("Protokoli-2026-12.chain")));
    // Sealing goes on at the next line.
    const ArchiveWrite finished = archive.finish(ArchiveSeries::Official, 1, {});
    EXPECT_TRUE(finished.sealTrouble.isEmpty()) << finished.sealTrouble.toStdString();
    EXPECT_EQ(finished.seal.size(), 32);
}

TEST_F(ProtocolArchiveTest, EachMonthBeginsBySealingTheHeadOfTheMonthBefore) {
    clock = QDateTime(QDate(2026, 11, 30), QTime(9, 0));
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A1")).number, 1);
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 1, {{"verdict", "pass"}}).ok);
    const QList<QByteArray> novemberChain = get("Protokoli-2026-11.chain").split('\n');
    const std::optional<ChainEntry> novemberHead = parseChainEntryLine(novemberChain[2] + '\n');
    ASSERT_TRUE(novemberHead);

    clock = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    const ArchiveWrite second = archive.begin(ArchiveSeries::Official, vehicle("A2"));
    EXPECT_EQ(second.number, 2);
    EXPECT_EQ(second.file, "Protokoli-2026-12.jsonl");
    const QJsonObject link = object(linesOf(get("Protokoli-2026-12.jsonl"))[0]);
    EXPECT_EQ(link.value("kind").toString(), "link");
    EXPECT_EQ(link.value("file").toString(), "Protokoli-2026-12.jsonl");
    EXPECT_EQ(link.value("previous").toString(), "Protokoli-2026-11.jsonl");
    EXPECT_EQ(link.value("previousEntry").toInt(), 3);
    EXPECT_EQ(link.value("previousHead").toString(), QString::fromLatin1(novemberHead->hash.toHex()));
    EXPECT_EQ(link.value("highest").toInt(), 1);
    // Sealed as its chain's first entry.
    const std::optional<ChainEntry> first =
        parseChainEntryLine(get("Protokoli-2026-12.chain").split('\n')[0] + '\n');
    ASSERT_TRUE(first);
    EXPECT_EQ(first->examNumber, 1);
    EXPECT_EQ(first->hash, chainHash({}, linesOf(get("Protokoli-2026-12.jsonl"))[0] + '\n', nullptr));

    // The previous month's chain gone: the link says why it seals no head.
    QFile::remove(path("Protokoli-2026-12.chain"));
    QFile::remove(path("Protokoli-2026-12.jsonl"));
    QFile::remove(path("Protokoli-2026-11.chain"));
    ProtocolArchive later(dir.path(), [this] { return clock; });
    ASSERT_TRUE(later.begin(ArchiveSeries::Official, vehicle("A3")).ok);
    const QJsonObject unsealed = object(linesOf(get("Protokoli-2026-12.jsonl"))[0]);
    EXPECT_TRUE(unsealed.value("previousHead").isNull());
    EXPECT_EQ(unsealed.value("previousTrouble").toString(), "Protokoli-2026-11.chain is missing");
}

TEST_F(ProtocolArchiveTest, TheNextNumberIsPastEveryNumberEverGivenInTheSeries) {
    struct Case {
        const char* what;
        QStringList removed; // after tests 1-2 in November and 3-4 in December
        int next;
    };
    const QList<Case> cases = {
        {"nothing removed", {}, 5},
        {"the latest month removed: the register keeps its numbers",
         {"Protokoli-2026-12.jsonl", "Protokoli-2026-12.chain"},
         5},
        {"the register removed: the months keep theirs",
         {"Protokoli-nomera.jsonl", "Protokoli-nomera.chain"},
         5},
        {"an older month removed", {"Protokoli-2026-11.jsonl", "Protokoli-2026-11.chain"}, 5},
        {"both the latest month and the register removed",
         {"Protokoli-2026-12.jsonl", "Protokoli-2026-12.chain", "Protokoli-nomera.jsonl",
          "Protokoli-nomera.chain"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(path(name));
        ProtocolArchive fresh(dir.path(), [this] { return clock; });
        clock = QDateTime(QDate(2026, 11, 20), QTime(9, 0));
        fresh.begin(ArchiveSeries::Official, vehicle("A1"));
        fresh.begin(ArchiveSeries::Official, vehicle("A2"));
        clock = QDateTime(QDate(2026, 12, 20), QTime(9, 0));
        fresh.begin(ArchiveSeries::Official, vehicle("A3"));
        fresh.begin(ArchiveSeries::Official, vehicle("A4"));
        for (const QString& name : c.removed)
            ASSERT_TRUE(QFile::remove(path(name))) << name.toStdString();
        // A month file planted far ahead with a low number changes nothing.
        put("Protokoli-2099-01.jsonl", "{\"kind\":\"started\",\"number\":1,\"series\":\"official\"}\n");
        ProtocolArchive restarted(dir.path(), [this] { return clock; });
        EXPECT_EQ(restarted.begin(ArchiveSeries::Official, vehicle("A5")).number, c.next);
    }
}

TEST_F(ProtocolArchiveTest, AClockBehindTheLatestTestIsSealedAndNumbersStayInOrder) {
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A1")).number, 1);
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 1, {}).ok);
    const QDateTime ahead(QDate(2027, 12, 9), QTime(10, 30));
    clock = ahead; // a clock a year ahead for one test
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A2")).number, 2);
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 2, {}).ok);
    EXPECT_EQ(object(linesOf(get("Protokoli-2027-12.jsonl"))[0]).value("previous").toString(),
              "Protokoli-2026-12.jsonl");

    clock = QDateTime(QDate(2026, 12, 10), QTime(9, 0)); // and back
    ProtocolArchive restarted(dir.path(), [this] { return clock; });
    const ArchiveWrite third = restarted.begin(ArchiveSeries::Official, vehicle("A3"));
    EXPECT_EQ(third.number, 3);
    EXPECT_EQ(third.file, "Protokoli-2026-12.jsonl") << "a test goes into the month of its start";
    const QList<QByteArray> lines = linesOf(get("Protokoli-2026-12.jsonl"));
    const QJsonObject jump = object(lines[lines.size() - 2]);
    EXPECT_EQ(jump.value("kind").toString(), "clock");
    EXPECT_EQ(jump.value("number").toInt(), 3);
    EXPECT_EQ(jump.value("time").toString(), "2026-12-10T09:00:00");
    EXPECT_EQ(jump.value("latest").toString(), ahead.toString(Qt::ISODate));
    EXPECT_EQ(jump.value("latestNumber").toInt(), 2);
    EXPECT_EQ(jump.value("latestFile").toString(), "Protokoli-2027-12.jsonl");
    EXPECT_EQ(object(lines.last()).value("kind").toString(), "started");
    // Sealed like every line: the chain has an entry for each line of the file.
    EXPECT_EQ(get("Protokoli-2026-12.chain").count('\n'), lines.size());
    // The next test is behind the latest one no more: no clock line.
    clock = clock.addSecs(600);
    ASSERT_EQ(restarted.begin(ArchiveSeries::Official, vehicle("A4")).number, 4);
    EXPECT_EQ(object(linesOf(get("Protokoli-2026-12.jsonl")).last()).value("kind").toString(), "started");

    // The test the station never finished is the highest number, wherever the clock put it;
    // the clock line before it is passed over.
    ProtocolArchive again(dir.path(), [this] { return clock; });
    EXPECT_EQ(again.recordInterrupted(ArchiveSeries::Official, [](auto&, auto&) { return QJsonObject(); }),
              QList<int>{4});
    EXPECT_TRUE(again.journal(ArchiveSeries::Official, 2, {}).ok)
        << "test 2 is found in its year-ahead month";
}

TEST_F(ProtocolArchiveTest, ANumberTheRegisterMissedIsRegisteredAtTheNextStart) {
    ASSERT_TRUE(archive.begin(ArchiveSeries::Official, vehicle("A1")).ok);
    ASSERT_TRUE(archive.begin(ArchiveSeries::Official, vehicle("A2")).ok);
    // The station was killed between test 2's started line and its register line.
    QList<QByteArray> registered = linesOf(get("Protokoli-nomera.jsonl"));
    ASSERT_EQ(registered.size(), 2);
    put("Protokoli-nomera.jsonl", registered[0] + '\n');
    put("Protokoli-nomera.chain", get("Protokoli-nomera.chain").split('\n')[0] + '\n');

    ProtocolArchive restarted(dir.path(), [this] { return clock; });
    restarted.recordInterrupted(ArchiveSeries::Official, [](auto&, auto&) { return QJsonObject(); });
    registered = linesOf(get("Protokoli-nomera.jsonl"));
    ASSERT_EQ(registered.size(), 2);
    EXPECT_EQ(object(registered[1]).value("kind").toString(), "numbered");
    EXPECT_EQ(object(registered[1]).value("number").toInt(), 2);
    EXPECT_EQ(object(registered[1]).value("file").toString(), "Protokoli-2026-12.jsonl");
    EXPECT_EQ(get("Protokoli-nomera.chain").count('\n'), 2);
    EXPECT_EQ(restarted.begin(ArchiveSeries::Official, vehicle("A3")).number, 3);
}
