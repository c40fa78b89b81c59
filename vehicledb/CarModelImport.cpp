#include "CarModelImport.h"

#include "CarModelTable.h"
#include "Cp1251.h"
#include "Files.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTextStream>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace vz {

namespace {
constexpr int FieldCount = 8;
// Limits are 16-bit values in the window; larger numbers would wrap to wrong limits.
constexpr int MaxLimit = 65535;

QString decodeCsv(QByteArray content) {
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(content);
    return utf8.hasError() ? fromCp1251(content) : text;
}

bool isDigits(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// Where each of the table's fields stands in a CSV row, from the header; empty if the header
// does not name exactly the eight fields.
std::vector<int> headerColumns(const QStringList& header) {
    if (header.size() != FieldCount)
        return {};
    std::vector<int> columns(FieldCount, -1);
    for (int at = 0; at < FieldCount; ++at) {
        const int field = CarModelTable::fieldIndex(header[at]);
        if (field < 0 || columns[static_cast<size_t>(field)] >= 0)
            return {};
        columns[static_cast<size_t>(field)] = at;
    }
    return columns;
}

QString rowProblem(const QStringList& fields, const std::vector<int>& columns, LimitRow& row) {
    if (fields.size() != FieldCount)
        return QStringLiteral("%1 fields, expected %2").arg(fields.size()).arg(FieldCount);
    QString* targets[FieldCount] = {&row.Mark,  &row.Model, &row.COmx, &row.COmn,
                                    &row.CO2mx, &row.O2mx,  &row.CHmx, &row.RPM};
    QStringList reasons;
    for (int i = 0; i < FieldCount; ++i) {
        const QString& value = fields[columns[static_cast<size_t>(i)]];
        const QString& name = CarModelTable::fieldNames()[i];
        *targets[i] = value;
        if (i < 2) {
            if (value.trimmed().isEmpty())
                reasons << QStringLiteral("%1 is empty").arg(name);
        } else if (!isDigits(value)) {
            reasons << QStringLiteral("%1 '%2' is not a number").arg(name, value);
        } else if (bool ok = false; value.toLongLong(&ok) > MaxLimit || !ok) {
            reasons << QStringLiteral("%1 %2 is above %3").arg(name, value).arg(MaxLimit);
        }
    }
    return reasons.join(QStringLiteral("; "));
}
} // namespace

bool splitCsvLine(const QString& line, QChar separator, QStringList& fields, QString& reason) {
    fields.clear();
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        QString field;
        while (i < n && line[i] == u' ')
            ++i;
        if (i < n && line[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == u'"') {
                    if (i + 1 < n && line[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                field += line[i++];
            }
            if (!closed) {
                reason = QStringLiteral("a quote is not closed");
                return false;
            }
            while (i < n && line[i] == u' ')
                ++i;
            if (i < n && line[i] != separator) {
                reason = QStringLiteral("text after a closing quote");
                return false;
            }
        } else {
            const qsizetype end = line.indexOf(separator, i);
            field = line.mid(i, end < 0 ? -1 : end - i).trimmed();
            i = end < 0 ? n : end;
        }
        // A byte-order mark inside the file (two UTF-8 files pasted together) is invisible and
        // the table would drop it from the start of a text anyway: it is no part of a field.
        field.remove(QChar(0xFEFF));
        // The table keeps a NUL byte, but it reads back as the end of the text: the row would
        // not be the row the CSV gave.
        if (field.contains(QChar(u'\0'))) {
            reason = QStringLiteral("a field holds a NUL byte");
            return false;
        }
        fields << field;
        if (i >= n)
            return true;
        ++i; // the separator
    }
}

ParsedLimits parseLimitsCsv(const QByteArray& content) {
    ParsedLimits result;
    const QString text = decodeCsv(content);
    const QStringList lines = text.split(u'\n');
    std::vector<int> columns;
    QChar separator = u',';
    std::set<QString> earlierMakes;
    QString lastMark;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const int lineNo = static_cast<int>(k + 1);
        QString line = lines[k];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (columns.empty()) {
            if (!line.contains(u',') && line.contains(u';'))
                separator = u';';
            QStringList header;
            QString reason;
            if (splitCsvLine(line, separator, header, reason))
                columns = headerColumns(header);
            if (columns.empty()) {
                result.Problems.push_back({lineNo, QStringLiteral("the header must name the fields %1")
                                                       .arg(CarModelTable::fieldNames().join(u','))});
                return result;
            }
            continue;
        }
        QStringList fields;
        QString reason;
        LimitRow row;
        if (splitCsvLine(line, separator, fields, reason))
            reason = rowProblem(fields, columns, row);
        if (!reason.isEmpty()) {
            result.Problems.push_back({lineNo, reason});
            continue;
        }
        if (row.Mark != lastMark) {
            if (earlierMakes.count(row.Mark))
                result.Warnings.push_back({lineNo, QStringLiteral("make '%1' stands apart from its earlier "
                                                                  "rows; the window lists it twice")
                                                       .arg(row.Mark)});
            earlierMakes.insert(row.Mark);
            lastMark = row.Mark;
        }
        result.Rows.push_back(row);
    }
    if (columns.empty())
        result.Problems.push_back({1, QStringLiteral("no header line")});
    else if (result.Rows.empty() && result.Problems.empty())
        result.Problems.push_back({static_cast<int>(lines.size()), QStringLiteral("no vehicle rows")});
    return result;
}

namespace {
QString insertRows(QSqlDatabase& db, const std::vector<LimitRow>& rows) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TABLE CarModel (Mark TEXT, Model TEXT, COmx TEXT, COmn TEXT, "
                                   "CO2mx TEXT, O2mx TEXT, CHmx TEXT, RPM TEXT)")))
        return query.lastError().text();
    if (!db.transaction())
        return db.lastError().text();
    if (!query.prepare(
            QStringLiteral("INSERT INTO CarModel (Mark, Model, COmx, COmn, CO2mx, O2mx, CHmx, RPM) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")))
        return query.lastError().text();
    for (const LimitRow& r : rows) {
        for (const QString* v : {&r.Mark, &r.Model, &r.COmx, &r.COmn, &r.CO2mx, &r.O2mx, &r.CHmx, &r.RPM})
            query.addBindValue(*v);
        if (!query.exec()) {
            const QString error = query.lastError().text();
            db.rollback();
            return error;
        }
    }
    if (!db.commit())
        return db.lastError().text();
    return {};
}

// The table may only replace a regular file (or be created). rename() would just as readily
// put it in place of a symbolic link, a FIFO or a device node, so those are refused; lstat()
// looks at the name itself, so a link is refused whatever it points to. Empty when allowed.
QString outputRefusal(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        const int code = errno;
        if (code == ENOENT)
            return {};
        return QStringLiteral("cannot be examined: %1").arg(QString::fromLocal8Bit(std::strerror(code)));
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("exists and is not a regular file; left unchanged");
    return {};
}

} // namespace

QString writeLimitsTable(const std::vector<LimitRow>& rows, const QString& path) {
    if (const QString refusal = outputRefusal(path); !refusal.isEmpty())
        return refusal;
    const QFileInfo target(path);
    QString tempPath;
    {
        QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                            QStringLiteral(".XXXXXX"));
        temp.setAutoRemove(false);
        if (!temp.open())
            return QStringLiteral("cannot create a file in %1").arg(target.absolutePath());
        tempPath = temp.fileName();
    }
    static std::atomic<int> counter{0};
    const QString connection = QStringLiteral("CarModelImport-%1").arg(++counter);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(tempPath);
        if (!db.open())
            error = db.lastError().text();
        else
            error = insertRows(db, rows);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (error.isEmpty()) {
        QFile::setPermissions(tempPath,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        // Looked at again, in case the name was taken while the table was being written.
        error = outputRefusal(path);
    }
    if (error.isEmpty()) {
        // rename() replaces the old table in one step: a reader sees the old or the new one.
        if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path).constData()) != 0)
            error = QStringLiteral("cannot replace %1").arg(path);
    }
    if (!error.isEmpty()) {
        QFile::remove(tempPath);
        QFile::remove(tempPath + QStringLiteral("-journal"));
    }
    return error;
}

int runCarModelImport(const QString& input, const QString& output, QTextStream& out, QTextStream& err) {
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        err << input << ": cannot be read\n";
        return 1;
    }
    const ParsedLimits parsed = parseLimitsCsv(file.readAll());
    for (const CsvProblem& w : parsed.Warnings)
        err << input << ":" << w.Line << ": warning: " << w.Text << "\n";
    for (const CsvProblem& p : parsed.Problems)
        err << input << ":" << p.Line << ": " << p.Text << "\n";
    if (!parsed.Problems.empty()) {
        err << output << " not written: " << parsed.Problems.size() << " bad line(s)\n";
        return 1;
    }
    const QString error = writeLimitsTable(parsed.Rows, output);
    if (!error.isEmpty()) {
        err << output << ": " << error << "\n";
        return 1;
    }
    out << output << ": " << parsed.Rows.size() << " rows written\n";
    return 0;
}

} // namespace vz
