#pragma once
// VEZARO.ini: three serial-line settings and two window settings kept from one run to the
// next. Five lines, each a 10-character key followed by its value. Reading ignores the keys
// and takes every value by its character position, so a line with a misspelt key still
// gives whatever stands at the value's position.
//
//   COM PORT= COM2
//   BAUDRATE= 9600
//   DATABITS= 8bits
//   Hor Size= 707
//   Windowed= normal
//
// The main window reads the file once at start-up (readSettingsFile + applySettings) and
// rewrites it once at shut-down (settingsFromDriver + writeSettingsFile).
#include "CPDrv.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace vz {

// The name start-up reads and the name shut-down writes. Both are looked up without regard
// to case, so they always name one file.
inline constexpr char SettingsReadName[] = "VEZARO.ini";
inline constexpr char SettingsWriteName[] = "VEZARO.INI";

// The five lines as read, without their line ends; a missing line is empty. The file is
// 8-bit text: every byte becomes one character (Latin-1), so positions count bytes.
using SettingsLines = std::array<QString, 5>;

// Reads the settings file from `dir` (the current directory by default). nullopt when the
// file is missing or cannot be read: the caller then keeps its defaults without a word.
std::optional<SettingsLines> readSettingsFile(const QString& dir = QStringLiteral("."));

// The values the five lines hold, each taken by position. An unusable value is nullopt and
// leaves the setting as it was; only the baud rate can be an error.
struct SettingsValues {
    std::optional<TPortNumber> Port;      // line 1, chars 14-15: 1..16 -> pnCOM1..pnCOM16
    std::optional<int32_t> BaudRateValue; // line 2 after char 10, strict integer
    QString BaudText;                     // line 2 after char 10, for the error message
    std::optional<TDataBits> DataBits;    // line 3, leading digit of char 11: 5..8
    std::optional<int32_t> Width;         // line 4, chars 11-14 when they form an integer
    bool Maximized = false;               // line 5, chars 11-19 exactly "maximized"
};
SettingsValues interpretSettings(const SettingsLines& lines);

// What is left for the main window once the serial settings are applied.
struct SettingsApplyResult {
    // Set when line 2 is not an integer: the offending text, for
    // "'%s' is not a valid integer value". Start-up reports it and skips the rest of its
    // settings; Width and Maximized are then not filled in.
    std::optional<QString> BaudError;
    std::optional<int32_t> Width; // the window width to set, when line 4 holds one
    bool Maximized = false;       // maximize the window after setting the width
};

// Applies the serial settings to the driver in start-up's order: port (only when line 1
// names COM1..COM16), baud rate (stops at a bad one), data bits (only 5..8). The driver is
// expected to hold start-up's defaults (pnCOM1, db8BITS) already. The caller then does the
// 1200-baud set-up when drv.BaudRateValue() == 1200, sets the window to normal, sets the
// width when there is one (HorSize := Width, else HorSize keeps its value) and finally
// maximizes the window when Maximized is set.
SettingsApplyResult applySettings(const SettingsLines& lines, TCommPortDriver& drv);

// What shut-down writes.
struct SettingsToWrite {
    QString PortName;              // the driver's port name; characters 5 to 9 are written
    uint32_t BaudRateValue = 9600; // written as the signed 32-bit integer line 2 is read as
    TDataBits DataBits = db8BITS;
    int32_t Width = 707;         // the width of the window restored to the normal state
    bool WindowWasNormal = true; // the state when shut-down began; minimised counts as not
};
SettingsToWrite settingsFromDriver(const TCommPortDriver& drv, int32_t width, bool windowWasNormal);

// The file's exact bytes: five lines, each ending in CR LF.
QByteArray settingsFileContent(const SettingsToWrite& values);

// Creates or replaces the settings file in `dir`. An existing file whose name matches
// regardless of case is the one replaced. The new content replaces the old in one step, so
// a failure leaves the old file whole. Returns false on failure; nothing is reported.
bool writeSettingsFile(const SettingsToWrite& values, const QString& dir = QStringLiteral("."));

} // namespace vz
