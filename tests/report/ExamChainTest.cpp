// The chain beside the log, through the station's own append: real files in a scratch
// directory.
#include "ExamChain.h"
#include "ExamLog.h"
#include "PRNUnit.h"
#include "RecordingPrinter.h"
#include "ReportTestSupport.h"

#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vz;
using vz::test::ReportTest;

namespace {

QByteArray record(char fill) {
    return QByteArray(158, fill) + "\r\n";
}

QList<ChainEntry> chainEntries(const QByteArray& chain) {
    QList<ChainEntry> entries;
    for (qsizetype at = 0; at < chain.size(); at += kChainEntrySize) {
        const std::optional<ChainEntry> entry = parseChainEntryLine(chain.mid(at, kChainEntrySize));
        EXPECT_TRUE(entry) << "entry " << at / kChainEntrySize;
        if (entry)
            entries.append(*entry);
    }
    return entries;
}

} // namespace

TEST(ExamChainEntries, AreFixedSizeLinesThatReadBack) {
    ChainEntry entry{201, true, QByteArray(32, '\xAB')};
    const QByteArray line = chainEntryLine(entry);
    EXPECT_EQ(line.size(), kChainEntrySize);
    EXPECT_TRUE(line.startsWith("00000201 hmac   abab"));
    EXPECT_TRUE(line.endsWith("ab\r\n"));
    const std::optional<ChainEntry> back = parseChainEntryLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->examNumber, 201);
    EXPECT_TRUE(back->keyed);
    EXPECT_EQ(back->hash, entry.hash);

    EXPECT_TRUE(chainEntryLine({1, false, QByteArray(32, '\0')}).startsWith("00000001 sha256 0000"));
    for (const QByteArray& bad : {line.left(81), QByteArray(line).replace(9, 6, "md5   "),
                                  QByteArray(line).replace(20, 1, "G"), QByteArray(line).replace(0, 1, "x")})
        EXPECT_FALSE(parseChainEntryLine(bad)) << bad.constData();
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
}

class ExamChainTest : public ReportTest {};

TEST_F(ExamChainTest, EveryAppendAddsAMatchingEntryAndTheLogBytesStayAsTheyAre) {
    uint16_t index = 0;
    for (char fill : {'a', 'b', 'c'})
        ASSERT_TRUE(appendExamRecord(index, record(fill)).ok);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a') + record('b') + record('c'));

    const QList<ChainEntry> entries = chainEntries(readFile(kChainFileName));
    ASSERT_EQ(entries.size(), 3);
    QByteArray previous;
    int number = 1;
    for (char fill : {'a', 'b', 'c'}) {
        const ChainEntry& entry = entries[number - 1];
        EXPECT_EQ(entry.examNumber, number);
        EXPECT_FALSE(entry.keyed);
        EXPECT_EQ(entry.hash, chainHash(previous, record(fill), nullptr));
        previous = entry.hash;
        ++number;
    }
}

TEST_F(ExamChainTest, ALogThatPredatesTheChainStartsItAtTheNextExamination) {
    writeFile("Pregledi00000.GPG", record('x').repeated(200));
    writeFile("Pregledi00001.GPG", record('y').repeated(4));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('z'));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.examNumber, 205);
    const QList<ChainEntry> entries = chainEntries(readFile(kChainFileName));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].examNumber, 205);
    EXPECT_EQ(entries[0].hash, chainHash({}, record('z'), nullptr));
}

TEST_F(ExamChainTest, WithAStationKeyEntriesAreHmacsWithIt) {
    uint16_t first = 0;
    ASSERT_TRUE(appendExamRecord(first, record('a')).ok);
    QString error;
    ASSERT_TRUE(createStationKey(QStringLiteral("."), &error)) << error.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(kStationKeyFileName, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const StationKey key = readStationKey(QStringLiteral("."));
    ASSERT_TRUE(key.present);
    ASSERT_TRUE(key.error.isEmpty());
    EXPECT_EQ(key.key.size(), 32);

    const QByteArray keyFile = readFile(kStationKeyFileName);
    EXPECT_FALSE(createStationKey(QStringLiteral("."), &error));
    EXPECT_TRUE(error.contains("exists")) << error.toStdString();
    EXPECT_EQ(readFile(kStationKeyFileName), keyFile) << "an existing key is never replaced";

    uint16_t index = 0;
    ASSERT_TRUE(appendExamRecord(index, record('b')).ok);
    const QList<ChainEntry> entries = chainEntries(readFile(kChainFileName));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_FALSE(entries[0].keyed);
    EXPECT_TRUE(entries[1].keyed);
    EXPECT_EQ(entries[1].hash, chainHash(entries[0].hash, record('b'), &key.key));
    EXPECT_NE(entries[1].hash, chainHash(entries[0].hash, record('b'), nullptr));
}

TEST_F(ExamChainTest, AChainThatCannotBeWrittenTakesTheRecordBackToo) {
    writeFile("Pregledi00000.GPG", record('a'));
    ASSERT_TRUE(QDir().mkdir(kChainFileName));
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('b'));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith(kChainFileName)) << result.error.toStdString();
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a'));

    // Nor is a log file created for a record that could not be chained.
    ASSERT_TRUE(QFile::remove("Pregledi00000.GPG"));
    EXPECT_FALSE(appendExamRecord(index, record('c')).ok);
    EXPECT_FALSE(QFile::exists("Pregledi00000.GPG"));
}

TEST_F(ExamChainTest, AChainEntryCutShortByTheFileSizeLimitTakesBothBack) {
    // A full first file and its 200 entries (16400 bytes): the next record starts a new log
    // file (160 bytes), while the chain must grow past 16400. A file size limit between the
    // two lets the record through and cuts the entry short. The limit is set in a child only.
    QByteArray log;
    QByteArray chain;
    QByteArray previous;
    for (int n = 1; n <= 200; ++n) {
        const QByteArray r = record(static_cast<char>('A' + n % 26));
        log += r;
        previous = chainHash(previous, r, nullptr);
        chain += chainEntryLine({n, false, previous});
    }
    writeFile("Pregledi00000.GPG", log);
    writeFile(kChainFileName, chain);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(chain.size() + 40);
        setrlimit(RLIMIT_FSIZE, &limit);
        uint16_t childIndex = 0;
        const LogAppendResult result = appendExamRecord(childIndex, record('b'));
        ::_exit(result.ok ? 1 : (result.error.startsWith(kChainFileName) ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the append succeeded; 2: it failed on the log";
    EXPECT_EQ(readFile("Pregledi00000.GPG"), log);
    EXPECT_FALSE(QFile::exists("Pregledi00001.GPG")) << "the record's new file is taken back";
    EXPECT_EQ(readFile(kChainFileName), chain);

    // Without the limit the same append goes through and continues the chain.
    uint16_t index = 0;
    const LogAppendResult result = appendExamRecord(index, record('b'));
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.examNumber, 201);
    const QList<ChainEntry> entries = chainEntries(readFile(kChainFileName));
    ASSERT_EQ(entries.size(), 201);
    EXPECT_EQ(entries.last().hash, chainHash(previous, record('b'), nullptr));
}

TEST_F(ExamChainTest, ADamagedChainOrKeyIsNotExtendedAndTheRecordIsNotLogged) {
    uint16_t index = 0;
    ASSERT_TRUE(appendExamRecord(index, record('a')).ok);
    const QByteArray chain = readFile(kChainFileName);

    writeFile(kChainFileName, chain + "half an entry");
    LogAppendResult result = appendExamRecord(index, record('b'));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains("damaged")) << result.error.toStdString();
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a'));

    writeFile(kChainFileName, chain);
    writeFile(kStationKeyFileName, "not a key\n");
    result = appendExamRecord(index, record('b'));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith(kStationKeyFileName)) << result.error.toStdString();
    EXPECT_EQ(readFile("Pregledi00000.GPG"), record('a'));
    EXPECT_EQ(readFile(kChainFileName), chain);
}

TEST_F(ExamChainTest, PrintShowsTheLogErrorAndPrintsNothingWhenTheChainFails) {
    ASSERT_TRUE(QDir().mkdir(kChainFileName));
    ReportState state;
    RecordingPrinterService printer;
    printer.names = {QStringLiteral("HP LaserJet")};
    printer.pageWidthPx = 4960;
    TPRNForm form(nullptr, state, printer, [] { return MainReadings{}; });
    form.btnPrintClick();
    EXPECT_TRUE(printer.pages.isEmpty());
    EXPECT_FALSE(QFile::exists("Pregledi00000.GPG"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages[0].text.startsWith("The examination could not be logged and was not printed.\r\n"));
    EXPECT_TRUE(messages[0].text.contains(kChainFileName)) << messages[0].text.toStdString();
}
