// The protocol made again from the archive's lines: an older line prints as it always did,
// and the keys later lines add (how the test ended, its failing average, the operator's
// declaration, every training reason, limits from the table row) reach the page.
#include "ProtocolPage.h"
#include "ProtocolRecord.h"
#include "ProtocolTestSupport.h"
#include "ReportTestSupport.h"
#include "TwoSpeedRecord.h"

#include <QJsonArray>
#include <functional>

using namespace vz;
using namespace vz::twospeed;
using namespace vz::test;

namespace {

const QDateTime kStarted(QDate(2026, 12, 7), QTime(14, 5, 9));
const QDateTime kEnded(QDate(2026, 12, 7), QTime(14, 7, 31));
const QByteArray kSeal(32, '\xA7');

// The lines as an older station wrote them: none of the keys added since.
struct Lines {
    QJsonObject started;
    QJsonObject result;
};
Lines olderLines(const ProcedureRun& run) {
    Lines lines{startedRecord(*run.test, RecordContext{QStringLiteral("Мария Иванова")}),
                resultRecord(*run.test, kEnded, 3)};
    lines.started.insert(QStringLiteral("number"), 45);
    lines.started.insert(QStringLiteral("time"), kStarted.toString(Qt::ISODate));
    for (const char* key : {"declaration", "trainingReasons"})
        lines.started.remove(QLatin1StringView(key));
    QJsonObject limits = lines.started.value(QStringLiteral("limitSet")).toObject();
    for (const char* key : {"sources", "tableChecksum"})
        limits.remove(QLatin1StringView(key));
    lines.started.insert(QStringLiteral("limitSet"), limits);
    for (const char* key : {"ending", "failingAverage"})
        lines.result.remove(QLatin1StringView(key));
    return lines;
}

ProtocolData fromLines(const Lines& lines) {
    return protocolDataFromRecord(lines.started, lines.result,
                                  QStringLiteral("ГТП „Младост“ ЕООД, София, ул. Тестова 5"), kSeal,
                                  QString());
}

void setLimit(QJsonObject& started, const char* key, const QJsonValue& value) {
    QJsonObject limits = started.value(QStringLiteral("limitSet")).toObject();
    limits.insert(QLatin1StringView(key), value);
    started.insert(QStringLiteral("limitSet"), limits);
}

QJsonObject source(const char* key, const QString& text) {
    return {{QStringLiteral("key"), QLatin1StringView(key)}, {QStringLiteral("text"), text}};
}

class ProtocolRecordPageTest : public ReportTest {};

} // namespace

TEST_F(ProtocolRecordPageTest, AnOlderLinePrintsAsItAlwaysDid) {
    const auto failing = failingRun();
    const ProtocolData again = fromLines(olderLines(*failing));
    for (const QString* empty : {&again.ending, &again.failingAverage, &again.declaration})
        EXPECT_TRUE(empty->isEmpty()) << empty->toStdString();
    EXPECT_TRUE(again.limitSources.isEmpty());
    EXPECT_FALSE(again.training);
    // The page is the one the station printed from the test itself.
    ProtocolContext live = failing->context(kSeal);
    EXPECT_EQ(pageText(recordedPage(again)), pageText(recordedPage(protocolData(*failing->test, live))));

    // A training line keeps its one reason, and its number its series.
    const auto training = passingRun(trainingMode(false, true, QDate(), QDate(2026, 12, 7)));
    const ProtocolData trainingAgain = fromLines(olderLines(*training));
    EXPECT_EQ(trainingAgain.trainingReasons,
              QStringList{QStringLiteral("симулиран анализатор (псевдотерминал)")});
    const QString text = pageText(recordedPage(trainingAgain));
    EXPECT_TRUE(text.contains(QStringLiteral("Протокол № О-45"))) << text.toStdString();
    EXPECT_TRUE(
        text.endsWith(kTrainingMark + QStringLiteral(": симулиран анализатор (псевдотерминал) Печат на "
                                                     "записа в архива: a7a7a7a7a7a7a7a7")))
        << text.toStdString();
}

TEST_F(ProtocolRecordPageTest, KeysOfLaterLinesReachThePage) {
    const auto failing = failingRun();
    // The failing high-idle average as the result line keeps an average, checks and all.
    QJsonObject deciding =
        resultRecord(*failing->test, kEnded, 3)["phases"].toArray()[0].toObject()["deciding"].toObject();
    deciding.insert(QStringLiteral("phase"), QStringLiteral("high-idle"));
    const QJsonObject plainAverage{{"phase", "idle"}, {"co", 0.604},   {"co2", 14.2}, {"hc", 61.0},
                                   {"o2", 0.3},       {"lambda", 1.0}, {"rpm", 812.4}};
    const QString tableText =
        QStringLiteral("по таблица CarModel.DB, ред „VW GOLF“, контролна сума 0123456789abcdef");

    const struct {
        const char* name;
        std::function<void(QJsonObject& started, QJsonObject& result)> edit;
        QStringList onPage;
        QStringList notOnPage;
    } cases[] = {
        {"aborted",
         [](QJsonObject&, QJsonObject& r) { r.insert("ending", "aborted"); },
         {"Изпитването е прекратено от оператора"},
         {"Неуспешна средна стойност"}},
        {"interrupted after a failing average, with its checks",
         [&](QJsonObject&, QJsonObject& r) {
             r.insert("ending", "interrupted");
             r.insert("failingAverage", deciding);
         },
         {"Изпитването е прекъснато след неуспешна средна стойност",
          "Неуспешна средна стойност при повишени обороти, 2700 min⁻¹: CO 0,50 % ✘, CO₂ 14,20 %, HC 60 ppm, "
          "O₂ 0,30 %, λ"},
         {}},
        {"interrupted after a failing average, its values only",
         [&](QJsonObject&, QJsonObject& r) {
             r.insert("ending", "interrupted");
             r.insert("failingAverage", plainAverage);
         },
         {"Неуспешна средна стойност при празен ход, 812 min⁻¹: CO 0,60 %, CO₂ 14,20 %, HC 61 ppm, O₂ 0,30 "
          "%, "
          "λ 1,000"},
         {}},
        {"interrupted without an average",
         [](QJsonObject&, QJsonObject& r) {
             r.insert("ending", "interrupted");
             r.insert("failingAverage", QJsonValue::Null);
         },
         {"Изпитването е прекъснато"},
         {"след неуспешна", "Неуспешна средна стойност"}},
        {"completed: the table shows the averages",
         [&](QJsonObject&, QJsonObject& r) {
             r.insert("ending", "completed");
             r.insert("failingAverage", deciding);
         },
         {},
         {"Изпитването е", "Неуспешна средна стойност"}},
        {"declaration",
         [](QJsonObject& s, QJsonObject&) {
             s.insert("declaration", source("makers-declaration", "декларация на производителя"));
         },
         {"Декларация на оператора декларация на производителя"},
         {}},
        {"every training reason",
         [](QJsonObject& s, QJsonObject&) {
             s.insert("training", true);
             s.insert("trainingText", "анализаторът няма сериен номер");
             s.insert("trainingReasons",
                      QJsonArray{source("analyser-serial-missing", "анализаторът няма сериен номер"),
                                 source("dilution-below-floor", "прагът на разреждане е под 6 %")});
         },
         {"Протокол № О-45",
          "ОБУЧЕНИЕ – НЕ Е ОФИЦИАЛЕН: анализаторът няма сериен номер; прагът на разреждане е под 6 %"},
         {"Протокол № 45"}},
        {"a limit from the table row, its checksum in its text",
         [&](QJsonObject& s, QJsonObject&) {
             setLimit(s, "idleCo", 0.45);
             setLimit(s, "sources",
                      QJsonObject{{"idleCo", source("table", tableText)},
                                  {"highIdleCo", source("directive", "Директива 2014/45/ЕС")}});
             setLimit(s, "tableChecksum", "0123456789abcdef");
         },
         {"CO на празен ход ≤ 0,45 %: " + tableText},
         {"CO при повишени обороти"}},
        {"a limit from the table row, the checksum apart",
         [](QJsonObject& s, QJsonObject&) {
             setLimit(s, "idleWindow", QJsonObject{{"min", 700}, {"max", 900}});
             setLimit(s, "sources", QJsonObject{{"idleWindow", "по таблица CarModel.DB"}});
             setLimit(s, "tableChecksum", "fedcba9876543210");
         },
         {"обороти на празен ход 700–900 min⁻¹: по таблица CarModel.DB, контролна сума fedcba9876543210"},
         {}},
        {"the general source already names the table",
         [&](QJsonObject& s, QJsonObject&) {
             setLimit(s, "source", "Директива 2014/45/ЕС; празен ход " + tableText + " (CO ≤ 0,45 %)");
             setLimit(s, "sources", QJsonObject{{"idleCo", source("table", tableText)}});
         },
         {"Основание: Директива 2014/45/ЕС; празен ход " + tableText},
         {"CO на празен ход ≤"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lines lines = olderLines(*failing);
        c.edit(lines.started, lines.result);
        const ProtocolData d = fromLines(lines);
        const QString text = pageText(recordedPage(d));
        for (const QString& wanted : c.onPage)
            EXPECT_TRUE(text.contains(wanted)) << wanted.toStdString() << "\nnot in\n" << text.toStdString();
        for (const QString& unwanted : c.notOnPage)
            EXPECT_FALSE(text.contains(unwanted)) << unwanted.toStdString() << "\nin\n" << text.toStdString();
        EXPECT_EQ(text.count(tableText), int(text.contains(tableText))) << "said twice";
        // The ending never changes the verdict: a failed test stays failed.
        EXPECT_EQ(d.verdict, QStringLiteral("НЕ СЪОТВЕТСТВА"));
    }
}
