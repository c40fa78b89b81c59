#include "Vehicle.h"
#include "SimOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace sim {

namespace {

std::vector<std::string> lowerWords(std::string_view line) {
    std::vector<std::string> out;
    std::string word;
    for (const char c : line) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty())
                out.push_back(std::move(word));
            word.clear();
        } else {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!word.empty())
        out.push_back(std::move(word));
    return out;
}

bool readNumber(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && !text.empty() && std::isfinite(out);
}

std::string format(const char* pattern, double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

int toUnits(double value, double perUnit) {
    return static_cast<int>(std::lround(std::max(0.0, value) * perUnit));
}

// The played engine's settable values: their command words, ranges and print formats.
struct Setting {
    const char* word;
    double EngineState::*member;
    double lo;
    double hi;
    const char* format;
};
constexpr Setting kSettings[] = {
    {"rpm", &EngineState::rpm, 0, 9999, "%.0f"},  {"co", &EngineState::co, 0, 99.999, "%.3f"},
    {"co2", &EngineState::co2, 0, 99.99, "%.2f"}, {"hc", &EngineState::hc, 0, 99999, "%.0f"},
    {"o2", &EngineState::o2, 0, 99.99, "%.2f"},   {"oil", &EngineState::oil, 0, 999.9, "%.1f"},
};

const char* const kHelp = "ok commands: rpm N, idle, co N, co2 N, hc N, o2 N, oil N, probe out, probe in, "
                          "leak PCT, go [SECONDS], status, help, quit";

} // namespace

Vehicle::Vehicle(Settings settings, int64_t startMs)
    : settings_(std::move(settings)), scriptStartMs_(startMs), held_(settings_.hold),
      played_(settings_.start), rng_(settings_.seed) {}

double Vehicle::scriptSeconds(int64_t nowMs) const {
    if (held_)
        return scriptOffset_;
    const double realSeconds = static_cast<double>(std::max<int64_t>(0, nowMs - scriptStartMs_)) / 1000.0;
    return scriptOffset_ + realSeconds * settings_.timeScale;
}

EngineState Vehicle::engineStateAt(int64_t nowMs) const {
    return settings_.script ? settings_.script->at(scriptSeconds(nowMs)) : played_;
}

EngineState Vehicle::atProbe(EngineState s) const {
    const double exhaust = probeOut_ ? 0.0 : 1.0 - leakPercent_ / 100.0;
    s.co *= exhaust;
    s.co2 *= exhaust;
    s.hc *= exhaust;
    s.o2 = s.o2 * exhaust + kAirO2 * (1 - exhaust);
    return s;
}

EngineState Vehicle::sampleAt(int64_t nowMs) const {
    return atProbe(engineStateAt(nowMs));
}

double Vehicle::spread(double value) {
    if (settings_.jitterPercent <= 0)
        return value;
    // splitmix64, as the analyser model's drift: seedable and the same on every platform.
    uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double unit = static_cast<double>(z >> 11) / 9007199254740992.0 * 2 - 1; // [-1, 1)
    return value * (1 + unit * settings_.jitterPercent / 100);
}

Readings Vehicle::engineAt(int64_t nowMs) {
    EngineState e = engineStateAt(nowMs);
    // The spread belongs to the engine: plain air at the probe reads clean.
    e.rpm = spread(e.rpm);
    e.co = spread(e.co);
    e.co2 = spread(e.co2);
    e.hc = spread(e.hc);
    e.o2 = spread(e.o2);
    e = atProbe(e);
    Readings r;
    r.rpm = toUnits(e.rpm, 1) * settings_.rpmFactor;
    r.coMilli = toUnits(e.co, 1000);
    r.co2Centi = toUnits(e.co2, 100);
    r.hcPpm = toUnits(e.hc, 1);
    r.o2Centi = toUnits(e.o2, 100);
    r.oilDeci = toUnits(e.oil, 10);
    return r;
}

std::string Vehicle::statusText(int64_t nowMs) const {
    const EngineState s = sampleAt(nowMs);
    std::string t = "ok";
    if (settings_.script)
        t += format(" script %.1f s", scriptSeconds(nowMs)) + (held_ ? " held" : "");
    for (const Setting& setting : kSettings)
        t += std::string(" ") + setting.word + " " + format(setting.format, s.*setting.member);
    t += probeOut_ ? " probe out" : " probe in";
    t += format(" leak %.0f %%", leakPercent_);
    return t;
}

Vehicle::Reply Vehicle::command(std::string_view line, int64_t nowMs) {
    const std::vector<std::string> w = lowerWords(line);
    if (w.empty())
        return {};
    const std::string& verb = w[0];
    auto wrongArguments = [&](const char* usage) { return Reply{std::string("error: usage: ") + usage}; };

    if (verb == "quit" || verb == "exit")
        return {"ok bye", true};
    if (verb == "help")
        return {kHelp};
    if (verb == "status")
        return {statusText(nowMs)};
    if (verb == "probe") {
        if (w.size() != 2 || (w[1] != "out" && w[1] != "in"))
            return wrongArguments("probe out | probe in");
        probeOut_ = w[1] == "out";
        return {"ok probe " + w[1]};
    }
    if (verb == "leak") {
        double percent = 0;
        if (w.size() != 2 || !readNumber(w[1], percent) || percent < 0 || percent > 100)
            return wrongArguments("leak PCT, the share of air in the sample from 0 to 100");
        leakPercent_ = percent;
        return {format("ok leak %g %%", percent)};
    }
    if (verb == "go") {
        if (!settings_.script)
            return {"error: go starts a profile; this car is played by commands"};
        double seconds = 0;
        if (w.size() > 2 || (w.size() == 2 && (!readNumber(w[1], seconds) || seconds < 0 || seconds > 1e6)))
            return wrongArguments("go [SECONDS], where the profile goes on from (default 0)");
        held_ = false;
        scriptStartMs_ = nowMs;
        scriptOffset_ = seconds;
        return {format("ok script at %g s", seconds)};
    }

    const bool idle = verb == "idle";
    const Setting* setting = nullptr;
    for (const Setting& s : kSettings)
        if (verb == s.word)
            setting = &s;
    if (!idle && !setting)
        return {"error: unknown command '" + std::string(line.substr(0, 40)) + "' (help lists them)"};
    if (settings_.script)
        return {"error: " + verb +
                ": this car follows its profile; probe, leak, go, status and quit work with it"};
    if (idle) {
        if (w.size() != 1)
            return wrongArguments("idle");
        played_.rpm = settings_.start.rpm;
        return {format("ok idle rpm %.0f", played_.rpm)};
    }
    double value = 0;
    if (w.size() != 2 || !readNumber(w[1], value) || value < setting->lo || value > setting->hi) {
        return {std::string("error: usage: ") + setting->word + " N, from " + format("%g", setting->lo) +
                " to " + format("%g", setting->hi)};
    }
    played_.*setting->member = value;
    return {std::string("ok ") + setting->word + " " + format(setting->format, value)};
}

std::optional<Vehicle::Settings> vehicleSettings(const SimOptions& o, std::string& error) {
    if (o.vehicle.empty())
        return std::nullopt;
    Vehicle::Settings s;
    if (o.vehicle != kInteractiveVehicle) {
        s.script = VehicleScript::load(o.vehicle, error);
        if (!s.script)
            return std::nullopt;
    }
    s.start = {static_cast<double>(o.rpm), o.co, o.co2, static_cast<double>(o.hc), o.o2, o.oil};
    s.hold = o.hold;
    s.timeScale = o.timeScale;
    s.jitterPercent = o.jitterPercent;
    s.rpmFactor = o.rpmMode;
    s.seed = o.seed;
    return s;
}

} // namespace sim
