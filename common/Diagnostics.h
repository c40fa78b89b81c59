#pragma once
// The station's diagnostic lines for maintainers. They go to stderr through Qt's logging,
// so a terminal or the journal of a service shows them; each line starts with its category:
//
//   vezaro.port   the serial port: opened and closed with the device behind the port name,
//                 failed opens and sends, a lost device
//   vezaro.files  the station's files read and written, with their errors
//   vezaro.log    each examination logged, and a failed append
//   vezaro.timing how long each received block took from its arrival to the labels
//                 (Debug, off unless "vezaro.timing.debug=true"; the benchmarks use it)
//
// Normal events are Info, failures Warning; both show by default. QT_LOGGING_RULES (for
// example "vezaro.*=false" or "vezaro.files=false") selects them.
#include <QLoggingCategory>

namespace vz {

Q_DECLARE_LOGGING_CATEGORY(lcPort)
Q_DECLARE_LOGGING_CATEGORY(lcFiles)
Q_DECLARE_LOGGING_CATEGORY(lcLog)
Q_DECLARE_LOGGING_CATEGORY(lcTiming)

} // namespace vz
