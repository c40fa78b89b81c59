// Windows-style port names on Linux. "\\.\COMn" is looked up as a link named COMn in the
// given directory (so a station maps COM5 to /dev/ttyUSB0 with one `ln -s`), and falls back
// to the n-th on-board port, /dev/ttyS(n-1).
#include "PortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
// The number n of a "\\.\COMn" name; 0 for any other name.
int comNumber(const QString& portName) {
    static const QRegularExpression comName(QStringLiteral(R"(^\\\\\.\\COM([1-9][0-9]{0,8})$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(portName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}
} // namespace

QString mapPortName(const QString& portName, const QString& dir) {
    const int number = comNumber(portName);
    if (number == 0)
        return portName;

    const QDir base(dir.isEmpty() ? QDir::currentPath() : dir);
    const QFileInfo link(base.filePath(QStringLiteral("COM%1").arg(number)));
    if (link.isSymLink()) {
        // The device the link leads to; a dangling link names its missing target, so that
        // opening it fails instead of silently opening another port.
        const QString device = link.canonicalFilePath();
        return device.isEmpty() ? link.symLinkTarget() : device;
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

QString shortPortName(const QString& portName) {
    const int number = comNumber(portName);
    return number == 0 ? portName : QStringLiteral("COM%1").arg(number);
}
