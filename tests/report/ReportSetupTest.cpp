#include "ReportSetup.h"
#include "Cp1251.h"
#include "ReportTestSupport.h"

using namespace vz;
using vz::test::ReportTest;

TEST(YearList, CurrentYearComesFromTheShortDateText) {
    struct Case {
        const char* date;
        int year;
    };
    const Case cases[] = {
        {"07.12.2026", 2026}, {"07.12.26", 2026},   {"12/7/2026", 2026},
        {"7-12-2026", 2026},  {"2026-12-07", 2026}, // a date that starts with its year
        {"07.12", 2012},    // no second separator: the field starts after the first one
        {"07122026", 1999}, // no separator at all: the fallback year
        {"1.2.3", 1999},    // "203" is no production year: the fallback year
        {"", 1999},
    };
    for (const Case& c : cases)
        EXPECT_EQ(yearFromShortDate(QString::fromLatin1(c.date), 1999), c.year) << c.date;
}

TEST(YearList, RunsFromTheCurrentYearDownTo1960NewestFirst) {
    const QStringList years = productionYears(2026);
    ASSERT_EQ(years.size(), 67);
    EXPECT_EQ(years.first(), "2026");
    EXPECT_EQ(years[1], "2025");
    EXPECT_EQ(years.last(), "1960");
}

TEST(PrinterCaption, NamesTheFirstPrinterOrReportsNone) {
    EXPECT_EQ(checkPrinters({}).caption, "Not Found Printer");
    EXPECT_FALSE(checkPrinters({}).found);

    const QString name28 = QStringLiteral("HP LaserJet 1320 PCL6 Office"); // 28 characters
    ASSERT_EQ(name28.size(), 28);
    const PrinterCheck one = checkPrinters({name28});
    EXPECT_TRUE(one.found);
    EXPECT_EQ(one.caption, "Official Test to " + name28);

    // A longer name loses its end: 30 characters of the list text less two, cut to 47.
    const PrinterCheck longName = checkPrinters({QStringLiteral("Brother HL-L2350DW series Printer")});
    EXPECT_EQ(longName.caption, "Official Test to Brother HL-L2350DW series Pr");
    EXPECT_EQ(longName.caption.size(), 45);

    // Two short names: the list text runs on into the second one.
    EXPECT_EQ(checkPrinters({"HP", "Canon MG5700 series"}).caption,
              "Official Test to HP\r\nCanon MG5700 series");
}

class StationFileTest : public ReportTest {};

TEST_F(StationFileTest, ThreeLinesGiveTwoEmptyOperatorsFirst) {
    writeFile("SERVICE.ini", toCp1251(QStringLiteral("ГТП Младост\r\nПетров\r\nАнгелов\r\n")));
    ReportState state;
    const ReportSetup setup = setUpReport(state, {}, 0, "SERVICE.ini", "07.12.2026", 2000);
    EXPECT_EQ(state.StationLine, QStringLiteral("ГТП Младост"));
    EXPECT_EQ(setup.operators, (QStringList{"", "", QStringLiteral("Ангелов"), QStringLiteral("Петров")}));
    EXPECT_EQ(state.PrintScale, 1);
}

TEST_F(StationFileTest, LinesAreCutTo30CharactersAndLineSixMayGiveTheScale) {
    const QString longLine = QStringLiteral("Станция за технически прегледи Люлин");
    writeFile("SERVICE.ini",
              toCp1251(longLine + "\nИван\r\nМария\r\nГеорги\r\nАна\r\n7 (scale)\r\nignored line 7\r\n"));
    const StationFileLines station = readStationFile("SERVICE.ini");
    ASSERT_TRUE(station.opened);
    EXPECT_EQ(station.stationLine, longLine.left(30));
    EXPECT_EQ(station.operators.size(), 4);
    EXPECT_EQ(station.scaleDigit, 7);
}

TEST_F(StationFileTest, AMissingFileKeepsTheEarlierStationLine) {
    ReportState state;
    state.StationLine = QStringLiteral("earlier");
    const ReportSetup setup = setUpReport(state, {}, 0, "SERVICE.ini", "07.12.2026", 2000);
    EXPECT_EQ(state.StationLine, "earlier");
    EXPECT_TRUE(setup.operators.isEmpty());
    EXPECT_EQ(state.PrintScale, 1);
}

TEST_F(StationFileTest, AFileSavedAsUtf8IsReadAsUtf8) {
    writeFile("SERVICE.ini", QStringLiteral("ГТП Люлин\r\nИван\r\n").toUtf8());
    EXPECT_EQ(readStationFile("SERVICE.ini").stationLine, QStringLiteral("ГТП Люлин"));
    writeFile("SERVICE.ini", "\xEF\xBB\xBF" + QStringLiteral("ГТП Люлин\r\n").toUtf8());
    EXPECT_EQ(readStationFile("SERVICE.ini").stationLine, QStringLiteral("ГТП Люлин"));
}

TEST_F(StationFileTest, PrintScaleComesFromThePrinterElseLineSixElseOne) {
    auto scaleWith = [&](int pageWidth, const char* line6, int before) {
        writeFile("SERVICE.ini", QByteArray("S\r\n\r\n\r\n\r\n\r\n") + line6 + "\r\n");
        ReportState state;
        state.PrintScale = before;
        const QStringList printers = pageWidth > 0 ? QStringList{"Printer"} : QStringList{};
        setUpReport(state, printers, pageWidth, "SERVICE.ini", "07.12.2026", 2000);
        return state.PrintScale;
    };
    EXPECT_EQ(scaleWith(1000, "3", 0), 3);
    EXPECT_EQ(scaleWith(1000, "0", 0), 1);
    EXPECT_EQ(scaleWith(1000, "x", 0), 1);
    EXPECT_EQ(scaleWith(4960, "3", 0), 4); // the printer's own scale wins
    EXPECT_EQ(scaleWith(2399, "9", 0), 1);
    // A printer always sets the scale anew; with none, the scale of an earlier window stays.
    EXPECT_EQ(scaleWith(1000, "3", 5), 3);
    EXPECT_EQ(scaleWith(0, "3", 5), 5);
    EXPECT_EQ(scaleWith(0, "3", 0), 3);
}
