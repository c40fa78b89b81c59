#include "ExamLog.h"
#include "ReportTestSupport.h"

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

TEST_F(ExamLogTest, ADirectoryNamedLikeTheLogFailsAndTouchesNothing) {
    ASSERT_TRUE(QDir().mkdir("Pregledi00000.GPG"));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('a'));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith("Pregledi00000.GPG: ")) << result.error.toStdString();
    EXPECT_TRUE(QFileInfo("Pregledi00000.GPG").isDir());
}
