// The station's append: the record at its place, its seal after it, and a chain or key in
// any state never turning a record away.
#include "ExamTrail.h"
#include "StationFile.h"
#include "TrailTestSupport.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vz;
using vz::test::record;
using vz::test::TrailTest;

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

} // namespace

class TrailAppendTest : public TrailTest {
protected:
    TrailAppend append(char fill) { return appendExam(dir.path(), record(fill)); }
};

TEST_F(TrailAppendTest, EachRecordGoesToItsPlaceWithAMatchingEntry) {
    ::umask(0);
    QByteArray previous;
    for (int n = 1; n <= 3; ++n) {
        const TrailAppend result = append(static_cast<char>('a' + n));
        ASSERT_TRUE(result.logged) << result.logError.toStdString();
        EXPECT_EQ(result.examNumber, n);
        EXPECT_TRUE(result.sealTrouble.isEmpty()) << result.sealTrouble.toStdString();
        previous = chainHash(previous, record(static_cast<char>('a' + n)), nullptr);
    }
    ::umask(022);
    EXPECT_EQ(get("Pregledi00000.GPG"), record('b') + record('c') + record('d'));
    const QList<ChainEntry> chain = entries();
    ASSERT_EQ(chain.size(), 3);
    EXPECT_EQ(chain[2].examNumber, 3);
    EXPECT_EQ(chain[2].kind, ChainEntryKind::Record);
    EXPECT_EQ(chain[2].hash, previous);
    // They hold owners' names: the station's user and group only, whatever the umask.
    EXPECT_EQ(modeOf(path("Pregledi00000.GPG")), 0640u);
    EXPECT_EQ(modeOf(path(kChainFileName)), 0640u);
}

TEST_F(TrailAppendTest, NumbersFollowTheHighestExaminationAndAreNeverGivenTwice) {
    // A full first file, the second missing, the third with three records: the next is 404,
    // in the third file; the missing file is never made again.
    put("Pregledi00000.GPG", record('x').repeated(200));
    put("Pregledi00002.GPG", record('y').repeated(3));
    TrailAppend result = append('z');
    ASSERT_TRUE(result.logged);
    EXPECT_EQ(result.examNumber, 404);
    EXPECT_EQ(get("Pregledi00002.GPG"), record('y').repeated(3) + record('z'));
    EXPECT_FALSE(QFile::exists(path("Pregledi00001.GPG")));
    EXPECT_EQ(entries().size(), 1) << "records older than the chain are not sealed after the fact";

    // A full file moves on to the next.
    put("Pregledi00002.GPG", record('y').repeated(200));
    ASSERT_TRUE(QFile::remove(path(kChainFileName)));
    result = append('w');
    EXPECT_EQ(result.examNumber, 601);
    EXPECT_EQ(get("Pregledi00003.GPG"), record('w'));
}

TEST_F(TrailAppendTest, AChainOrKeyInAnyStateNeverTurnsARecordAway) {
    put("outside", "not the station's");
    struct Case {
        const char* what;
        std::function<void()> make;
    };
    const QString chain = path(kChainFileName);
    const Case cases[] = {
        {"a directory", [&] { QDir().mkdir(chain); }},
        {"a symbolic link", [&] { QFile::link(path("outside"), chain); }},
        {"a FIFO", [&] { ::mkfifo(QFile::encodeName(chain).constData(), 0600); }},
        {"larger than any chain",
         [&] {
             put(kChainFileName, {});
             QFile file(chain);
             file.open(QIODevice::ReadWrite);
             file.resize(kMaxChainFileSize + 1);
         }},
    };
    int expected = 0;
    for (const Case& c : cases) {
        c.make();
        const TrailAppend result = append('q');
        ++expected;
        ASSERT_TRUE(result.logged) << c.what << ": " << result.logError.toStdString();
        EXPECT_EQ(result.examNumber, expected) << c.what;
        EXPECT_FALSE(result.sealTrouble.isEmpty()) << c.what;
        EXPECT_EQ(get("outside"), "not the station's") << c.what;
        QDir(chain).removeRecursively();
        QFile::remove(chain);
    }
    EXPECT_EQ(get("Pregledi00000.GPG"), record('q').repeated(expected));
}

TEST_F(TrailAppendTest, OnceKeyedNeverSealedUnkeyed) {
    const QByteArray key =
        QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    writeSealedLog(2, &key);
    put(kStationKeyFileName, key.toHex() + '\n');
    ASSERT_TRUE(append('c').logged);
    EXPECT_TRUE(entries().last().keyed);

    // The key emptied: the record is logged, one break says why, no unkeyed seal.
    put(kStationKeyFileName, {});
    TrailAppend result = append('d');
    ASSERT_TRUE(result.logged);
    EXPECT_TRUE(result.sealTrouble.contains("key")) << result.sealTrouble.toStdString();
    QList<ChainEntry> chain = entries();
    ASSERT_EQ(chain.size(), 4);
    EXPECT_EQ(chain[3].kind, ChainEntryKind::Break);
    EXPECT_EQ(chain[3].examNumber, 4);
    result = append('e');
    ASSERT_TRUE(result.logged);
    EXPECT_FALSE(result.sealTrouble.isEmpty());
    EXPECT_EQ(entries().size(), 4) << "one break covers every unsealed record after it";

    // The key gone altogether: the chain is keyed, so still no unkeyed seal.
    ASSERT_TRUE(QFile::remove(path(kStationKeyFileName)));
    ASSERT_TRUE(append('f').logged);
    EXPECT_EQ(entries().size(), 4);

    // The key back: sealing resumes with it; the break already covers 4-6.
    put(kStationKeyFileName, key.toHex() + '\n');
    result = append('g');
    EXPECT_EQ(result.examNumber, 7);
    EXPECT_TRUE(result.sealTrouble.isEmpty());
    chain = entries();
    ASSERT_EQ(chain.size(), 5);
    EXPECT_EQ(chain[4].kind, ChainEntryKind::Record);
    EXPECT_TRUE(chain[4].keyed);
    EXPECT_EQ(chain[4].hash, chainHash(chain[3].hash, record('g'), &key));
}

TEST_F(TrailAppendTest, SealingAfterRecordsLoggedWithoutASealBeginsWithABreak) {
    const QByteArray chain = writeSealedLog(1);
    QFile log(path("Pregledi00000.GPG"));
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write(record('2') + record('3'));
    log.close();
    const TrailAppend result = append('4');
    EXPECT_EQ(result.examNumber, 4);
    const QList<ChainEntry> all = entries();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[1].kind, ChainEntryKind::Break);
    EXPECT_EQ(all[1].examNumber, 3);
    EXPECT_TRUE(all[1].reason.contains("2-3")) << all[1].reason.constData();
    EXPECT_EQ(all[1].hash, breakHash(all[0].hash, 3, all[1].reason, nullptr));
    EXPECT_EQ(all[2].hash, chainHash(all[1].hash, record('4'), nullptr));
    EXPECT_TRUE(chainBytes().startsWith(chain)) << "nothing before is rewritten";
}

TEST_F(TrailAppendTest, OnlyAFailureOfTheLogFailsTheAppend) {
    // A log file that is a directory or a link: nothing logged, nothing written through it.
    ASSERT_TRUE(QDir().mkdir(path("Pregledi00000.GPG")));
    TrailAppend result = append('a');
    EXPECT_FALSE(result.logged);
    EXPECT_TRUE(result.logError.contains("Pregledi00000.GPG")) << result.logError.toStdString();
    EXPECT_FALSE(QFile::exists(path(kChainFileName)));
    ASSERT_TRUE(QDir().rmdir(path("Pregledi00000.GPG")));
    put("outside", "x");
    ASSERT_TRUE(QFile::link(path("outside"), path("Pregledi00000.GPG")));
    EXPECT_FALSE(append('a').logged);
    EXPECT_EQ(get("outside"), "x");
    ASSERT_TRUE(QFile::remove(path("Pregledi00000.GPG")));

    // A write cut short (a file size limit, as a full disk would) is taken back whole.
    put("Pregledi00000.GPG", record('a') + record('b'));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 400;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    result = append('c');
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(result.logged);
    EXPECT_EQ(get("Pregledi00000.GPG"), record('a') + record('b'));
    EXPECT_FALSE(QFile::exists(path(kChainFileName)));
}

TEST_F(TrailAppendTest, AChainEntryCutShortLeavesTheRecordLoggedAndTheChainAsItWas) {
    // 200 sealed records: the next record starts a new log file of 160 bytes while the chain
    // must grow past 16400 bytes; a file size limit between the two lets the record through
    // and cuts its entry short. The limit is set in a child only.
    const QByteArray chain = writeSealedLog(200);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(chain.size() + 40);
        setrlimit(RLIMIT_FSIZE, &limit);
        const TrailAppend result = appendExam(dir.path(), record('b'));
        ::_exit(!result.logged ? 1 : result.sealTrouble.isEmpty() ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not logged; 2: no trouble reported";
    EXPECT_EQ(get("Pregledi00001.GPG"), record('b'));
    EXPECT_EQ(chainBytes(), chain);

    // The next append first seals 201, the last record, as recovered, then its own.
    const TrailAppend result = append('c');
    EXPECT_EQ(result.examNumber, 202);
    EXPECT_TRUE(result.sealTrouble.isEmpty()) << result.sealTrouble.toStdString();
    EXPECT_FALSE(result.recovered.isEmpty());
    const QList<ChainEntry> all = entries();
    ASSERT_EQ(all.size(), 202);
    EXPECT_EQ(all[200].kind, ChainEntryKind::Recovered);
    EXPECT_EQ(all[200].hash, chainHash(all[199].hash, record('b'), nullptr));
    EXPECT_EQ(all[201].examNumber, 202);
}
