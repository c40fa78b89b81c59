#pragma once
// The car at the end of the probe: its engine follows a profile over time, or is played by
// hand through text commands ("rpm 2700", "idle", "probe out", "leak 30", ...). What reaches
// the analyser is the engine's exhaust, mixed with air when the sample leaks and plain air
// when the probe is out of the pipe; the speed pick-up and the oil probe are not affected.
// Time is passed in as milliseconds from any fixed origin, as in AnalyserModel.
#include "AnalyserModel.h"
#include "Readings.h"
#include "VehicleScript.h"
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct SimOptions;

class Vehicle : public EngineSource {
public:
    // O2 in the air the probe takes in when it leaks or is out of the pipe, in %.
    static constexpr double kAirO2 = 20.85;

    struct Settings {
        std::optional<VehicleScript> script; // none: the engine is played by commands
        EngineState start;                   // the played engine's first values; its idle speed
        bool hold = false;                   // the script stands at 0 s until "go"
        double timeScale = 1;                // script seconds per real second
        double jitterPercent = 0;            // random spread of speed and gases, +- % of each value
        int rpmFactor = 1;                   // the speed field carries the speed times this
        uint64_t seed = 1;
    };

    struct Reply {
        std::string text; // one plain line without its line end; empty: nothing to answer
        bool quit = false;
    };

    Vehicle(Settings settings, int64_t startMs);

    // The readings the analyser takes at nowMs: the sample's gases after the probe and any
    // leak, with the spread applied, and the speed as its field carries it.
    Readings engineAt(int64_t nowMs) override;
    // The same without the spread and with the speed in min-1, as "status" reports it.
    EngineState sampleAt(int64_t nowMs) const;
    // The engine's own values, before the probe.
    EngineState engineStateAt(int64_t nowMs) const;

    // Applies one command line and gives its answer.
    Reply command(std::string_view line, int64_t nowMs);

    bool scripted() const { return settings_.script.has_value(); }
    // Seconds into the script at nowMs (where it stands while held).
    double scriptSeconds(int64_t nowMs) const;
    bool probeOut() const { return probeOut_; }
    double leakPercent() const { return leakPercent_; }

private:
    double spread(double value);
    EngineState atProbe(EngineState engine) const;
    std::string statusText(int64_t nowMs) const;

    Settings settings_;
    int64_t scriptStartMs_;
    double scriptOffset_ = 0; // script seconds at scriptStartMs_
    bool held_;
    EngineState played_;
    bool probeOut_ = false;
    double leakPercent_ = 0;
    uint64_t rng_;
};

// The vehicle the options ask for, its profile loaded; nullopt when they ask for none, or
// with `error` set when the profile cannot be read.
std::optional<Vehicle::Settings> vehicleSettings(const SimOptions& options, std::string& error);

} // namespace sim
