#include "MakeIndex.h"

#include <gtest/gtest.h>

TEST(MakeIndex, RunsOfMarksGiveEntriesAndTheLastRunsToTheLastRow) {
    const vz::MakeIndex index = vz::buildMakeIndex(QStringList{"LADA", "LADA", "VW", "lada", "LADA", "LADA"});
    // Case matters and a make that comes back after another is a new entry.
    EXPECT_EQ(index.Makes, (QStringList{"LADA", "VW", "lada", "LADA"}));
    EXPECT_EQ(index.MakeStart, (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(index.endRow(1), 4);
    EXPECT_EQ(index.firstRow(3), 5);
    EXPECT_EQ(index.endRow(3), 7);
    EXPECT_EQ(index.makeOfRow(1), 0);
    EXPECT_EQ(index.makeOfRow(2), 0);
    EXPECT_EQ(index.makeOfRow(3), 1);
    EXPECT_EQ(index.makeOfRow(6), 3);
    EXPECT_EQ(index.makeOfRow(7), -1);
    EXPECT_EQ(index.makeOfRow(0), -1);
    EXPECT_EQ(index.firstRow(4), 0);
    EXPECT_EQ(index.endRow(-1), 0);
}

TEST(MakeIndex, GrowsPastSixtyFourMakesAndHandlesAnEmptyTable) {
    QStringList marks;
    for (int i = 0; i < 300; ++i)
        marks << QString("MAKE%1").arg(i / 2);
    const vz::MakeIndex index = vz::buildMakeIndex(marks);
    ASSERT_EQ(index.makeCount(), 150);
    EXPECT_EQ(index.Makes[149], "MAKE149");
    EXPECT_EQ(index.firstRow(149), 299);
    EXPECT_EQ(index.endRow(149), 301);
    EXPECT_EQ(index.makeOfRow(200), 99);

    const vz::MakeIndex empty = vz::buildMakeIndex(QStringList{});
    EXPECT_EQ(empty.makeCount(), 0);
    EXPECT_EQ(empty.makeOfRow(1), -1);
}
