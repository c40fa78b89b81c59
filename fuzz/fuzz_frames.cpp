// Received blocks through the station's frame path: cutting into slots, the 1200-baud
// lettered-field record (ConvData), decoding into the display (ShowResData), the bar
// animation (Timer2Timer) and, between blocks, the cycle tick that answers what was decoded.
//
// Input: a header byte (bit 0: 1200 baud instead of 9600; bits 1-2: engine-speed mode
// RPM/1, RPM/2, vacuum, RPM/1; bit 3: at 1200 baud start without the default record in
// slot 5; bit 4: a vehicle with limits is selected), a fuel box byte, then blocks, each a
// control byte (bits 0-2: Timer2 ticks after the block; bit 3: a Timer1 tick after it;
// bits 4-5: an engine-speed mode chosen before it, 0 for none), a length byte and the block.
#include "AnalyserFrames.h"
#include "FuzzSupport.h"
#include "StationEnv.h"
#include "StationLogic.h"
#include "StationState.h"
#include "recording_env.h"

#include <algorithm>

namespace {

using vzfuzz::require;

bool isCutFrame(const QByteArray& slot) {
    return slot.isEmpty() || (slot.front() == analyser::kStart && slot.back() == analyser::kEnd &&
                              slot.count(analyser::kEnd) == 1 && !slot.contains(',') && !slot.contains('\r'));
}

// What the cutting of one block promises: every slot is one frame taken from the block, and
// the frames and the rest together are the block's bytes (with ',' and CR replaced).
void checkCut(const vz::StationState& s, const QByteArray& block, const QByteArray& rest) {
    qsizetype total = rest.size();
    for (int k = 0; k < 4; ++k) {
        require(isCutFrame(s.FrameSlots[k]), "a cut slot is not one frame");
        total += s.FrameSlots[k].size();
    }
    require(total == block.size(), "cutting lost or invented bytes");
}

void checkDisplay(const vz::StationState& s) {
    const vz::StationDisplay& d = s.Display;
    for (const QString* label :
         {&d.Label11, &d.Label12, &d.Label13, &d.Label14, &d.Label15, &d.Label44, &d.Label46})
        require(label->size() <= 5, "a reading label holds more than five characters");
    require(s.RpmText.isEmpty() || s.RpmText.size() == 4, "the engine speed text is not four characters");
    require(s.VacuumText.size() == 4, "the vacuum text is not four characters");
    require(s.BarStep <= 6, "the bar animation ran past its last step");
}

void checkBars(const vz::StationState& s) {
    const auto within = [](int value, int a, int b) {
        return value >= std::min(a, b) && value <= std::max(a, b);
    };
    require(within(s.BarValue[0], s.PrevValCO, s.ValCO), "the CO bar left its two readings");
    require(within(s.BarValue[3], s.PrevValO2, s.ValO2), "the O2 bar left its two readings");
    require(within(s.BarValue[2], s.PrevValHC / 2, s.ValHC / 2), "the HC bar left its two readings");
    require(s.BarValue[1] >= 0, "the CO2 bar went below its floor");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vzfuzz::Input in(data, size);
    const uint8_t header = in.byte();
    const uint32_t rate = (header & 0x01) ? 1200 : 9600;
    static constexpr uint8_t kModes[] = {1, 2, 4, 1};

    vz::StationState s;
    s.DemoMode = false;
    s.OpState = 1;
    s.RpmMode = kModes[(header >> 1) & 0x03];
    s.GASBoxItemIndex = static_cast<int>(in.byte() % 5) - 1;
    if (rate == 1200 && !(header & 0x08))
        s.FrameSlots[4] = analyser::defaultResultRecord();
    if (header & 0x10)
        s.Vehicle = {QStringLiteral("LADA 2107"), 450, 30, 145, 250, 450};
    // The serial component in memory, its port open.
    cycletest::RecordingEnv env;
    env.connected = true;
    env.rate = rate;

    for (int blocks = 0; !in.empty() && blocks < 64; ++blocks) {
        const uint8_t control = in.byte();
        if (const int item = (control >> 4) & 0x03)
            vz::RPMGroupClick(s, item - 1);
        const QByteArray block = in.chunk();

        // The receive event's first steps on a copy, to check what cutting promises. An
        // empty block cuts nothing and leaves the slots as they were.
        if (!block.isEmpty()) {
            vz::StationState probe = s;
            checkCut(probe, block, vz::cutFrames(probe, block));
        }

        vz::cpDrvReceiveData(s, env, block.constData(), static_cast<uint32_t>(block.size()));
        if (rate == 1200 && !block.isEmpty()) {
            require(s.FrameSlots[4].size() == analyser::defaultResultRecord().size(),
                    "the lettered fields changed the length of the record");
            require(s.FrameSlots[0] == s.FrameSlots[4], "slot 1 is not the patched record");
        }
        checkDisplay(s);

        for (int t = 0; t < (control & 0x07); ++t) {
            vz::Timer2Timer(s);
            checkBars(s);
        }
        if (control & 0x08)
            vz::Timer1Timer(s, env);
        checkDisplay(s);
    }
    return 0;
}
