#pragma once
// State of the report that outlives a report window, and what the window reads from the
// main window's display.
#include <QString>
#include <cstdint>

namespace vz {

// Owned by the program and handed by reference to every report window.
struct ReportState {
    QString StationLine;       // at most 30 characters, printed under the report's title
    int PrintScale = 0;        // device pixels per layout unit of the page; >= 1 after a window exists
    uint16_t LogFileIndex = 0; // number of the examination log file in use
};

// The texts of the main window's reading labels at this moment, and the chosen fuel.
struct MainReadings {
    QString Label11; // CO %
    QString Label12; // CO2 %
    QString Label13; // HC ppm
    QString Label14; // O2 %
    QString Label44; // oil temperature
    QString Label15; // engine speed
    QString Label46; // lambda factor
    int GASBoxItemIndex = 0;
};

} // namespace vz
