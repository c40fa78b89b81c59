#include "MakeIndex.h"

#include "CarModelTable.h"

#include <algorithm>

namespace vz {

int MakeIndex::firstRow(int i) const {
    return (i >= 0 && i < makeCount()) ? MakeStart[static_cast<size_t>(i)] : 0;
}

int MakeIndex::endRow(int i) const {
    if (i < 0 || i >= makeCount())
        return 0;
    return i + 1 < makeCount() ? MakeStart[static_cast<size_t>(i + 1)] : RowCount + 1;
}

int MakeIndex::makeOfRow(int row) const {
    if (row < 1 || row > RowCount || MakeStart.empty())
        return -1;
    // MakeStart ascends; the run holding the row is the last one starting at or before it.
    const auto after = std::upper_bound(MakeStart.begin(), MakeStart.end(), row);
    return static_cast<int>(after - MakeStart.begin()) - 1;
}

MakeIndex buildMakeIndex(const QStringList& marksInRowOrder) {
    MakeIndex index;
    index.RowCount = static_cast<int>(marksInRowOrder.size());
    for (int row = 1; row <= index.RowCount; ++row) {
        const QString& mark = marksInRowOrder[row - 1];
        if (index.Makes.isEmpty() || mark != index.Makes.last()) {
            index.Makes.append(mark);
            index.MakeStart.push_back(row);
        }
    }
    return index;
}

MakeIndex buildMakeIndex(CarModelTable& table) {
    QStringList marks;
    for (table.goToRow(1); !table.atEnd(); table.next())
        marks.append(table.field(QStringLiteral("Mark")));
    return buildMakeIndex(marks);
}

} // namespace vz
