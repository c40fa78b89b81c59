// The KEY = VALUE reader on its own: which lines come back, split how, numbered how, and
// which files it reads at all.
#include "KeyValueLines.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vz {
namespace {

// A line as the cases write it: number, whether it has '=', text, key, value.
QString describe(const KeyValueLine& l) {
    return QStringLiteral("%1|%2|%3|%4|%5").arg(l.number).arg(int(l.hasEquals)).arg(l.text, l.key, l.value);
}

TEST(KeyValueLines, SplitsTrimsNumbersAndSkipsComments) {
    const QString longValue(10000, u'7');
    struct Case {
        const char* name;
        QByteArray content;
        QStringList lines;
    };
    const Case cases[] = {
        {"comments and blank lines are skipped but counted",
         "# one\n\n  ; two\n \t \nA = 1\n#B = 2\n",
         {"5|1|A = 1|A|1"}},
        {"only the first '=' splits; a '#' inside a value is no comment",
         "A = b = c # d\n= 5\nB=\n",
         {"1|1|A = b = c # d|A|b = c # d", "2|1|= 5||5", "3|1|B=|B|"}},
        {"a line without '=' comes back whole, for the caller to refuse",
         "Measuring 30  \n",
         {"1|0|Measuring 30||"}},
        {"a repeated key comes back each time, in file order",
         "a = 1\nA = 2\n",
         {"1|1|a = 1|a|1", "2|1|A = 2|A|2"}},
        {"blanks, tabs, CR and no-break spaces around line, key and value",
         "\t A\xC2\xA0 =\t 1 \r\n",
         {"1|1|A\u00A0 =\t 1|A|1"}},
        {"CR LF, LF, a lone CR inside a line, a last line without a line end",
         "A=1\r\nB=2\rC\nD=4",
         {"1|1|A=1|A|1", "2|1|B=2\rC|B|2\rC", "3|1|D=4|D|4"}},
        {"a byte-order mark is dropped at the start of a line, kept inside one",
         "\xEF\xBB\xBF"
         "A=1\n\xEF\xBB\xBF"
         "B=2\nC\xEF\xBB\xBF=3\n",
         {"1|1|A=1|A|1", "2|1|B=2|B|2", "3|1|C\uFEFF=3|C\uFEFF|3"}},
        {"bytes that are not UTF-8 read as U+FFFD", "A = x\xFFy\n", {"1|1|A = x\uFFFDy|A|x\uFFFDy"}},
        {"a long line is read whole",
         "A = " + longValue.toLatin1() + "\n",
         {"1|1|A = " + longValue + "|A|" + longValue}},
        {"an empty file", "", {}},
    };
    for (const Case& c : cases) {
        QStringList got;
        for (const KeyValueLine& line : readKeyValueLines(c.content))
            got << describe(line);
        EXPECT_EQ(got, c.lines) << c.name;
    }
}

TEST(KeyValueLines, KeysMatchInAnyLetterCaseButWhole) {
    const QList<KeyValueLine> lines = readKeyValueLines("minimumSAMPLES = 4\nMinimumSamplesX = 4\n");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].keyIs(QLatin1String("MinimumSamples")));
    EXPECT_FALSE(lines[1].keyIs(QLatin1String("MinimumSamples")));
}

TEST(KeyValueFile, ReadsOnlyARegularFileWithinItsBound) {
    using Status = KeyValueFile::Status;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    };
    write(QStringLiteral("fits.ini"), QByteArray(100, '#'));
    write(QStringLiteral("over.ini"), QByteArray(101, '#'));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("dir.ini")));
    ASSERT_TRUE(QFile::link(QStringLiteral("nowhere"), dir.filePath(QStringLiteral("link.ini"))));
    // A FIFO without a writer: opening it would block the reader for good.
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo.ini"))).constData(), 0600), 0);

    const struct {
        const char* name;
        Status status;
        qsizetype bytes;
    } cases[] = {
        {"fits.ini", Status::Read, 100},     {"over.ini", Status::TooLarge, 0},
        {"dir.ini", Status::NotRegular, 0},  {"fifo.ini", Status::NotRegular, 0},
        {"link.ini", Status::NotRegular, 0}, {"none.ini", Status::Missing, 0},
    };
    for (const auto& c : cases) {
        const KeyValueFile file = readKeyValueFile(dir.filePath(QString::fromLatin1(c.name)), 100);
        EXPECT_EQ(file.status, c.status) << c.name;
        EXPECT_EQ(file.content.size(), c.bytes) << c.name;
    }
}

} // namespace
} // namespace vz
