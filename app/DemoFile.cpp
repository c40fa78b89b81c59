#include "DemoFile.h"

#include "Diagnostics.h"
#include "Files.h"

#include <QFileInfo>

namespace vz {

namespace {
constexpr char kEndOfFileMark = 0x1A;
}

namespace {
// The file as the diagnostic lines name it.
QByteArray shortName(const QFile& file) {
    const QString name = QFileInfo(file.fileName()).fileName();
    return name.isEmpty() ? QByteArrayLiteral("demo file") : name.toUtf8();
}
} // namespace

bool DemoFile::open(const QString& path) {
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        if (!m_file.exists())
            qCInfo(lcFiles, "no %s: demo mode off", shortName(m_file).constData());
        else
            qCWarning(lcFiles, "open %s failed: %s", shortName(m_file).constData(), qUtf8Printable(m_error));
        return false;
    }
    qCInfo(lcFiles, "opened %s: demo mode", shortName(m_file).constData());
    return true;
}

void DemoFile::close() {
    if (m_file.isOpen())
        m_file.close();
    m_endMarkSeen = false;
}

bool DemoFile::isOpen() const {
    return m_file.isOpen();
}

bool DemoFile::atEnd() {
    if (m_endMarkSeen || m_file.atEnd())
        return true;
    char next = 0;
    return m_file.peek(&next, 1) == 1 && next == kEndOfFileMark;
}

bool DemoFile::readLine(QByteArray& line) {
    // A frame is a few dozen bytes, so a longer line is damage. It is taken in pieces of at
    // most MaxLineBytes, one piece per slot, so a step never reads more than a few kilobytes
    // however the file looks, and the lines after it replay as usual.
    const CappedLine read = readCappedLine(m_file, line);
    if (read == CappedLine::Failed) {
        m_error = m_file.errorString();
        return false;
    }
    bool endsAtMark = false;
    const qsizetype mark = line.indexOf(kEndOfFileMark);
    if (mark >= 0) {
        line.truncate(mark);
        endsAtMark = true;
    } else if (read == CappedLine::Cut) {
        // The mark right after a piece, or after one CR, ends the line there just as the end
        // of the file would: a CR before the mark is the line's end, not a piece of its own.
        char next[2] = {};
        const qint64 seen = m_file.peek(next, 2);
        if (seen == 2 && next[0] == '\r' && next[1] == kEndOfFileMark) {
            m_endMarkSeen = true; // every byte of the piece is the line's own
            return true;
        }
        endsAtMark = seen >= 1 && next[0] == kEndOfFileMark;
    }
    if (endsAtMark) {
        m_endMarkSeen = true;
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return true;
}

bool DemoFile::rewind() {
    m_endMarkSeen = false;
    if (!m_file.seek(0)) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

bool DemoFile::replayStep(std::array<QByteArray, 5>& frameSlots) {
    if (!replayLines(frameSlots)) {
        qCWarning(lcFiles, "read %s failed: %s", shortName(m_file).constData(), qUtf8Printable(m_error));
        return false;
    }
    return true;
}

bool DemoFile::replayLines(std::array<QByteArray, 5>& frameSlots) {
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("File not open");
        return false;
    }
    for (int slot = 0; slot < 2; ++slot) {
        if (atEnd()) {
            if (!rewind())
                return false;
            continue;
        }
        QByteArray line;
        if (!readLine(line))
            return false;
        frameSlots[slot] = line;
    }
    return true;
}

} // namespace vz
