#pragma once
// Small file helpers: every station file lives in the current directory.
#include <QByteArray>
#include <QList>
#include <QString>

namespace vz {

// The path of the file in `dir` whose name equals `name` ignoring case; when none exists,
// `dir`/`name` itself, so a writer creates the file under the name it asked for.
QString findFileNoCase(const QString& dir, const QString& name);

// Splits file content into lines ending in CR LF or LF (the line end is dropped).
// A final line without a line end counts as a line.
QList<QByteArray> splitLines(const QByteArray& content);

} // namespace vz
