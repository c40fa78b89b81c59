#pragma once
// What the readers of the test archive's lines share: the byte search their lines are scanned
// with, and the small steps both the list of tests and the look-up of one test take.
#include "TestArchive.h"

#include <QByteArrayView>
#include <QString>

namespace vz::archive_reading {

// `needle` in `hay` from `from` on: glibc's memmem, many times faster than a byte-wise search
// over the long lines of the archive.
qsizetype find(QByteArrayView hay, QByteArrayView needle, qsizetype from = 0);

// Tells what ended the reading of `file` after line `lastLine`: an error, or a torn last line.
void tellTorn(const ArchiveLineReader& reader, const ArchiveFile& file, int lastLine,
              const ArchiveProblemSink& problems);

// The number of the first test begun in a file (0: none in its first lines).
int firstTestOf(const QString& dir, const ArchiveFile& file);

} // namespace vz::archive_reading
