#pragma once
// The lambda factor (Brettschneider equation) shared by the live display and the report.
#include <optional>

namespace vz {

// Hydrogen-to-carbon ratio of the fuel chosen in the fuel box: 0 BENZIN, 1 LPG, 2 METAN;
// any other index (a typed text that matches no item) counts as petrol.
double fuelConstant(int gasBoxIndex);

// co, co2, o2 in % by volume, hc in ppm, k the fuel constant. Gives nullopt unless
// co + co2 + hc/10000 > 0 and co2 > 0. The two oxygen constants 0.0087 and 0.0088 are
// deliberately different.
std::optional<double> lambdaFactor(double co, double co2, double hcPpm, double o2, double k);

} // namespace vz
