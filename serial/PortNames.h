#pragma once
#include <QString>

// Maps a Windows-style port name to a device path: "\\.\COMn" opens the device that a link
// named COMn in `dir` (the current directory by default) points to, when there is one, and
// otherwise /dev/ttyS(n-1). Any other name is a device path used as given.
QString mapPortName(const QString& portName, const QString& dir = QString());

// The port name as a person writes it: "COMn" for "\\.\COMn", any other name as given.
QString shortPortName(const QString& portName);
