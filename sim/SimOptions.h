#pragma once
// The simulator's command line.
#include "AnalyserModel.h"
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The --vehicle value for a car played by commands instead of a profile.
inline constexpr const char* kInteractiveVehicle = "interactive";
// The default time between two lettered lines at 1200 baud when a vehicle is played.
inline constexpr int kVehiclePeriodMs = 200;

struct SimOptions {
    int baud = 9600; // 9600: polled analyser; 1200: self-sending analyser
    std::string linkDir;
    int com = 1;
    std::string device; // a serial device to use instead of a pty

    double co = 0.50;
    double co2 = 14.50;
    int hc = 100;
    double o2 = 0.50;
    int rpm = 850;
    int vacuum = 900;
    double oil = 85.3;
    uint64_t seed = 1;
    bool running = false;

    bool silent = false;
    bool commas = false;
    bool crBeforeEnd = false;
    bool split = false;
    int splitPauseMs = 60;
    bool noise = false;
    bool overRange = false;
    bool lowVacuum = false;
    double warmupSeconds = 0;
    bool zeroRequest = false;
    int periodMs = 1000; // 1200 baud: time between two lettered lines

    int rpmMode = 1; // the speed field carries the engine speed times this (2 for RPM/2)

    std::string vehicle;       // a profile file, kInteractiveVehicle, or empty: set points
    std::string controlSocket; // a Unix socket path taking commands
    bool controlStdin = false; // commands on stdin, answers on stdout
    bool hold = false;         // the profile waits at 0 s for "go"
    double timeScale = 1;      // profile seconds per real second
    double jitterPercent = 0;  // the vehicle's random spread
    std::string connectPath;   // talk to a running simulator's control socket instead

    std::string recordPath;
    std::string requestLogPath; // every byte received, appended as it arrives
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error; // empty when the command line was valid
};

// Reads "--name value" and "--name=value" forms; unknown options and bad values are errors.
ParsedOptions parseOptions(const std::vector<std::string>& args);
std::string helpText();

// The model's settings for these options, set points in the reply fields' units.
AnalyserModel::Settings modelSettings(const SimOptions& options);

} // namespace sim
