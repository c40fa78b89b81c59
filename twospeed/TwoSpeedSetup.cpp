#include "TwoSpeedSetup.h"

#include "Conversions.h"
#include "Files.h"
#include "KeyValueLines.h"
#include "TwoSpeedFormat.h"

#include <QFileInfo>
#include <algorithm>
#include <array>

namespace vz::twospeed {

namespace {

// The keys in the order of the file. Numeric values are held as integers in the units of
// their kind, so bounds and defaults compare exactly.
enum Key {
    HighIdleMin,
    HighIdleMax,
    IdleMin,
    IdleMax,
    Stabilisation,
    Measuring,
    PhaseLimit,
    Averaging,
    MinimumSamples,
    Dilution,
    OilMinimum,
    AnalyserSerial,
    VerificationExpires,
    KeyCount
};

enum class Kind { Rpm, Seconds, Count, Percent, Celsius, Text, Date };

// How each kind holds and writes its numbers, in the order of Kind: as integers in units of
// 10^-decimals, written without trailing zeros and followed by the unit (UTF-8).
struct KindFormat {
    int decimals;
    const char* unit;
};
constexpr KindFormat kFormats[] = {
    {0, " min⁻¹"}, // Rpm: whole min-1
    {3, " s"},     // Seconds: milliseconds
    {0, ""},       // Count: whole number
    {2, " %"},     // Percent: hundredths of %
    {1, " °C"},    // Celsius: tenths of °C
    {0, ""},       // Text
    {0, ""},       // Date
};

struct KeyRule {
    const char* key;
    const char* label; // UTF-8
    Kind kind;
    int64_t low;
    int64_t high;
};

constexpr std::array<KeyRule, KeyCount> kRules{{
    {"HighIdleMinRpm", "Повишени обороти, от", Kind::Rpm, 2000, 5000},
    {"HighIdleMaxRpm", "Повишени обороти, до", Kind::Rpm, 2100, 6000},
    {"IdleMinRpm", "Празен ход, от", Kind::Rpm, 300, 1800},
    {"IdleMaxRpm", "Празен ход, до", Kind::Rpm, 400, 1900},
    {"StabilisationSeconds", "Време за стабилизиране", Kind::Seconds, 500, 120000},
    {"MeasuringSeconds", "Време за измерване", Kind::Seconds, 1000, 300000},
    {"PhaseLimitSeconds", "Най-дълга фаза", Kind::Seconds, 5000, 900000},
    {"AveragingSeconds", "Време за осредняване", Kind::Seconds, 500, 30000},
    {"MinimumSamples", "Най-малко отчитания в средна стойност", Kind::Count, 2, 100},
    {"DilutionPercent", "Праг на разреждане CO + CO2", Kind::Percent, 100, 1500},
    {"OilMinimumCelsius", "Най-ниска температура на маслото", Kind::Celsius, 400, 1000},
    {"AnalyserSerial", "Сериен номер на анализатора", Kind::Text, 1, 40},
    {"VerificationExpires", "Проверката на анализатора е валидна до", Kind::Date, 2000, 2099},
}};

// The smallest window a driver can hold.
constexpr int kMinimumWindowWidth = 100;

QString keyName(Key key) {
    return QString::fromLatin1(kRules[key].key);
}

int decimalsOf(Kind kind) {
    return kFormats[size_t(kind)].decimals;
}

// (6000, Seconds) -> "6"
QString compactText(int64_t units, Kind kind) {
    return compactUnitsText(units, decimalsOf(kind));
}

// (6000, Seconds) -> "6 s"
QString valueText(int64_t units, Kind kind) {
    return compactText(units, kind) + QString::fromUtf8(kFormats[size_t(kind)].unit);
}

// The int member that holds a numeric key in its kind's units; nullptr for the other keys.
template <class Setup> auto wholeField(Setup& s, Key key) {
    const std::array fields{&s.highIdle.min, &s.highIdle.max,    &s.idle.min,
                            &s.idle.max,     &s.stabilisationMs, &s.measuringMs,
                            &s.phaseLimitMs, &s.averagingMs,     &s.minimumSamples};
    return key < Dilution ? fields[key] : nullptr;
}

// The double member of a key written with decimals, in whole % or °C; nullptr for the others.
template <class Setup> auto decimalField(Setup& s, Key key) {
    return key == Dilution ? &s.dilutionPercent : key == OilMinimum ? &s.oilMinimumC : nullptr;
}

int64_t unitsOf(const TwoSpeedSetup& s, Key key) {
    if (const int* whole = wholeField(s, key))
        return *whole;
    if (const double* decimal = decimalField(s, key))
        return printedUnits(*decimal, decimalsOf(kRules[key].kind));
    return 0;
}

void setUnits(TwoSpeedSetup& s, Key key, int64_t units) {
    if (int* whole = wholeField(s, key)) {
        *whole = int(units); // every bound fits an int
    } else if (double* decimal = decimalField(s, key)) {
        constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0};
        *decimal = double(units) / kScale[decimalsOf(kRules[key].kind)];
    }
}

void restoreDefault(TwoSpeedSetup& s, Key key) {
    setUnits(s, key, unitsOf(TwoSpeedSetup{}, key));
}

// A text from the file as a message quotes it: a runaway line is cut short.
QString quoted(const QString& text) {
    constexpr qsizetype kLongest = 60;
    return text.size() <= kLongest ? text : text.left(kLongest) + QStringLiteral("…");
}

// "KEY = VALUE" as a message quotes a line of the file.
QString stated(Key key, const QString& value) {
    return keyName(key) + QStringLiteral(" = ") + quoted(value);
}

// Each take* below puts a value from the file into the set-up and gives an empty text, or
// leaves the set-up as it is and gives why the value was refused.

QString takeNumber(TwoSpeedSetup& s, Key key, const QString& value) {
    const KeyRule& rule = kRules[key];
    const int decimals = decimalsOf(rule.kind);
    const DecimalUnits number = strToDecimalUnits(value, decimals);
    QString why;
    if (value.isEmpty())
        why = QStringLiteral("%1 няма стойност").arg(keyName(key));
    else if (number.error == DecimalUnits::Error::NotANumber)
        why = QStringLiteral("%1 не е число").arg(stated(key, value));
    else if (number.error == DecimalUnits::Error::TooManyDecimals && decimals == 0)
        why = QStringLiteral("%1 не е цяло число").arg(stated(key, value));
    else if (number.error == DecimalUnits::Error::TooManyDecimals)
        why = QStringLiteral("%1 има повече от %2 знака след десетичната запетая")
                  .arg(stated(key, value))
                  .arg(decimals);
    else if (number.units < rule.low || number.units > rule.high)
        why = QStringLiteral("%1 е извън границите %2–%3")
                  .arg(stated(key, value), compactText(rule.low, rule.kind), valueText(rule.high, rule.kind));
    if (!why.isEmpty())
        return why + QStringLiteral("; остава ") + valueText(unitsOf(s, key), rule.kind);
    setUnits(s, key, number.units);
    return {};
}

QString takeSerial(TwoSpeedSetup& s, const QString& value) {
    // Bytes that are not UTF-8 were read as U+FFFD.
    const bool badCharacter = std::any_of(value.begin(), value.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter;
    });
    if (badCharacter)
        return QStringLiteral("%1 съдържа непозволен знак; не е взет").arg(keyName(AnalyserSerial));
    if (value.size() > kRules[AnalyserSerial].high)
        return QStringLiteral("%1 е по-дълъг от %2 знака; не е взет")
            .arg(keyName(AnalyserSerial))
            .arg(kRules[AnalyserSerial].high);
    s.analyserSerial = value;
    return {};
}

QString takeDate(TwoSpeedSetup& s, const QString& value) {
    const KeyRule& rule = kRules[VerificationExpires];
    if (value.isEmpty()) // written but left empty: not given
        return {};
    const QDate date = QDate::fromString(value, QStringLiteral("dd.MM.yyyy"));
    if (!date.isValid() || value.size() != 10)
        return QStringLiteral("%1 не е дата дд.мм.гггг; не е взета").arg(stated(VerificationExpires, value));
    if (date.year() < rule.low || date.year() > rule.high)
        return QStringLiteral("%1 е извън годините %2–%3; не е взета")
            .arg(stated(VerificationExpires, value))
            .arg(rule.low)
            .arg(rule.high);
    s.verificationExpires = date;
    return {};
}

// What the lines read so far gave: the set-up, the refusals, and the line and text of each
// key taken, for a repeated key and for the rules between values.
struct SetupReading {
    QString fileName;
    SetupReadResult result;
    std::array<int, KeyCount> lines{}; // 0: the key was not taken from the file
    std::array<QString, KeyCount> values;

    void refuse(int line, const QString& text) {
        // One arg() for all three, so that a '%' in the file name is never taken for a place
        // holder of the line or the text.
        result.refused.append(
            {line, QStringLiteral("%1, ред %2: %3").arg(fileName, QString::number(line), text)});
    }
    // "KEY = VALUE" as the file gave it.
    QString given(Key key) const { return stated(key, values[key]); }
};

void takeLine(SetupReading& r, const KeyValueLine& line) {
    const auto rule = std::find_if(kRules.begin(), kRules.end(), [&](const KeyRule& candidate) {
        return line.keyIs(QLatin1String(candidate.key));
    });
    const Key key = Key(rule - kRules.begin()); // KeyCount for an unknown key
    QString why;
    if (!line.hasEquals)
        why = QStringLiteral("„%1“ не е „КЛЮЧ = стойност“; редът е пропуснат").arg(quoted(line.text));
    else if (key == KeyCount)
        why = QStringLiteral("непознат ключ „%1“; редът е пропуснат").arg(quoted(line.key));
    else if (r.lines[key] != 0)
        why = QStringLiteral("%1 е вече зададен на ред %2; остава стойността от ред %2")
                  .arg(keyName(key))
                  .arg(r.lines[key]);
    else if (rule->kind == Kind::Text)
        why = takeSerial(r.result.setup, line.value);
    else if (rule->kind == Kind::Date)
        why = takeDate(r.result.setup, line.value);
    else
        why = takeNumber(r.result.setup, key, line.value);
    if (!why.isEmpty()) {
        r.refuse(line.number, why);
        return;
    }
    // Taken: a later line with the same key is refused, and the rules between values name this line.
    r.lines[key] = line.number;
    r.values[key] = line.value;
}

void checkWindow(SetupReading& r, Key low, Key high) {
    TwoSpeedSetup& s = r.result.setup;
    if (unitsOf(s, high) - unitsOf(s, low) >= kMinimumWindowWidth)
        return;
    // The message goes on the later of the two lines the file gave (one of them at least
    // was given: the defaults keep the rule).
    const Key named = r.lines[high] >= r.lines[low] ? high : low;
    const Key other = named == high ? low : high;
    QString otherText =
        r.lines[other] != 0
            ? QStringLiteral("%1 (ред %2)").arg(r.given(other)).arg(r.lines[other])
            : QStringLiteral("%1 = %2 по подразбиране").arg(keyName(other)).arg(unitsOf(s, other));
    restoreDefault(s, low);
    restoreDefault(s, high);
    r.refuse(r.lines[named], QStringLiteral("%1 и %2: горната граница трябва да е поне %3 min⁻¹ над долната; "
                                            "остават %4–%5 min⁻¹")
                                 .arg(r.given(named), otherText)
                                 .arg(kMinimumWindowWidth)
                                 .arg(unitsOf(s, low))
                                 .arg(unitsOf(s, high)));
}

void checkPhaseTimes(SetupReading& r) {
    TwoSpeedSetup& s = r.result.setup;
    if (s.averagingMs > s.measuringMs) {
        const Key named = r.lines[Averaging] >= r.lines[Measuring] ? Averaging : Measuring;
        r.refuse(r.lines[named],
                 QStringLiteral("%1 е повече от %2 (%3); остават %4 и %5")
                     .arg(r.given(named), QString::fromUtf8(kRules[Measuring].label).toLower(),
                          secondsText(s.measuringMs), secondsText(TwoSpeedSetup{}.averagingMs),
                          secondsText(TwoSpeedSetup{}.measuringMs)));
        restoreDefault(s, Averaging);
        restoreDefault(s, Measuring);
    }
    if (s.phaseLimitMs < s.stabilisationMs + s.measuringMs) {
        Key named = PhaseLimit;
        for (const Key k : {Stabilisation, Measuring})
            if (r.lines[k] > r.lines[named])
                named = k;
        const TwoSpeedSetup defaults;
        r.refuse(r.lines[named],
                 QStringLiteral("най-дългата фаза (%1) е по-кратка от стабилизиране (%2) и измерване (%3) "
                                "заедно; остават %4, %5 и %6")
                     .arg(secondsText(s.phaseLimitMs), secondsText(s.stabilisationMs),
                          secondsText(s.measuringMs), secondsText(defaults.phaseLimitMs),
                          secondsText(defaults.stabilisationMs), secondsText(defaults.measuringMs)));
        restoreDefault(s, PhaseLimit);
        restoreDefault(s, Stabilisation);
        restoreDefault(s, Measuring);
        // The default measuring time is at least the upper bound of the averaging time, so
        // the first rule still holds.
    }
}

} // namespace

QString secondsText(int ms) {
    return valueText(ms, Kind::Seconds);
}

SetupReadResult parseTwoSpeedSetup(const QByteArray& content, const QString& fileName) {
    SetupReading reading;
    reading.fileName = fileName;
    for (const KeyValueLine& line : readKeyValueLines(content))
        takeLine(reading, line);
    checkWindow(reading, HighIdleMin, HighIdleMax);
    checkWindow(reading, IdleMin, IdleMax);
    checkPhaseTimes(reading);
    SetupReadResult result = std::move(reading.result);
    result.fileFound = true;
    // The rules between values are checked after every line is read; the operator reads the
    // refusals in the file's order.
    std::stable_sort(result.refused.begin(), result.refused.end(),
                     [](const SetupMessage& a, const SetupMessage& b) { return a.line < b.line; });
    return result;
}

SetupReadResult readTwoSpeedSetup(const QString& dir) {
    SetupReadResult result;
    const QString path = findFileNoCase(dir, QString::fromLatin1(kSetupFileName));
    const QString name = QFileInfo(path).fileName();
    // Regular files only: a FIFO or a device named like the set-up file is not read.
    using Status = KeyValueFile::Status;
    const KeyValueFile file = readKeyValueFile(path, kMaxSetupFileBytes);
    if (file.status == Status::Read) {
        result = parseTwoSpeedSetup(file.content, name);
    } else if (file.status != Status::Missing) {
        const QString why = file.status == Status::NotRegular ? QStringLiteral("не е обикновен файл")
                            : file.status == Status::Unreadable
                                ? QStringLiteral("не може да се прочете (%1)").arg(file.error)
                                : QStringLiteral("е по-голям от %1 KiB").arg(kMaxSetupFileBytes / 1024);
        result.fileFound = true;
        result.refused.append(
            {0, QStringLiteral("%1: %2; взети са стойностите по подразбиране").arg(name, why)});
    }
    result.path = path;
    return result;
}

QString SetupDifference::text() const {
    return QStringLiteral("%1: %2 (по подразбиране %3)").arg(label, value, defaultValue);
}

QList<SetupDifference> differencesFromDefaults(const TwoSpeedSetup& setup) {
    const TwoSpeedSetup defaults;
    QList<SetupDifference> list;
    for (int k = 0; k < KeyCount; ++k) {
        const Key key = Key(k);
        const Kind kind = kRules[key].kind;
        if (kind == Kind::Text || kind == Kind::Date)
            continue;
        const int64_t value = unitsOf(setup, key);
        const int64_t standard = unitsOf(defaults, key);
        if (value != standard)
            list.append({keyName(key), QString::fromUtf8(kRules[key].label), valueText(value, kind),
                         valueText(standard, kind)});
    }
    return list;
}

QByteArray defaultSetupFileText() {
    QString text = QStringLiteral(
        "# TWOSPEED.ini - set-up of the two-speed emission test, read when the test window opens.\n"
        "# One value per line: KEY = VALUE. Lines starting with # or ; are comments.\n"
        "# Numbers take a decimal point or comma. Times are seconds, with up to three decimals.\n"
        "# A value outside its bounds is refused with a message naming its line, and the\n"
        "# default is used instead. Values other than the defaults are printed on every protocol.\n"
        "# The defaults are the least an official test needs: a shorter time, fewer samples or a\n"
        "# lower threshold makes every test a training test.\n"
        "#\n"
        "# Speed windows (min-1): the upper end at least 100 above the lower end.\n");
    const TwoSpeedSetup defaults;
    const auto entry = [&](Key key, const QString& note) {
        const KeyRule& rule = kRules[key];
        text += QStringLiteral("# %1, %2..%3%4\n")
                    .arg(note, compactText(rule.low, rule.kind), compactText(rule.high, rule.kind),
                         rule.kind == Kind::Seconds ? QStringLiteral(" s") : QString());
        text += QStringLiteral("%1 = %2\n").arg(keyName(key), compactText(unitsOf(defaults, key), rule.kind));
    };
    entry(HighIdleMin, QStringLiteral("High idle from"));
    entry(HighIdleMax, QStringLiteral("High idle up to"));
    entry(IdleMin, QStringLiteral("Idle from"));
    entry(IdleMax,
          QStringLiteral("Idle up to (a vehicle chosen with F1 replaces the idle window by its RPM +- 100)"));
    text += QStringLiteral(
        "#\n# Times. The phase limit covers stabilisation plus measuring; averaging is at most the\n"
        "# measuring time.\n");
    entry(Stabilisation, QStringLiteral("Time inside the window before the averages count"));
    entry(Measuring, QStringLiteral("Time a phase has to reach its verdict once stable"));
    entry(PhaseLimit, QStringLiteral("Longest a phase may take, pauses included"));
    entry(Averaging, QStringLiteral("Length of the running average"));
    text += QStringLiteral("#\n# Thresholds.\n");
    entry(MinimumSamples, QStringLiteral("Fewest samples (result records) in a valid average"));
    entry(Dilution, QStringLiteral("Lowest CO + CO2 in % of an undiluted sample"));
    entry(OilMinimum, QStringLiteral("Lowest oil temperature in degrees Celsius"));
    text += QStringLiteral(
        "#\n# The analyser: its serial number (up to 40 characters) and the last day of its legal\n"
        "# verification (dd.mm.yyyy). Without both, and after that day, every test runs as\n"
        "# training.\n"
        "AnalyserSerial =\n"
        "VerificationExpires =\n");
    return text.toUtf8();
}

} // namespace vz::twospeed
