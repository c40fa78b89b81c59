// Placeholder until the frame decoder lands.
#include "StationLogic.h"
namespace vz {
void cpDrvReceiveData(StationState&, StationEnv&, const void*, uint32_t) {}
QByteArray cutFrames(StationState&, QByteArray block) { return block; }
void ConvData(StationState&) {}
} // namespace vz
