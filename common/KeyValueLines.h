#pragma once
// The reader of the station's KEY = VALUE files (TWOSPEED.ini): small UTF-8 text files with
// one value per line. The reader knows lines, comments, keys and values and the line number
// of each; what the keys mean, their values' rules and the messages are the caller's.
//
//   - A byte-order mark at the start of the file, or of any line, is dropped; one inside a
//     line stays (U+FEFF, which is no white space).
//   - Lines end in LF or CR LF; a last line without a line end counts as a line. A lone CR
//     inside a line stays part of it (at its ends it is white space, see below).
//   - Each line is decoded as UTF-8 on its own; a byte that is not UTF-8 becomes U+FFFD, so a
//     caller can refuse such a value by finding that character.
//   - White space (QChar::isSpace: blanks, tabs, CR, no-break spaces, ...) around a line, a
//     key and a value is dropped. Blank lines and lines whose first character is '#' or ';'
//     are comments and are not returned.
//   - A line is split at its first '='. A line without one is returned as such, for the
//     caller to refuse by its number.
//   - Keys are neither checked nor merged: a key given twice comes back twice, in file order.
//   - No line is cut: the file as a whole is bounded (readKeyValueFile), so a long line is
//     read whole and a caller quoting it decides how much to show.
#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>

namespace vz {

// A line of a KEY = VALUE file that is neither blank nor a comment.
struct KeyValueLine {
    int number = 0;         // 1-based, counting every line of the file, comments and blanks too
    bool hasEquals = false; // false: the line holds no '='; key and value are then empty
    QString text;           // the whole line without surrounding white space
    QString key;            // before the first '=', without surrounding white space
    QString value;          // after the first '=', without surrounding white space

    // Keys are written in any letter case.
    bool keyIs(QLatin1String name) const { return key.compare(name, Qt::CaseInsensitive) == 0; }
};

// The non-comment lines of a file's content, in file order.
QList<KeyValueLine> readKeyValueLines(const QByteArray& content);

// A KEY = VALUE file read whole, bounded in size.
struct KeyValueFile {
    enum class Status {
        Read,       // `content` holds the whole file
        Missing,    // no such file
        NotRegular, // a directory, FIFO, device or link to nothing: never opened, so that a
                    // FIFO cannot block the reader
        Unreadable, // it could not be opened; `error` says why
        TooLarge,   // larger than the bound; nothing of it is used
    };
    Status status = Status::Missing;
    QByteArray content;
    QString error;
};

// Reads the file at `path` if it is a regular file of at most `maxBytes` bytes. It takes at
// most maxBytes + 1 bytes from the file, whatever its size.
KeyValueFile readKeyValueFile(const QString& path, qsizetype maxBytes);

} // namespace vz
