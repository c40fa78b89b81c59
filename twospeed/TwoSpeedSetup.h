#pragma once
// TWOSPEED.ini: the timings and thresholds of the two-speed test, the analyser's serial number
// and the date its legal verification expires. It lives in the station directory beside
// VEZARO.ini and is read when the test window opens; the station never writes it (the
// maintainer does, starting from defaultSetupFileText()).
//
// One value per line, KEY = VALUE, keys in any letter case; blank lines and lines starting
// with '#' or ';' are comments. The file is UTF-8 (a byte-order mark is skipped). Numbers take
// a decimal point or comma, no sign and no exponent. Times are seconds and may have up to
// three decimals: the test counts in milliseconds, so a test run can shorten every time down
// to the lower bounds below (0.5 s stabilisation, 1 s measuring, ...). Values below the
// procedure's floors (TrainingMode.h: a high-idle window from under 2000 min-1, under 10 s
// stabilisation, averages over under 5 s or of fewer than 4 samples, dilution under 6 %),
// and a file without the serial number or the verification date, make every test training.
//
//   key                   default    bounds            meaning
//   HighIdleMinRpm        2500       2000..5000        high-idle speed window, lower end (min-1)
//   HighIdleMaxRpm        3000       2100..6000        high-idle speed window, upper end
//   IdleMinRpm            450        300..1800         idle speed window, lower end
//   IdleMaxRpm            1100       400..1900         idle speed window, upper end
//   StabilisationSeconds  10         0.5..120          time inside the window before averaging
//   MeasuringSeconds      30         1..300            time a phase has to reach its verdict
//   PhaseLimitSeconds     120        5..900            longest a phase may take, pauses included
//   AveragingSeconds      5          0.5..30           length of the running average
//   MinimumSamples        4          2..100            fewest samples a valid average holds
//   DilutionPercent       6          1..15             lowest CO + CO2 (%) of an undiluted sample
//   OilMinimumCelsius     80         40..100           lowest oil temperature to start (°C)
//   AnalyserSerial        (none)     1..40 characters  the analyser's serial number
//   VerificationExpires   (none)     dd.mm.yyyy        last day of the analyser's verification
//
// Each window needs its upper end at least 100 min-1 above its lower end, the averaging time
// may not exceed the measuring time, and the phase limit must cover stabilisation plus
// measuring. (The bounds keep the two windows apart: idle ends below 2000 min-1, where high
// idle begins at the earliest.)
//
// A value that breaks a rule is refused with a message naming its line and the default
// stays in its place; for a broken rule between values, every value of the rule goes back to
// its default. Unknown keys, lines without '=' and a key given twice are refused the same
// way. A missing file gives the defaults without a message.
#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

namespace vz::twospeed {

// An engine-speed window in min-1, both ends included.
struct SpeedWindow {
    int min = 0;
    int max = 0;
    bool contains(int rpm) const { return rpm >= min && rpm <= max; }
    bool operator==(const SpeedWindow&) const = default;
};

struct TwoSpeedSetup {
    SpeedWindow highIdle{2500, 3000};
    SpeedWindow idle{450, 1100};
    int stabilisationMs = 10000;
    int measuringMs = 30000;
    int phaseLimitMs = 120000;
    int averagingMs = 5000;
    int minimumSamples = 4;
    double dilutionPercent = 6.0;
    double oilMinimumC = 80.0;
    QString analyserSerial;    // empty when not given
    QDate verificationExpires; // invalid when not given
    bool operator==(const TwoSpeedSetup&) const = default;
};

inline const char* const kSetupFileName = "TWOSPEED.ini";

// A refused line. `line` is 1-based; 0 means the file as a whole (too large, unreadable).
struct SetupMessage {
    int line = 0;
    QString text; // Bulgarian, starting with the file name and the line
};

struct SetupReadResult {
    TwoSpeedSetup setup;
    bool fileFound = false;
    QString path;
    QList<SetupMessage> refused;
};

// Reads TWOSPEED.ini from `dir` (the name matched ignoring case).
SetupReadResult readTwoSpeedSetup(const QString& dir);
// The same over a file's content; `fileName` only names the file in the messages.
SetupReadResult parseTwoSpeedSetup(const QByteArray& content, const QString& fileName);

// The largest file read; a larger one is refused whole and the defaults stay.
inline constexpr qsizetype kMaxSetupFileBytes = 64 * 1024;

// A set-up value other than its default, as the protocol prints it.
struct SetupDifference {
    QString key;          // as in the file, e.g. "StabilisationSeconds"
    QString label;        // Bulgarian, e.g. "Време за стабилизиране"
    QString value;        // e.g. "1 s"
    QString defaultValue; // e.g. "10 s"
    // "Време за стабилизиране: 1 s (по подразбиране 10 s)"
    QString text() const;
};

// The timing and threshold values that differ from the defaults, in the file's key order.
// The serial number and the verification date have no default and are never listed.
QList<SetupDifference> differencesFromDefaults(const TwoSpeedSetup& setup);

// The text of a fresh TWOSPEED.ini: every key at its default, with the rules above as comments.
QByteArray defaultSetupFileText();

// Seconds as the messages and the protocol write them: 10000 -> "10 s", 500 -> "0,5 s".
QString secondsText(int ms);

} // namespace vz::twospeed
