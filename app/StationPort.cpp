// Placeholder until the port operations land.
#include "StationLogic.h"
namespace vz {
void ConnectToolButtonClick(StationState&, StationEnv&) {}
void DisconnectToolButtonClick(StationEnv&) {}
void ShowSendError(StationEnv&) {}
} // namespace vz
