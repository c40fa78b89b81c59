// The archive of two-speed tests: numbered series, lines sealed one by one, a test the
// station never finished recorded at the next start, attempts counted.
#include "ProtocolArchive.h"
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

    const QList<QByteArray> lines = linesOf(get("Protokoli-2026-12.jsonl"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(object(lines[0]).value("kind").toString(), "started");
    EXPECT_EQ(object(lines[0]).value("registration").toString(), "CA 1234 BK");
    EXPECT_EQ(object(lines[0]).value("time").toString(), "2026-12-09T10:00:00");
    EXPECT_EQ(object(lines[2]).value("kind").toString(), "result");
    EXPECT_EQ(object(lines[2]).value("number").toInt(), 1);

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
        if (n == 2) {
            EXPECT_EQ(entry->hash, finished.seal) << "the seal a protocol prints is its result line's entry";
        }
        previous = entry->hash;
        ++n;
    }
    EXPECT_EQ(n, 4);
}

TEST_F(ProtocolArchiveTest, TrainingHasItsOwnSeriesAndAMonthChangeKeepsATestInItsFile) {
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A1")).number, 1);
    ASSERT_EQ(archive.begin(ArchiveSeries::Training, vehicle("A1")).number, 1);
    clock = QDateTime(QDate(2026, 12, 31), QTime(23, 59));
    ASSERT_EQ(archive.begin(ArchiveSeries::Official, vehicle("A2")).number, 2);
    clock = QDateTime(QDate(2027, 1, 1), QTime(0, 2));
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 2, {{"verdict", "fail"}}).ok);
    EXPECT_EQ(linesOf(get("Protokoli-2026-12.jsonl")).size(), 3);
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
    EXPECT_EQ(linesOf(get("Obuchenie-2026-12.jsonl")).size(), 1);
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
