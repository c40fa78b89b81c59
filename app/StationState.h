#pragma once
// The main window's module state: one struct, owned by the main window, shared by the frame
// decoder, the display, the cycle and the layout under the names the station has always used.
// `Display` holds what the logic decides the window shows; the window mirrors it onto its
// controls after every event, so the logic runs and is tested without any widget.
#include "AnalyserLineTap.h"
#include "SelectedVehicle.h"

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace vz {

constexpr QRgb kGreen = 0x00FF00;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kYellow = 0xFFFF00;
constexpr QRgb kMagenta = 0xFF00FF;
constexpr QRgb kButtonFace = 0xF0F0F0;

struct StationDisplay {
    // Reading labels, with their design captions.
    QString Label11 = QStringLiteral("0.000");
    QString Label12 = QStringLiteral("00.00");
    QString Label13 = QStringLiteral(" 0000");
    QString Label14 = QStringLiteral("00.00");
    QString Label15 = QStringLiteral(" 0000");
    QString Label44 = QStringLiteral("000.0");
    QString Label46 = QStringLiteral(" 0000");
    QString Label5 = QStringLiteral("RPM");
    // Limit markers Label37..Label41: true green, false red (their design colour).
    std::array<bool, 5> MarkerGreen{};
    // Status label.
    QString Label45Caption = QStringLiteral("Label45");
    QRgb Label45Colour = kButtonFace;
    bool Label45Visible = false;
    // Progress bar, range 0..80; positions outside the range show as the nearest end.
    bool ProgressBar1Visible = false;
    int ProgressBar1Position = 0;
    QString Button2Caption = QStringLiteral("F2 START");
    bool Button3Enabled = true;
    bool RPMGroupVisible = false;
    int RPMGroupItemIndex = 0;
    // Cycle timer.
    int Timer1Interval = 1000;
    bool Timer1Enabled = true;
};

struct StationState {
    // The cycle.
    bool DemoMode = true;
    uint8_t OpState =
        7; // 1 running, 2 stop requested, 3 stopped, 4 warm-up, 5 zeroing, 6 initialising, 7 idle
    int32_t CmdStep = 1;
    int32_t SubTicks = 0;
    int32_t RunTicks = 0;
    int32_t RunTickLimit = 12 * 55 * 4;
    int32_t TicksSinceResult = 0;
    int32_t OverRangeCount = 0;
    bool InfoBit0 = false;
    bool InfoBit1 = false;

    // The readings.
    uint8_t RpmMode = 1; // 1 RPM/1, 2 RPM/2, 4 vacuum
    QString VacuumText = QStringLiteral("0900");
    QString OilTempText;
    QString RpmText;
    uint16_t ValCO = 0, ValCO2 = 0, ValHC = 0, ValO2 = 0;
    uint16_t PrevValCO = 0, PrevValCO2 = 0, PrevValHC = 0, PrevValO2 = 0;
    // Result records decoded, for whoever takes one sample per record (the two-speed test):
    // ResultDecodes counts every decoding, ResultRecordId only distinct records. A frame
    // freshly cut from a received block or replayed from the demo file is a new record; the
    // 1200-baud record kept in slot 5 (and its copy in slot 1) is decoded again at every
    // receive event and is new only when its bytes have changed since it was last decoded.
    uint64_t ResultDecodes = 0;
    uint64_t ResultRecordId = 0;
    QByteArray LastKeptRecord;
    std::array<int, 4> BarValue{}; // bar heights in chart units: CO, CO2, HC, O2
    uint8_t BarStep = 0;
    int GASBoxItemIndex = 0; // fuel box selection, -1 for a typed text matching no item

    // The selected vehicle (limits window).
    SelectedVehicle Vehicle;

    // The window.
    QString BaseCaption;
    int32_t HorSize = 707;

    // Frame slots 1..5 are FrameSlots[0..4]; slot 5 holds the 1200-baud result record.
    std::array<QByteArray, 5> FrameSlots;
    QByteArray CurFrame;

    // The analyser's own lines at 1200 baud (AnalyserLineTap.h), for whoever takes one sample
    // per line (the two-speed test): the record above keeps no line boundaries. The tap reads
    // the received bytes after the described decoding and never changes it; at any other rate
    // it does nothing.
    AnalyserLineTap LineTap; // the unfinished line between two blocks, the last id given
    // The latest complete lines, oldest first, at most kRecentAnalyserLines of them: a reader
    // takes those with an id above the last it took, however many one block brought.
    std::vector<AnalyserLine> RecentAnalyserLines;
    static constexpr std::size_t kRecentAnalyserLines = 16;
    // Complete lines with a value over range (AnalyserLine::overRange) since the last zeroing
    // or the last start of the run; a line with two such values counts once.
    int32_t LineOverRangeCount = 0;

    StationDisplay Display;
};

} // namespace vz
