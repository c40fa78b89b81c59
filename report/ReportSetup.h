#pragma once
// What a report window works out when it is created: the caption from the printer list,
// the print scale, the station file SERVICE.ini and the list of production years.
#include "ReportState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vz {

// The caption for the installed printers: "Not Found Printer" when there are none, else
// "Official Test to " and the start of the printer list text, cut to 47 characters.
struct PrinterCheck {
    bool found = false;
    QString caption;
};
PrinterCheck checkPrinters(const QStringList& printerNames);

// SERVICE.ini: line 1 the station line, lines 2-5 the operators (each cut to 30
// characters, a missing line reads as empty), line 6 a print-scale digit.
struct StationFileLines {
    bool opened = false;
    QString stationLine;
    QStringList operators; // always four entries when opened
    int scaleDigit = -1;   // -1 when line 6 does not start with a digit
};
StationFileLines readStationFile(const QString& path);

// The station file is kept in code page 1251; a file that is valid UTF-8 (as a Linux
// editor saves it) is read as UTF-8. Cyrillic text in 1251 is never valid UTF-8.
QString decodeStationText(const QByteArray& bytes);

// The operator list keeps itself sorted, case-insensitively, so empty names come first.
QStringList sortedOperators(QStringList names);

// The current year as the short date text gives it; `fallbackYear` when the text holds
// no usable year.
int yearFromShortDate(const QString& shortDate, int fallbackYear);

// Years from `currentYear` down to 1960, newest first.
QStringList productionYears(int currentYear);

// The print scale a report window settles on: the default printer's page width in units of
// 1200 device pixels; without a printer the scale held before (`current`) stands. A scale
// below 1 then takes the station file's digit (`scaleDigit`, -1 for none), and is at least 1.
int settledPrintScale(int current, bool printerFound, int pageWidthPx, int scaleDigit);

// Everything the creation of a report window settles. Updates `state`: StationLine (when
// the station file is read), PrintScale (at least 1) and LogFileIndex (0).
struct ReportSetup {
    QString caption;
    QStringList operators;
    QStringList years;
    int scaleDigit = -1; // the station file's print-scale digit, -1 for none
};
ReportSetup setUpReport(ReportState& state, const QStringList& printerNames, int pageWidthPx,
                        const QString& stationFilePath, const QString& shortDate, int fallbackYear);

} // namespace vz
