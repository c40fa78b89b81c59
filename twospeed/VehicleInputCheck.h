#pragma once
// The vehicle step's checks that decide which limits may apply: a car is tested without
// the catalyst limits only on a declared reason that its emission class and its first
// registration bear out. The window shows each refusal and keeps the test from starting
// while any is left; selectLimits() applies no declaration these checks refuse.
#include "TwoSpeedLimits.h"

#include <QList>
#include <QString>

namespace vz::twospeed {

struct VehicleRefusal {
    // The field the operator has to change, for the window to put the cursor there.
    enum class Field { Declaration, TypeApproval, FirstRegistration };
    Field field;
    QString text; // Bulgarian, one sentence
};

// Every refusal of the vehicle as entered, the emission class first (it decides over the
// date). None for a car with a lambda-controlled catalyst.
//
// "No catalyst / no lambda control" needs a reason, and is refused
//   - with an emission class that implies a lambda-controlled catalyst (Euro 1 or later);
//   - on "registered before catalysts were required" unless the first registration is
//     before kCatalystRequiredFrom;
//   - on any other reason for a car registered from kCatalystRequiredFrom on (or without a
//     date), unless its papers give the class "before Euro 1": the date alone says such a
//     car has a catalyst, and the operator's word alone does not loosen its limits.
QList<VehicleRefusal> vehicleRefusals(const VehicleFacts& vehicle);

// Whether the limits of a car without lambda control apply: no lambda control declared on
// a reason the checks above accept.
bool noCatalystLimitsApply(const VehicleFacts& vehicle);

} // namespace vz::twospeed
