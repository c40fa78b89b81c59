#pragma once
// The simulated analyser's inner state: whether the engine is being measured, whether the
// probe is on zero gas, warm-up and the zero request, and readings that drift around set
// points with a seeded, deterministic random walk. Time is passed in as milliseconds from any
// fixed origin, so tests drive it without waiting.
#include "Readings.h"
#include "ReplyBuilder.h"
#include "RequestParser.h"
#include <cstdint>
#include <string>

namespace sim {

// What drives the engine's speed, gases and oil temperature over time instead of the set
// points: a simulated vehicle. It gives them in the reply fields' units; its vacuum is unused.
class EngineSource {
public:
    virtual ~EngineSource() = default;
    virtual Readings engineAt(int64_t nowMs) = 0;
};

class AnalyserModel {
public:
    struct Settings {
        Readings setPoint{500, 1450, 100, 50, 850, 900, 853};
        bool overRange = false;      // CO, CO2 and HC above the station's over-range limits
        bool lowVacuum = false;      // vacuum fixed around 0700
        bool zeroRequest = false;    // ask for zeroing from the start
        bool runningAtStart = false; // measure the engine before any start frame
        int64_t warmupMs = 0;        // report warm-up this long after start
        uint64_t seed = 1;
        ReplyStyle style;
    };

    // After warm-up, or after a zero request has been reported, this long passes before the
    // request is reported again: the station's zeroing run (about 25 s) polls RS itself, and
    // an "SP" answered to that poll would restart the run for ever.
    static constexpr int64_t kZeroGraceMs = 40000;
    // The status character of "IN" replies: bit 1 set, bit 0 clear, "vacuum and oil data
    // available", which makes the station ask for "RM".
    static constexpr char kInfoStatus = '2';

    AnalyserModel(const Settings& settings, int64_t startMs);

    // Applies one request and returns the reply frame, empty for requests not answered.
    std::string answer(const Request& request, int64_t nowMs);

    // The next readings: the engine's, drifting, while measuring; ambient air otherwise.
    Readings measure();
    // The same at a moment: with an engine source, its values at nowMs (the vacuum still
    // drifting around its set point); without one, exactly measure().
    Readings measureAt(int64_t nowMs);
    // Drives speed, gases and oil temperature from `engine` (not owned; nullptr: set points).
    void setEngine(EngineSource* engine) { engine_ = engine; }
    // The two-character status an "RS" reply carries now: "W-", "SP" or "OK".
    std::string status(int64_t nowMs);

    bool engineRunning() const { return running_; }
    bool onZeroGas() const { return zeroGas_; }
    bool zeroRequested() const { return zeroPending_; }
    const Settings& settings() const { return settings_; }

private:
    // A bounded random walk: each step moves by at most `step`, never beyond +-`limit`.
    struct Drift {
        int step;
        int limit;
        int offset = 0;
    };
    int drift(Drift& d);
    uint64_t nextRandom();

    Settings settings_;
    int64_t startMs_;
    uint64_t rng_;
    bool running_;
    bool zeroGas_ = false;
    bool zeroPending_;
    bool warmupOver_ = false;
    int64_t lastZeroReportMs_ = -1;
    bool zeroReported_ = false;
    EngineSource* engine_ = nullptr;
    Drift co_{10, 30}, co2_{5, 20}, hc_{3, 12}, o2_{2, 6}, rpm_{10, 30}, vacuum_{2, 6}, oil_{1, 5};
};

} // namespace sim
