// Opening and closing the port on the operator's behalf, and the warning after a failed send.
#include "MessageBox.h"
#include "StationLogic.h"

namespace vz {

void ConnectToolButtonClick(StationState& s, StationEnv& env) {
    // In demo mode the port is never opened, nor once the station is shutting down (the
    // closing command has gone out, or is about to).
    if (env.IsConnected() || s.DemoMode || shuttingDown())
        return;
    if (!env.Connect())
        showMessage(
            nullptr, QStringLiteral("COM Port Error"),
            QStringLiteral("Could not connect to serial port.\r\nPlease, check settings and try again."),
            MsgIcon::Error);
}

void DisconnectToolButtonClick(StationEnv& env) {
    if (env.IsConnected())
        env.Disconnect();
}

void ShowSendError(StationEnv& env) {
    // Close first, so the timers that keep running under the box send nothing more.
    env.Disconnect();
    const QString text =
        env.CheckLineStatus()
            ? QStringLiteral("Could not send data.\r\n"
                             "No device connected to serial port or device is off. Please, turn it on.\r\n"
                             "Try setting Device Check to Off in the settings dialog box.\r\n"
                             "Also, replace your two wires serial cable with a full wires cable.")
            : QStringLiteral(
                  "Could not send data.\r\n"
                  "Please, check connections and try again.\r\n"
                  "Turn serial device on, or try setting Device Check to On in the settings dialog box.\r\n"
                  "Also, disable Hardware Flow Control if you are using a two wires cable.");
    showMessage(nullptr, QStringLiteral("Warning"), text, MsgIcon::Information, MsgButtons::Ok);
}

} // namespace vz
