// Placeholder until the measurement cycle lands.
#include "StationLogic.h"
namespace vz {
void Timer1Timer(StationState&, StationEnv&) {}
void Button2Click(StationState&, StationEnv&) {}
void Button3Click(StationState&, StationEnv&) {}
QByteArray commandForStep(StationState&) { return {}; }
void Label5Click(StationState&) {}
void RPMGroupClick(StationState&, int) {}
} // namespace vz
