// The CSV import tool: a station's CSV of vehicle limits through the whole tool into a
// CarModel.DB in a scratch directory, then read back as the limits window reads it. A table
// is written only for a CSV without bad rows; it must then hold exactly the parsed rows in
// their order, every row must be selectable, and the make list must follow the rows. A
// refused CSV leaves no table and no temporary file behind.
//
// Input: the CSV's bytes.
#include "CarModelImport.h"
#include "CarModelTable.h"
#include "FuzzSupport.h"
#include "LimitTexts.h"
#include "MakeIndex.h"
#include "SelectedVehicle.h"

#include <QFile>
#include <QTextStream>

using vzfuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    const QByteArray csv(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    dir.write(QStringLiteral("station.csv"), csv);
    const QString table = dir.filePath(QStringLiteral("CarModel.DB"));

    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const int code = vz::runCarModelImport(dir.filePath(QStringLiteral("station.csv")), table, out, err);
    const vz::ParsedLimits parsed = vz::parseLimitsCsv(csv);
    require(code == (parsed.Problems.empty() ? 0 : 1), "the tool's exit code does not match the CSV");
    if (code != 0) {
        require(!QFile::exists(table), "a refused CSV left a table");
        require(dir.entryCount() == 1, "a refused CSV left a file behind");
        return 0;
    }
    require(dir.entryCount() == 2, "the import left a temporary file behind");

    vz::CarModelTable db;
    require(db.open(table), "the written table does not open");
    require(db.rowCount() == static_cast<int>(parsed.Rows.size()), "the table does not hold every row");
    QStringList marks;
    for (const vz::LimitRow& row : parsed.Rows) {
        require(!db.atEnd(), "the table ended early");
        const vz::LimitRow stored = vz::currentLimitRow(db);
        require(stored == row, "a row did not read back as it was imported");
        vz::SelectedVehicle vehicle;
        require(!vz::applySelection(stored, vehicle).has_value(), "an imported row cannot be selected");
        require(vehicle.LimitCOmx == row.COmx.toUInt() && vehicle.LimitCHmx == row.CHmx.toUInt(),
                "a selected row has other limits");
        const vz::RowTexts texts = vz::showValTexts(stored);
        require(texts.Label1.startsWith(row.Mark), "the heading does not start with the make");
        marks << row.Mark;
        db.next();
    }
    require(db.atEnd(), "the table holds more rows than were imported");
    const vz::MakeIndex fromTable = vz::buildMakeIndex(db);
    const vz::MakeIndex fromRows = vz::buildMakeIndex(marks);
    require(fromTable.Makes == fromRows.Makes && fromTable.MakeStart == fromRows.MakeStart,
            "the make list of the table differs from the rows'");
    db.close();
    return 0;
}
