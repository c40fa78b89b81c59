#pragma once
// The demo file VEZARO.DMO: recorded analyser frames, one per line, replayed two lines per
// cycle tick into frame slots 1 and 2 and rewound when it ends.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>

namespace vz {

class DemoFile {
public:
    // Opens the file for reading; false when it cannot be opened.
    bool open(const QString& path);
    void close();
    bool isOpen() const;

    // One replay step: for slot 1 and then slot 2, a file at its end is rewound and the slot
    // left as it is; otherwise the next line goes into the slot. Lines are used as they
    // stand, without their CR LF or LF. A 0x1A byte counts as the end of the file. A line
    // longer than MaxLineBytes (common/Files.h) fills one slot per MaxLineBytes piece.
    // Returns false on an I/O error (or a closed file); errorString() then says why.
    bool replayStep(std::array<QByteArray, 5>& frameSlots);
    QString errorString() const { return m_error; }

private:
    bool replayLines(std::array<QByteArray, 5>& frameSlots);
    bool atEnd();
    bool readLine(QByteArray& line);
    bool rewind();

    QFile m_file;
    bool m_endMarkSeen = false; // a 0x1A was read: the rest of the file does not count
    QString m_error;
};

} // namespace vz
