// The chain's lines and hashes, and the station key.
#include "StationFile.h"
#include "TrailTestSupport.h"

#include <sys/stat.h>

using namespace vz;
using vz::test::record;
using vz::test::TrailTest;

TEST(ExamChainEntries, AreLinesThatReadBackAndNothingElseIsOne) {
    const ChainEntry entry{201, true, QByteArray(32, '\xAB')};
    const QByteArray line = chainEntryLine(entry);
    EXPECT_EQ(line.size(), kChainEntrySize);
    EXPECT_TRUE(line.startsWith("00000201 hmac   abab"));
    EXPECT_TRUE(line.endsWith("ab\r\n"));
    const std::optional<ChainEntry> back = parseChainEntryLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->examNumber, 201);
    EXPECT_TRUE(back->keyed);
    EXPECT_EQ(back->kind, ChainEntryKind::Record);
    EXPECT_EQ(back->hash, entry.hash);
    EXPECT_TRUE(chainEntryLine({1, false, QByteArray(32, '\0')}).startsWith("00000001 sha256 0000"));

    // Recovered and break entries read back as what they are; a break carries its reason.
    const ChainEntry recovered{7, false, QByteArray(32, '\x01'), ChainEntryKind::Recovered, {}};
    EXPECT_TRUE(chainEntryLine(recovered).startsWith("00000007 rc-sha "));
    EXPECT_EQ(parseChainEntryLine(chainEntryLine(recovered))->kind, ChainEntryKind::Recovered);
    const ChainEntry broken{9, true, QByteArray(32, '\x02'), ChainEntryKind::Break, "key unusable"};
    const QByteArray breakLine = chainEntryLine(broken);
    EXPECT_TRUE(breakLine.startsWith("00000009 bk-hmc "));
    EXPECT_TRUE(breakLine.endsWith(" key unusable\r\n"));
    const std::optional<ChainEntry> breakBack = parseChainEntryLine(breakLine);
    ASSERT_TRUE(breakBack);
    EXPECT_EQ(breakBack->kind, ChainEntryKind::Break);
    EXPECT_EQ(breakBack->reason, "key unusable");
    EXPECT_FALSE(breakBack->sealsRecord());

    for (const QByteArray& bad :
         {line.left(81), QByteArray(line).replace(9, 6, "md5   "), QByteArray(line).replace(20, 1, "G"),
          QByteArray(line).replace(0, 1, "x"), QByteArray(line).insert(80, " reason"),
          QByteArray(breakLine).replace(81, 3, "k\x01y"),
          chainEntryLine({9, true, QByteArray(32, 0), ChainEntryKind::Break, QByteArray(161, 'r')}),
          QByteArray(82, '\0')})
        EXPECT_FALSE(parseChainEntryLine(bad)) << bad.toHex().constData();

    // Whatever an error message holds, a reason made of it is a valid reason.
    const QByteArray reason = breakReason(QStringLiteral("ключ: \r\n%1").arg(QString(300, u'x')));
    EXPECT_EQ(reason.size(), kMaxBreakReason);
    EXPECT_TRUE(
        parseChainEntryLine(chainEntryLine({3, false, QByteArray(32, 0), ChainEntryKind::Break, reason})));
}

TEST(ExamChainHash, LinksThePreviousHashToTheRecordAndDependsOnTheKey) {
    const QByteArray a = chainHash({}, record('a'), nullptr);
    EXPECT_EQ(a.size(), 32);
    EXPECT_EQ(a, chainHash(QByteArray(32, '\0'), record('a'), nullptr));
    EXPECT_NE(chainHash(a, record('b'), nullptr), chainHash({}, record('b'), nullptr));
    const QByteArray key(32, 'k');
    const QByteArray otherKey(32, 'K');
    EXPECT_NE(chainHash({}, record('a'), &key), a);
    EXPECT_NE(chainHash({}, record('a'), &key), chainHash({}, record('a'), &otherKey));
    // A break's hash covers its number and its reason.
    EXPECT_NE(breakHash(a, 5, "r", nullptr), breakHash(a, 6, "r", nullptr));
    EXPECT_NE(breakHash(a, 5, "r", nullptr), breakHash(a, 5, "s", nullptr));
    EXPECT_EQ(expectedHash(a, {5, false, {}, ChainEntryKind::Break, "r"}, record('z'), nullptr),
              breakHash(a, 5, "r", nullptr));
}

class StationKeyTest : public TrailTest {};

TEST_F(StationKeyTest, IsMadeWholeOwnerOnlyAndNeverReplaced) {
    QString error;
    ASSERT_TRUE(createStationKey(dir.path(), &error)) << error.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path(kStationKeyFileName)).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const StationKey key = readStationKey(dir.path());
    ASSERT_TRUE(key.present);
    EXPECT_TRUE(key.error.isEmpty());
    EXPECT_EQ(key.key.size(), 32);
    EXPECT_EQ(named("Pregledi.key"), QStringList{"Pregledi.key"}) << "no temporary file stays behind";

    const QByteArray made = get(kStationKeyFileName);
    EXPECT_FALSE(createStationKey(dir.path(), &error));
    EXPECT_TRUE(error.contains("exists")) << error.toStdString();
    EXPECT_EQ(get(kStationKeyFileName), made);

    // An empty key (a key made by an older program, interrupted) is not replaced either, and
    // is reported as unusable rather than taken as no key.
    ASSERT_TRUE(QFile::remove(path(kStationKeyFileName)));
    put(kStationKeyFileName, {});
    EXPECT_FALSE(createStationKey(dir.path(), &error));
    const StationKey empty = readStationKey(dir.path());
    EXPECT_TRUE(empty.present);
    EXPECT_TRUE(empty.error.contains("empty")) << empty.error.toStdString();

    // A link or a FIFO named as the key is not read through.
    ASSERT_TRUE(QFile::remove(path(kStationKeyFileName)));
    put("elsewhere", made);
    ASSERT_TRUE(QFile::link(path("elsewhere"), path(kStationKeyFileName)));
    EXPECT_FALSE(readStationKey(dir.path()).error.isEmpty());
    ASSERT_TRUE(QFile::remove(path(kStationKeyFileName)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(kStationKeyFileName)).constData(), 0600), 0);
    EXPECT_TRUE(readStationKey(dir.path()).error.contains("FIFO"));
    // A key kept elsewhere reads the same way; a missing one is an error.
    EXPECT_EQ(readKeyFile(path("elsewhere")).key, key.key);
    EXPECT_FALSE(readKeyFile(path("nowhere")).error.isEmpty());
}
