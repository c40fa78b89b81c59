#pragma once
// What the limits window shows for a row and what its SELECT hands back, without widgets.
#include "SelectedVehicle.h"

#include <QString>
#include <optional>

namespace vz {

// One row of the limits table, every field as its text.
struct LimitRow {
    QString Mark, Model, COmx, COmn, CO2mx, O2mx, CHmx, RPM;
    bool operator==(const LimitRow&) const = default;
};

class CarModelTable;
// The current row of an open table (all fields empty past the end).
LimitRow currentLimitRow(const CarModelTable& table);

// The texts of the heading and the value labels for one row.
struct RowTexts {
    QString Label1; // Mark + two blanks + Model
    QString Label2; // COmx,  "04.50"
    QString Label3; // COmn,  "00.30"
    QString Label4; // CO2mx, "014.5"
    QString Label5; // CHmx,  " 0450"
    QString Label6; // O2mx,  "02.50"
    QString Label7; // RPM as it stands
};
RowTexts showValTexts(const LimitRow& row);

// Left-pads with '0' to at least 4 characters, then puts a '.' before the character at the
// 1-based position; a longer text is not padded and gets its point at the same place.
QString pointedLimitText(const QString& digits, int pointBefore);

// SELECT on one row: converts COmx, COmn, CO2mx, O2mx, CHmx in this order, storing each low
// 16 bits as soon as it converts, then checks RPM, then sets VehicleText = Mark + " " + Model.
// Returns the text that failed to convert; limits converted before it keep their new values
// and VehicleText stays as it was.
std::optional<QString> applySelection(const LimitRow& row, SelectedVehicle& record);

} // namespace vz
