// The limits a car meets, registration numbers as attempts compare them, printed rounding and
// training mode.
#include "Registration.h"
#include "TrainingMode.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedLimits.h"

#include <gtest/gtest.h>

namespace vz::twospeed {
namespace {

VehicleFacts car(EmissionControl control, QDate registered, TypeApproval approval = TypeApproval::Unknown) {
    VehicleFacts v;
    v.registration = QStringLiteral("СА1234ВХ");
    v.firstRegistration = registered;
    v.control = control;
    v.approval = approval;
    return v;
}

TEST(Limits, ChosenByEmissionControlRegistrationDateAndTypeApproval) {
    using EC = EmissionControl;
    using TA = TypeApproval;
    struct Case {
        EC control;
        QDate registered;
        TA approval;
        LimitBasis basis;
        int idleCo;
        int highIdleCo; // 0: no high-idle phase
    };
    const Case cases[] = {
        {EC::NoLambdaControl, QDate(1986, 9, 30), TA::Unknown, LimitBasis::NoCatalystBefore1986, 450, 0},
        {EC::NoLambdaControl, QDate(1986, 10, 1), TA::Unknown, LimitBasis::NoCatalystFrom1986, 350, 0},
        {EC::NoLambdaControl, QDate(2010, 1, 1), TA::Euro3OrLater, LimitBasis::NoCatalystFrom1986, 350, 0},
        {EC::NoLambdaControl, QDate(), TA::Unknown, LimitBasis::NoCatalystFrom1986, 350, 0},
        {EC::LambdaCatalyst, QDate(1990, 1, 1), TA::Unknown, LimitBasis::CatalystBefore2002, 50, 30},
        {EC::LambdaCatalyst, QDate(2002, 6, 30), TA::BeforeEuro3, LimitBasis::CatalystBefore2002, 50, 30},
        {EC::LambdaCatalyst, QDate(2002, 7, 1), TA::Unknown, LimitBasis::CatalystFrom2002, 30, 20},
        {EC::LambdaCatalyst, QDate(2002, 7, 1), TA::BeforeEuro3, LimitBasis::CatalystFrom2002, 30, 20},
        {EC::LambdaCatalyst, QDate(2002, 6, 30), TA::Euro3OrLater, LimitBasis::CatalystEuro3, 30, 20},
        {EC::LambdaCatalyst, QDate(2005, 3, 14), TA::Euro3OrLater, LimitBasis::CatalystFrom2002, 30, 20},
        {EC::LambdaCatalyst, QDate(), TA::Unknown, LimitBasis::CatalystFrom2002, 30, 20},
    };
    for (const Case& c : cases) {
        const LimitSet set = selectLimits(car(c.control, c.registered, c.approval), TwoSpeedSetup{});
        const std::string name = c.registered.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(set.basis, c.basis) << name;
        EXPECT_EQ(set.idleCoLimit, c.idleCo) << name;
        EXPECT_EQ(set.highIdleApplies, c.highIdleCo != 0) << name;
        if (set.highIdleApplies) {
            EXPECT_EQ(set.highIdleCoLimit, c.highIdleCo) << name;
        }
        EXPECT_EQ(set.lambdaMin, 970);
        EXPECT_EQ(set.lambdaMax, 1030);
        EXPECT_EQ(set.source, QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2"));
    }
}

TEST(Limits, ExplainedInOneBulgarianLine) {
    EXPECT_EQ(
        selectLimits(car(EmissionControl::LambdaCatalyst, QDate(2005, 3, 14)), {}).explanation,
        QStringLiteral("Катализатор, първа регистрация 14.03.2005 → CO ≤ 0,3 % на празен ход, CO ≤ 0,2 % "
                       "и λ 0,97–1,03 при ≥ 2000 min⁻¹"));
    EXPECT_EQ(
        selectLimits(car(EmissionControl::LambdaCatalyst, QDate(2001, 2, 3), TypeApproval::Euro3OrLater), {})
            .explanation,
        QStringLiteral("Катализатор, тип Евро 3 или по-нов, първа регистрация 03.02.2001 → CO ≤ 0,3 % на "
                       "празен ход, CO ≤ 0,2 % и λ 0,97–1,03 при ≥ 2000 min⁻¹"));
    EXPECT_EQ(selectLimits(car(EmissionControl::NoLambdaControl, QDate(1985, 5, 12)), {}).explanation,
              QStringLiteral("Без ламбда-регулиран катализатор, първа регистрация 12.05.1985 → CO ≤ 4,5 % на "
                             "празен ход"));
}

TEST(Limits, VehicleRowReplacesIdleLimitAndWindowOnly) {
    TwoSpeedSetup setup;
    setup.highIdle = {2600, 2900};
    VehicleFacts v = car(EmissionControl::LambdaCatalyst, QDate(2005, 3, 14));
    SelectedVehicle row;
    row.VehicleText = QStringLiteral("VW GOLF");
    row.LimitCOmx = 80;
    row.LimitCOmn = 10;
    row.LimitCO2mx = 120;
    row.LimitCHmx = 300;
    row.LimitO2mx = 150;
    v.row = row;
    v.rowRpm = 850;
    LimitSet set = selectLimits(v, setup);
    EXPECT_EQ(set.idleCoLimit, 80);
    EXPECT_EQ(set.idleWindow, (SpeedWindow{750, 950}));
    EXPECT_TRUE(set.idleCoFromRow && set.idleWindowFromRow);
    EXPECT_EQ(set.highIdleCoLimit, 20);
    EXPECT_EQ(set.highIdleWindow, (SpeedWindow{2600, 2900}));
    ASSERT_TRUE(set.row);
    EXPECT_EQ(set.row->LimitCHmx, 300); // carried for information
    EXPECT_EQ(set.source,
              QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2; празен ход по ред F1 "
                             "„VW GOLF“ (CO ≤ 0,8 %, 750–950 min⁻¹)"));
    EXPECT_EQ(set.explanation,
              QStringLiteral("Катализатор, първа регистрация 14.03.2005 → CO ≤ 0,8 % на празен "
                             "ход при 750–950 min⁻¹ (ред F1: VW GOLF), CO ≤ 0,2 % и λ 0,97–1,03 "
                             "при ≥ 2000 min⁻¹"));

    // A row without COmx and with an RPM no idle speed can be keeps the defaults...
    row.LimitCOmx = 0;
    v.row = row;
    v.rowRpm = 2500;
    set = selectLimits(v, setup);
    EXPECT_EQ(set.idleCoLimit, 30);
    EXPECT_EQ(set.idleWindow, setup.idle);
    EXPECT_FALSE(set.idleCoFromRow || set.idleWindowFromRow);
    // ...and an empty record (LimitCO2mx 0) is no chosen vehicle.
    row.LimitCOmx = 80;
    row.LimitCO2mx = 0;
    v.row = row;
    EXPECT_FALSE(selectLimits(v, setup).row);
    EXPECT_EQ(selectLimits(v, setup).idleCoLimit, 30);
}

TEST(Registration, ComparedWithoutSpacesHyphensCaseOrLatinLookAlikes) {
    const QString plain = QStringLiteral("СА1234ВХ");
    for (const QString& typed : {QStringLiteral("ca 1234 bx"), QStringLiteral("CA-1234-BX"),
                                 QStringLiteral("са‐1234 вх"), QStringLiteral(" C\tA1234B–X ")})
        EXPECT_EQ(normaliseRegistration(typed), plain) << typed.toStdString();
    EXPECT_EQ(normaliseRegistration(QStringLiteral("abekmhopctyx")), QStringLiteral("АВЕКМНОРСТУХ"));
    // Letters without a Cyrillic look-alike stay: these are different numbers.
    EXPECT_NE(normaliseRegistration(QStringLiteral("CA1234DX")), plain);
}

TEST(PrintedValues, RoundHalfAwayFromZeroWithDecimalCommas) {
    EXPECT_EQ(printedUnits(0.305, 2), 31);
    EXPECT_EQ(printedUnits(0.3049, 2), 30);
    EXPECT_EQ(printedUnits(1.0305, 3), 1031);
    EXPECT_EQ(printedUnits(-0.005, 2), -1);
    EXPECT_EQ(decimalText(0.305, 2), QStringLiteral("0,31"));
    EXPECT_EQ(decimalText(-0.05, 2), QStringLiteral("-0,05"));
    EXPECT_EQ(decimalText(14.5, 0), QStringLiteral("15"));
    EXPECT_EQ(unitsText(970, 3), QStringLiteral("0,970"));
    EXPECT_EQ(compactUnitsText(970, 3), QStringLiteral("0,97"));
    EXPECT_EQ(compactUnitsText(600, 2), QStringLiteral("6"));
    EXPECT_EQ(dateText(QDate(2002, 7, 1)), QStringLiteral("01.07.2002"));
}

TEST(Training, DemoPseudoTerminalOrExpiredVerification) {
    const QDate today(2026, 5, 10);
    EXPECT_FALSE(trainingMode(false, false, QDate(2026, 5, 10), today).active); // its last day
    EXPECT_FALSE(trainingMode(false, false, QDate(), today).active);
    const TrainingMode expired = trainingMode(false, false, QDate(2026, 5, 9), today);
    EXPECT_TRUE(expired.active);
    EXPECT_EQ(expired.reason, TrainingReason::VerificationExpired);
    EXPECT_EQ(expired.reasonText, QStringLiteral("проверката на анализатора е изтекла на 09.05.2026"));
    EXPECT_EQ(trainingMode(false, true, QDate(2026, 5, 9), today).reason, TrainingReason::PseudoTerminal);
    EXPECT_EQ(trainingMode(true, true, QDate(), today).reason, TrainingReason::DemoMode);
}

} // namespace
} // namespace vz::twospeed
