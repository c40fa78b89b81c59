#include "SettingsFile.h"

#include "Conversions.h"
#include "Diagnostics.h"
#include "Files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vz {
namespace {

// Reads one line without its line end (LF or CR LF). Past the end of the file it gives an
// empty line, like a missing line. Only the first few characters of a line are ever looked
// at, except line 2 whose whole rest is the baud rate; a line longer than MaxLineBytes cannot
// hold a valid integer anyway, so a runaway line is cut there and the rest of it skipped.
QString readOneLine(QFile& file, bool& failed) {
    QByteArray line;
    switch (readCappedLine(file, line)) {
    case CappedLine::Whole:
        break;
    case CappedLine::Cut:
        if (!skipRestOfLine(file))
            failed = true;
        break;
    case CappedLine::Failed:
        failed = true;
        break;
    }
    return failed ? QString() : QString::fromLatin1(line);
}

// Characters `first`..`last` (1-based, inclusive) of a line; shorter lines give less.
QString chars(const QString& line, qsizetype first, qsizetype last) {
    return line.mid(first - 1, last - first + 1);
}

// Control characters in a value would split the file's lines, so they are written as blanks.
QByteArray valueBytes(const QString& value) {
    QByteArray bytes = value.toLatin1();
    for (char& c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return bytes;
}

} // namespace

std::optional<SettingsLines> readSettingsFile(const QString& dir) {
    QFile file(findFileNoCase(dir, QString::fromLatin1(SettingsReadName)));
    const QString name = QFileInfo(file.fileName()).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            qCInfo(lcFiles, "no %s: the defaults stay", qUtf8Printable(name));
        else
            qCWarning(lcFiles, "read %s failed: %s", qUtf8Printable(name),
                      qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    SettingsLines lines;
    bool failed = false;
    for (QString& line : lines)
        line = readOneLine(file, failed);
    if (failed) {
        qCWarning(lcFiles, "read %s failed: %s", qUtf8Printable(name), qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    qCInfo(lcFiles, "read %s", qUtf8Printable(name));
    return lines;
}

SettingsValues interpretSettings(const SettingsLines& lines) {
    SettingsValues v;
    const int32_t port = leadingDigitsValue(chars(lines[0], 14, 15));
    if (port >= 1 && port <= 16)
        v.Port = static_cast<TPortNumber>(pnCOM1 + (port - 1));

    v.BaudText = lines[1].mid(10);
    v.BaudRateValue = strToInt(v.BaudText);

    const int32_t bits = leadingDigitsValue(chars(lines[2], 11, 11));
    if (bits >= 5 && bits <= 8)
        v.DataBits = static_cast<TDataBits>(db5BITS + (bits - 5));

    v.Width = strToInt(chars(lines[3], 11, 14));
    v.Maximized = chars(lines[4], 11, 19) == QLatin1String("maximized");
    return v;
}

SettingsApplyResult applySettings(const SettingsLines& lines, TCommPortDriver& drv) {
    const SettingsValues v = interpretSettings(lines);
    SettingsApplyResult result;
    if (v.Port)
        drv.SetPort(*v.Port);
    if (!v.BaudRateValue) {
        result.BaudError = v.BaudText;
        return result;
    }
    // Stored without a range check, as the driver's property; a negative text wraps like
    // the original unsigned property and simply fails at the next Connect. The writer turns
    // the wrapped value back into the same text, so it survives the next start as well.
    drv.SetBaudRateValue(static_cast<uint32_t>(*v.BaudRateValue));
    if (v.DataBits)
        drv.SetDataBits(*v.DataBits);
    result.Width = v.Width;
    result.Maximized = v.Maximized;
    return result;
}

SettingsToWrite settingsFromDriver(const TCommPortDriver& drv, int32_t width, bool windowWasNormal) {
    SettingsToWrite s;
    s.PortName = drv.PortName();
    s.BaudRateValue = drv.BaudRateValue();
    s.DataBits = drv.DataBits();
    s.Width = width;
    s.WindowWasNormal = windowWasNormal;
    return s;
}

QByteArray settingsFileContent(const SettingsToWrite& values) {
    const int bits = 5 + static_cast<int>(values.DataBits);
    QByteArray out;
    out += "COM PORT= " + valueBytes(chars(values.PortName, 5, 9)) + "\r\n";
    // The reader takes line 2 as a signed 32-bit integer and stores its bit pattern, so the
    // value goes out as that signed integer: a rate above 2147483647 (the wrapped form of a
    // negative text such as "-5") is written as the negative text it came from,
    // instead of a number the reader would refuse. Every real rate is written as it stands.
    out += "BAUDRATE= " + QByteArray::number(static_cast<int32_t>(values.BaudRateValue)) + "\r\n";
    out += "DATABITS= " + QByteArray::number(bits) + "bits\r\n";
    out += "Hor Size= " + QByteArray::number(values.Width) + "\r\n";
    out += QByteArray("Windowed= ") + (values.WindowWasNormal ? "normal" : "maximized") + "\r\n";
    return out;
}

bool writeSettingsFile(const SettingsToWrite& values, const QString& dir) {
    QSaveFile file(findFileNoCase(dir, QString::fromLatin1(SettingsWriteName)));
    const QString name = QFileInfo(file.fileName()).fileName();
    auto logFailure = [&] {
        qCWarning(lcFiles, "write %s failed: %s", qUtf8Printable(name), qUtf8Printable(file.errorString()));
    };
    // A station directory that only lets the file itself be written still gets its file.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        logFailure();
        return false;
    }
    const QByteArray content = settingsFileContent(values);
    if (file.write(content) != content.size()) {
        logFailure(); // before cancelling, which clears the error
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        logFailure();
        return false;
    }
    qCInfo(lcFiles, "wrote %s", qUtf8Printable(name));
    return true;
}

} // namespace vz
