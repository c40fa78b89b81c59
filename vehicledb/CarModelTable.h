#pragma once
// Read-only access to the limits table CarModel.DB: an SQLite file with one table CarModel
// whose TEXT fields are Mark, Model, COmx, COmn, CO2mx, O2mx, CHmx and RPM. The table's order is
// ascending rowid, and rows are addressed by their 1-based number in that order.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace vz {

class CarModelTable {
public:
    // The fields every limits table has, in the order the import tool writes them.
    static const QStringList& fieldNames();
    // Index of a field name in fieldNames(), ignoring case; -1 for none.
    static int fieldIndex(const QString& name);

    CarModelTable();
    ~CarModelTable();
    CarModelTable(const CarModelTable&) = delete;
    CarModelTable& operator=(const CarModelTable&) = delete;

    // Opens the table read-only. A missing file is reported, never created; a file that is
    // not SQLite, or holds no table CarModel with all the fields, fails with errorText().
    // After a successful open row 1 is current (or the end, when the table has no rows).
    bool open(const QString& path);
    void close();
    bool isOpen() const { return Db.isValid() && Db.isOpen(); }
    // Why the last open failed, in words fit for the window's heading.
    QString errorText() const { return Error; }

    int rowCount() const { return static_cast<int>(Rows.size()); }
    // Makes row n (1-based) current; a number outside the table makes the end current.
    void goToRow(int n);
    void next();
    // True past the last row (and always for a closed or empty table).
    bool atEnd() const { return Current < 1 || Current > rowCount(); }
    int currentRow() const { return Current; }
    // The current row's field as text; empty past the end, for NULL and for unknown names.
    QString field(const QString& name) const;

private:
    using Row = std::array<QString, 8>;
    // Closes the table and keeps `text` as the error; `detail` (the driver's words) goes to
    // the diagnostic line only.
    bool fail(const QString& name, const QString& text, const QString& detail = QString());
    // Loads every row; on failure, what went wrong in the window's words, and in `detail`
    // the driver's.
    QString loadRows(const QString& name, QString& detail);

    QString ConnectionName;
    QSqlDatabase Db;
    std::vector<Row> Rows;
    int Current = 0;
    QString Error;
};

} // namespace vz
