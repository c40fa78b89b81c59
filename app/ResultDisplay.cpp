// Placeholder until the live display lands.
#include "StationLogic.h"
namespace vz {
void ShowResData(StationState&, StationEnv&) {}
void Timer2Timer(StationState&) {}
QString lambdaDisplayText(double, double, double, double, int) { return QStringLiteral("-----"); }
} // namespace vz
