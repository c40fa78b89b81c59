// The live display: decoding the frame slots into the reading labels, the integer readings,
// the limit marker colours and the lambda factor; and the six-step bar animation.
#include "Conversions.h"
#include "Lambda.h"
#include "StationLogic.h"

#include <cmath>
#include <limits>

namespace vz {

namespace {

constexpr qsizetype kSlotCount = 5;
constexpr int kAnimationSteps = 5; // s = 0..5, six drawn steps
constexpr uint16_t kCO2Floor = 901;

// Characters `first`..`last` (1-based, both included) of a frame; shorter when the frame ends
// earlier. Frame bytes are single-byte characters.
QString columns(const QByteArray& frame, qsizetype first, qsizetype last) {
    return QString::fromLatin1(frame.mid(first - 1, last - first + 1));
}

bool hasColumns(const QByteArray& frame, qsizetype last) {
    return frame.size() >= last;
}

QString withoutThirdCharacter(QString text) {
    return text.remove(2, 1);
}

// A reading updates its value only when its text is all digits. Five digits can exceed the
// 16-bit range (HC up to 99999 ppm): such values are held at 65535.
void updateReading(uint16_t& value, const QString& digits) {
    if (digits.isEmpty())
        return;
    int32_t v = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return;
        v = v * 10 + (c.unicode() - u'0');
        if (v > std::numeric_limits<uint16_t>::max())
            v = std::numeric_limits<uint16_t>::max();
    }
    value = static_cast<uint16_t>(v);
}

// Engine speed of a result record into RpmText and Label15, by RpmMode.
void showEngineSpeed(StationState& s, const QByteArray& frame) {
    QString rpm = columns(frame, 37, 40);
    if (s.RpmMode == 2) {
        // A field that is not an integer keeps the previous engine-speed text. Reporting it
        // with a message box would raise one box per record while the analyser keeps sending.
        const std::optional<int32_t> value = strToInt(rpm);
        if (!value)
            return;
        rpm = QString::number(*value / 2);
    }
    while (rpm.size() < 4)
        rpm.prepend(u'0');
    s.RpmText = rpm;
    if (s.RpmMode == 1 || s.RpmMode == 2)
        s.Display.Label15 = u' ' + s.RpmText;
    else if (s.RpmMode == 4)
        s.Display.Label15 = u' ' + s.VacuumText;
}

void colourMarkers(StationState& s) {
    const SelectedVehicle& v = s.Vehicle;
    std::array<bool, 5>& green = s.Display.MarkerGreen; // Label37..Label41
    green[0] = s.ValCO > v.LimitCOmn;
    green[1] = s.ValCO < v.LimitCOmx;
    green[2] = int32_t(v.LimitCO2mx) * 10 < int32_t(s.ValCO2); // CO2 limit is in tenths of %
    green[3] = s.ValHC < v.LimitCHmx;
    green[4] = s.ValO2 < v.LimitO2mx;
}

void countOverRange(StationState& s) {
    if (s.ValCO2 > 2499)
        ++s.OverRangeCount;
    if (s.ValCO > 1499)
        ++s.OverRangeCount;
    if (s.ValHC > 8999)
        ++s.OverRangeCount;
}

void decodeResultRecord(StationState& s, const QByteArray& frame, bool kept) {
    StationDisplay& d = s.Display;
    s.TicksSinceResult = 0;
    ++s.ResultDecodes;
    if (!kept) {
        ++s.ResultRecordId;
    } else if (frame != s.LastKeptRecord) {
        ++s.ResultRecordId;
        s.LastKeptRecord = frame;
    }
    s.PrevValCO2 = s.ValCO2;
    s.PrevValCO = s.ValCO;
    s.PrevValHC = s.ValHC;
    s.PrevValO2 = s.ValO2;

    // CO: two decimals from 10 %, three below.
    d.Label11 = columns(frame, 7, 11);
    const QString coDigits = withoutThirdCharacter(d.Label11);
    if (d.Label11.startsWith(u'0'))
        d.Label11 = columns(frame, 8, 12);
    d.Label12 = columns(frame, 14, 18);
    const QString hcText = columns(frame, 20, 24);
    d.Label13 = hcText;
    d.Label14 = columns(frame, 26, 30);

    showEngineSpeed(s, frame);

    const std::optional<double> co = strToFloat(d.Label11);
    const std::optional<double> co2 = strToFloat(d.Label12);
    const std::optional<double> hc = strToFloat(d.Label13);
    const std::optional<double> o2 = strToFloat(d.Label14);

    updateReading(s.ValCO, coDigits);
    updateReading(s.ValCO2, withoutThirdCharacter(d.Label12));
    updateReading(s.ValO2, withoutThirdCharacter(d.Label14));
    updateReading(s.ValHC, hcText);
    if (hcText.startsWith(u'0'))
        d.Label13 = u' ' + hcText.mid(1, 4); // only the first leading zero becomes a blank

    colourMarkers(s);
    countOverRange(s);

    d.Label46 = QStringLiteral("-----");
    if (co && co2 && hc && o2)
        d.Label46 = lambdaDisplayText(*co, *co2, *hc, *o2, s.GASBoxItemIndex);

    s.BarStep = 0;
}

// `kept`: the frame is the 1200-baud record of slot 5 or its copy, decoded again and again.
void decodeFrame(StationState& s, StationEnv& env, const QByteArray& frame, bool kept) {
    const QByteArray type = frame.mid(2, 2);
    if (type == "IN") {
        // A frame without column 8 keeps the previous bits.
        if (hasColumns(frame, 8)) {
            const auto bits = static_cast<unsigned char>(frame[7]);
            s.InfoBit0 = (bits & 0x01) != 0;
            s.InfoBit1 = (bits & 0x02) != 0;
        }
    }
    if (type == "RM") {
        // Each reading is taken only when the frame holds all its columns, so VacuumText
        // always has its four characters and a cut-short frame keeps the last good values.
        if (hasColumns(frame, 15))
            s.VacuumText = columns(frame, 12, 15);
        if (hasColumns(frame, 22)) {
            s.OilTempText = columns(frame, 18, 22);
            s.Display.Label44 = s.OilTempText;
        }
    }
    if (type == "RS" && frame.mid(5, 2) == "W-")
        s.OpState = 4;
    if (type == "RS" && frame.mid(5, 2) == "SP")
        Button3Click(s, env);
    if (type == "RG" && frame.size() > 40)
        decodeResultRecord(s, frame, kept);
}

} // namespace

QString lambdaDisplayText(double co, double co2, double hcPpm, double o2, int gasBoxIndex) {
    const QString none = QStringLiteral("-----");
    const std::optional<double> lambda = lambdaFactor(co, co2, hcPpm, o2, fuelConstant(gasBoxIndex));
    // Odd readings (a negative HC, say) can make the equation divide by zero.
    if (!lambda || !std::isfinite(*lambda) || !(*lambda < 10))
        return none;
    return QString::number(*lambda, 'f', 4).left(5);
}

void ShowResData(StationState& s, StationEnv& env) {
    for (qsizetype i = 0; i < kSlotCount; ++i) {
        const QByteArray frame = s.FrameSlots[i]; // a zeroing request may touch the slots
        const bool kept = i == kSlotCount - 1 || (i == 0 && frame == s.FrameSlots[kSlotCount - 1]);
        s.CurFrame = frame;
        decodeFrame(s, env, frame, kept);
    }
    s.CurFrame.clear();
}

void Timer2Timer(StationState& s) {
    if (s.BarStep > kAnimationSteps)
        return;
    const int step = s.BarStep;
    // Signed arithmetic: the bars move down as well as up, and division truncates toward zero.
    const auto between = [step](int previous, int current) {
        return previous + (current - previous) * step / kAnimationSteps;
    };
    s.BarValue[0] = between(s.PrevValCO, s.ValCO);
    s.BarValue[3] = between(s.PrevValO2, s.ValO2);
    s.BarValue[2] = between(s.PrevValHC, s.ValHC) / 2;
    // The CO2 scale starts at 9 %: readings at or below 9.01 % draw an empty bar.
    if (s.ValCO2 < kCO2Floor)
        s.ValCO2 = kCO2Floor;
    if (s.PrevValCO2 < kCO2Floor)
        s.PrevValCO2 = kCO2Floor;
    s.BarValue[1] = (between(s.PrevValCO2, s.ValCO2) - 900) * 6 / 7;
    ++s.BarStep;
}

} // namespace vz
