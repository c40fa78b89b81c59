// The limits a car meets, the declaration that may loosen them, the F1 row and its copy,
// registration numbers as attempts compare them, and printed rounding.
#include "../ScratchFiles.h"
#include "Registration.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedLimits.h"
#include "VehicleInputCheck.h"
#include "VehicleRowCopy.h"

#include <gtest/gtest.h>

namespace vz::twospeed {
namespace {

VehicleFacts car(EmissionControl control, QDate registered, TypeApproval approval = TypeApproval::Unknown,
                 NoCatalystReason declaration = NoCatalystReason::None) {
    VehicleFacts v;
    v.registration = QStringLiteral("СА1234ВХ");
    v.firstRegistration = registered;
    v.control = control;
    v.approval = approval;
    v.declaration = declaration;
    return v;
}

SelectedVehicle golfRow(uint16_t coMax) {
    SelectedVehicle row;
    row.VehicleText = QStringLiteral("VW GOLF");
    row.Make = QStringLiteral("VW");
    row.Model = QStringLiteral("GOLF");
    row.Rpm = 850;
    row.LimitCOmx = coMax;
    row.LimitCOmn = 10;
    row.LimitCO2mx = 120;
    row.LimitCHmx = 300;
    row.LimitO2mx = 150;
    return row;
}

const QString kChecksum = QStringLiteral("0123456789abcdef");

TEST(Limits, ChosenByEmissionControlRegistrationDateAndTypeApproval) {
    using EC = EmissionControl;
    using TA = TypeApproval;
    using NR = NoCatalystReason;
    struct Case {
        EC control;
        QDate registered;
        TA approval;
        NR declaration;
        LimitBasis basis;
        int idleCo;
        int highIdleCo; // 0: no high-idle phase
    };
    const Case cases[] = {
        {EC::NoLambdaControl, QDate(1986, 9, 30), TA::Unknown, NR::RegisteredBeforeRequirement,
         LimitBasis::NoCatalystBefore1986, 450, 0},
        {EC::NoLambdaControl, QDate(1986, 10, 1), TA::Unknown, NR::ImportedFromOutsideEu,
         LimitBasis::NoCatalystFrom1986, 350, 0},
        // The class "before Euro 1" bears out a declaration the date alone would not.
        {EC::NoLambdaControl, QDate(2010, 1, 1), TA::BeforeEuro1, NR::MakersDeclaration,
         LimitBasis::NoCatalystFrom1986, 350, 0},
        // A declaration the vehicle's data refuse leaves the catalyst limits.
        {EC::NoLambdaControl, QDate(1985, 1, 1), TA::Euro3OrLater, NR::RegisteredBeforeRequirement,
         LimitBasis::CatalystEuro3, 30, 20},
        {EC::NoLambdaControl, QDate(1990, 1, 1), TA::Euro1, NR::ImportedFromOutsideEu,
         LimitBasis::CatalystBefore2002, 50, 30},
        {EC::NoLambdaControl, QDate(2010, 1, 1), TA::Unknown, NR::ImportedFromOutsideEu,
         LimitBasis::CatalystFrom2002, 30, 20},
        {EC::NoLambdaControl, QDate(1980, 1, 1), TA::Unknown, NR::None, LimitBasis::CatalystBefore2002, 50,
         30},
        {EC::NoLambdaControl, QDate(), TA::Unknown, NR::MakersDeclaration, LimitBasis::CatalystFrom2002, 30,
         20},
        {EC::LambdaCatalyst, QDate(1990, 1, 1), TA::Unknown, NR::None, LimitBasis::CatalystBefore2002, 50,
         30},
        {EC::LambdaCatalyst, QDate(2002, 6, 30), TA::BeforeEuro3, NR::None, LimitBasis::CatalystBefore2002,
         50, 30},
        {EC::LambdaCatalyst, QDate(2002, 7, 1), TA::Unknown, NR::None, LimitBasis::CatalystFrom2002, 30, 20},
        {EC::LambdaCatalyst, QDate(2002, 7, 1), TA::BeforeEuro3, NR::None, LimitBasis::CatalystFrom2002, 30,
         20},
        // Euro 1 or 2 is no exemption from the later date's stricter set.
        {EC::LambdaCatalyst, QDate(2004, 1, 1), TA::Euro2, NR::None, LimitBasis::CatalystFrom2002, 30, 20},
        {EC::LambdaCatalyst, QDate(2002, 6, 30), TA::Euro3OrLater, NR::None, LimitBasis::CatalystEuro3, 30,
         20},
        {EC::LambdaCatalyst, QDate(2005, 3, 14), TA::Euro3OrLater, NR::None, LimitBasis::CatalystEuro3, 30,
         20},
        {EC::LambdaCatalyst, QDate(), TA::Unknown, NR::None, LimitBasis::CatalystFrom2002, 30, 20},
    };
    for (const Case& c : cases) {
        const LimitSet set =
            selectLimits(car(c.control, c.registered, c.approval, c.declaration), TwoSpeedSetup{});
        const std::string name =
            c.registered.toString(Qt::ISODate).toStdString() + " " + approvalKey(c.approval).toStdString();
        EXPECT_EQ(set.basis, c.basis) << name;
        EXPECT_EQ(set.idleCoLimit, c.idleCo) << name;
        EXPECT_EQ(set.defaultIdleCoLimit, c.idleCo) << name;
        EXPECT_EQ(set.highIdleApplies, c.highIdleCo != 0) << name;
        if (set.highIdleApplies) {
            EXPECT_EQ(set.highIdleCoLimit, c.highIdleCo) << name;
        }
        EXPECT_EQ(set.lambdaMin, 970);
        EXPECT_EQ(set.lambdaMax, 1030);
        EXPECT_EQ(set.sources, LimitSources{});
        EXPECT_EQ(set.source, QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2"));
    }
}

TEST(Limits, NoCatalystDeclarationOnlyWhereTheClassAndTheDateBearItOut) {
    using TA = TypeApproval;
    using NR = NoCatalystReason;
    using F = VehicleRefusal::Field;
    struct Case {
        QDate registered;
        TA approval;
        NR declaration;
        QList<F> refused;
    };
    const QList<F> none;
    const Case cases[] = {
        {QDate(1992, 12, 30), TA::Unknown, NR::RegisteredBeforeRequirement, none},
        {QDate(1992, 12, 30), TA::BeforeEuro3, NR::ImportedFromOutsideEu, none},
        {QDate(1992, 12, 30), TA::BeforeEuro1, NR::MakersDeclaration, none},
        {QDate(2001, 5, 1), TA::BeforeEuro1, NR::ImportedFromOutsideEu, none},
        {QDate(2001, 5, 1), TA::BeforeEuro1, NR::MakersDeclaration, none},
        // The reason must agree with the date; its boundary day already required a catalyst.
        {QDate(1992, 12, 31), TA::Unknown, NR::RegisteredBeforeRequirement, {F::FirstRegistration}},
        {QDate(2001, 5, 1), TA::BeforeEuro1, NR::RegisteredBeforeRequirement, {F::FirstRegistration}},
        {QDate(), TA::BeforeEuro1, NR::RegisteredBeforeRequirement, {F::FirstRegistration}},
        // Without the class, the date decides: a car registered since has a catalyst.
        {QDate(1992, 12, 31), TA::Unknown, NR::ImportedFromOutsideEu, {F::TypeApproval}},
        {QDate(2001, 5, 1), TA::BeforeEuro3, NR::MakersDeclaration, {F::TypeApproval}},
        // A class that implies a lambda-controlled catalyst refuses every reason.
        {QDate(1985, 1, 1), TA::Euro1, NR::RegisteredBeforeRequirement, {F::TypeApproval}},
        {QDate(1985, 1, 1), TA::Euro2, NR::ImportedFromOutsideEu, {F::TypeApproval}},
        {QDate(1985, 1, 1), TA::Euro3OrLater, NR::MakersDeclaration, {F::TypeApproval}},
        {QDate(1985, 1, 1), TA::Unknown, NR::None, {F::Declaration}},
        {QDate(1985, 1, 1), TA::Euro2, NR::None, {F::TypeApproval, F::Declaration}},
    };
    for (const Case& c : cases) {
        const VehicleFacts v = car(EmissionControl::NoLambdaControl, c.registered, c.approval, c.declaration);
        QList<F> fields;
        for (const VehicleRefusal& r : vehicleRefusals(v))
            fields << r.field;
        const std::string name = c.registered.toString(Qt::ISODate).toStdString() + " " +
                                 approvalKey(c.approval).toStdString() + " " +
                                 noCatalystReasonKey(c.declaration).toStdString();
        EXPECT_EQ(fields, c.refused) << name;
        EXPECT_EQ(noCatalystLimitsApply(v), c.refused.isEmpty()) << name;
        EXPECT_EQ(selectLimits(v, {}).highIdleApplies, !c.refused.isEmpty()) << name;
    }
    // A catalyst car has nothing to declare, whatever was chosen before.
    EXPECT_TRUE(vehicleRefusals(car(EmissionControl::LambdaCatalyst, QDate(2010, 1, 1), TA::Unknown,
                                    NR::MakersDeclaration))
                    .isEmpty());

    EXPECT_EQ(vehicleRefusals(
                  car(EmissionControl::NoLambdaControl, QDate(1999, 1, 1), TA::Euro2, NR::MakersDeclaration))
                  .value(0)
                  .text,
              QStringLiteral("Одобрението на типа „Евро 2“ предполага ламбда-регулиран катализатор: „без "
                             "ламбда-регулиран катализатор“ не се приема."));
    EXPECT_EQ(
        vehicleRefusals(car(EmissionControl::NoLambdaControl, QDate(1995, 6, 1), TA::Unknown,
                            NR::RegisteredBeforeRequirement))
            .value(0)
            .text,
        QStringLiteral("Първата регистрация 01.06.1995 не е преди 31.12.1992, от когато катализаторът е "
                       "задължителен: основанието „първа регистрация преди катализаторът да стане "
                       "задължителен за класа му“ не се приема."));
    // Every reason has its key and its text, and the protocol's line names the one declared.
    for (const NR reason : noCatalystReasons()) {
        EXPECT_FALSE(noCatalystReasonKey(reason).isEmpty());
        EXPECT_EQ(
            declarationLine(car(EmissionControl::NoLambdaControl, QDate(1980, 1, 1), TA::Unknown, reason)),
            QStringLiteral("Декларация на оператора: без ламбда-регулиран катализатор – ") +
                noCatalystReasonText(reason));
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
    EXPECT_EQ(selectLimits(car(EmissionControl::NoLambdaControl, QDate(1985, 5, 12),
                               TypeApproval::BeforeEuro1, NoCatalystReason::ImportedFromOutsideEu),
                           {})
                  .explanation,
              QStringLiteral("Без ламбда-регулиран катализатор (декларация: внесен от държава извън ЕС, "
                             "произведен без катализатор), тип преди Евро 1, първа регистрация 12.05.1985 → "
                             "CO ≤ 4,5 % на празен ход"));
    EXPECT_EQ(
        selectLimits(car(EmissionControl::NoLambdaControl, QDate(2005, 3, 14)), {}).explanation,
        QStringLiteral("Катализатор (декларацията „без ламбда-регулиран катализатор“ не е приета), първа "
                       "регистрация 14.03.2005 → CO ≤ 0,3 % на празен ход, CO ≤ 0,2 % и λ 0,97–1,03 при ≥ "
                       "2000 min⁻¹"));
}

TEST(Limits, VehicleRowReplacesIdleLimitAndWindowOnly) {
    TwoSpeedSetup setup;
    setup.highIdle = {2600, 2900};
    VehicleFacts v = car(EmissionControl::LambdaCatalyst, QDate(2005, 3, 14));
    SelectedVehicle row = golfRow(20);
    v.row = row;
    v.rowRpm = 850;
    LimitSet set = selectLimits(v, setup);
    EXPECT_EQ(set.idleCoLimit, 20);
    EXPECT_EQ(set.idleWindow, (SpeedWindow{750, 950}));
    EXPECT_TRUE(set.idleCoFromRow && set.idleWindowFromRow);
    EXPECT_EQ(set.highIdleCoLimit, 20);
    EXPECT_EQ(set.highIdleWindow, (SpeedWindow{2600, 2900}));
    ASSERT_TRUE(set.row);
    EXPECT_EQ(set.row->LimitCHmx, 300); // carried for information
    // A stricter row value needs no checksum to be used; its source says none was known.
    EXPECT_EQ(set.source,
              QStringLiteral("Директива 2014/45/ЕС, приложение I, т. 8.2.1.2; празен ход по таблица "
                             "CarModel.DB, ред „VW GOLF“, контролна сума неизвестна (CO ≤ 0,2 %, "
                             "750–950 min⁻¹)"));

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

TEST(Limits, LooserRowValueUsedOnlyWithTheTableChecksumAndNeverAbove4point5) {
    struct Case {
        uint16_t coMax;
        QString checksum;
        int idleCo;
        LimitSource source;
        bool windowFromRow;
        const char* notUsed; // the start of LimitSet::rowNotUsed, "" when the row is used
    };
    const Case cases[] = {
        {80, kChecksum, 80, LimitSource::Table, true, ""},
        {450, kChecksum, 450, LimitSource::Table, true, ""},
        {451, kChecksum, 30, LimitSource::Directive, false, "ред „VW GOLF“ от CarModel.DB не е използван"},
        {80, QString(), 30, LimitSource::Directive, true, "CO ≤ 0,8 % по ред „VW GOLF“"},
        {80, QStringLiteral("0123456789ABCDEF"), 30, LimitSource::Directive, true, "CO ≤ 0,8 %"},
        {30, QString(), 30, LimitSource::Table, true, ""},
    };
    for (const Case& c : cases) {
        VehicleFacts v = car(EmissionControl::LambdaCatalyst, QDate(2005, 3, 14));
        v.row = golfRow(c.coMax);
        v.rowRpm = 850;
        v.tableChecksum = c.checksum;
        const LimitSet set = selectLimits(v, {});
        const std::string name = std::to_string(c.coMax) + " " + c.checksum.toStdString();
        EXPECT_EQ(set.idleCoLimit, c.idleCo) << name;
        EXPECT_EQ(set.defaultIdleCoLimit, 30) << name;
        EXPECT_EQ(set.sources.idleCo, c.source) << name;
        EXPECT_EQ(set.idleWindowFromRow, c.windowFromRow) << name;
        EXPECT_EQ(set.sources.idleWindow, c.windowFromRow ? LimitSource::Table : LimitSource::SetupFile)
            << name;
        const QString notUsed = QString::fromUtf8(c.notUsed);
        EXPECT_EQ(set.rowNotUsed.left(notUsed.size()), notUsed) << name;
        EXPECT_EQ(set.rowNotUsed.isEmpty(), notUsed.isEmpty()) << name;
        EXPECT_EQ(set.highIdleCoLimit, 20) << name;
        EXPECT_EQ(set.sources.highIdleCo, LimitSource::Directive) << name;
    }

    // The looser value is printed with its source, the table's checksum and the default.
    VehicleFacts v = car(EmissionControl::LambdaCatalyst, QDate(2005, 3, 14));
    v.row = golfRow(80);
    v.rowRpm = 850;
    v.tableChecksum = kChecksum;
    const LimitSet set = selectLimits(v, {});
    EXPECT_EQ(set.tableChecksum, kChecksum);
    EXPECT_EQ(limitSourceText(set, set.sources.idleCo),
              QStringLiteral("по таблица CarModel.DB, ред „VW GOLF“, контролна сума 0123456789abcdef"));
    EXPECT_EQ(
        set.explanation,
        QStringLiteral("Катализатор, първа регистрация 14.03.2005 → CO ≤ 0,8 % на празен ход при 750–950 "
                       "min⁻¹ (по таблица CarModel.DB, ред „VW GOLF“, контролна сума 0123456789abcdef; по "
                       "директивата CO ≤ 0,3 %), CO ≤ 0,2 % и λ 0,97–1,03 при ≥ 2000 min⁻¹"));
}

TEST(VehicleRowCopy, AppliesToTheVehicleItWasChosenForAndOnlyThisTest) {
    VehicleRowCopy copy(golfRow(80), kChecksum);
    ASSERT_TRUE(copy.applies());
    EXPECT_EQ(copy.make(), QStringLiteral("VW"));
    EXPECT_EQ(copy.model(), QStringLiteral("GOLF"));
    VehicleFacts v;
    copy.applyTo(v);
    ASSERT_TRUE(v.row);
    EXPECT_EQ(v.rowRpm, 850);
    EXPECT_EQ(v.tableChecksum, kChecksum);

    // Spaces and letter case are the same vehicle; another model is not, and typing the old
    // one back does not bring the row back for this test.
    copy.edited(QStringLiteral(" vw "), QStringLiteral("Golf"));
    EXPECT_TRUE(copy.applies());
    copy.edited(QStringLiteral("VW"), QStringLiteral("GOLF PLUS"));
    EXPECT_FALSE(copy.applies());
    copy.edited(QStringLiteral("VW"), QStringLiteral("GOLF"));
    EXPECT_FALSE(copy.applies());
    EXPECT_EQ(copy.droppedText(),
              QStringLiteral("Редът „VW GOLF“ от F1 не се прилага: марката или моделът са сменени."));
    copy.applyTo(v);
    EXPECT_FALSE(v.row || v.rowRpm);
    EXPECT_TRUE(v.tableChecksum.isEmpty());
    EXPECT_EQ(selectLimits(v, {}).idleCoLimit, 30);

    VehicleRowCopy other(golfRow(80), kChecksum);
    other.edited(QStringLiteral("OPEL"), QStringLiteral("GOLF"));
    EXPECT_FALSE(other.applies());
    VehicleRowCopy ended(golfRow(80), kChecksum);
    ended.forget();
    EXPECT_FALSE(ended.offered());
    EXPECT_TRUE(ended.make().isEmpty());
    EXPECT_FALSE(VehicleRowCopy(SelectedVehicle{}, kChecksum).offered()); // no vehicle chosen

    test::ScratchCurrentDir dir;
    test::ScratchFiles::writeFile(dir.filePath(QStringLiteral("CarModel.DB")), "abc");
    EXPECT_EQ(tableChecksumOfFile(dir.filePath(QStringLiteral("CarModel.DB"))),
              QStringLiteral("ba7816bf8f01cfea"));
    EXPECT_TRUE(tableChecksumOfFile(dir.filePath(QStringLiteral("missing.DB"))).isEmpty());
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

} // namespace
} // namespace vz::twospeed
