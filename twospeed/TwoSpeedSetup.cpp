#include "TwoSpeedSetup.h"

#include "Files.h"
#include "TwoSpeedFormat.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <optional>

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

enum class Kind {
    Rpm,     // whole min-1
    Seconds, // milliseconds, written as seconds with up to three decimals
    Count,   // whole number
    Percent, // hundredths of %, written with up to two decimals
    Celsius, // tenths of °C, written with up to one decimal
    Text,
    Date,
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

QString label(Key key) {
    return QString::fromUtf8(kRules[key].label);
}

QString keyName(Key key) {
    return QString::fromLatin1(kRules[key].key);
}

int decimalsOf(Kind kind) {
    switch (kind) {
    case Kind::Seconds:
        return 3;
    case Kind::Percent:
        return 2;
    case Kind::Celsius:
        return 1;
    default:
        return 0;
    }
}

// A held value in its kind's units, without trailing zeros: (6000, Seconds) -> "6".
QString compactText(int64_t units, Kind kind) {
    return compactUnitsText(units, decimalsOf(kind));
}

QString valueText(int64_t units, Kind kind) {
    const QString number = compactText(units, kind);
    switch (kind) {
    case Kind::Rpm:
        return number + QStringLiteral(" min⁻¹");
    case Kind::Seconds:
        return number + QStringLiteral(" s");
    case Kind::Percent:
        return number + QStringLiteral(" %");
    case Kind::Celsius:
        return number + QStringLiteral(" °C");
    default:
        return number;
    }
}

int64_t unitsOf(const TwoSpeedSetup& s, Key key) {
    switch (key) {
    case HighIdleMin:
        return s.highIdle.min;
    case HighIdleMax:
        return s.highIdle.max;
    case IdleMin:
        return s.idle.min;
    case IdleMax:
        return s.idle.max;
    case Stabilisation:
        return s.stabilisationMs;
    case Measuring:
        return s.measuringMs;
    case PhaseLimit:
        return s.phaseLimitMs;
    case Averaging:
        return s.averagingMs;
    case MinimumSamples:
        return s.minimumSamples;
    case Dilution:
        return printedUnits(s.dilutionPercent, 2);
    case OilMinimum:
        return printedUnits(s.oilMinimumC, 1);
    default:
        return 0;
    }
}

void setUnits(TwoSpeedSetup& s, Key key, int64_t units) {
    const int v = int(units); // every bound fits an int
    switch (key) {
    case HighIdleMin:
        s.highIdle.min = v;
        break;
    case HighIdleMax:
        s.highIdle.max = v;
        break;
    case IdleMin:
        s.idle.min = v;
        break;
    case IdleMax:
        s.idle.max = v;
        break;
    case Stabilisation:
        s.stabilisationMs = v;
        break;
    case Measuring:
        s.measuringMs = v;
        break;
    case PhaseLimit:
        s.phaseLimitMs = v;
        break;
    case Averaging:
        s.averagingMs = v;
        break;
    case MinimumSamples:
        s.minimumSamples = v;
        break;
    case Dilution:
        s.dilutionPercent = double(units) / 100.0;
        break;
    case OilMinimum:
        s.oilMinimumC = double(units) / 10.0;
        break;
    default:
        break;
    }
}

void restoreDefault(TwoSpeedSetup& s, Key key) {
    setUnits(s, key, unitsOf(TwoSpeedSetup{}, key));
}

enum class NumberError { None, NotANumber, TooManyDecimals };

// A plain decimal number in units of 10^-decimals: digits with at most one '.' or ',', at
// most `decimals` digits after it, no sign, at most nine digits before it.
std::optional<int64_t> parseUnits(const QString& text, int decimals, NumberError& error) {
    error = NumberError::NotANumber;
    int64_t whole = 0;
    int64_t fraction = 0;
    int wholeDigits = 0;
    int fractionDigits = 0;
    bool point = false;
    for (const QChar c : text) {
        if (c == u'.' || c == u',') {
            if (point)
                return std::nullopt;
            point = true;
        } else if (c >= u'0' && c <= u'9') {
            const int digit = c.unicode() - u'0';
            if (point) {
                ++fractionDigits;
                if (fractionDigits > decimals) {
                    if (digit != 0) {
                        error = NumberError::TooManyDecimals;
                        return std::nullopt;
                    }
                    continue; // trailing zeros beyond the precision change nothing
                }
                fraction = fraction * 10 + digit;
            } else {
                if (++wholeDigits > 9)
                    return std::nullopt;
                whole = whole * 10 + digit;
            }
        } else {
            return std::nullopt;
        }
    }
    if (wholeDigits + fractionDigits == 0)
        return std::nullopt;
    for (int i = std::min(fractionDigits, decimals); i < decimals; ++i)
        fraction *= 10;
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    error = NumberError::None;
    return whole * scale + fraction;
}

// A text from the file as a message quotes it: a runaway line is cut short.
QString quoted(const QString& text) {
    constexpr qsizetype kLongest = 60;
    return text.size() <= kLongest ? text : text.left(kLongest) + QStringLiteral("…");
}

class SetupParser {
public:
    explicit SetupParser(QString fileName) : m_fileName(std::move(fileName)) { m_lines.fill(0); }

    void parse(const QByteArray& content);
    SetupReadResult takeResult() { return std::move(m_result); }

private:
    void refuse(int line, const QString& text) {
        m_result.refused.append({line, QStringLiteral("%1, ред %2: %3").arg(m_fileName).arg(line).arg(text)});
    }
    void parseLine(int lineNumber, const QString& line);
    void takeNumber(int lineNumber, Key key, const QString& value);
    void takeText(int lineNumber, const QString& value);
    void takeDate(int lineNumber, const QString& value);
    void checkWindow(Key low, Key high);
    void checkPhaseTimes();
    // The line that gave a key, 0 when the key was not in the file.
    int lineOf(Key key) const { return m_lines[key]; }
    // "KEY = VALUE" as the file gave it.
    QString given(Key key) const { return keyName(key) + QStringLiteral(" = ") + quoted(m_values[key]); }

    QString m_fileName;
    SetupReadResult m_result;
    std::array<int, KeyCount> m_lines;
    std::array<QString, KeyCount> m_values;
};

void SetupParser::parse(const QByteArray& content) {
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QList<QByteArray> lines = splitLines(bytes);
    for (int i = 0; i < lines.size(); ++i)
        parseLine(i + 1, QString::fromUtf8(lines[i]));
    checkWindow(HighIdleMin, HighIdleMax);
    checkWindow(IdleMin, IdleMax);
    checkPhaseTimes();
}

void SetupParser::parseLine(int lineNumber, const QString& line) {
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith(u'#') || text.startsWith(u';'))
        return;
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0) {
        refuse(lineNumber,
               QStringLiteral("„%1“ не е „КЛЮЧ = стойност“; редът е пропуснат").arg(quoted(text)));
        return;
    }
    const QString name = text.left(equals).trimmed();
    const QString value = text.mid(equals + 1).trimmed();
    int found = -1;
    for (int k = 0; k < KeyCount; ++k) {
        if (name.compare(QLatin1String(kRules[k].key), Qt::CaseInsensitive) == 0)
            found = k;
    }
    if (found < 0) {
        refuse(lineNumber, QStringLiteral("непознат ключ „%1“; редът е пропуснат").arg(quoted(name)));
        return;
    }
    const Key key = Key(found);
    if (lineOf(key) != 0) {
        refuse(lineNumber, QStringLiteral("%1 е вече зададен на ред %2; остава стойността от ред %2")
                               .arg(keyName(key))
                               .arg(lineOf(key)));
        return;
    }
    switch (kRules[key].kind) {
    case Kind::Text:
        takeText(lineNumber, value);
        break;
    case Kind::Date:
        takeDate(lineNumber, value);
        break;
    default:
        takeNumber(lineNumber, key, value);
        break;
    }
}

void SetupParser::takeNumber(int lineNumber, Key key, const QString& value) {
    const KeyRule& rule = kRules[key];
    const QString kept = valueText(unitsOf(m_result.setup, key), rule.kind);
    const QString stated = keyName(key) + QStringLiteral(" = ") + quoted(value);
    NumberError error = NumberError::None;
    const std::optional<int64_t> units = parseUnits(value, decimalsOf(rule.kind), error);
    if (!units) {
        QString why;
        if (value.isEmpty())
            why = QStringLiteral("%1 няма стойност").arg(keyName(key));
        else if (error == NumberError::TooManyDecimals && decimalsOf(rule.kind) == 0)
            why = QStringLiteral("%1 не е цяло число").arg(stated);
        else if (error == NumberError::TooManyDecimals)
            why = QStringLiteral("%1 има повече от %2 знака след десетичната запетая")
                      .arg(stated)
                      .arg(decimalsOf(rule.kind));
        else
            why = QStringLiteral("%1 не е число").arg(stated);
        refuse(lineNumber, QStringLiteral("%1; остава %2").arg(why, kept));
        return;
    }
    if (*units < rule.low || *units > rule.high) {
        refuse(lineNumber,
               QStringLiteral("%1 е извън границите %2–%3; остава %4")
                   .arg(stated, compactText(rule.low, rule.kind), valueText(rule.high, rule.kind), kept));
        return;
    }
    setUnits(m_result.setup, key, *units);
    m_lines[key] = lineNumber;
    m_values[key] = value;
}

void SetupParser::takeText(int lineNumber, const QString& value) {
    const KeyRule& rule = kRules[AnalyserSerial];
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) {
            refuse(lineNumber,
                   QStringLiteral("%1 съдържа непозволен знак; не е взет").arg(keyName(AnalyserSerial)));
            return;
        }
    }
    if (value.size() > rule.high) {
        refuse(lineNumber, QStringLiteral("%1 е по-дълъг от %2 знака; не е взет")
                               .arg(keyName(AnalyserSerial))
                               .arg(rule.high));
        return;
    }
    m_result.setup.analyserSerial = value;
    m_lines[AnalyserSerial] = lineNumber;
    m_values[AnalyserSerial] = value;
}

void SetupParser::takeDate(int lineNumber, const QString& value) {
    const KeyRule& rule = kRules[VerificationExpires];
    if (value.isEmpty()) { // written but left empty: not given
        m_lines[VerificationExpires] = lineNumber;
        return;
    }
    const QDate date = QDate::fromString(value, QStringLiteral("dd.MM.yyyy"));
    if (!date.isValid() || value.size() != 10) {
        refuse(lineNumber, QStringLiteral("%1 = %2 не е дата дд.мм.гггг; не е взета")
                               .arg(keyName(VerificationExpires), quoted(value)));
        return;
    }
    if (date.year() < rule.low || date.year() > rule.high) {
        refuse(lineNumber, QStringLiteral("%1 = %2 е извън годините %3–%4; не е взета")
                               .arg(keyName(VerificationExpires), value)
                               .arg(rule.low)
                               .arg(rule.high));
        return;
    }
    m_result.setup.verificationExpires = date;
    m_lines[VerificationExpires] = lineNumber;
    m_values[VerificationExpires] = value;
}

void SetupParser::checkWindow(Key low, Key high) {
    TwoSpeedSetup& s = m_result.setup;
    if (unitsOf(s, high) - unitsOf(s, low) >= kMinimumWindowWidth)
        return;
    // The message goes on the later of the two lines the file gave (one of them at least
    // was given: the defaults keep the rule).
    const Key named = lineOf(high) >= lineOf(low) ? high : low;
    const Key other = named == high ? low : high;
    QString otherText =
        lineOf(other) != 0
            ? QStringLiteral("%1 (ред %2)").arg(given(other)).arg(lineOf(other))
            : QStringLiteral("%1 = %2 по подразбиране").arg(keyName(other)).arg(unitsOf(s, other));
    restoreDefault(s, low);
    restoreDefault(s, high);
    refuse(lineOf(named), QStringLiteral("%1 и %2: горната граница трябва да е поне %3 min⁻¹ над долната; "
                                         "остават %4–%5 min⁻¹")
                              .arg(given(named), otherText)
                              .arg(kMinimumWindowWidth)
                              .arg(unitsOf(s, low))
                              .arg(unitsOf(s, high)));
}

void SetupParser::checkPhaseTimes() {
    TwoSpeedSetup& s = m_result.setup;
    if (s.averagingMs > s.measuringMs) {
        const Key named = lineOf(Averaging) >= lineOf(Measuring) ? Averaging : Measuring;
        refuse(lineOf(named),
               QStringLiteral("%1 е повече от %2 (%3); остават %4 и %5")
                   .arg(given(named), label(Measuring).toLower(), secondsText(s.measuringMs),
                        secondsText(TwoSpeedSetup{}.averagingMs), secondsText(TwoSpeedSetup{}.measuringMs)));
        restoreDefault(s, Averaging);
        restoreDefault(s, Measuring);
    }
    if (s.phaseLimitMs < s.stabilisationMs + s.measuringMs) {
        Key named = PhaseLimit;
        for (const Key k : {Stabilisation, Measuring})
            if (lineOf(k) > lineOf(named))
                named = k;
        const TwoSpeedSetup defaults;
        refuse(lineOf(named),
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
    SetupParser parser(fileName);
    parser.parse(content);
    SetupReadResult result = parser.takeResult();
    result.fileFound = true;
    // The rules between values are checked after every line is read; the operator reads the
    // refusals in the file's order.
    std::stable_sort(result.refused.begin(), result.refused.end(),
                     [](const SetupMessage& a, const SetupMessage& b) { return a.line < b.line; });
    return result;
}

SetupReadResult readTwoSpeedSetup(const QString& dir) {
    const QString path = findFileNoCase(dir, QString::fromLatin1(kSetupFileName));
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.exists()) {
        SetupReadResult result;
        result.path = path;
        return result;
    }
    const auto wholeFileRefused = [&](const QString& why) {
        SetupReadResult result;
        result.fileFound = true;
        result.path = path;
        result.refused.append(
            {0, QStringLiteral("%1: %2; взети са стойностите по подразбиране").arg(name, why)});
        return result;
    };
    // Regular files only: a FIFO or a device named like the set-up file is not read.
    if (!QFileInfo(path).isFile())
        return wholeFileRefused(QStringLiteral("не е обикновен файл"));
    if (!file.open(QIODevice::ReadOnly))
        return wholeFileRefused(QStringLiteral("не може да се прочете (%1)").arg(file.errorString()));
    const QByteArray content = file.read(kMaxSetupFileBytes + 1);
    if (content.size() > kMaxSetupFileBytes)
        return wholeFileRefused(QStringLiteral("е по-голям от %1 KiB").arg(kMaxSetupFileBytes / 1024));
    SetupReadResult result = parseTwoSpeedSetup(content, name);
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
            list.append({keyName(key), label(key), valueText(value, kind), valueText(standard, kind)});
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
