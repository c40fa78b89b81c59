// The chain checked against the log: a good log passes, and each kind of tampering names the
// examination where it happened.
#include "ChainCheck.h"
#include "ExamChain.h"
#include "PreglediTestSupport.h"

using namespace vz;
using vz::test::examFields;
using vz::test::StationDirTest;

namespace {

ChainCheck check() {
    return checkExamChain(scanExamLog(QStringLiteral(".")));
}

QString firstProblem(const ChainCheck& c) {
    return c.problems.isEmpty() ? QStringLiteral("<none>") : describeProblem(c.problems.front());
}

} // namespace

class ChainCheckTest : public StationDirTest {
protected:
    QByteArray record(int n) const { return readFile("Pregledi00000.GPG").mid((n - 1) * 160, 160); }
};

TEST_F(ChainCheckTest, AGoodLogPassesWithEveryExaminationChained) {
    logExams(5);
    const ChainCheck c = check();
    EXPECT_TRUE(c.problems.isEmpty()) << firstProblem(c).toStdString();
    EXPECT_TRUE(c.chainFound);
    EXPECT_EQ(c.chained, 5);
    EXPECT_EQ(c.unchained, 0);
    EXPECT_FALSE(c.keyed);
}

TEST_F(ChainCheckTest, EachKindOfTamperingNamesTheExamination) {
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> tamper;
        int examNumber;
        const char* says;
    };
    const Case cases[] = {
        {"one byte of the first record flipped",
         [](QByteArray& log) { log[30] = static_cast<char>(log[30] ^ 1); }, 1, "changed"},
        {"one field of the third record rewritten",
         [](QByteArray& log) { log.replace(2 * 160 + 95, 1, "9"); }, 3, "changed"},
        {"the last record deleted", [](QByteArray& log) { log.chop(160); }, 5, "removed"},
        {"a middle record deleted", [](QByteArray& log) { log.remove(160, 160); }, 2, "removed"},
        {"records 2 and 4 swapped",
         [](QByteArray& log) {
             const QByteArray two = log.mid(160, 160);
             log.replace(160, 160, log.mid(480, 160));
             log.replace(480, 160, two);
         },
         2, "reordered"},
        {"a record appended by hand", [](QByteArray& log) { log += examRecordBytes(examFields(42)); }, 6,
         "added outside the station"},
    };
    for (const Case& c : cases) {
        QDir().remove("Pregledi00000.GPG");
        QDir().remove(kChainFileName);
        logExams(5);
        QByteArray log = readFile("Pregledi00000.GPG");
        c.tamper(log);
        writeFile("Pregledi00000.GPG", log);
        const ChainCheck result = check();
        ASSERT_FALSE(result.problems.isEmpty()) << c.what;
        EXPECT_EQ(result.problems.front().examNumber, c.examNumber)
            << c.what << ": " << firstProblem(result).toStdString();
        EXPECT_TRUE(result.problems.front().text.contains(c.says))
            << c.what << ": " << firstProblem(result).toStdString();
    }
}

TEST_F(ChainCheckTest, AChangedChainEntryIsFoundToo) {
    logExams(3);
    QByteArray chain = readFile(kChainFileName);
    chain.remove(kChainEntrySize, kChainEntrySize); // the second entry gone
    writeFile(kChainFileName, chain);
    ChainCheck c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_EQ(c.problems.front().examNumber, 2) << firstProblem(c).toStdString();

    writeFile(kChainFileName, "not a chain\r\n");
    c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_EQ(c.problems.front().fileName, kChainFileName);
    EXPECT_EQ(c.problems.front().record, 1);
}

TEST_F(ChainCheckTest, ALogOlderThanTheChainIsUnchainedNotTampered) {
    // Written before the station kept a chain: no chain file at all.
    uint16_t index = 0;
    QByteArray old;
    for (int n = 1; n <= 3; ++n)
        old += examRecordBytes(examFields(n));
    writeFile("Pregledi00000.GPG", old);
    ChainCheck c = check();
    EXPECT_TRUE(c.problems.isEmpty()) << firstProblem(c).toStdString();
    EXPECT_FALSE(c.chainFound);
    EXPECT_EQ(c.unchained, 3);
    EXPECT_EQ(c.unchainedFirst, 1);
    EXPECT_EQ(c.unchainedLast, 3);

    // Then the station goes on logging: the chain begins at examination 4.
    ASSERT_TRUE(appendExamRecord(index, examRecordBytes(examFields(4))).ok);
    ASSERT_TRUE(appendExamRecord(index, examRecordBytes(examFields(5))).ok);
    c = check();
    EXPECT_TRUE(c.problems.isEmpty()) << firstProblem(c).toStdString();
    EXPECT_EQ(c.unchained, 3);
    EXPECT_EQ(c.unchainedLast, 3);
    EXPECT_EQ(c.chained, 2);

    // A change in an unchained record cannot be seen, but one in a chained record can.
    QByteArray log = readFile("Pregledi00000.GPG");
    log[10] = 'X';
    writeFile("Pregledi00000.GPG", log);
    EXPECT_TRUE(check().problems.isEmpty());
    log[4 * 160 + 10] = 'X';
    writeFile("Pregledi00000.GPG", log);
    c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_EQ(c.problems.front().examNumber, 5) << firstProblem(c).toStdString();
}

TEST_F(ChainCheckTest, AKeyedChainNeedsItsKeyAndCannotBeRebuiltWithoutIt) {
    QString error;
    ASSERT_TRUE(createStationKey(QStringLiteral("."), &error)) << error.toStdString();
    logExams(3);
    ChainCheck c = check();
    EXPECT_TRUE(c.problems.isEmpty()) << firstProblem(c).toStdString();
    EXPECT_TRUE(c.keyed);
    EXPECT_EQ(c.chained, 3);

    // Someone changes record 2 and rebuilds the chain without the key: the plain hashes are
    // refused after keyed ones, and keyed ones cannot be made.
    QByteArray log = readFile("Pregledi00000.GPG");
    log[160 + 30] = 'Q';
    writeFile("Pregledi00000.GPG", log);
    QByteArray chain = readFile(kChainFileName);
    const ChainEntry first = *parseChainEntryLine(chain.left(kChainEntrySize));
    const QByteArray second = chainHash(first.hash, log.mid(160, 160), nullptr);
    const QByteArray third = chainHash(second, log.mid(320, 160), nullptr);
    chain =
        chain.left(kChainEntrySize) + chainEntryLine({2, false, second}) + chainEntryLine({3, false, third});
    writeFile(kChainFileName, chain);
    c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_EQ(c.problems.front().examNumber, 2);
    EXPECT_TRUE(c.problems.front().text.contains("unkeyed")) << firstProblem(c).toStdString();

    // Without the key file nothing keyed can be checked, and that is a problem.
    ASSERT_TRUE(QFile::remove(kStationKeyFileName));
    c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_TRUE(c.problems.front().text.contains("no Pregledi.key")) << firstProblem(c).toStdString();

    // Another station's key does not match.
    ASSERT_TRUE(createStationKey(QStringLiteral("."), &error));
    c = check();
    ASSERT_FALSE(c.problems.isEmpty());
    EXPECT_EQ(c.problems.front().examNumber, 1) << firstProblem(c).toStdString();
}
