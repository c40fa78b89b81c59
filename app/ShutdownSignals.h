#pragma once
class QWidget;
// Closes `window` through its normal close handler when the process receives SIGTERM, SIGINT
// or SIGHUP (a system shutdown, a service manager stopping the station, a closed terminal or
// session), so the settings file is written and the analyser gets its closing command as on
// any other close. Whatever modal window or message box is open at that moment is closed
// first, no later handler opens a new one, and every event loop ends. A second signal ends
// the process at once; so does a shutdown that has not finished after two seconds.
void closeOnTerminationSignals(QWidget* window);

// A write past the process's file-size limit (RLIMIT_FSIZE) would kill the station with
// SIGXFSZ, losing the operator's work without a word. Ignored, the write fails with EFBIG and
// the failing file's own error handling reports it.
void ignoreFileSizeLimitSignal();
