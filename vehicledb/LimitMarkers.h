#pragma once
// The main window's side of the vehicle choice: the texts of the five limit markers on the
// chart scales and the window caption that names the chosen vehicle.
#include "SelectedVehicle.h"

#include <QString>

namespace vz {

struct MarkerTexts {
    QString Label37; // from LimitCOmn,  132 -> "<1.32"
    QString Label38; // from LimitCOmx,  50  -> "<0.50"
    QString Label39; // from LimitCO2mx, 125 -> "<12.5"
    QString Label40; // from LimitCHmx,  150 -> "<150"
    QString Label41; // from LimitO2mx,  5   -> "<0.05"
};

// LimitCO2mx == 0 means that no vehicle is selected: the markers are hidden then.
inline bool vehicleSelected(const SelectedVehicle& vehicle) {
    return vehicle.LimitCO2mx != 0;
}

MarkerTexts markerTexts(const SelectedVehicle& vehicle);

// baseCaption + "  on   " + VehicleText.
QString vehicleCaption(const QString& baseCaption, const SelectedVehicle& vehicle);

} // namespace vz
