// The started line of a test: the operator's declaration, each limit's source with the limits
// table's checksum, and every training reason, beside the keys older lines already had.
#include "TwoSpeedRecord.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace vz::twospeed {
namespace {

QJsonObject startedLine(const VehicleFacts& vehicle, const TwoSpeedSetup& setup,
                        const TrainingMode& training) {
    const TwoSpeedTest test(vehicle, setup, training, [] { return int64_t(0); });
    return startedRecord(test, RecordContext{});
}

TEST(StartedRecord, KeepsTheDeclarationTheLimitSourcesAndEveryTrainingReason) {
    // An old car without catalyst, imported, chosen with F1 from a table with a looser COmx.
    VehicleFacts v;
    v.registration = QStringLiteral("СА1234ВХ");
    v.firstRegistration = QDate(1995, 4, 2);
    v.control = EmissionControl::NoLambdaControl;
    v.approval = TypeApproval::BeforeEuro1;
    v.declaration = NoCatalystReason::ImportedFromOutsideEu;
    SelectedVehicle row;
    row.VehicleText = QStringLiteral("LADA 2107");
    row.LimitCOmx = 400;
    row.LimitCO2mx = 100;
    v.row = row;
    v.rowRpm = 900;
    v.tableChecksum = QStringLiteral("0123456789abcdef");
    TwoSpeedSetup setup; // no serial, no date, 2 samples
    setup.minimumSamples = 2;
    const TrainingMode training = trainingMode(false, true, setup, QDate(2026, 5, 10));

    const QJsonObject line = startedLine(v, setup, training);
    EXPECT_EQ(line["typeApproval"].toString(), "before-euro1");
    EXPECT_EQ(line["declaration"].toObject(),
              (QJsonObject{{"key", "imported-from-outside-eu"},
                           {"text", "внесен от държава извън ЕС, произведен без катализатор"}}));
    const QJsonObject limits = line["limitSet"].toObject();
    EXPECT_DOUBLE_EQ(limits["idleCo"].toDouble(), 4.0);
    EXPECT_DOUBLE_EQ(limits["defaultIdleCo"].toDouble(), 3.5);
    EXPECT_EQ(limits["tableChecksum"].toString(), "0123456789abcdef");
    EXPECT_TRUE(limits["rowNotUsed"].isNull());
    const QJsonObject sources = limits["sources"].toObject();
    EXPECT_EQ(sources["idleCo"].toObject()["key"].toString(), "table");
    EXPECT_EQ(sources["idleCo"].toObject()["text"].toString(),
              "по таблица CarModel.DB, ред „LADA 2107“, контролна сума 0123456789abcdef");
    EXPECT_EQ(sources["idleWindow"].toObject()["key"].toString(), "table");
    EXPECT_FALSE(sources.contains("highIdleCo")); // no high-idle phase without a catalyst

    // The first reason stays where it was; the list has them all, in order.
    EXPECT_TRUE(line["training"].toBool());
    EXPECT_EQ(line["trainingReason"].toString(), "pseudo-terminal");
    EXPECT_EQ(line["trainingText"].toString(), "симулиран анализатор (псевдотерминал)");
    QStringList keys;
    for (const QJsonValue& r : line["trainingReasons"].toArray())
        keys << r.toObject()["key"].toString();
    EXPECT_EQ(keys, QStringList({"pseudo-terminal", "analyser-serial-missing", "verification-date-missing",
                                 "samples-below-floor"}));
    EXPECT_EQ(line["trainingReasons"].toArray()[3].toObject()["text"].toString(),
              "средна стойност от най-малко 2 отчитания, под 4");
}

TEST(StartedRecord, AnOfficialCatalystTestHasNoDeclarationNoChecksumAndNoReasons) {
    VehicleFacts v;
    v.registration = QStringLiteral("СА1234ВХ");
    v.firstRegistration = QDate(2005, 3, 14);
    v.declaration = NoCatalystReason::MakersDeclaration; // left in the list: a catalyst car declares nothing
    TwoSpeedSetup setup;
    setup.analyserSerial = QStringLiteral("AB-123");
    setup.verificationExpires = QDate(2026, 12, 31);
    const QJsonObject line = startedLine(v, setup, trainingMode(false, false, setup, QDate(2026, 5, 10)));
    EXPECT_TRUE(line["declaration"].isNull());
    EXPECT_FALSE(line["training"].toBool());
    EXPECT_EQ(line["trainingReason"].toString(), "");
    EXPECT_EQ(line["trainingReasons"].toArray(), QJsonArray());
    const QJsonObject limits = line["limitSet"].toObject();
    EXPECT_TRUE(limits["tableChecksum"].isNull());
    for (const char* key : {"idleCo", "highIdleCo", "lambda"})
        EXPECT_EQ(limits["sources"].toObject()[key].toObject()["key"].toString(), "directive") << key;
    EXPECT_EQ(limits["sources"].toObject()["highIdleWindow"].toObject()["key"].toString(), "setup");
}

} // namespace
} // namespace vz::twospeed
