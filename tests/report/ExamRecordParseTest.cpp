// The record parser is the writer's inverse: every record the writer makes reads back as
// the fields it was made from.
#include "Cp1251.h"
#include "ExamRecord.h"

#include "ReportTestSupport.h"

using namespace vz;

namespace {

ReportFields logged(ReportFields f) {
    f.operatorName.clear(); // never logged
    f.lambda.clear();
    return f;
}

void expectSameLoggedFields(const ReportFields& actual, const ReportFields& expected) {
    for (const ExamRecordItem& item : examRecordLayout())
        EXPECT_EQ(actual.*(item.field), expected.*(item.field)) << item.key;
    EXPECT_TRUE(actual.operatorName.isEmpty());
    EXPECT_TRUE(actual.lambda.isEmpty());
}

} // namespace

TEST(ExamRecordParse, ReadsBackEveryFieldOfTheWritersRecord) {
    const ReportFields f = logged(vz::test::sampleFields());
    const std::optional<ReportFields> parsed = parseExamRecordText(fromCp1251(examRecordBytes(f)));
    ASSERT_TRUE(parsed);
    expectSameLoggedFields(*parsed, f);
}

TEST(ExamRecordParse, RoundTripsFieldsThatFillOrEmptyTheirColumns) {
    struct Case {
        const char* name;
        ReportFields fields;
    };
    ReportFields longest;
    longest.date = QString(15, u'Д');
    longest.time = QStringLiteral("12:34:56 вечер");
    longest.owner = QStringLiteral("Александър Стоянов Петков");
    longest.makeModel = QStringLiteral("Mercedes-Benz E 220 CDI A");
    longest.year = "2026";
    longest.regNumber = QStringLiteral("СА1234ВК");
    longest.co = "10.00";
    longest.co2 = "15.55";
    longest.hc = "99999";
    longest.o2 = "20.90";
    longest.rpm = "12000";
    longest.oilTemp = "120.5";

    ReportFields owner25 = logged(vz::test::sampleFields(QStringLiteral("Александър Стоянов Петков")));
    ReportFields leading = logged(vz::test::sampleFields(QStringLiteral(" Иван")));
    leading.hc = "   10";
    ReportFields quotes = logged(vz::test::sampleFields(QStringLiteral("\"Авто\", ООД; 100%")));
    quotes.makeModel = QStringLiteral("/CO 1% /HC x");

    const Case cases[] = {
        {"every field empty", ReportFields{}},
        {"owner of 25 characters", owner25},
        {"leading blanks", leading},
        {"slashes, quotes and commas", quotes},
    };
    for (const Case& c : cases) {
        const QString text = examRecordText(c.fields);
        const std::optional<ReportFields> parsed = parseExamRecordText(text);
        ASSERT_TRUE(parsed) << c.name;
        expectSameLoggedFields(*parsed, c.fields);
        EXPECT_EQ(examRecordText(*parsed), text) << c.name;
    }

    // With every field at its longest, the end of the record is cut off: what the record
    // still shows is read back, and writing it again gives the same record.
    const QString text = examRecordText(longest);
    const std::optional<ReportFields> parsed = parseExamRecordText(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(examRecordText(*parsed), text);
    EXPECT_EQ(parsed->date, longest.date);
    EXPECT_EQ(parsed->owner, longest.owner);
    EXPECT_EQ(parsed->makeModel, longest.makeModel);
    EXPECT_EQ(parsed->regNumber, longest.regNumber);
    EXPECT_EQ(parsed->rpm, longest.rpm);
}

TEST(ExamRecordParse, RoundTripsManyGeneratedRecords) {
    // Values of every length a field takes, cycled so that each field meets the others' lengths.
    const QString letters = QStringLiteral("АбвГд ЕжзИй 123 xyz-.");
    for (int n = 0; n < 300; ++n) {
        ReportFields f;
        unsigned k = static_cast<unsigned>(n);
        for (const ExamRecordItem& item : examRecordLayout()) {
            const int length = static_cast<int>(k % static_cast<unsigned>(item.longest + 1));
            k = k * 7u + 3u;
            QString value;
            for (int i = 0; i < length; ++i)
                value += letters[(n + i * 5) % letters.size()];
            // A value that ends in a blank is written like one without; keep them apart.
            while (value.endsWith(u' '))
                value.chop(1);
            f.*(item.field) = value;
        }
        const QString text = examRecordText(f);
        const std::optional<ReportFields> parsed = parseExamRecordText(text);
        ASSERT_TRUE(parsed) << n;
        EXPECT_EQ(examRecordText(*parsed), text) << n;
    }
}

TEST(ExamRecordParse, RefusesTextsTheWriterCannotMake) {
    const QString good = examRecordText(vz::test::sampleFields());
    ASSERT_TRUE(parseExamRecordText(good));

    QString noBreak = good;
    noBreak.replace(79, 2, QStringLiteral("  "));
    EXPECT_FALSE(parseExamRecordText(noBreak));

    QString movedBreak = good;
    movedBreak.replace(79, 2, QStringLiteral("  "));
    movedBreak.replace(60, 2, QStringLiteral("\r\n"));
    EXPECT_FALSE(parseExamRecordText(movedBreak));

    QString noMarker = good;
    noMarker.replace(noMarker.indexOf(QStringLiteral("/CO2")), 4, QStringLiteral("#CO2"));
    EXPECT_FALSE(parseExamRecordText(noMarker));

    EXPECT_FALSE(parseExamRecordText(good.left(159)));
    EXPECT_FALSE(parseExamRecordText(QString(160, u' ')));
    EXPECT_FALSE(parseExamRecordText(QString(158, u'x') + QStringLiteral("\r\n")));
}
