// SERVICE.ini and the rest of what a report window settles when it is created: the station
// line, the four operators, the print scale from the file's sixth line, the printer caption
// and the production years from the short date text.
//
// Input: a flags byte (bits 0-1: the printer list, none, one, a long name or two; bit 2: no
// station file at all; bits 3-5: the scale of an earlier window), a page width byte (in
// steps of 40 pixels), the short date text (a length byte and its bytes, UTF-8), then the
// station file's bytes.
#include "FuzzSupport.h"
#include "ReportSetup.h"
#include "ReportState.h"

#include <QStringList>

namespace {

using vzfuzz::require;

QStringList printerList(int choice) {
    switch (choice) {
    case 1:
        return {QStringLiteral("PDF")};
    case 2:
        return {QStringLiteral("Brother HL-L2350DW series Printer")};
    case 3:
        return {QStringLiteral("HP"), QStringLiteral("Canon MG5700 series")};
    default:
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const uint8_t flags = in.byte();
    const int pageWidth = in.byte() * 40;
    const QString shortDate = QString::fromUtf8(in.chunk());
    const QByteArray content = in.rest();
    const bool missing = flags & 0x04;
    if (!missing)
        dir.write(QStringLiteral("SERVICE.ini"), content);
    const QString path = dir.filePath(QStringLiteral("SERVICE.ini"));

    const vz::StationFileLines station = vz::readStationFile(path);
    require(station.opened == !missing, "the station file was not read, or read when missing");
    if (station.opened) {
        require(station.stationLine.size() <= 30, "the station line is longer than 30 characters");
        require(station.operators.size() == 4, "the operator list does not hold four entries");
        for (const QString& name : station.operators)
            require(name.size() <= 30, "an operator is longer than 30 characters");
        require(station.scaleDigit >= -1 && station.scaleDigit <= 9, "the scale digit is out of range");
    }

    vz::ReportState state;
    state.StationLine = QStringLiteral("earlier");
    state.PrintScale = (flags >> 3) & 0x07;
    state.LogFileIndex = 7;
    const QStringList printers = printerList(flags & 0x03);
    const vz::ReportSetup setup = vz::setUpReport(state, printers, pageWidth, path, shortDate, 2000);

    require(state.PrintScale >= 1, "the print scale is below 1");
    require(state.LogFileIndex == 0, "the log file index was not reset");
    require(state.StationLine == (station.opened ? station.stationLine : QStringLiteral("earlier")),
            "the station line is not the file's first line");
    require(setup.caption.size() <= 47, "the caption is longer than 47 characters");
    require(setup.operators == (station.opened ? vz::sortedOperators(station.operators) : QStringList()),
            "the operators are not the file's, sorted");
    for (qsizetype i = 1; i < setup.operators.size(); ++i)
        require(QString::compare(setup.operators[i - 1], setup.operators[i], Qt::CaseInsensitive) <= 0,
                "the operators are not in order");
    require(!setup.years.isEmpty() && setup.years.back() == QStringLiteral("1960"),
            "the year list does not run down to 1960");
    const int year = vz::yearFromShortDate(shortDate, 2000);
    require(year >= 1960 && year <= 9999, "the current year is out of range");
    require(setup.years.front() == QString::number(year), "the year list does not start at the current year");
    return 0;
}
