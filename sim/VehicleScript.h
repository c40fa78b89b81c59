#pragma once
// A vehicle profile: the engine's speed, gases and oil temperature as points over time, read
// from a small text file, with straight lines between the points.
//
// One point per line, seven numbers separated by blanks, decimal points only:
//   time-s  speed-min-1  CO-%  CO2-%  HC-ppm  O2-%  oil-degC
// '#' starts a comment that runs to the end of the line; blank lines are ignored. Times
// start at 0 or later and rise strictly from line to line. Before the first point the first
// point's values hold, after the last point the last one's.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The engine's values in their natural units: min-1, % by volume, ppm, degrees Celsius.
struct EngineState {
    double rpm = 0;
    double co = 0;
    double co2 = 0;
    double hc = 0;
    double o2 = 0;
    double oil = 0;

    bool operator==(const EngineState&) const = default;
};

class VehicleScript {
public:
    struct Point {
        double seconds = 0;
        EngineState state;
        int line = 0; // where the point stands in its file, 1-based
    };

    // Files larger than this are refused: a profile has tens of lines, not megabytes.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;

    // The script in `text`, or nullopt with `error` naming the first bad line.
    static std::optional<VehicleScript> parse(std::string_view text, std::string& error);
    // The same from a file; `error` starts with the file's name.
    static std::optional<VehicleScript> load(const std::string& path, std::string& error);

    // The interpolated values `seconds` after the script's start.
    EngineState at(double seconds) const;

    const std::vector<Point>& points() const { return points_; }
    double lastSeconds() const { return points_.back().seconds; }

private:
    explicit VehicleScript(std::vector<Point> points) : points_(std::move(points)) {}
    std::vector<Point> points_;
};

} // namespace sim
