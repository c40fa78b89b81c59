#pragma once
class QWidget;
// Closes `window` through its normal close handler when the process receives SIGTERM or
// SIGINT (a system shutdown, a service manager stopping the station), so the settings file
// is written and the analyser gets its closing command as on any other close.
void closeOnTerminationSignals(QWidget* window);
