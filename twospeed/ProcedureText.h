#pragma once
// Small rules and texts that the procedure's source files share (TwoSpeedTest.cpp and
// TwoSpeedGate.cpp); not part of the procedure's interface.
#include "TwoSpeedTest.h"

namespace vz::twospeed::procedure {

// The self-sending analyser's rate: its state cannot be polled.
inline constexpr uint32_t kSelfSendingRate = 1200;

// RPM/1 and RPM/2 give the speed in the record; vacuum mode does not.
bool speedFromRecord(int rpmMode);
// The cycle's state in a few words, for blocks and pauses.
QString opStateText(const CycleState& c);
// "2500–3000 min⁻¹"
QString windowText(const SpeedWindow& w);
// Milliseconds as whole seconds, rounded up: a countdown's "1 s" lasts until it is over.
QString wholeSeconds(int64_t ms);

} // namespace vz::twospeed::procedure
