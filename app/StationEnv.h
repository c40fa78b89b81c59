#pragma once
// What the station logic needs from outside itself: the serial component as the main window
// uses it, the demo replay source and the default beep. The main window provides the real
// one over TCommPortDriver; tests provide their own. Message boxes go through MessageBox.h.
#include <QByteArray>
#include <cstdint>

namespace vz {

struct StationState;

class StationEnv {
public:
    virtual ~StationEnv() = default;
    virtual bool IsConnected() const = 0;
    virtual bool Connect() = 0;
    virtual void Disconnect() = 0;
    virtual bool SendText(const QByteArray& bytes) = 0;
    virtual uint32_t BaudRateValue() const = 0;
    virtual bool CheckLineStatus() const = 0;
    // Demo replay step: reads the next two demo lines into frame slots 1 and 2. False after
    // an I/O error, which has been reported; the rest of the tick is then skipped.
    virtual bool DemoReplayStep(StationState& state) = 0;
    virtual void Beep() = 0;
};

} // namespace vz
