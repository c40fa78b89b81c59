#include "CarModelTable.h"
#include "../DiagnosticsCapture.h"
#include "TestSupport.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using vztest::row;

TEST(CarModelTable, WalksTheRowsInTableOrderAndReadsFieldsByName) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("LADA", "2107", "350", "5", "125", "200", "1000", "800"),
                                       row("VW", "GOLF", "50"), row("ВОЛГА", "ГАЗ 24", "")});
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB")) << table.errorText().toStdString();
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.field("Mark"), "LADA");
    EXPECT_EQ(table.field("COmn"), "5");
    EXPECT_EQ(table.field("CO2mx"), "125");
    EXPECT_EQ(table.field("RPM"), "800");
    table.next();
    EXPECT_EQ(table.field("Model"), "GOLF");
    table.goToRow(3);
    EXPECT_EQ(table.field("Mark"), "ВОЛГА");
    EXPECT_EQ(table.field("COmx"), "");
    EXPECT_EQ(table.field("NoSuchField"), "");
    EXPECT_EQ(table.field("mark"), "ВОЛГА");
    EXPECT_FALSE(table.atEnd());
    table.next();
    EXPECT_TRUE(table.atEnd());
    EXPECT_EQ(table.field("Mark"), "");
    table.goToRow(0);
    EXPECT_TRUE(table.atEnd());
    table.goToRow(2);
    EXPECT_EQ(table.field("Mark"), "VW");
}

TEST(CarModelTable, OrderIsAscendingRowidNotInsertionOrder) {
    vztest::ScratchDir dir;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "order-test");
        db.setDatabaseName("CarModel.DB");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE CarModel (Mark TEXT, Model TEXT, COmx TEXT, COmn TEXT, CO2mx TEXT, "
                           "O2mx TEXT, CHmx TEXT, RPM TEXT)"));
        ASSERT_TRUE(q.exec("INSERT INTO CarModel (rowid, Mark, Model) VALUES (9, 'LAST', 'x')"));
        ASSERT_TRUE(q.exec("INSERT INTO CarModel (rowid, Mark, Model) VALUES (2, 'FIRST', 'y')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("order-test");
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.field("Mark"), "FIRST");
    EXPECT_EQ(table.field("COmx"), ""); // NULL reads as empty text
    table.next();
    EXPECT_EQ(table.field("Mark"), "LAST");
}

TEST(CarModelTable, FailsWithAPlainReasonAndNeverCreatesAMissingFile) {
    vztest::ScratchDir dir;
    vz::CarModelTable table;
    EXPECT_FALSE(table.open("CarModel.DB"));
    EXPECT_EQ(table.errorText(), "CarModel.DB not found");
    EXPECT_FALSE(QFile::exists("CarModel.DB"));
    EXPECT_TRUE(table.atEnd());

    QFile junk("CarModel.DB");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("Paradox table, not SQLite at all, padded to look like a header of some size.......");
    junk.close();
    EXPECT_FALSE(table.open("CarModel.DB"));
    EXPECT_EQ(table.errorText(), "CarModel.DB is not an SQLite database");
    EXPECT_FALSE(table.isOpen());

    ASSERT_TRUE(QFile::remove("CarModel.DB"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-table");
        db.setDatabaseName("CarModel.DB");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE Cars (Mark TEXT)"));
        db.close();
    }
    QSqlDatabase::removeDatabase("other-table");
    EXPECT_FALSE(table.open("CarModel.DB"));
    EXPECT_EQ(table.errorText(), "CarModel.DB has no table CarModel");

    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "short-table");
        db.setDatabaseName("CarModel.DB");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE CarModel (Mark TEXT, Model TEXT)"));
        db.close();
    }
    QSqlDatabase::removeDatabase("short-table");
    EXPECT_FALSE(table.open("CarModel.DB"));
    EXPECT_EQ(table.errorText(), "CarModel.DB: table CarModel lacks a field");
    // Failed opens leave no connection behind.
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST(CarModelTable, AnEmptyTableOpensWithNoRows) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {});
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_TRUE(table.atEnd());
    EXPECT_EQ(table.field("Mark"), "");
}

TEST(CarModelTable, TwoOpenTablesHaveTheirOwnConnectionsAndCloseRemovesThem) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("LADA", "2107")});
    vz::CarModelTable first, second;
    ASSERT_TRUE(first.open("CarModel.DB"));
    ASSERT_TRUE(second.open("CarModel.DB"));
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 2);
    first.close();
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(first.atEnd());
    EXPECT_EQ(second.field("Model"), "2107");
    second.close();
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST(CarModelTable, OpensReadOnly) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {row("LADA", "2107")});
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    // The open table's own connection refuses writes.
    const QString name = QSqlDatabase::connectionNames().value(0);
    QSqlQuery q(QSqlDatabase::database(name, false));
    EXPECT_FALSE(q.exec("DELETE FROM CarModel"));
    q = QSqlQuery();
    table.close();
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.rowCount(), 1);
}

// The limits table's diagnostic lines (vezaro.files): the rows opened, or why not, with the
// SQLite driver's own words where it has some.
TEST(CarModelTableDiagnostics, AnOpenedTableAndEachFailureAreTold) {
    vztest::ScratchDir dir;
    vz::test::DiagnosticsCapture capture;
    vz::CarModelTable table;
    EXPECT_FALSE(table.open("CarModel.DB"));
    QFile junk("CarModel.DB");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("Paradox table, not SQLite at all, padded to look like a header of some size.......");
    junk.close();
    EXPECT_FALSE(table.open("CarModel.DB"));
    ASSERT_TRUE(QFile::remove("CarModel.DB"));
    vztest::writeTable("CarModel.DB", {row("LADA", "2107"), row("VW", "GOLF")});
    ASSERT_TRUE(table.open("CarModel.DB"));

    ASSERT_EQ(capture.lines().size(), 3) << capture.all().toStdString();
    EXPECT_EQ(capture.lines()[0].text, "vezaro.files: open CarModel.DB failed: CarModel.DB not found");
    EXPECT_EQ(capture.lines()[0].type, QtWarningMsg);
    EXPECT_TRUE(capture.lines()[1].text.startsWith(
        "vezaro.files: open CarModel.DB failed: CarModel.DB is not an SQLite database ("))
        << capture.all().toStdString();
    EXPECT_EQ(capture.lines()[1].type, QtWarningMsg);
    EXPECT_EQ(capture.lines()[2].text, "vezaro.files: opened CarModel.DB: 2 rows");
    EXPECT_EQ(capture.lines()[2].type, QtInfoMsg);
    // The window's heading keeps its plain words.
    table.close();
    EXPECT_FALSE(table.open("Missing.DB"));
    EXPECT_EQ(table.errorText(), "Missing.DB not found");
}
