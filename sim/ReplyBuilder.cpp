#include "ReplyBuilder.h"

#include <algorithm>

namespace sim {

namespace {

long powerOfTen(int exponent) {
    long p = 1;
    for (int i = 0; i < exponent; ++i)
        p *= 10;
    return p;
}

// Rounds a non-negative value to a coarser unit, e.g. thousandths to hundredths (divisor 10).
long roundDown(long value, long divisor) {
    return (value + divisor / 2) / divisor;
}

std::string frameHead(std::string_view type) {
    std::string f(1, kFrameStart);
    f += '1';
    f += type;
    f += kSeparator;
    return f;
}

std::string finish(std::string frame, const ReplyStyle& style) {
    if (style.crBeforeEnd)
        frame += '\r';
    frame += kFrameEnd;
    return frame;
}

char pointOf(const ReplyStyle& style) {
    return style.commas ? ',' : '.';
}

} // namespace

std::string fixedText(long value, int intDigits, int decimals, char point) {
    const long largest = powerOfTen(intDigits + decimals) - 1;
    value = std::clamp(value, 0L, largest);
    std::string digits = std::to_string(value);
    digits.insert(0, static_cast<std::size_t>(intDigits + decimals) - digits.size(), '0');
    if (decimals > 0)
        digits.insert(static_cast<std::size_t>(intDigits), 1, point);
    return digits;
}

std::string resultRecord(const Readings& r, const ReplyStyle& style) {
    const char p = pointOf(style);
    std::string f = frameHead("RG");
    f += ' ' + fixedText(r.coMilli, 2, 3, p);
    f += ' ' + fixedText(r.co2Centi, 2, 2, p);
    f += ' ' + fixedText(r.hcPpm, 5, 0);
    f += ' ' + fixedText(r.o2Centi, 2, 2, p);
    f += " 00000";
    f += fixedText(r.rpm, 4, 0);
    f += "30";
    return finish(std::move(f), style);
}

std::string vacuumFrame(const Readings& r, const ReplyStyle& style) {
    std::string f = frameHead("RM");
    f += " 0000 ";
    f += fixedText(r.vacuum, 4, 0);
    f += "  ";
    f += fixedText(r.oilDeci, 3, 1, pointOf(style));
    return finish(std::move(f), style);
}

std::string infoFrame(char status, const ReplyStyle& style) {
    std::string f = frameHead("IN");
    f += "00";
    f += status;
    return finish(std::move(f), style);
}

std::string statusFrame(std::string_view status, const ReplyStyle& style) {
    std::string f = frameHead("RS");
    std::string two(status.substr(0, 2));
    two.resize(2, ' ');
    f += two;
    return finish(std::move(f), style);
}

std::string letteredText(const Readings& r, const ReplyStyle& style) {
    const char p = pointOf(style);
    std::string t;
    t += 'C' + fixedText(roundDown(r.coMilli, 10), 1, 2, p);
    t += 'B' + fixedText(roundDown(r.co2Centi, 10), 2, 1, p);
    t += 'A' + fixedText(r.hcPpm, 4, 0);
    t += 'D' + fixedText(roundDown(r.o2Centi, 10), 2, 1, p);
    t += 'G' + fixedText(r.rpm, 4, 0);
    t += "\r\n";
    return t;
}

} // namespace sim
