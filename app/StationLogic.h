#pragma once
// The station's handlers as plain functions over the module state. The main window's
// handlers are thin calls to these, followed by mirroring StationState::Display onto the
// controls.
#include "StationEnv.h"
#include "StationState.h"

#include <cstdint>
#include <string_view>

namespace vz {

// --- Frames (FrameDecoder.cpp) ---
// The receive event of the serial component: cuts the block into up to four frames in
// slots 1..4, at 1200 baud turns the rest into the result record in slot 5 (ConvData),
// then updates the display. An empty block changes nothing.
void cpDrvReceiveData(StationState& s, StationEnv& env, const void* DataPtr, uint32_t DataSize);
// Cuts a block into slots 1..4 and returns what remains (steps 1-4 of the receive event).
QByteArray cutFrames(StationState& s, QByteArray block);
// Patches slot 5 from the lettered-field text in CurFrame and copies it to slot 1.
void ConvData(StationState& s);
// The 1200-baud line tap (called by the receive event after the steps above): the complete
// lines of `bytes` into RecentAnalyserLines and LineOverRangeCount. At any other rate it only
// forgets an unfinished line.
void tapAnalyserLines(StationState& s, uint32_t baudRate, std::string_view bytes);

// --- Live display (ResultDisplay.cpp) ---
void ShowResData(StationState& s, StationEnv& env);
void Timer2Timer(StationState& s);
// Live-display text of a lambda value: four decimals cut to five characters, or "-----".
QString lambdaDisplayText(double co, double co2, double hcPpm, double o2, int gasBoxIndex);

// --- Port operations on the operator's behalf (StationPort.cpp) ---
void ConnectToolButtonClick(StationState& s, StationEnv& env);
void DisconnectToolButtonClick(StationEnv& env);
void ShowSendError(StationEnv& env);

// --- The measurement cycle (MeasurementCycle.cpp) ---
void Timer1Timer(StationState& s, StationEnv& env);
void Button2Click(StationState& s, StationEnv& env);
void Button3Click(StationState& s, StationEnv& env);
// The frame for the current CmdStep (step 13 first turns CmdStep into 2); empty for none.
QByteArray commandForStep(StationState& s);
void Label5Click(StationState& s);
void RPMGroupClick(StationState& s, int itemIndex);

} // namespace vz
