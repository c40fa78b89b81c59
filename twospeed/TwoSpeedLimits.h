#pragma once
// Which limits a car meets in the two-speed test, and why. By default those of Directive
// 2014/45/EU, Annex I, 8.2.1.2, chosen by the emission control, the emission class of the
// type approval and the first registration:
//
//   no catalyst, or one without lambda control (only on the operator's declaration, see
//   VehicleInputCheck.h):
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
// (the test window asks for the date, this only keeps the logic total). A known emission
// class decides over the date: Euro 3 or later gives the Euro 3 set whatever the date, and
// an Euro 1 or Euro 2 car has a lambda-controlled catalyst, so it never takes the limits of a
// car without one. A no-catalyst declaration the vehicle's data do not bear out is not
// applied: the catalyst limits stay.
//
// A vehicle chosen with F1 brings its row of the limits table (CarModel.DB): its COmx
// replaces the idle CO limit, stricter or looser than the default, and its RPM sets the idle
// window to RPM +- 100 min-1; both are then sourced "по таблица CarModel.DB" with the
// table's checksum. A looser COmx is taken only with the checksum (it must say which table
// allowed it), and a row whose COmx is above 4.5 % (above anything the law allows any petrol
// car) is not used at all: its values are no vehicle's data. Its COmn, CO2mx, CHmx and O2mx
// are carried for information and decide nothing; the high-idle limits and the lambda band
// keep the defaults. A row COmx of 0 (no value in the table) keeps the default idle CO
// limit, and a row RPM outside 400..1800 min-1 keeps the idle window of the set-up file.
#include "SelectedVehicle.h"
#include "TwoSpeedSetup.h"

#include <QDate>
#include <QList>
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
// The emission class of the type approval, as the registration papers give it. Before Euro 3
// is the old, coarse class (it leaves open whether the car has a catalyst); the finer classes
// were added after it, so the values keep their order.
enum class TypeApproval { Unknown, BeforeEuro3, Euro3OrLater, BeforeEuro1, Euro1, Euro2 };

// The record's key: "unknown", "before-euro3", "euro3-or-later", "before-euro1", "euro1",
// "euro2".
QString approvalKey(TypeApproval approval);
// The protocol's text, e.g. "Евро 3 или по-нов"; empty when unknown.
QString approvalLabel(TypeApproval approval);
// Euro 1 and later were met by petrol cars only with a lambda-controlled three-way catalyst.
bool impliesLambdaCatalyst(TypeApproval approval);

// Why a car has no lambda-controlled catalyst, in the operator's declaration. Without one of
// these reasons the no-catalyst limits do not apply.
enum class NoCatalystReason {
    None,
    RegisteredBeforeRequirement, // first registered before catalysts were required
    ImportedFromOutsideEu,       // built for a market outside the EU, imported later
    MakersDeclaration,           // the maker declares it has no lambda-controlled catalyst
};
// The reasons the window offers, in this order.
QList<NoCatalystReason> noCatalystReasons();
// The record's key: "registered-before-requirement", "imported-from-outside-eu",
// "makers-declaration"; empty for None.
QString noCatalystReasonKey(NoCatalystReason reason);
// The Bulgarian text the window lists and the record and the protocol keep.
QString noCatalystReasonText(NoCatalystReason reason);

// The first registration from which every new petrol passenger car needed a catalyst
// meeting Directive 91/441/EEC (Euro 1): 31.12.1992. A car registered earlier may lack one.
inline const QDate kCatalystRequiredFrom{1992, 12, 31};

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
    // VehicleRowCopy fills these for as long as the row applies to the vehicle typed.
    std::optional<SelectedVehicle> row;
    std::optional<int> rowRpm;
    // Why the car has no lambda-controlled catalyst; read only with NoLambdaControl.
    NoCatalystReason declaration = NoCatalystReason::None;
    // The limits table the row came from: the first 16 hex digits, lower case, of the SHA-256
    // of CarModel.DB's bytes (tableChecksumOfFile()); empty when not known.
    QString tableChecksum;
};

// "Декларация на оператора: без ламбда-регулиран катализатор – <reason>", for the protocol;
// empty unless the vehicle has no lambda control on a declared reason.
QString declarationLine(const VehicleFacts& vehicle);

// Which default rule chose the limits.
enum class LimitBasis {
    NoCatalystBefore1986,
    NoCatalystFrom1986,
    CatalystBefore2002,
    CatalystFrom2002,
    CatalystEuro3,
};
QString limitBasisKey(LimitBasis basis); // e.g. "catalyst-from-2002", for records

// Where a limit comes from: the directive's default, the F1 row of the limits table, or the
// set-up file (the speed windows).
enum class LimitSource { Directive, Table, SetupFile };
QString limitSourceKey(LimitSource source); // "directive", "table", "setup"

struct LimitSources {
    LimitSource idleCo = LimitSource::Directive;
    LimitSource highIdleCo = LimitSource::Directive;
    LimitSource lambda = LimitSource::Directive;
    LimitSource idleWindow = LimitSource::SetupFile;
    LimitSource highIdleWindow = LimitSource::SetupFile;
    bool operator==(const LimitSources&) const = default;
};

inline constexpr int kLambdaMinThousandths = 970;
inline constexpr int kLambdaMaxThousandths = 1030;
// The lowest high-idle speed the rule allows; the set-up file never goes below it.
inline constexpr int kLegalHighIdleMinimum = 2000;
inline const QDate kNoCatalystBoundary{1986, 10, 1};
inline const QDate kCatalystBoundary{2002, 7, 1};
// The highest idle CO limit a row of the limits table may give (hundredths of %): the
// directive's limit for the oldest cars without a catalyst.
inline constexpr int kRowIdleCoCeiling = 450;

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
    LimitSources sources;
    // The idle CO limit the directive gives this vehicle; idleCoLimit above it is looser.
    int defaultIdleCoLimit = 30;
    // The checksum of the limits table when a limit comes from it (VehicleFacts::tableChecksum).
    QString tableChecksum;
    // Why the F1 row, or its looser COmx, was not used; empty when it was or there is none.
    QString rowNotUsed;
    // The F1 row, for its information values (COmn, CO2mx, CHmx, O2mx in the table's units).
    std::optional<SelectedVehicle> row;
    // Where the limits come from, e.g. "Директива 2014/45/ЕС, приложение I, т. 8.2.1.2".
    QString source;
    // One line for the window and the protocol, e.g. "Катализатор, първа регистрация
    // 14.03.2005 → CO ≤ 0,3 % на празен ход, CO ≤ 0,2 % и λ 0,97–1,03 при ≥ 2000 min⁻¹".
    QString explanation;
};

LimitSet selectLimits(const VehicleFacts& vehicle, const TwoSpeedSetup& setup);

// The source of one limit as the protocol prints it: "Директива 2014/45/ЕС, приложение I,
// т. 8.2.1.2", "по таблица CarModel.DB, ред „VW GOLF“, контролна сума 0123456789abcdef",
// "по TWOSPEED.ini".
QString limitSourceText(const LimitSet& set, LimitSource source);

} // namespace vz::twospeed
