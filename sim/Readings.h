#pragma once
// One set of the simulated analyser's readings, each held as an integer in the unit of the
// last digit its reply field shows, so that formatting never depends on floating point.

namespace sim {

struct Readings {
    int coMilli = 0;  // CO in thousandths of % by volume
    int co2Centi = 0; // CO2 in hundredths of %
    int hcPpm = 0;    // HC in ppm
    int o2Centi = 0;  // O2 in hundredths of %
    int rpm = 0;      // engine speed in revolutions per minute
    int vacuum = 0;   // intake vacuum, as the four-digit field shows it
    int oilDeci = 0;  // oil temperature in tenths of a degree
};

// What an analyser reads with no exhaust gas at its probe: all zero, O2 at 20.85 %.
constexpr Readings ambientReadings(int vacuum, int oilDeci) {
    return Readings{0, 0, 0, 2085, 0, vacuum, oilDeci};
}

} // namespace sim
