#include "SimOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace sim {

namespace {

// Locale-independent: a station PC set to a comma locale must not change what "0.50" means.
bool parseNumber(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && !text.empty() && std::isfinite(out);
}

template <typename Int> bool parseInteger(const std::string& text, Int& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

struct Valued {
    std::function<bool(const std::string&)> set;
    const char* what;
};

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    SimOptions& o = result.options;
    bool periodGiven = false;

    auto number = [](double& target, double lo, double hi) {
        return [&target, lo, hi](const std::string& v) {
            double d = 0;
            if (!parseNumber(v, d) || d < lo || d > hi)
                return false;
            target = d;
            return true;
        };
    };
    auto integer = [](int& target, int lo, int hi) {
        return [&target, lo, hi](const std::string& v) {
            int i = 0;
            if (!parseInteger(v, i) || i < lo || i > hi)
                return false;
            target = i;
            return true;
        };
    };
    auto text = [](std::string& target) {
        return [&target](const std::string& v) {
            target = v;
            return !v.empty();
        };
    };

    const std::map<std::string, Valued> valued = {
        {"--baud",
         {[&o](const std::string& v) {
              return parseInteger(v, o.baud) && (o.baud == 9600 || o.baud == 1200);
          },
          "9600 or 1200"}},
        {"--link-dir", {text(o.linkDir), "a directory"}},
        {"--com", {integer(o.com, 1, 255), "a port number from 1 to 255"}},
        {"--device", {text(o.device), "a device path"}},
        {"--co", {number(o.co, 0, 99.999), "a CO value from 0 to 99.999"}},
        {"--co2", {number(o.co2, 0, 99.99), "a CO2 value from 0 to 99.99"}},
        {"--hc", {integer(o.hc, 0, 99999), "an HC value from 0 to 99999"}},
        {"--o2", {number(o.o2, 0, 99.99), "an O2 value from 0 to 99.99"}},
        {"--rpm", {integer(o.rpm, 0, 9999), "an engine speed from 0 to 9999"}},
        {"--vacuum", {integer(o.vacuum, 0, 9999), "a vacuum from 0 to 9999"}},
        {"--oil", {number(o.oil, 0, 999.9), "an oil temperature from 0 to 999.9"}},
        {"--seed", {[&o](const std::string& v) { return parseInteger(v, o.seed); }, "an unsigned integer"}},
        {"--split-pause", {integer(o.splitPauseMs, 1, 5000), "milliseconds from 1 to 5000"}},
        {"--warmup", {number(o.warmupSeconds, 0, 86400), "seconds from 0 to 86400"}},
        {"--period",
         {[&o, &periodGiven, set = integer(o.periodMs, 50, 60000)](const std::string& v) {
              periodGiven = true;
              return set(v);
          },
          "milliseconds from 50 to 60000"}},
        {"--rpm-mode",
         {[&o](const std::string& v) {
              return parseInteger(v, o.rpmMode) && (o.rpmMode == 1 || o.rpmMode == 2);
          },
          "1 or 2"}},
        {"--vehicle", {text(o.vehicle), "a profile file or 'interactive'"}},
        {"--control",
         {[&o](const std::string& v) {
              if (v == "-")
                  o.controlStdin = true;
              else
                  o.controlSocket = v;
              return !v.empty();
          },
          "a socket path, or - for stdin"}},
        {"--time-scale", {number(o.timeScale, 0.1, 100), "a factor from 0.1 to 100"}},
        {"--jitter", {number(o.jitterPercent, 0, 20), "a percentage from 0 to 20"}},
        {"--connect", {text(o.connectPath), "a control socket path"}},
        {"--record", {text(o.recordPath), "a file name"}},
        {"--log-requests", {text(o.requestLogPath), "a file name"}},
    };
    const std::map<std::string, bool*> flags = {
        {"--help", &o.help},
        {"-h", &o.help},
        {"--version", &o.version},
        {"--running", &o.running},
        {"--silent", &o.silent},
        {"--commas", &o.commas},
        {"--cr-before-end", &o.crBeforeEnd},
        {"--split", &o.split},
        {"--noise", &o.noise},
        {"--over-range", &o.overRange},
        {"--low-vacuum", &o.lowVacuum},
        {"--zero-request", &o.zeroRequest},
        {"--hold", &o.hold},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (auto f = flags.find(name); f != flags.end() && !inlineValue) {
            *f->second = true;
            continue;
        }
        auto v = valued.find(name);
        if (v == valued.end()) {
            result.error = "unknown option: " + args[i];
            return result;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                result.error = name + " needs " + v->second.what;
                return result;
            }
            value = args[++i];
        }
        if (!v->second.set(value)) {
            result.error = name + " needs " + v->second.what + ", not '" + value + "'";
            return result;
        }
    }
    if (!o.device.empty() && !o.linkDir.empty())
        result.error = "--device and --link-dir exclude each other";
    // A control channel alone plays a car by hand; a car played by hand listens on stdin
    // when no channel is named.
    const bool control = o.controlStdin || !o.controlSocket.empty();
    if (control && o.vehicle.empty())
        o.vehicle = kInteractiveVehicle;
    if (o.vehicle == kInteractiveVehicle && !control)
        o.controlStdin = true;
    // The station reads its line every 400 ms and takes the speed field only from a block
    // that holds more than one line: a vehicle's speed needs lines closer together.
    if (!o.vehicle.empty() && o.baud == 1200 && !periodGiven)
        o.periodMs = kVehiclePeriodMs;
    const bool scripted = !o.vehicle.empty() && o.vehicle != kInteractiveVehicle;
    if ((o.hold || o.timeScale != 1) && !scripted)
        result.error = "--hold and --time-scale need --vehicle with a profile";
    if (!o.vehicle.empty() && o.overRange)
        result.error = "--over-range and --vehicle exclude each other: the vehicle gives the gases";
    if (!o.connectPath.empty() && (!o.vehicle.empty() || !o.device.empty() || !o.linkDir.empty()))
        result.error = "--connect talks to a running simulator and opens no line or vehicle of its own";
    return result;
}

std::string helpText() {
    return "Usage: analyser-sim [options]\n"
           "Plays a four-gas exhaust analyser on a pseudo-terminal (or a serial device) and prints\n"
           "\"PTY <slave path>\" once the line is open.\n"
           "\n"
           "Line:\n"
           "  --link-dir DIR        make the link DIR/COM<n> to the pty (removed on exit)\n"
           "  --com N               port number of that link (default 1)\n"
           "  --device PATH         use a serial device, set raw at the baud rate, instead of a pty\n"
           "  --baud 9600|1200      9600: polled analyser (default); 1200: self-sending analyser\n"
           "  --period MS           1200 baud: time between two lines of readings (default 1000,\n"
           "                        200 with --vehicle)\n"
           "Readings (they drift a little around these values):\n"
           "  --co PCT              CO in % (default 0.50)\n"
           "  --co2 PCT             CO2 in % (default 14.50)\n"
           "  --hc PPM              HC in ppm (default 100)\n"
           "  --o2 PCT              O2 in % (default 0.50)\n"
           "  --rpm N               engine speed (default 850)\n"
           "  --rpm-mode 1|2        the station's engine-speed mode: 2 puts twice the speed in the\n"
           "                        speed field, as RPM/2 reads it (default 1)\n"
           "  --vacuum N            intake vacuum (default 900)\n"
           "  --oil DEG             oil temperature (default 85.3)\n"
           "  --seed N              seed of the drift (default 1)\n"
           "  --running             measure the engine from the start, without a start frame\n"
           "Faults on purpose:\n"
           "  --silent              answer nothing\n"
           "  --commas              decimal commas in the replies\n"
           "  --cr-before-end       a CR just before each frame's end byte\n"
           "  --split               write each reply in two parts with a pause between them\n"
           "  --split-pause MS      that pause (default 60)\n"
           "  --noise               stray bytes between the replies\n"
           "  --over-range          CO above 14.99 %, CO2 above 24.99 %, HC above 8999 ppm\n"
           "  --low-vacuum          vacuum around 0700\n"
           "  --warmup SECONDS      report warm-up (\"W-\") this long, then ask for zeroing\n"
           "  --zero-request        ask for zeroing (\"SP\") until a zeroing command arrives\n"
           "A vehicle:\n"
           "  --vehicle PROFILE     a car whose speed, gases and oil temperature follow PROFILE, a\n"
           "                        text file of lines \"time speed CO CO2 HC O2 oil\" (see the man page)\n"
           "  --vehicle interactive a car played by commands, starting at the readings above\n"
           "  --control PATH|-      take commands on the Unix socket PATH, or - for stdin (both may\n"
           "                        be given): rpm N, idle, co/co2/hc/o2/oil N, probe out, probe in,\n"
           "                        leak PCT, go [SECONDS], status, help, quit\n"
           "  --hold                the profile stands at its first point until \"go\"\n"
           "  --time-scale F        run the profile F times as fast (default 1)\n"
           "  --jitter PCT          spread speed and gases randomly by up to PCT % (seeded by --seed)\n"
           "  --connect PATH        send the lines of stdin to a running simulator's control socket\n"
           "                        and print its answers\n"
           "Other:\n"
           "  --record FILE         write every reply frame as one line of FILE (demo file format)\n"
           "  --log-requests FILE   append every byte received to FILE as it arrives\n"
           "  -h, --help            show this text\n"
           "  --version             show the version\n";
}

AnalyserModel::Settings modelSettings(const SimOptions& o) {
    AnalyserModel::Settings s;
    s.setPoint.coMilli = static_cast<int>(std::lround(o.co * 1000));
    s.setPoint.co2Centi = static_cast<int>(std::lround(o.co2 * 100));
    s.setPoint.hcPpm = o.hc;
    s.setPoint.o2Centi = static_cast<int>(std::lround(o.o2 * 100));
    s.setPoint.rpm = o.rpm * o.rpmMode;
    s.setPoint.vacuum = o.vacuum;
    s.setPoint.oilDeci = static_cast<int>(std::lround(o.oil * 10));
    s.overRange = o.overRange;
    s.lowVacuum = o.lowVacuum;
    s.zeroRequest = o.zeroRequest;
    // The self-sending analyser has no start command: it measures from the moment it is on.
    s.runningAtStart = o.running || o.baud == 1200;
    s.warmupMs = static_cast<int64_t>(std::llround(o.warmupSeconds * 1000));
    s.seed = o.seed;
    s.style.commas = o.commas;
    s.style.crBeforeEnd = o.crBeforeEnd;
    return s;
}

} // namespace sim
