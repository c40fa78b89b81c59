#pragma once
// Turns a station's CSV of vehicle limits into a CarModel.DB limits table.
//
// The CSV has a header naming the eight fields (any order, any case) and one row per model;
// fields are separated by ',' (or ';' when the header uses ';'), may be quoted with '"' ("" is
// a quote inside), and unquoted fields lose surrounding blanks. The text is UTF-8, or code page
// 1251 when it is not valid UTF-8. Rows keep their order in the table.
#include "LimitTexts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class QTextStream;

namespace vz {

struct CsvProblem {
    int Line = 0; // 1-based line number in the CSV
    QString Text;
};

struct ParsedLimits {
    std::vector<LimitRow> Rows;
    std::vector<CsvProblem> Problems; // bad rows (or a bad header); nothing is written then
    std::vector<CsvProblem> Warnings; // accepted, but worth telling the station
};

// Splits one CSV line; returns false with a reason for an unclosed quote or text after one.
bool splitCsvLine(const QString& line, QChar separator, QStringList& fields, QString& reason);

ParsedLimits parseLimitsCsv(const QByteArray& content);

// Writes the rows as table CarModel into `path`, all or nothing: the table is written in one
// transaction to a temporary file beside `path`, which replaces `path` only when complete.
// An existing `path` must be a regular file: a symbolic link, FIFO, device node or directory
// there is refused before anything is created, and left as it is.
// Returns an empty text on success, otherwise what went wrong.
QString writeLimitsTable(const std::vector<LimitRow>& rows, const QString& path);

// The whole tool: reads `input`, reports every bad row with its line number to `err`, and
// writes `output` only when there is none. Returns the exit code (0 written, 1 not).
int runCarModelImport(const QString& input, const QString& output, QTextStream& out, QTextStream& err);

} // namespace vz
