#include "AnalyserLineTap.h"

#include <array>

namespace vz {

namespace {

constexpr std::size_t kFieldChars = 4; // every field: its letter, then four characters

// The digits of a field's four characters as one whole number, the point (or comma) at
// `pointAt` skipped; -1 for no point. None when a character is out of place.
std::optional<int32_t> fieldValue(std::string_view chars, int pointAt) {
    int32_t value = 0;
    for (int i = 0; i < int(kFieldChars); ++i) {
        const char c = chars[std::size_t(i)];
        if (i == pointAt) {
            if (c != '.' && c != ',')
                return std::nullopt;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Where each letter's point stands, and the factor that takes its digits to the units of
// AnalyserLine.
struct FieldFormat {
    char letter;
    int pointAt;
    int32_t toUnits;
};

constexpr std::array<FieldFormat, 5> kFormats{{
    {'C', 1, 10}, // x.xx %: hundredths to thousandths
    {'B', 2, 10}, // xx.x %: tenths to hundredths
    {'A', -1, 1}, // xxxx ppm
    {'D', 2, 10}, // xx.x %: tenths to hundredths
    {'G', -1, 1}, // xxxx, the speed field
}};

const FieldFormat* formatOf(char letter) {
    for (const FieldFormat& f : kFormats)
        if (f.letter == letter)
            return &f;
    return nullptr;
}

// `text` read as fields only, from its first character to its last.
std::optional<AnalyserLine> fieldsOnly(std::string_view text) {
    AnalyserLine line;
    std::array<int, 5> seen{}; // by the order of kFormats
    std::size_t at = 0;
    while (at < text.size()) {
        const FieldFormat* format = formatOf(text[at]);
        if (!format || text.size() - at < 1 + kFieldChars)
            return std::nullopt;
        const std::optional<int32_t> digits = fieldValue(text.substr(at + 1, kFieldChars), format->pointAt);
        if (!digits)
            return std::nullopt;
        const int32_t value = *digits * format->toUnits;
        switch (format->letter) {
        case 'C':
            line.coMilli = value;
            break;
        case 'B':
            line.co2Centi = value;
            break;
        case 'A':
            line.hcPpm = value;
            break;
        case 'D':
            line.o2Centi = value;
            break;
        default:
            line.hasSpeed = true;
            line.speedField = value;
            break;
        }
        ++seen[std::size_t(format - kFormats.data())];
        at += 1 + kFieldChars;
    }
    for (std::size_t k = 0; k < 4; ++k) // the four gases once each
        if (seen[k] != 1)
            return std::nullopt;
    if (seen[4] > 1)
        return std::nullopt;
    return line;
}

bool endsLine(char c) {
    return c == '\r' || c == '\n';
}

} // namespace

std::optional<int32_t> AnalyserLine::engineSpeed(uint8_t rpmMode) const {
    if (!hasSpeed)
        return std::nullopt;
    if (rpmMode == 1)
        return speedField;
    if (rpmMode == 2)
        return speedField / 2;
    return std::nullopt;
}

bool AnalyserLine::overRange() const {
    // The main window counts on its whole hundredths of CO and CO2.
    return co2Centi > 2499 || coMilli / 10 > 1499 || hcPpm > 8999;
}

std::optional<AnalyserLine> AnalyserLineTap::parseLine(std::string_view line) {
    // The first place from which the rest is fields only; what stands before it is noise.
    for (std::size_t start = 0; start < line.size(); ++start) {
        if (!formatOf(line[start]))
            continue;
        if (std::optional<AnalyserLine> found = fieldsOnly(line.substr(start)))
            return found;
    }
    return std::nullopt;
}

std::vector<AnalyserLine> AnalyserLineTap::feed(std::string_view bytes) {
    std::vector<AnalyserLine> lines;
    for (const char c : bytes) {
        if (!endsLine(c)) {
            partial_ += c;
            // Keep a long run without a line end short; its last kMaxLineBytes are kept.
            if (partial_.size() > 2 * kMaxLineBytes)
                partial_.erase(0, partial_.size() - kMaxLineBytes);
            continue;
        }
        // CR LF gives an empty line after the CR: it is no line.
        if (std::optional<AnalyserLine> line = parseLine(partial_)) {
            line->id = ++lastId_;
            lines.push_back(*line);
        }
        partial_.clear();
    }
    if (partial_.size() > kMaxLineBytes)
        partial_.erase(0, partial_.size() - kMaxLineBytes);
    return lines;
}

} // namespace vz
