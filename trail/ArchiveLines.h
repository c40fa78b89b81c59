#pragma once
// The archive of two-speed tests as the station itself reads it back: the names of its files,
// and its lines read forward (every line, or only those that hold a mark) or from the end.
// ProtocolArchive writes with these; the log tool has readers of its own (TestArchive.h).
#include "ProtocolArchive.h"
#include "StationFile.h"

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>

namespace vz {

// No line of the archive comes near this: a result line holds every sample of a test.
constexpr qsizetype kMaxArchiveLine = 4 * 1024 * 1024;
constexpr int64_t kMaxArchiveFile = int64_t(2) * 1024 * 1024 * 1024;

const char* archivePrefix(ArchiveSeries series);     // "Protokoli", "Obuchenie"
const char* archiveSeriesName(ArchiveSeries series); // "official", "training"
// Protokoli-2026-12.jsonl -> Protokoli-2026-12.chain
QString archiveChainName(const QString& linesName);

// The months of a series that have a line file, in order, told by their names only:
// PREFIX-YYYY-MM.jsonl.
QList<QDate> archiveMonths(const QString& dir, ArchiveSeries series);

// Compact JSON puts the keys in order, so a kind is always spelled the same way in a line:
// "kind":"started" marks a started line wherever it is looked for.
QByteArray kindMark(const char* kind);

// Every whole line of an archive file, streamed to `take` (its number in the file, from 1, and
// its object; a line that is not a JSON object gives an empty object). With `only`, just the
// lines that hold it are parsed (most lines are samples, and big). False when the file cannot
// be read (`error` says why; a missing file is an error too).
bool forEachArchiveLine(const QString& path, const std::function<void(int, const QJsonObject&)>& take,
                        QString* error, const QByteArray& only = {});

// The number of whole lines of an open archive file, without reading what they say.
int countArchiveLines(StationFile& file);

// The last whole lines of an archive file, back to and with the last one that holds `until`
// (or as far as 64 MB back), oldest first. Nothing when the file cannot be read.
QList<QJsonObject> lastArchiveLines(const QString& path, const QByteArray& until);

// The last line of `kind` in a file whose "number" is above 0 (what the file says of its
// latest test, or the register of its latest number), looked for from the end in growing
// windows; an empty object when there is none. Lines that are not JSON are passed over, so a
// damaged line cannot hide the one before it.
QJsonObject lastLineOfKind(const QString& path, const char* kind);

} // namespace vz
