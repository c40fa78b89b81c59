#include "ReportSetup.h"

#include "Diagnostics.h"
#include "Files.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

#include "Cp1251.h"

namespace vz {

PrinterCheck checkPrinters(const QStringList& printerNames) {
    // The list text has each printer's name followed by a line break; its first 30
    // characters less the last two give the whole name of a printer of up to 28 characters.
    QString listText;
    for (const QString& name : printerNames)
        listText += name + QStringLiteral("\r\n");
    listText = listText.left(30);
    if (listText.isEmpty())
        return {false, QStringLiteral("Not Found Printer")};
    listText.chop(2);
    return {true, (QStringLiteral("Official Test to ") + listText).left(47)};
}

QString decodeStationText(const QByteArray& bytes) {
    QByteArray content = bytes;
    if (content.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(content.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(content);
    if (!utf8.hasError())
        return asUtf8;
    return fromCp1251(content);
}

StationFileLines readStationFile(const QString& path) {
    StationFileLines station;
    QFile file(path);
    const QByteArray name = QFileInfo(path).fileName().toUtf8();
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            qCWarning(lcFiles, "no %s: no station line, no operators", name.constData());
        else
            qCWarning(lcFiles, "read %s failed: %s", name.constData(), qUtf8Printable(file.errorString()));
        return station;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcFiles, "read %s failed: %s", name.constData(), qUtf8Printable(file.errorString()));
        return station;
    }
    station.opened = true;
    qCInfo(lcFiles, "read %s", name.constData());

    const QList<QByteArray> raw = splitLines(content);
    auto line = [&](int number) -> QString {
        if (number > raw.size())
            return {};
        return decodeStationText(raw[number - 1]).left(30);
    };
    station.stationLine = line(1);
    for (int number = 2; number <= 5; ++number)
        station.operators.append(line(number));
    const QString scaleLine = line(6);
    if (!scaleLine.isEmpty() && scaleLine[0] >= u'0' && scaleLine[0] <= u'9')
        station.scaleDigit = scaleLine[0].unicode() - u'0';
    return station;
}

QStringList sortedOperators(QStringList names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

int yearFromShortDate(const QString& shortDate, int fallbackYear) {
    const QString date = shortDate.left(15);
    QChar separator;
    for (QChar candidate : {u'-', u'/', u'.'}) {
        if (date.contains(candidate)) {
            separator = candidate;
            break;
        }
    }
    if (separator.isNull())
        return fallbackYear;

    // A date that starts with a four-digit year (2026-12-07) names its year first.
    const qsizetype first = date.indexOf(separator);
    bool leadingYear = false;
    const int leading = date.left(first).toInt(&leadingYear);
    if (first == 4 && leadingYear && leading >= 1960)
        return leading;

    const QString afterFirst = date.mid(first + 1, 7);
    const qsizetype second = afterFirst.indexOf(separator);
    const QString yearField = afterFirst.mid(second + 1, 4); // no second separator: from the start
    const QString yearText =
        yearField.startsWith(QStringLiteral("20")) ? yearField : QStringLiteral("20") + yearField.left(2);
    bool ok = false;
    const int year = yearText.toInt(&ok);
    if (!ok || year < 1960 || year > 9999)
        return fallbackYear;
    return year;
}

QStringList productionYears(int currentYear) {
    QStringList years;
    for (int year = currentYear; year >= 1960; --year)
        years.append(QString::number(year));
    return years;
}

int settledPrintScale(int current, bool printerFound, int pageWidthPx, int scaleDigit) {
    int scale = printerFound ? pageWidthPx / 1200 : current;
    if (scaleDigit >= 0 && scale < 1)
        scale = scaleDigit;
    return scale < 1 ? 1 : scale;
}

ReportSetup setUpReport(ReportState& state, const QStringList& printerNames, int pageWidthPx,
                        const QString& stationFilePath, const QString& shortDate, int fallbackYear) {
    ReportSetup setup;
    const PrinterCheck printers = checkPrinters(printerNames);
    setup.caption = printers.caption;

    const StationFileLines station = readStationFile(stationFilePath);
    if (station.opened) {
        state.StationLine = station.stationLine;
        setup.operators = sortedOperators(station.operators);
        setup.scaleDigit = station.scaleDigit;
    }
    state.PrintScale = settledPrintScale(state.PrintScale, printers.found, pageWidthPx, setup.scaleDigit);

    setup.years = productionYears(yearFromShortDate(shortDate, fallbackYear));
    state.LogFileIndex = 0;
    return setup;
}

} // namespace vz
