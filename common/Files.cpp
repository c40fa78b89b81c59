#include "Files.h"

#include <QDir>
#include <QFileDevice>

namespace vz {

QString findFileNoCase(const QString& dir, const QString& name) {
    const QDir d(dir);
    if (d.exists(name))
        return d.filePath(name);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return d.filePath(name);
}

QList<QByteArray> splitLines(const QByteArray& content) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0) {
            lines.append(content.mid(start));
            break;
        }
        qsizetype stop = end;
        if (stop > start && content[stop - 1] == '\r')
            --stop;
        lines.append(content.mid(start, stop - start));
        start = end + 1;
    }
    return lines;
}

CappedLine readCappedLine(QFileDevice& file, QByteArray& line, qsizetype maxBytes) {
    file.unsetError();
    // QIODevice::readLine stops after an LF or maxSize - 1 bytes, so this takes one line or
    // its first maxBytes bytes. At the end of the file it gives -1 without an error.
    line.resize(maxBytes + 1);
    const qint64 got = file.readLine(line.data(), maxBytes + 1);
    if (got < 0 && file.error() != QFileDevice::NoError)
        return CappedLine::Failed;
    line.truncate(got < 0 ? 0 : got);
    if (line.endsWith('\n')) {
        line.chop(1);
    } else if (line.size() == maxBytes) {
        // Exactly full: the line may still end right here, its line end being the next bytes.
        char next[2] = {};
        const qint64 seen = file.peek(next, 2);
        if (seen < 0)
            return CappedLine::Failed;
        if (seen > 0 && next[0] == '\n') {
            // An LF: a CR kept as the last byte is the CR of a CR LF, dropped below.
            if (file.skip(1) != 1)
                return CappedLine::Failed;
        } else if (seen > 0 && next[0] == '\r' && (seen == 1 || next[1] == '\n')) {
            // A CR LF, or a lone CR at the end of the file: every byte read is the line's own,
            // a CR at its end too.
            return file.skip(seen) == seen ? CappedLine::Whole : CappedLine::Failed;
        } else if (seen > 0) {
            return CappedLine::Cut;
        }
    }
    // What is left is the whole line: drop the CR of a CR LF, or of a last line ending in CR.
    if (line.endsWith('\r'))
        line.chop(1);
    return CappedLine::Whole;
}

bool skipRestOfLine(QFileDevice& file) {
    QByteArray piece;
    for (;;) {
        switch (readCappedLine(file, piece)) {
        case CappedLine::Whole:
            return true;
        case CappedLine::Failed:
            return false;
        case CappedLine::Cut:
            break;
        }
    }
}

} // namespace vz
