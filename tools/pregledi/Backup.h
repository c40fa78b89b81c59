#pragma once
// `pregledi backup DIR [--with-key]`: the whole trail of a station directory (its log files,
// its chain and what the station set aside; the key only when asked) copied into DIR, each
// file whole and durable before it takes its name, never through a link; then the copy
// verified.
#include <QString>
#include <QTextStream>

namespace vz {

// Exit status: that of verify on the copy, 1 when a file could not be copied, 2 when DIR
// cannot be used (the station directory itself, not a directory, or holding trail files of
// an earlier backup that this one would not replace).
int runBackupCommand(const QString& stationDir, const QString& target, bool withKey, QTextStream& out,
                     QTextStream& err);

} // namespace vz
