#pragma once
// The protocol of a recorded test, from the archive's lines (TwoSpeedRecord.h documents them):
// the same page a finished test prints, made again from its started and result lines, for a
// reprint or for the station showing an earlier test. Every value is printed from what the
// lines hold: the averages' texts and checks as the test wrote them, the limits of a phase
// without an average from the limit set of the started line, the set-up values that differ
// from the defaults from its "setup". A field the lines lack is left empty (or "—"), never
// made up.
//
// Later lines add, and the page shows where present: the result's "ending" ("completed",
// "aborted", "interrupted", "time-limit") and "failingAverage" (the phase's failing average,
// with its "checks" or only its values); the started line's "declaration" ({"key", "text"}),
// "trainingReasons" ([{"key", "text"}...]) and, in "limitSet", "sources" (limit name ->
// {"key", "text"} or a text) and "tableChecksum". An older line without them prints as it
// always did.
#include "ProtocolPage.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace vz {

// `seal` is the result line's chain value (empty when there is none, and `sealTrouble` then
// says why, as the foot prints it). The station line is not in the record: the caller gives
// it, or leaves it empty. The copy mark is the caller's to set.
ProtocolData protocolDataFromRecord(const QJsonObject& started, const QJsonObject& result,
                                    const QString& stationLine, const QByteArray& seal,
                                    const QString& sealTrouble);

} // namespace vz
