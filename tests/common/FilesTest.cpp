// readCappedLine at its limit: a line exactly MaxLineBytes long is whole, and the bytes after
// it decide what its line end is, just as for a shorter line. The first two cases failed the
// check of the demo replay fuzz target (fuzz/fuzz_demo.cpp), which compares the slots with a
// plain model of the file.
#include "Files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Read {
    vz::CappedLine result;
    QByteArray line;
};

// Every call of readCappedLine until the end of the file, for `content`.
std::vector<Read> readAll(const QByteArray& content) {
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("lines.txt")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<Read> reads;
    while (!file.atEnd() && reads.size() < 10) {
        Read r;
        r.result = vz::readCappedLine(file, r.line);
        reads.push_back(r);
    }
    return reads;
}

const QByteArray full(vz::MaxLineBytes - 1, 'A'); // one short of the limit: the last byte is the case's

} // namespace

TEST(ReadCappedLine, AFullLineEndingInCrBeforeCrLfKeepsItsOwnCr) {
    const std::vector<Read> reads = readAll(full + "\r\r\nB\r\n");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].result, vz::CappedLine::Whole);
    EXPECT_EQ(reads[0].line, full + "\r"); // the CR LF after it is the line end, not its own CR
    EXPECT_EQ(reads[1].line, "B");
}

TEST(ReadCappedLine, AFullLineBeforeALoneCrAtTheEndOfTheFileIsOneWholeLine) {
    const std::vector<Read> reads = readAll(full + "A\r");
    ASSERT_EQ(reads.size(), 1u); // no empty line made of the lone CR
    EXPECT_EQ(reads[0].result, vz::CappedLine::Whole);
    EXPECT_EQ(reads[0].line, full + "A");
}

// The neighbours of those two cases, which the fix must leave as they were.
TEST(ReadCappedLine, AFullLineEndsAtTheLineEndThatFollowsIt) {
    using vz::CappedLine;
    struct Case {
        QByteArray after; // the bytes after the line's first MaxLineBytes - 1
        std::vector<std::pair<CappedLine, QByteArray>> reads;
    };
    const Case cases[] = {
        {"A\nZ\n", {{CappedLine::Whole, full + "A"}, {CappedLine::Whole, "Z"}}},
        {"A\r\nZ\n", {{CappedLine::Whole, full + "A"}, {CappedLine::Whole, "Z"}}},
        {"\r\nZ\n", {{CappedLine::Whole, full}, {CappedLine::Whole, "Z"}}}, // CR LF across the limit
        {"A", {{CappedLine::Whole, full + "A"}}},
        {"\r", {{CappedLine::Whole, full}}}, // a lone CR at the end of the file, within the limit
        {"AB\n", {{CappedLine::Cut, full + "A"}, {CappedLine::Whole, "B"}}},
        {"\rZ\n", {{CappedLine::Cut, full + "\r"}, {CappedLine::Whole, "Z"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after.toHex().toStdString());
        const std::vector<Read> reads = readAll(full + c.after);
        ASSERT_EQ(reads.size(), c.reads.size());
        for (size_t i = 0; i < reads.size(); ++i) {
            EXPECT_EQ(reads[i].result, c.reads[i].first) << i;
            EXPECT_EQ(reads[i].line, c.reads[i].second) << i;
        }
    }
}
