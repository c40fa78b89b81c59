#pragma once
// What ties the monthly files of a series of two-speed tests into one series, beside the
// tests' own lines (ProtocolArchive.h). Three more kinds of line, each sealed in its file's
// chain like every other line:
//
//   link      the first line of every month file the station begins (its chain's entry 1):
//             {"file" (the file's own name), "highest" (the series' highest number so far),
//              "kind": "link", "previous" (the file of the series' latest test; null for the
//              series' first file), "previousEntry" and "previousHead" (the last entry of that
//              file's chain then: its number and its value, 64 hex digits; null when it could
//              not be read, "previousTrouble" saying why), "series", "time"}
//             So each month seals the head of the one before: a month removed, copied under
//             another name, planted or put in place of another breaks the links.
//   clock     written before a test's started line when the clock is behind the series'
//             latest test (the new start is earlier than the latest test's start):
//             {"kind": "clock", "latest" (the latest test's start), "latestFile",
//              "latestNumber", "number" (the test it explains), "series", "time" (the new
//              start)}. The test still goes into the file of its own start's month; this line
//             is what explains a number out of month order. Numbers, not months, give the order.
//   numbered  the series' register, Protokoli-nomera.jsonl (Obuchenie-nomera.jsonl) with its
//             own chain: one line per number given, written after the test's started line:
//             {"file", "kind": "numbered", "number", "series", "time"}. It is the series'
//             high-water mark outside the month files: the next number is one past the highest
//             of the register and of every month file, so removing a month file never brings
//             its numbers back.
#include "ProtocolArchive.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace vz {

inline constexpr char kStartedKind[] = "started";
inline constexpr char kSamplesKind[] = "samples";
inline constexpr char kResultKind[] = "result";
inline constexpr char kLinkKind[] = "link";
inline constexpr char kClockKind[] = "clock";
inline constexpr char kNumberedKind[] = "numbered";

// Protokoli-nomera.jsonl, Obuchenie-nomera.jsonl (their chains: .chain).
QString archiveRegisterName(ArchiveSeries series);

// The series' latest test (ProtocolArchive.h), from the register's last line and each month file's last
// started line; the latest month file is read whole, so that no started line in it is passed over.
SeriesLatest findSeriesLatest(const QString& dir, ArchiveSeries series);

// The last entry of a file's chain, as a link seals it.
struct ChainHeadSeal {
    int entry = 0;
    QByteArray hash; // 32 bytes; empty when there is none
    QString trouble; // why there is none
};
ChainHeadSeal readChainHeadSeal(const QString& dir, const QString& linesName);

QJsonObject linkLine(ArchiveSeries series, const QString& file, int highest, const QString& previous,
                     const ChainHeadSeal& head, const QDateTime& time);
QJsonObject clockLine(ArchiveSeries series, int number, const SeriesLatest& latest, const QDateTime& time);
QJsonObject numberedLine(ArchiveSeries series, int number, const QString& file, const QDateTime& time);

} // namespace vz
