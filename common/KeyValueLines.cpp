#include "KeyValueLines.h"

#include "Files.h"

#include <QFile>
#include <QFileInfo>

namespace vz {

QList<KeyValueLine> readKeyValueLines(const QByteArray& content) {
    // The UTF-8 decoding below drops a byte-order mark at the start of each line as well; the
    // file's own is dropped here all the same, so that the rule does not rest on that alone.
    const QByteArray bom("\xEF\xBB\xBF");
    const QList<QByteArray> lines = splitLines(content.startsWith(bom) ? content.mid(bom.size()) : content);
    QList<KeyValueLine> result;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        KeyValueLine line;
        line.number = int(i + 1);
        line.text = QString::fromUtf8(lines[i]).trimmed();
        if (line.text.isEmpty() || line.text.startsWith(u'#') || line.text.startsWith(u';'))
            continue;
        const qsizetype equals = line.text.indexOf(u'=');
        line.hasEquals = equals >= 0;
        if (line.hasEquals) {
            line.key = line.text.left(equals).trimmed();
            line.value = line.text.mid(equals + 1).trimmed();
        }
        result.append(std::move(line));
    }
    return result;
}

KeyValueFile readKeyValueFile(const QString& path, qsizetype maxBytes) {
    KeyValueFile result;
    QFile file(path);
    if (!file.exists())
        return result;
    // Checked before opening: opening a FIFO would wait for a writer.
    if (!QFileInfo(path).isFile()) {
        result.status = KeyValueFile::Status::NotRegular;
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = KeyValueFile::Status::Unreadable;
        result.error = file.errorString();
        return result;
    }
    result.content = file.read(maxBytes + 1);
    if (result.content.size() > maxBytes) {
        result.status = KeyValueFile::Status::TooLarge;
        result.content.clear();
        return result;
    }
    result.status = KeyValueFile::Status::Read;
    return result;
}

} // namespace vz
