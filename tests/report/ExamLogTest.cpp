#include "ExamLog.h"
#include "ReportTestSupport.h"

#include <csignal>
#include <sys/resource.h>

using namespace vz;
using vz::test::ReportTest;

namespace {
QByteArray record(char fill) {
    QByteArray r(158, fill);
    return r + "\r\n";
}
} // namespace

TEST(ExamLogNames, AreFiveDigitIndexedGpgFiles) {
    EXPECT_EQ(examLogFileName(0), "Pregledi00000.GPG");
    EXPECT_EQ(examLogFileName(1), "Pregledi00001.GPG");
    EXPECT_EQ(examLogFileName(65535), "Pregledi65535.GPG");
}

TEST(ExamLogNumbers, RoundSizeOver160PlusOneHalvesToEven) {
    struct Case {
        int64_t size;
        int64_t number;
    };
    for (const Case& c : {Case{0, 1}, Case{160, 2}, Case{31840, 200}, Case{32000, 201}, Case{50, 1},
                          Case{79, 1}, Case{80, 2}, // 1.5 -> 2
                          Case{240, 2},             // 2.5 -> 2
                          Case{400, 4},             // 3.5 -> 4
                          Case{81, 2}, Case{31900, 200}, Case{31930, 201}})
        EXPECT_EQ(nextRecordNumber(c.size), c.number) << c.size;
}

class ExamLogTest : public ReportTest {};

TEST_F(ExamLogTest, TheFirstRecordCreatesTheFirstFileAsNumberOne) {
    uint16_t index = 0;
    const LogAppendResult first = appendExamRecord(index, record('a'));
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_EQ(first.examNumber, 1);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a'));

    const LogAppendResult second = appendExamRecord(index, record('b'));
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.examNumber, 2);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a') + record('b'));
    EXPECT_EQ(index, 0);
}

TEST_F(ExamLogTest, AFullFileMovesOnToTheNextIndex) {
    writeFile("Pregledi00000.GPG", record('x').repeated(200));
    writeFile("Pregledi00001.GPG", record('y').repeated(200));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('z'));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(result.examNumber, 401);
    EXPECT_EQ(readFile("Pregledi00002.GPG"), record('z'));
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('x').repeated(200));
}

TEST_F(ExamLogTest, AFileThatIsNotWholeRecordsGetsTheRecordAfterItsLastByte) {
    const QByteArray torn = record('a') + QByteArray(80, 't'); // 240 bytes: 2.5 -> 2
    writeFile("Pregledi00000.GPG", torn);
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('b'));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.examNumber, 2);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), torn + record('b'));
}

TEST_F(ExamLogTest, ADirectoryNamedLikeTheLogFailsAndTouchesNothing) {
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('a'));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith("Pregledi00000.GPG: ")) << result.error.toStdString();
    EXPECT_TRUE(QFileInfo("Pregledi00000.GPG").isDir());
}

TEST_F(ExamLogTest, AWriteCutShortIsTakenBackLeavingEarlierRecordsIntact) {
    writeFile("Pregledi00000.GPG", record('a') + record('b'));
    // Let the process grow files to 400 bytes only: the append can write 80 of its 160.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 400;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('c'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a') + record('b'));

    // A new file that could not take its first record is not left behind empty.
    ASSERT_TRUE(QFile::remove("Pregledi00000.GPG"));
    std::signal(SIGXFSZ, SIG_IGN);
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const LogAppendResult fresh = appendExamRecord(index, record('d'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(fresh.ok);
    EXPECT_FALSE(QFile::exists("Pregledi00000.GPG"));
}
