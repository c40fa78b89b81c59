#pragma once
// Which limits a car meets in the two-speed test, and why. By default those of Directive
// 2014/45/EU, Annex I, 8.2.1.2, chosen by the emission control and the first registration:
//
//   no catalyst, or one without lambda control:
//       registered before 1.10.1986            idle CO <= 4.5 %
//       registered on or after 1.10.1986       idle CO <= 3.5 %
//       (no high-idle phase)
//   lambda-controlled catalyst:
//       registered before 1.7.2002             idle CO <= 0.5 %, high idle CO <= 0.3 %
//       registered on or after 1.7.2002,       idle CO <= 0.3 %, high idle CO <= 0.2 %
//       or type-approved Euro 3 or later
//       and at high idle 0.97 <= lambda <= 1.03
//
// A boundary day belongs to the later, stricter set; so does an unknown registration date
// (the test window asks for the date, this only keeps the logic total).
//
// A vehicle chosen with F1 brings its row of the limits table: its COmx replaces the idle CO
// limit and its RPM sets the idle window to RPM +- 100 min-1. Its COmn, CO2mx, CHmx and O2mx
// are carried for information and decide nothing; the high-idle limits and the lambda band
// keep the defaults. A row COmx of 0 (no value in the table) keeps the default idle CO limit,
// and a row RPM outside 400..1800 min-1 keeps the idle window of the set-up file.
#include "SelectedVehicle.h"
#include "TwoSpeedSetup.h"

#include <QDate>
#include <QString>
#include <optional>

namespace vz::twospeed {

// The fuel sets the hydrogen-to-carbon ratio of the lambda equation; the limits do not
// depend on it.
enum class Fuel { Petrol, Lpg, Cng };
enum class EmissionControl {
    NoLambdaControl, // no catalyst, or a catalyst without lambda control
    LambdaCatalyst,
};
enum class TypeApproval { Unknown, BeforeEuro3, Euro3OrLater };

// The fuel constant of the lambda equation, the one the fuel box of the main window gives
// for the same fuel.
double fuelLambdaConstant(Fuel fuel);
QString fuelText(Fuel fuel); // "бензин", "пропан-бутан", "метан"
QString fuelKey(Fuel fuel);  // "petrol", "lpg", "cng"

// What the operator enters at the vehicle step.
struct VehicleFacts {
    QString registration;
    QString make;
    QString model;
    QDate firstRegistration;
    Fuel fuel = Fuel::Petrol;
    EmissionControl control = EmissionControl::LambdaCatalyst;
    TypeApproval approval = TypeApproval::Unknown;
    // The vehicle chosen with F1, when there is one (LimitCO2mx != 0), and its row's RPM.
    std::optional<SelectedVehicle> row;
    std::optional<int> rowRpm;
};

// Which default rule chose the limits.
enum class LimitBasis {
    NoCatalystBefore1986,
    NoCatalystFrom1986,
    CatalystBefore2002,
    CatalystFrom2002,
    CatalystEuro3,
};
QString limitBasisKey(LimitBasis basis); // e.g. "catalyst-from-2002", for records

inline constexpr int kLambdaMinThousandths = 970;
inline constexpr int kLambdaMaxThousandths = 1030;
// The lowest high-idle speed the rule allows; the set-up file never goes below it.
inline constexpr int kLegalHighIdleMinimum = 2000;
inline const QDate kNoCatalystBoundary{1986, 10, 1};
inline const QDate kCatalystBoundary{2002, 7, 1};

struct LimitSet {
    LimitBasis basis = LimitBasis::CatalystFrom2002;
    bool highIdleApplies = true;
    // CO limits in hundredths of %, the unit CO is printed and compared in.
    int idleCoLimit = 30;
    int highIdleCoLimit = 20;
    // Lambda band at high idle in thousandths, both ends included.
    int lambdaMin = kLambdaMinThousandths;
    int lambdaMax = kLambdaMaxThousandths;
    SpeedWindow idleWindow;
    SpeedWindow highIdleWindow;
    bool idleCoFromRow = false;
    bool idleWindowFromRow = false;
    // The F1 row, for its information values (COmn, CO2mx, CHmx, O2mx in the table's units).
    std::optional<SelectedVehicle> row;
    // Where the limits come from, e.g. "Директива 2014/45/ЕС, приложение I, т. 8.2.1.2".
    QString source;
    // One line for the window and the protocol, e.g. "Катализатор, първа регистрация
    // 14.03.2005 → CO ≤ 0,3 % на празен ход, CO ≤ 0,2 % и λ 0,97–1,03 при ≥ 2000 min⁻¹".
    QString explanation;
};

LimitSet selectLimits(const VehicleFacts& vehicle, const TwoSpeedSetup& setup);

} // namespace vz::twospeed
