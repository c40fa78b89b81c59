#include "PortNames.h"
QString mapPortName(const QString& portName, const QString&) { return portName; }
