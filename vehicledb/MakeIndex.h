#pragma once
// The make list of the limits window and its index MakeStart: one entry per run of rows that
// share a Mark, in table order. Rows of one make stand next to each other in the table; a make
// whose rows stand in two separate runs is listed twice.
#include <QString>
#include <QStringList>
#include <vector>

namespace vz {

class CarModelTable;

struct MakeIndex {
    QStringList Makes;          // the make list, one entry per run
    std::vector<int> MakeStart; // 1-based row number of each entry's first row; grows with the table
    int RowCount = 0;

    int makeCount() const { return static_cast<int>(MakeStart.size()); }
    // First row of entry i and the first row after it (the row count plus 1 for the last).
    int firstRow(int i) const;
    int endRow(int i) const;
    // The entry whose run holds the given row, or -1 outside the table.
    int makeOfRow(int row) const;
};

// Builds the index from the Marks of all rows in table order (exact, case-sensitive compare).
MakeIndex buildMakeIndex(const QStringList& marksInRowOrder);
// Walks the whole table from row 1; leaves the end current.
MakeIndex buildMakeIndex(CarModelTable& table);

} // namespace vz
