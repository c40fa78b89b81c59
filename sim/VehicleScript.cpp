#include "VehicleScript.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace sim {

namespace {

struct Column {
    const char* name;
    double lo;
    double hi;
};

// The seven columns of a point, with the ranges their reply fields can show.
constexpr Column kColumns[] = {
    {"time", 0, 1e6},
    {"speed", 0, 9999},
    {"CO", 0, 99.999},
    {"CO2", 0, 99.99},
    {"HC", 0, 99999},
    {"O2", 0, 99.99},
    {"oil temperature", 0, 999.9},
};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

// Locale-independent, so that a station PC set to a comma locale reads "0.10" the same.
bool readNumber(std::string_view text, double& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && !text.empty() && std::isfinite(out);
}

std::string onLine(int line) {
    return "line " + std::to_string(line) + ": ";
}

std::string shortNumber(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

} // namespace

std::optional<VehicleScript> VehicleScript::parse(std::string_view text, std::string& error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3); // a byte-order mark some editors write
    std::vector<Point> points;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> fields = words(line);
        if (fields.empty())
            continue;
        if (fields.size() != kColumnCount) {
            error = onLine(lineNumber) +
                    "expected 7 numbers (time, speed, CO, CO2, HC, O2, oil temperature), found " +
                    std::to_string(fields.size());
            return std::nullopt;
        }
        double values[kColumnCount];
        for (std::size_t i = 0; i < kColumnCount; ++i) {
            const Column& c = kColumns[i];
            const std::string word(fields[i]);
            if (!readNumber(fields[i], values[i])) {
                error = onLine(lineNumber) + c.name + " '" + word + "' is not a number";
                if (word.find(',') != std::string::npos)
                    error += " (use a decimal point)";
                return std::nullopt;
            }
            if (values[i] < c.lo || values[i] > c.hi) {
                error = onLine(lineNumber) + c.name + " " + word + " is outside " + shortNumber(c.lo) +
                        " to " + shortNumber(c.hi);
                return std::nullopt;
            }
        }
        if (!points.empty() && values[0] <= points.back().seconds) {
            error = onLine(lineNumber) + "time " + std::string(fields[0]) + " is not after " +
                    shortNumber(points.back().seconds) + " on line " + std::to_string(points.back().line);
            return std::nullopt;
        }
        points.push_back(
            {values[0], {values[1], values[2], values[3], values[4], values[5], values[6]}, lineNumber});
    }
    if (points.empty()) {
        error = "no points: a profile needs at least one line of seven numbers";
        return std::nullopt;
    }
    return VehicleScript(std::move(points));
}

std::optional<VehicleScript> VehicleScript::load(const std::string& path, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, n);
        if (text.size() > kMaxFileBytes) {
            error = path + ": larger than " + std::to_string(kMaxFileBytes) + " bytes, not a vehicle profile";
            return std::nullopt;
        }
    }
    if (std::ferror(file.get())) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::optional<VehicleScript> script = parse(text, error);
    if (!script)
        error = path + ": " + error;
    return script;
}

EngineState VehicleScript::at(double seconds) const {
    if (seconds <= points_.front().seconds)
        return points_.front().state;
    if (seconds >= points_.back().seconds)
        return points_.back().state;
    const auto next = std::upper_bound(points_.begin(), points_.end(), seconds,
                                       [](double s, const Point& p) { return s < p.seconds; });
    const Point& b = *next;
    const Point& a = *(next - 1);
    const double f = (seconds - a.seconds) / (b.seconds - a.seconds);
    auto mix = [f](double x, double y) { return x + (y - x) * f; };
    return {mix(a.state.rpm, b.state.rpm), mix(a.state.co, b.state.co), mix(a.state.co2, b.state.co2),
            mix(a.state.hc, b.state.hc),   mix(a.state.o2, b.state.o2), mix(a.state.oil, b.state.oil)};
}

} // namespace sim
