#include "AnalyserModel.h"

#include <algorithm>

namespace sim {

AnalyserModel::AnalyserModel(const Settings& settings, int64_t startMs)
    : settings_(settings), startMs_(startMs), rng_(settings.seed), running_(settings.runningAtStart),
      zeroPending_(settings.zeroRequest) {
    if (settings_.overRange) {
        settings_.setPoint.coMilli = 15500; // above 14.99 %
        settings_.setPoint.co2Centi = 2550; // above 24.99 %
        settings_.setPoint.hcPpm = 9500;    // above 8999 ppm
    }
    if (settings_.lowVacuum)
        settings_.setPoint.vacuum = 700;
}

uint64_t AnalyserModel::nextRandom() {
    // splitmix64: tiny, seedable and the same on every platform.
    uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int AnalyserModel::drift(Drift& d) {
    const int span = 2 * d.step + 1;
    const int move = static_cast<int>(nextRandom() % static_cast<uint64_t>(span)) - d.step;
    d.offset = std::clamp(d.offset + move, -d.limit, d.limit);
    return d.offset;
}

Readings AnalyserModel::measure() {
    const Readings& sp = settings_.setPoint;
    // Vacuum and oil temperature come from their own probe and drift in every state.
    const int vacuum = std::max(0, sp.vacuum + drift(vacuum_));
    const int oil = std::max(0, sp.oilDeci + drift(oil_));
    if (!running_ || zeroGas_)
        return ambientReadings(vacuum, oil);
    Readings r;
    r.coMilli = std::max(0, sp.coMilli + drift(co_));
    r.co2Centi = std::max(0, sp.co2Centi + drift(co2_));
    r.hcPpm = std::max(0, sp.hcPpm + drift(hc_));
    r.o2Centi = std::max(0, sp.o2Centi + drift(o2_));
    r.rpm = std::max(0, sp.rpm + drift(rpm_));
    r.vacuum = vacuum;
    r.oilDeci = oil;
    return r;
}

Readings AnalyserModel::measureAt(int64_t nowMs) {
    if (!engine_)
        return measure();
    const Readings engine = engine_->engineAt(nowMs);
    const int vacuum = std::max(0, settings_.setPoint.vacuum + drift(vacuum_));
    // The oil probe and the speed pick-up are the engine's own; the speed is only reported
    // while the analyser measures, as with the set points.
    if (!running_ || zeroGas_)
        return ambientReadings(vacuum, engine.oilDeci);
    Readings r = engine;
    r.vacuum = vacuum;
    return r;
}

std::string AnalyserModel::status(int64_t nowMs) {
    if (nowMs - startMs_ < settings_.warmupMs)
        return "W-";
    if (settings_.warmupMs > 0 && !warmupOver_) {
        // A warmed-up analyser wants zeroing; that is also the station's only way out of
        // its warm-up state.
        warmupOver_ = true;
        zeroPending_ = true;
        zeroReported_ = false;
    }
    if (zeroPending_ && (!zeroReported_ || nowMs - lastZeroReportMs_ >= kZeroGraceMs)) {
        zeroReported_ = true;
        lastZeroReportMs_ = nowMs;
        return "SP";
    }
    return "OK";
}

std::string AnalyserModel::answer(const Request& request, int64_t nowMs) {
    const ReplyStyle& style = settings_.style;
    switch (request.kind) {
    case RequestKind::Start:
        running_ = true;
        zeroGas_ = false;
        return {};
    case RequestKind::Reset:
        running_ = false;
        zeroGas_ = false;
        return {};
    case RequestKind::Command:
        break;
    }
    const std::string& c = request.command;
    if (c == "RG")
        return resultRecord(measureAt(nowMs), style);
    if (c == "RM")
        return vacuumFrame(measureAt(nowMs), style);
    if (c == "IN")
        return infoFrame(kInfoStatus, style);
    if (c == "RS")
        return statusFrame(status(nowMs), style);
    if (c == "OU") {
        if (request.parameter == 'P') {
            zeroGas_ = true; // probe switched to zero gas for a zeroing run
        } else if (request.parameter == 'A') {
            zeroGas_ = false; // back to sampling
        } else {
            running_ = false; // blank: measurement stopped
            zeroGas_ = false;
        }
    } else if (c == "ZP" || c == "ZE") {
        zeroPending_ = false;
        zeroReported_ = false;
        co_.offset = co2_.offset = hc_.offset = o2_.offset = 0;
    }
    return {};
}

} // namespace sim
