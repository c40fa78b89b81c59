// Windows-style port names on Linux. "\\.\COMn" is looked up as a link named COMn in the
// given directory (so a station maps COM5 to /dev/ttyUSB0 with one `ln -s`), and falls back
// to the n-th on-board port, /dev/ttyS(n-1).
#include "PortNames.h"

#include <QDir>
#include <QFileInfo>

namespace {
// The number n of a "\\.\COMn" name (COM in any case, n from 1, at most nine digits); 0 for
// any other name. Read by hand: a regular expression here would load and run the PCRE
// engine at every start for one name.
int comNumber(const QString& portName) {
    const QLatin1StringView prefix(R"(\\.\COM)");
    if (!portName.startsWith(prefix, Qt::CaseInsensitive))
        return 0;
    const QStringView digits = QStringView(portName).mid(prefix.size());
    if (digits.isEmpty() || digits.size() > 9 || digits.front() == u'0')
        return 0;
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return 0;
    return digits.toInt();
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
