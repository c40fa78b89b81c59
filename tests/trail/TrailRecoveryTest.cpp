// What a crash at each step of an append, a torn write or a lost record leaves behind, what
// the next start makes of it, and the number the next examination gets.
#include "TrailRecovery.h"
#include "ExamTrail.h"
#include "TrailLock.h"
#include "TrailTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace vz;
using vz::test::record;
using vz::test::TrailTest;

namespace {
struct Crash {};
} // namespace

class TrailRecoveryTest : public TrailTest {
protected:
    void TearDown() override { setTrailStepHook({}); }

    // An append stopped at `step` the way a killed station stops: nothing after it runs.
    void crashAt(TrailStep step, char fill) {
        setTrailStepHook([step](TrailStep passed) {
            if (passed == step)
                throw Crash{};
        });
        EXPECT_THROW(appendExam(dir.path(), record(fill)), Crash) << trailStepName(step);
        setTrailStepHook({});
    }

    // The start: inspect, decide, repair; then the repair must leave nothing to do.
    RecoveryPlan start() {
        const TrailInspection found = inspectTrail(dir.path());
        const RecoveryPlan plan = decideRecovery(found);
        const RecoveryResult result = applyRecovery(found, plan);
        EXPECT_TRUE(result.failed.isEmpty()) << result.failed.join(u'\n').toStdString();
        EXPECT_EQ(plan.repairs(), !recoveryOperatorText(plan, result).isEmpty());
        EXPECT_FALSE(decideRecovery(inspectTrail(dir.path())).repairs()) << "a second start repairs again";
        return plan;
    }

    QList<ChainEntryKind> kinds() const {
        QList<ChainEntryKind> all;
        for (const ChainEntry& entry : entries())
            all.append(entry.kind);
        return all;
    }

    int next(char fill) {
        const TrailAppend result = appendExam(dir.path(), record(fill));
        EXPECT_TRUE(result.logged);
        EXPECT_TRUE(result.sealTrouble.isEmpty()) << result.sealTrouble.toStdString();
        return result.examNumber;
    }
};

using K = ChainEntryKind;

TEST_F(TrailRecoveryTest, ACrashAtEachStepOfAnAppend) {
    struct Row {
        TrailStep step;
        bool completed; // the start seals the last record as recovered
    };
    for (const Row& row : {Row{TrailStep::RecordWritten, true}, Row{TrailStep::RecordSynced, true},
                           Row{TrailStep::ChainWritten, false}, Row{TrailStep::ChainSynced, false},
                           Row{TrailStep::DirectorySynced, false}}) {
        SCOPED_TRACE(trailStepName(row.step));
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        writeSealedLog(2);
        crashAt(row.step, 'c');
        const RecoveryPlan plan = start();
        EXPECT_EQ(plan.completeLast, row.completed ? 3 : 0);
        EXPECT_TRUE(plan.breakReason.isEmpty());
        EXPECT_EQ(next('d'), 4);
        const QList<K> expected = row.completed ? QList<K>{K::Record, K::Record, K::Recovered, K::Record}
                                                : QList<K>{K::Record, K::Record, K::Record, K::Record};
        EXPECT_EQ(kinds(), expected);
        const QList<ChainEntry> all = entries();
        EXPECT_EQ(all[2].hash, chainHash(all[1].hash, record('c'), nullptr));
        EXPECT_EQ(all[3].hash, chainHash(all[2].hash, record('d'), nullptr));
    }
}

TEST_F(TrailRecoveryTest, APrintingThatNeverFinishedIsTold) {
    writeSealedLog(3);
    QString error;
    ASSERT_TRUE(markPrinting(dir.path(), 3, &error)) << error.toStdString();
    EXPECT_EQ(decideRecovery(inspectTrail(dir.path())).pendingPrint, 3);
    EXPECT_FALSE(decideRecovery(inspectTrail(dir.path())).repairs()) << "telling is not a repair";
    ASSERT_TRUE(clearPrinting(dir.path(), &error));
    EXPECT_EQ(decideRecovery(inspectTrail(dir.path())).pendingPrint, 0);
}

TEST_F(TrailRecoveryTest, ATornLogEndIsSetAsideAndNoNumberIsGivenTwice) {
    for (const QByteArray& torn : {QByteArray(80, 't'), QByteArray(160, '\0'), QByteArray(100, '\0')}) {
        SCOPED_TRACE(torn.size());
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        writeSealedLog(2);
        const QByteArray whole = get("Pregledi00000.GPG");
        put("Pregledi00000.GPG", whole + torn);
        const RecoveryPlan plan = start();
        EXPECT_EQ(plan.setAsideLogFile, 0);
        EXPECT_EQ(get("Pregledi00000.GPG"), whole);
        const QStringList aside = named("Pregledi00000.GPG.torn-");
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(get(aside[0]), torn) << "the torn bytes are kept";
        EXPECT_EQ(next('c'), 3);
        EXPECT_EQ(get("Pregledi00000.GPG"), whole + record('c'));
    }
}

TEST_F(TrailRecoveryTest, ATornOrZeroFilledChainEndIsSetAsideAndTheChainGoesOnWithABreak) {
    for (const QByteArray& torn : {QByteArray("00000003 sha256 12ab"), QByteArray(4096, '\0')}) {
        SCOPED_TRACE(torn.size());
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        const QByteArray chain = writeSealedLog(2);
        // The third record made it to the log; its entry was cut by the power cut.
        QFile log(path("Pregledi00000.GPG"));
        ASSERT_TRUE(log.open(QIODevice::Append));
        log.write(record('3'));
        log.close();
        put(kChainFileName, chain + torn);

        const RecoveryPlan plan = start();
        EXPECT_TRUE(plan.setAsideChainTail);
        EXPECT_EQ(plan.completeLast, 0) << "after a torn chain end nothing is sealed after the fact";
        EXPECT_TRUE(chainBytes().startsWith(chain));
        const QStringList aside = named("Pregledi.chain.torn-");
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(get(aside[0]), torn);
        EXPECT_EQ(next('4'), 4);
        EXPECT_EQ(kinds(), (QList<K>{K::Record, K::Record, K::Break, K::Record}));
        EXPECT_EQ(entries()[2].examNumber, 3);
    }
}

TEST_F(TrailRecoveryTest, ExaminationsTheChainHoldsButTheLogLostKeepTheirNumbers) {
    const QByteArray chain = writeSealedLog(5);
    put("Pregledi00000.GPG", get("Pregledi00000.GPG").left(3 * kLogRecordSize));
    const RecoveryPlan plan = start();
    EXPECT_EQ(plan.fillFrom, 4);
    EXPECT_EQ(plan.fillTo, 5);
    EXPECT_TRUE(plan.describe().join(u' ').contains("4-5"));
    const QByteArray log = get("Pregledi00000.GPG");
    ASSERT_EQ(log.size(), 5 * kLogRecordSize);
    EXPECT_TRUE(isFillerRecord(log.mid(3 * kLogRecordSize, kLogRecordSize)));
    EXPECT_TRUE(isFillerRecord(log.mid(4 * kLogRecordSize, kLogRecordSize)));
    EXPECT_EQ(next('6'), 6);
    EXPECT_TRUE(chainBytes().startsWith(chain));
    EXPECT_EQ(entries()[5].kind, K::Break);
    EXPECT_EQ(entries()[5].examNumber, 5);

    // Lost across a file boundary: the fillers fill the rest of one file and begin the next.
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    writeSealedLog(203);
    ASSERT_TRUE(QFile::remove(path("Pregledi00001.GPG")));
    put("Pregledi00000.GPG", get("Pregledi00000.GPG").left(198 * kLogRecordSize));
    start();
    EXPECT_EQ(get("Pregledi00000.GPG").size(), kFullLogFileSize);
    EXPECT_EQ(get("Pregledi00001.GPG"), fillerRecord().repeated(3));
    EXPECT_EQ(next('x'), 204);
}

TEST_F(TrailRecoveryTest, AChainThatCannotBeReadIsRenamedAsideAndANewOneBegins) {
    writeSealedLog(2);
    const QByteArray garbage = QByteArray("not a chain ").repeated(100000); // 1.2 MB, no line end
    put(kChainFileName, garbage);
    const RecoveryPlan plan = start();
    EXPECT_TRUE(plan.setAsideChain);
    const QStringList aside = named("Pregledi.chain.aside-");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(get(aside[0]), garbage);
    EXPECT_EQ(next('3'), 3);
    EXPECT_EQ(kinds(), (QList<K>{K::Break, K::Record}));
}

TEST_F(TrailRecoveryTest, TheFirstExaminationCrashedBeforeItsEntryIsSealedAsRecovered) {
    crashAt(TrailStep::RecordSynced, 'a');
    EXPECT_EQ(start().completeLast, 1);
    EXPECT_EQ(kinds(), QList<K>{K::Recovered});
    EXPECT_EQ(entries()[0].hash, chainHash({}, record('a'), nullptr));
}

TEST_F(TrailRecoveryTest, TheLockKeepsASecondStationOutAndDiesWithItsHolder) {
    TrailLock first;
    ASSERT_EQ(first.acquire(dir.path()), TrailLock::Outcome::Held);
    TrailLock second;
    EXPECT_EQ(second.acquire(dir.path()), TrailLock::Outcome::Busy);
    EXPECT_TRUE(second.holder().contains(QStringLiteral("PID %1").arg(::getpid())))
        << second.holder().toStdString();
    first.release();

    // A station killed while holding it leaves nothing stuck.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TrailLock held;
        const char ok = held.acquire(dir.path()) == TrailLock::Outcome::Held ? 'y' : 'n';
        [[maybe_unused]] const ssize_t put = ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(second.acquire(dir.path()), TrailLock::Outcome::Busy);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(second.acquire(dir.path()), TrailLock::Outcome::Held);
    ::close(ready[0]);
    ::close(ready[1]);

    // A link named as the lock is not followed.
    second.release();
    ASSERT_TRUE(QFile::remove(path(kLockFileName)));
    put("elsewhere", "x");
    ASSERT_TRUE(QFile::link(path("elsewhere"), path(kLockFileName)));
    EXPECT_EQ(second.acquire(dir.path()), TrailLock::Outcome::Unusable);
    EXPECT_EQ(get("elsewhere"), "x");
}
