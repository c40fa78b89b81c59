#pragma once
// The two-speed test as the archive keeps it: the JSON objects of its "started", "samples" and
// "result" lines (ProtocolArchive adds "kind", "number", "series" and "time"), and the result
// of a test that never finished, made at the next start from the lines it left.
//
// started   the vehicle, the operator, the limit set and its source, every set-up value, the
//           program, the serial line, the analyser and the training mark:
//             {"registration", "registrationKey", "make", "model", "firstRegistration"
//              (yyyy-mm-dd or null), "fuel", "emissionControl", "typeApproval", "declaration"
//              ({"key", "text"}: the operator's reason for no lambda control, or null),
//              "f1Row", "f1RowRpm", "operator", "limitSet": {"basis", "source",
//              "explanation", the limits and windows, "sources" (each limit's {"key", "text"}),
//              "tableChecksum", "defaultIdleCo", "rowNotUsed", ...}, "setup": {...}, "program",
//              "version", "line": {"port", "device", "rate"}, "demoMode", "analyserSerial",
//              "verificationExpires", "training", "trainingReason", "trainingText" (the first
//              reason), "trainingReasons" ([{"key", "text"}...], every reason)}
//           (TwoSpeedStartedRecord.cpp writes it)
// samples   what the test took since the line before, each sample with its phase, the phases
//           that ended since, without their samples, and the valid failing averages found since
//           (written before the window shows them):
//             {"stage", "samples": [sample...], "ended": [phase...], "current": {"name",
//              "startedMs"}, "failing": [average + "phase"...]}
// result    {"verdict" (pass, fail, void, aborted, interrupted), "verdictTitle", "reason",
//            "ending" (completed, aborted, interrupted, time-limit), "failingAverage" (the
//            valid failing average the verdict or the interruption rests on, an average with
//            "phase", or null), "ended" (local time, ISO 8601), "durationMs", "attempt" (0 for
//            a training test), "oilAtStart", "oilConfirmed", "phases": [phase...]}
//
// A sample: {"phase", "t" (ms from the test's start), "rpm", "oil", "co", "co2", "hc", "o2",
// "lambda", "inWindow", "measuring", "diluted" (CO + CO2 below the dilution threshold: the
// probe was out), "rpmFromSameLine" (false: the speed came from another line than the gases,
// so inWindow is false)}, a missing value as null. A phase: {"name" (high-idle, idle), "title",
// "window": {"min", "max"}, "verdict", "verdictText", "reason", "startedMs", "endedMs",
// "restarts", "phaseLimitReached", "probeOuts" ([t...] of its diluted samples), "rpm", "co",
// "co2", "hc", "o2", "lambda" (its deciding average as printed, null without one), "deciding",
// "lastAverage" (averages with their checks, see AverageJson.h) and, in the result line,
// "samples"}. Lines written before a key existed lack it.
#include "TwoSpeedTest.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace vz::twospeed {

// What the record keeps besides the test itself.
struct RecordContext {
    QString operatorName;
    QString program = QStringLiteral("vezaro");
    QString version;
    QString port;   // as the settings name it, "COM1"
    QString device; // the device it opens, "/dev/pts/3"
    uint32_t baudRate = 0;
    bool demoMode = false;
};

// Why a test ended without its result: the station closed during the test (the window
// records it), or it stopped without closing (the next start records it).
inline const QString kClosedDuringTest = QStringLiteral("станцията беше затворена по време на изпитването");
inline const QString kStoppedDuringTest = QStringLiteral("станцията спря по време на изпитването");
// The serial port closed during the test (a send failed): the analyser was lost.
inline const QString kPortLostDuringTest =
    QStringLiteral("връзката с анализатора беше загубена по време на изпитването");

QJsonObject startedRecord(const TwoSpeedTest& test, const RecordContext& context);

// The samples taken, the phases ended and the failing averages found since `mark` (see
// JournalMark in TwoSpeedTest.h), which moves on past them. An empty object when there is
// nothing new. Write the line, and once it is written tell the test (evidenceWritten(mark));
// when the write fails, keep the mark from before and build the line again later.
QJsonObject samplesRecord(const TwoSpeedTest& test, JournalMark& mark);

// The finished test. `ended` is the wall-clock time of its end; `attempt` its attempt number
// (0 for a training test).
QJsonObject resultRecord(const TwoSpeedTest& test, const QDateTime& ended, int attempt);

// The result of a test whose station stopped before its result line: from its started line
// and its samples lines, verdict "interrupted" with `reason` (unless a phase had already
// failed, which fails the test, as the procedure decides), ending "interrupted", its samples,
// the phases that had ended and the one under way. The last failing average its phase under
// way journalled is kept, as the procedure keeps it ("failingAverage", and in the reason).
// `ended` is the time of the last line the test wrote, when known. "attempt" is 0 for a
// training test (the started line's "training"), else `attempt` when given, else null.
QJsonObject interruptedResult(const QJsonObject& started, const QList<QJsonObject>& samples,
                              const QString& reason = kStoppedDuringTest, const QDateTime& ended = {},
                              std::optional<int> attempt = std::nullopt);

} // namespace vz::twospeed
