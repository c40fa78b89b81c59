#pragma once
// The vehicle chosen in the limits window, owned by the main window. Limits are in the
// limits table's units: CO and O2 in hundredths of %, CO2 in tenths of %, HC in ppm.
// LimitCO2mx == 0 means that no vehicle is selected.
#include <QString>
#include <cstdint>

namespace vz {
struct SelectedVehicle {
    QString VehicleText;
    uint16_t LimitCOmx = 0;
    uint16_t LimitCOmn = 0;
    uint16_t LimitCO2mx = 0;
    uint16_t LimitO2mx = 0;
    uint16_t LimitCHmx = 0;
    // Handed over with the limits for the two-speed test: the row's make and model apart,
    // and its engine speed (min-1), which sets the test's idle window.
    QString Make;
    QString Model;
    int32_t Rpm = 0;
};
} // namespace vz
