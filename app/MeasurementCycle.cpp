// The measurement cycle: the cycle timer's tick, which steps the operating state and polls the
// analyser with one command frame per tick, and the operator commands that steer it (start/stop,
// zero, engine-speed mode). Everything here works on the module state and on StationEnv only;
// the main window mirrors StationState::Display onto its controls and Timer1 afterwards.
#include "AnalyserFrames.h"
#include "Conversions.h"
#include "StationLogic.h"

#include <algorithm>
#include <cstdint>

namespace vz {

namespace {

// Status captions, written exactly as the analyser station has always shown them.
const QString kRunning = QStringLiteral("    R U N N I N G    ");
const QString kHighVacuum = QStringLiteral(" HIGH  V A C U U M");
const QString kInStop = QStringLiteral("   I N   S T O P      ");
const QString kStopped = QStringLiteral("   S T O P P E D     ");
const QString kWarmUp = QStringLiteral("    W A R M   U P   ");
const QString kZeroing = QStringLiteral("   Z E R O I N G ... ");
const QString kInitialising = QStringLiteral("INITIALISING ...");
const QString kZeroRequired = QStringLiteral(" ZERO REQIERED !");

constexpr uint32_t kPolledRate = 9600;      // analyser that answers command frames
constexpr uint32_t kSelfSendingRate = 1200; // analyser that sends records by itself
constexpr int kLowVacuum = 810;             // below this the intake vacuum is too high

void setStatus(StationDisplay& d, const QString& caption, QRgb colour) {
    d.Label45Caption = caption;
    d.Label45Colour = colour;
}

void runningStep(StationState& s, StationEnv& env) {
    StationDisplay& d = s.Display;
    d.Timer1Interval = 250;
    // Six frames per round: RG; RM or OU A; RG; IN; RG; RS.
    s.CmdStep = s.CmdStep >= 6 ? 1 : s.CmdStep + 1;
    s.RunTicks += 1;

    // A vacuum text that is not an integer (a garbled "RM" reply) gives no warning rather than
    // an error box on every tick.
    const std::optional<int32_t> vacuum = strToInt(s.VacuumText);
    const bool lowVacuum = vacuum && *vacuum < kLowVacuum;
    d.Label45Colour = lowVacuum ? kRed : kGreen;
    if (lowVacuum && s.RunTicks % 2 == 0) {
        d.Label45Caption = kHighVacuum;
        env.Beep();
    } else {
        d.Label45Caption = kRunning;
    }

    // The bar empties as the run time passes.
    // In 64 bits: at 1200 baud a run can go on past its limit for months, and RunTicks × 80
    // would leave the 32-bit range after about 27 million ticks.
    if (s.RunTickLimit > 0) {
        const int64_t position = 81 - int64_t(s.RunTicks) * 80 / s.RunTickLimit;
        d.ProgressBar1Position = int(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX));
    } else {
        d.ProgressBar1Position = 0;
    }

    if (s.RunTicks > s.RunTickLimit)
        Button2Click(s, env); // run length reached: stop

    // No result record for about 12 s: restart the analyser through the initialising sequence.
    if (s.TicksSinceResult > 48 && s.CmdStep == 6) {
        s.OpState = 6;
        s.CmdStep = 13;
        s.SubTicks = 0;
        d.Label45Visible = true;
        d.Label45Caption = kInitialising;
        d.ProgressBar1Visible = true;
        d.ProgressBar1Position = (s.CmdStep - 12) * 2;
    }
}

void stopRequestedStep(StationState& s) {
    s.CmdStep += 1;
    if (s.CmdStep > 5) {
        setStatus(s.Display, kInStop, kYellow);
        s.CmdStep = 0; // OU blank goes out on this tick
        s.OpState = 3;
    }
}

void stoppedStep(StationState& s) {
    s.CmdStep = 1; // RG every 2 s
    s.Display.Timer1Interval = 2000;
    setStatus(s.Display, kStopped, kRed);
}

void warmUpStep(StationState& s) {
    s.Display.Timer1Interval = 1000;
    setStatus(s.Display, kWarmUp, kYellow);
    // Settles into steps 5 and 6: RG and RS alternately.
    s.CmdStep = s.CmdStep >= 6 ? 5 : s.CmdStep + 1;
}

void zeroingStep(StationState& s) {
    StationDisplay& d = s.Display;
    s.OverRangeCount = 0;
    s.LineOverRangeCount = 0;
    // Steps up to 7 take one tick each; from 7 on each step lasts ten ticks.
    if (s.CmdStep < 7) {
        s.CmdStep += 1;
    } else {
        s.SubTicks += 1;
        if (s.SubTicks > 9) {
            s.CmdStep += 1;
            s.SubTicks = 0;
            if (s.CmdStep == 9)
                d.Timer1Interval = 500;
        }
    }
    d.ProgressBar1Position = (s.CmdStep - 5) * 10 + s.SubTicks;
    if (s.CmdStep >= 13) {
        setStatus(d, kRunning, kGreen);
        s.OpState = 1;
        s.RunTicks = 0;
        s.OverRangeCount = 0;
        s.LineOverRangeCount = 0;
    }
}

void initialisingStep(StationState& s, StationEnv& env) {
    s.SubTicks += 1;
    if (s.TicksSinceResult < 10) // a result record arrived: finish quickly
        s.CmdStep = 17;
    if (s.CmdStep < 6) {
        s.CmdStep = 14;
    } else if (s.SubTicks > 9) {
        s.CmdStep += 1;
        s.SubTicks = 0;
    }
    s.Display.ProgressBar1Position = ((s.CmdStep - 14) * 10 + s.SubTicks) * 2;
    if (s.CmdStep > 17)
        Button2Click(s, env); // from state 6 this enters the running state
}

void stateStep(StationState& s, StationEnv& env) {
    switch (s.OpState) {
    case 1:
        runningStep(s, env);
        break;
    case 2:
        stopRequestedStep(s);
        break;
    case 3:
        stoppedStep(s);
        break;
    case 4:
        warmUpStep(s);
        break;
    case 5:
        zeroingStep(s);
        break;
    case 6:
        initialisingStep(s, env);
        break;
    default:
        break; // idle: nothing to do
    }
}

} // namespace

QByteArray commandForStep(StationState& s) {
    using namespace analyser;
    switch (s.CmdStep) {
    case 0:
        return frameOUBlank();
    case 1:
    case 3:
    case 5:
        return frameRG();
    case 2:
        return s.InfoBit1 && !s.InfoBit0 ? frameRM() : frameOUA();
    case 4:
        return frameIN();
    case 6:
        return frameRS();
    case 7:
        return frameOUP();
    case 11:
        return frameZP();
    case 12:
        return frameZE();
    case 13:
        s.CmdStep = 2;
        return frameOUA();
    case 14:
    case 16:
        if (s.SubTicks == 4)
            return frameStart();
        return s.SubTicks <= 1 ? frameReset() : frameRG();
    case 15:
    case 17:
        return s.SubTicks <= 1 ? frameStart() : frameRG();
    default:
        return {}; // 8..10 (zeroing pauses), 18 and above, and anything below 0
    }
}

void Timer1Timer(StationState& s, StationEnv& env) {
    StationDisplay& d = s.Display;
    const uint32_t rate = env.BaudRateValue();

    // The self-sending analyser: watch that result records keep coming.
    if (rate == kSelfSendingRate) {
        s.TicksSinceResult += 1;
        if (s.TicksSinceResult > 5) {
            s.TicksSinceResult = 1;
            d.Label45Visible = true;
            setStatus(d, kStopped, kRed);
        }
    }

    if (s.OpState == 2 || s.OpState == 3 || s.OpState == 4) {
        d.ProgressBar1Visible = false;
        s.SubTicks = 0;
    }

    stateStep(s, env);

    // Over-range readings: flash the zero request, and zero by ourselves past 60.
    const int32_t r = s.OverRangeCount % 8;
    if (r == 3)
        d.Label45Visible = false;
    if (r > 4) {
        setStatus(d, kZeroRequired, kMagenta);
        d.Label45Visible = true;
    }
    if (s.OverRangeCount > 60)
        Button3Click(s, env);

    if (s.OpState == 1) {
        s.TicksSinceResult += 1;
        if (s.TicksSinceResult > 50)
            s.TicksSinceResult = 49;
    }

    d.Button2Caption = s.OpState == 1 ? QStringLiteral("F2  STOP") : QStringLiteral("F2 START");

    if (s.DemoMode) {
        if (!env.DemoReplayStep(s))
            return; // the demo file failed to read: reported, and the rest of the tick skipped
        ShowResData(s, env);
    }

    if (env.IsConnected()) {
        const QByteArray frame = commandForStep(s);
        if ((s.SubTicks == 2 || s.CmdStep < 17) && !s.DemoMode && env.BaudRateValue() == kPolledRate) {
            if (!env.SendText(frame)) {
                ShowSendError(env);
                s.OpState = 7;
            }
        }
    }
}

void Button2Click(StationState& s, StationEnv& env) {
    StationDisplay& d = s.Display;
    if (env.BaudRateValue() == kPolledRate) {
        switch (s.OpState) {
        case 1:
            s.OpState = 2;
            break;
        case 3:
        case 6:
        case 7:
            s.OpState = 1;
            break;
        default:
            break; // stop requested, warm-up and zeroing carry on
        }
        if (s.OpState == 2)
            setStatus(d, kInStop, kYellow);
        if (s.OpState == 1) {
            s.RunTicks = 0;
            s.LineOverRangeCount = 0;
            d.ProgressBar1Visible = true;
            d.Label45Visible = true;
            setStatus(d, kRunning, kGreen);
        }
    } else if (env.BaudRateValue() == kSelfSendingRate) {
        // The self-sending analyser has no stop: every press starts its run again.
        s.LineOverRangeCount = 0;
    }
    if (!env.IsConnected())
        ConnectToolButtonClick(s, env);
    d.Timer1Interval = 250;
    d.Timer1Enabled = true;
    s.SubTicks = 0;
    if (!s.DemoMode && !env.SendText(analyser::frameStart())) {
        ShowSendError(env);
        s.OpState = 7;
    }
    d.Button2Caption = QStringLiteral("F2  STOP");
}

void Button3Click(StationState& s, StationEnv& env) {
    StationDisplay& d = s.Display;
    // From idle the zero command does not open the port.
    if (s.OpState < 7 && !env.IsConnected())
        ConnectToolButtonClick(s, env);
    d.Timer1Interval = 200;
    s.OpState = 5;
    s.LineOverRangeCount = 0; // the zeroing ticks keep it at 0 until the run goes on
    s.SubTicks = 0;
    s.CmdStep = 2;
    setStatus(d, kZeroing, kMagenta);
    d.Label45Visible = true;
    d.ProgressBar1Visible = true;
    d.ProgressBar1Position = s.CmdStep - 4; // below the range: the bar shows empty
}

void Label5Click(StationState& s) {
    s.Display.RPMGroupVisible = true;
}

void RPMGroupClick(StationState& s, int itemIndex) {
    StationDisplay& d = s.Display;
    d.RPMGroupItemIndex = itemIndex;
    uint8_t mode = static_cast<uint8_t>(itemIndex + 1);
    if (mode == 3)
        mode = 4; // "Vacuum"
    if (mode == 0)
        mode = 1; // no item selected
    s.RpmMode = mode;
    d.RPMGroupVisible = false;
    if (mode == 1 || mode == 2)
        d.Label5 = QStringLiteral("RPM");
    else if (mode == 4)
        d.Label5 = QStringLiteral("VAC");
}

} // namespace vz
