#pragma once
// The frames the simulated analyser answers with, built column by column. Every frame starts
// with 0x06, the address "1" and the two-letter type, and ends with 0x03; the columns named
// below are 1-based, as the station reads them.
#include "Readings.h"
#include <string>
#include <string_view>

namespace sim {

// Deliberate faults a real line may show; all off gives the clean frames.
struct ReplyStyle {
    bool commas = false;      // decimal commas instead of points
    bool crBeforeEnd = false; // a CR just before the end byte 0x03
};

constexpr char kFrameStart = 0x06;
constexpr char kFrameEnd = 0x03;
constexpr char kSeparator = 0x17;

// A non-negative fixed-point value as zero-padded text: value is in units of 10^-decimals,
// shown with intDigits integer digits; values beyond the field show its largest value.
std::string fixedText(long value, int intDigits, int decimals, char point = '.');

// "RG", the 43-character result record:
//   1 0x06 | 2 "1" | 3-4 "RG" | 5 0x17 | 6 " " | 7-12 CO "00.000" | 13 " " | 14-18 CO2 "00.00"
//   | 19 " " | 20-24 HC "00000" | 25 " " | 26-30 O2 "00.00" | 31 " " | 32-36 "00000"
//   | 37-40 RPM "0000" | 41-42 "30" | 43 0x03
std::string resultRecord(const Readings& r, const ReplyStyle& style = {});

// "RM", 23 characters: 5 0x17 | 6 " " | 7-10 "0000" | 11 " " | 12-15 vacuum "0900"
//   | 16-17 "  " | 18-22 oil temperature "085.3" | 23 0x03
std::string vacuumFrame(const Readings& r, const ReplyStyle& style = {});

// "IN", 9 characters: 5 0x17 | 6-7 "00" | 8 status character | 9 0x03
std::string infoFrame(char status, const ReplyStyle& style = {});

// "RS", 8 characters: 5 0x17 | 6-7 the two-character status | 8 0x03
std::string statusFrame(std::string_view status, const ReplyStyle& style = {});

// The self-sending analyser's line: C<CO x.xx>B<CO2 xx.x>A<HC xxxx>D<O2 xx.x>G<rpm xxxx> CR LF.
std::string letteredText(const Readings& r, const ReplyStyle& style = {});

} // namespace sim
