#pragma once
// Small file helpers: every station file lives in the current directory.
#include <QByteArray>
#include <QList>
#include <QString>

class QFileDevice;

namespace vz {

// The path of the file in `dir` whose name equals `name` ignoring case; when none exists,
// `dir`/`name` itself, so a writer creates the file under the name it asked for.
QString findFileNoCase(const QString& dir, const QString& name);

// Splits file content into lines ending in CR LF or LF (the line end is dropped).
// A final line without a line end counts as a line.
QList<QByteArray> splitLines(const QByteArray& content);

// The longest line the line-by-line readers of the station's text files keep. No field of
// those files comes near it, so a longer line is damage, and cutting it here keeps a runaway
// file (a multi-megabyte file without a single line end) from being loaded whole.
inline constexpr qsizetype MaxLineBytes = 4096;

enum class CappedLine {
    Whole,  // a whole line (or nothing at the end of the file)
    Cut,    // the first maxBytes bytes of a longer line; the rest is still unread
    Failed, // an I/O error
};

// Reads the next line of `file` into `line`, without its line end (LF or CR LF, or a lone CR
// before the end of the file), keeping at most `maxBytes` (> 0) bytes. It takes no more than
// maxBytes + 2 bytes from the file. A line that does not fit comes back Cut and the file stays inside it:
// the next call goes on with the rest of the same line, and skipRestOfLine drops that rest.
CappedLine readCappedLine(QFileDevice& file, QByteArray& line, qsizetype maxBytes = MaxLineBytes);

// Drops the rest of a cut line, up to and including its line end, a piece at a time so that
// memory stays bounded however long the line is. Returns false on an I/O error.
bool skipRestOfLine(QFileDevice& file);

} // namespace vz
