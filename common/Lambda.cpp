#include "Lambda.h"

namespace vz {

double fuelConstant(int gasBoxIndex) {
    switch (gasBoxIndex) {
    case 1:
        return 2.58;
    case 2:
        return 4.0;
    default:
        return 1.7261;
    }
}

std::optional<double> lambdaFactor(double co, double co2, double hcPpm, double o2, double k) {
    const double h = hcPpm / 10000.0;
    if (!(co + co2 + h > 0) || !(co2 > 0))
        return std::nullopt;
    const double numerator = co2 + co / 2 + o2 + ((k / 4) * 3.5 / (3.5 + co / co2) - 0.0087) * (co2 + co);
    const double denominator = (1 + k / 4 - 0.0088) * (co2 + co + 6 * h);
    return numerator / denominator;
}

} // namespace vz
