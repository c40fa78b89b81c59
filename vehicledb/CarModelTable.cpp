#include "CarModelTable.h"

#include "Diagnostics.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace vz {

namespace {
QString nextConnectionName() {
    // Every open table has its own connection: the limits window made at start-up and the
    // one made for F1 BASE may both be alive at once.
    static std::atomic<int> counter{0};
    return QStringLiteral("CarModelTable-%1").arg(++counter);
}
} // namespace

const QStringList& CarModelTable::fieldNames() {
    static const QStringList names{"Mark", "Model", "COmx", "COmn", "CO2mx", "O2mx", "CHmx", "RPM"};
    return names;
}

int CarModelTable::fieldIndex(const QString& name) {
    const QStringList& names = fieldNames();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

CarModelTable::CarModelTable() = default;

CarModelTable::~CarModelTable() {
    close();
}

bool CarModelTable::fail(const QString& name, const QString& text, const QString& detail) {
    close();
    Error = text;
    const QString why = detail.isEmpty() ? text : text + QStringLiteral(" (") + detail + u')';
    qCWarning(lcFiles, "open %s failed: %s", qUtf8Printable(name), qUtf8Printable(why));
    return false;
}

bool CarModelTable::open(const QString& path) {
    close();
    Error.clear();
    const QFileInfo info(path);
    const QString name = info.fileName();
    // SQLite would create a missing file on a read-write open; ours is read-only, but the
    // check first also keeps the message plain.
    if (!info.exists())
        return fail(name, QStringLiteral("%1 not found").arg(name));
    if (!info.isFile() || !info.isReadable())
        return fail(name, QStringLiteral("%1 cannot be read").arg(name));

    ConnectionName = nextConnectionName();
    Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName);
    if (!Db.isValid())
        return fail(name, QStringLiteral("SQLite driver missing"));
    Db.setDatabaseName(info.absoluteFilePath());
    Db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!Db.open())
        return fail(name, QStringLiteral("%1 cannot be opened").arg(name), Db.lastError().text());

    // Queries must be gone before a failure removes the connection, hence the helper.
    QString detail;
    const QString problem = loadRows(name, detail);
    if (!problem.isEmpty())
        return fail(name, problem, detail);
    Current = 1;
    qCInfo(lcFiles, "opened %s: %d rows", qUtf8Printable(name), rowCount());
    return true;
}

QString CarModelTable::loadRows(const QString& name, QString& detail) {
    // SQLite opens any file lazily; the first query tells whether it is a database at all.
    QSqlQuery probe(Db);
    if (!probe.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = "
                                   "'CarModel' COLLATE NOCASE"))) {
        detail = probe.lastError().text();
        return QStringLiteral("%1 is not an SQLite database").arg(name);
    }
    if (!probe.next())
        return QStringLiteral("%1 has no table CarModel").arg(name);

    QSqlQuery rows(Db);
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral("SELECT %1 FROM CarModel ORDER BY rowid").arg(fieldNames().join(u", ")))) {
        detail = rows.lastError().text();
        return QStringLiteral("%1: table CarModel lacks a field").arg(name);
    }
    // The table is small (one row per model); holding it makes row moves free and lets the
    // window move between rows without a scrollable cursor.
    while (rows.next()) {
        Row row;
        for (int i = 0; i < 8; ++i)
            row[static_cast<size_t>(i)] = rows.value(i).toString();
        Rows.push_back(std::move(row));
    }
    if (rows.lastError().isValid()) {
        detail = rows.lastError().text();
        return QStringLiteral("%1 cannot be read").arg(name);
    }
    return {};
}

void CarModelTable::close() {
    Rows.clear();
    Current = 0;
    if (ConnectionName.isEmpty())
        return;
    if (Db.isValid())
        Db.close();
    Db = QSqlDatabase(); // the last handle must go before the connection is removed
    QSqlDatabase::removeDatabase(ConnectionName);
    ConnectionName.clear();
}

void CarModelTable::goToRow(int n) {
    Current = (n >= 1 && n <= rowCount()) ? n : rowCount() + 1;
}

void CarModelTable::next() {
    if (!atEnd())
        ++Current;
}

QString CarModelTable::field(const QString& name) const {
    if (atEnd())
        return {};
    const int i = fieldIndex(name);
    return i < 0 ? QString() : Rows[static_cast<size_t>(Current - 1)][static_cast<size_t>(i)];
}

} // namespace vz
