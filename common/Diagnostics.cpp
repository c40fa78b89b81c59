#include "Diagnostics.h"

namespace vz {

Q_LOGGING_CATEGORY(lcPort, "vezaro.port", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFiles, "vezaro.files", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLog, "vezaro.log", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTiming, "vezaro.timing", QtWarningMsg)

} // namespace vz
