#pragma once
// The self-sending (1200-baud) analyser's own lines, found in the received bytes.
//
// At 1200 baud the analyser sends one line of lettered fields after another by itself:
//   C<CO x.xx> B<CO2 xx.x> A<HC xxxx> D<O2 xx.x> [G<engine speed xxxx>] CR LF
// (without the blanks; a decimal comma is taken like a point). The station patches these
// fields into the record it keeps in slot 5 and decodes that record again at every received
// block, so the record keeps no line boundaries: two identical lines look like one, and a
// field that arrives in the next block shows with the previous line's gases. The tap reads
// the same bytes beside that decoding, never touching it, and gives every complete line on
// its own, with an id of its own, for whoever takes one sample per line.
//
// A line ends at CR or LF. Bytes before its first field are taken as line noise and skipped;
// after them the line must be fields only, each in its exact format, C, B, A and D once each
// and G at most once, in any order. Anything else (garbage, a line whose start was lost
// before the station listened, a cut field) gives no line and no id.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vz {

struct AnalyserLine {
    uint64_t id = 0; // 1 for the first complete line the tap found, one more for each next
    // The readings in the units of the main window's labels' last digit; the line itself
    // gives CO to hundredths and CO2 and O2 to tenths of a percent.
    int32_t coMilli = 0;    // CO, thousandths of % ("0.360")
    int32_t co2Centi = 0;   // CO2, hundredths of % ("14.50")
    int32_t hcPpm = 0;      // HC, ppm (" 0060")
    int32_t o2Centi = 0;    // O2, hundredths of % ("00.30")
    bool hasSpeed = false;  // the line has its G field
    int32_t speedField = 0; // the G field as sent: twice the speed for an RPM/2 pick-up

    double co() const { return coMilli / 1000.0; }
    double co2() const { return co2Centi / 100.0; }
    double hc() const { return hcPpm; }
    double o2() const { return o2Centi / 100.0; }
    // The engine speed as the main window shows it in engine-speed mode `rpmMode` (1 RPM/1,
    // 2 RPM/2: half the field); none without a G field or in vacuum mode (4).
    std::optional<int32_t> engineSpeed(uint8_t rpmMode) const;
    // A value beyond the analyser's range, by the bounds of the main window's over-range
    // count: CO2 above 24.99 %, CO above 14.99 %, HC above 8999 ppm.
    bool overRange() const;

    bool operator==(const AnalyserLine&) const = default;
};

class AnalyserLineTap {
public:
    // A line, noise before it included, is never longer than this; a longer run of bytes
    // without a line end keeps only its last kMaxLineBytes, which is all a line can use.
    static constexpr std::size_t kMaxLineBytes = 128;

    // The lines `bytes` completes, in order, each with its new id. Bytes after the last line
    // end wait for the next block, which finishes their line.
    std::vector<AnalyserLine> feed(std::string_view bytes);
    // Forgets the unfinished line (the station is not listening at the line rate).
    void dropPartialLine() { partial_.clear(); }
    // The id of the latest complete line; 0 before the first.
    uint64_t lastId() const { return lastId_; }

    // One line without its line end: its fields (id 0), or none.
    static std::optional<AnalyserLine> parseLine(std::string_view line);

private:
    std::string partial_;
    uint64_t lastId_ = 0;
};

} // namespace vz
