#include "Files.h"

#include <QDir>

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

} // namespace vz
