#pragma once
// The station's outside world as the main window provides it: the serial component CPDrv,
// the demo replay of the demo file and the system's default beep. The cycle, the frame
// decoder and the display reach the analyser only through this.
#include "StationEnv.h"

#include <functional>

class TCommPortDriver;

namespace vz {

class CPDrvEnv : public StationEnv {
public:
    explicit CPDrvEnv(TCommPortDriver& port);

    bool IsConnected() const override;
    bool Connect() override;
    void Disconnect() override;
    bool SendText(const QByteArray& bytes) override;
    uint32_t BaudRateValue() const override;
    bool CheckLineStatus() const override;
    // Calls demoReplay when one is set (the main window sets it to its demo-file reader).
    bool DemoReplayStep(StationState& state) override;
    // Calls beep when one is set, otherwise the application's default beep.
    void Beep() override;

    std::function<bool(StationState&)> demoReplay;
    std::function<void()> beep;

private:
    TCommPortDriver& port_;
};

} // namespace vz
