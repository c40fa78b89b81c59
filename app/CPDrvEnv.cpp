#include "CPDrvEnv.h"

#include "CPDrv.h"

#include <QApplication>

namespace vz {

CPDrvEnv::CPDrvEnv(TCommPortDriver& port) : port_(port) {}

bool CPDrvEnv::IsConnected() const {
    return port_.IsConnected();
}

bool CPDrvEnv::Connect() {
    return port_.Connect();
}

void CPDrvEnv::Disconnect() {
    port_.Disconnect();
}

bool CPDrvEnv::SendText(const QByteArray& bytes) {
    return port_.SendText(bytes);
}

uint32_t CPDrvEnv::BaudRateValue() const {
    return port_.BaudRateValue();
}

bool CPDrvEnv::CheckLineStatus() const {
    return port_.CheckLineStatus();
}

bool CPDrvEnv::DemoReplayStep(StationState& state) {
    return demoReplay ? demoReplay(state) : true;
}

void CPDrvEnv::Beep() {
    if (beep) {
        beep();
        return;
    }
    // Only a widget application has a platform to beep on.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

} // namespace vz
