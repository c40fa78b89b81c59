#include "ReadingBoxes.h"

#include "ReportTestSupport.h"
#include <QString>
#include <cmath>

using namespace vz;

namespace {
// The equation written out independently, with 0.0087 above and 0.0088 below.
double brettschneider(double co, double co2, double hcPpm, double o2, double hcv) {
    const double hc = hcPpm / 10000;
    const double num = co2 + co / 2 + o2 + ((hcv / 4 * 3.5) / (3.5 + co / co2) - 0.0087) * (co + co2);
    const double den = (1 + hcv / 4 - 0.0088) * (co + co2 + 6 * hc);
    return num / den;
}
} // namespace

TEST(ReportLambda, FollowsTheEquationForEachFuel) {
    const ReadingTexts texts{"0.500", "14.50", " 0100", "00.50", "-----"};
    struct Case {
        int fuel;
        double hcv;
        const char* shown;
    };
    for (const Case& c : {Case{0, 1.7261, "1.005"}, Case{1, 2.58, "1.002"}, Case{2, 4.0, "1.000"},
                          Case{7, 1.7261, "1.005"}}) {
        const double expected = brettschneider(0.5, 14.5, 100, 0.5, c.hcv);
        EXPECT_EQ(reportLambdaText(texts, c.fuel), QString::number(expected, 'f', 3)) << c.fuel;
        EXPECT_EQ(reportLambdaText(texts, c.fuel), QString::fromLatin1(c.shown)) << c.fuel;
        EXPECT_EQ(afterReadingChange(texts, c.fuel).EdLam, QString::fromLatin1(c.shown));
    }
}

TEST(ReportLambda, IsCutToFiveCharactersAndSkippedWhenItCannotBeComputed) {
    // A lean mixture far off: lambda above 10 keeps its first five characters.
    const QString big = reportLambdaText({"0.010", "0.100", " 0000", "20.90", ""}, 0);
    EXPECT_EQ(big.size(), 5);
    EXPECT_EQ(big, QString::number(brettschneider(0.01, 0.1, 0, 20.9, 1.7261), 'f', 3).left(5));

    for (const ReadingTexts& texts :
         {ReadingTexts{"0.500", "00.00", " 0100", "00.50", "0.987"}, // CO2 = 0
          ReadingTexts{"0.500", "14.50", " 01x0", "00.50", "0.987"}, // not a number
          ReadingTexts{"", "14.50", " 0100", "00.50", "0.987"}}) {
        EXPECT_TRUE(reportLambdaText(texts, 0).isEmpty()) << texts.edCO2mx.toStdString();
        EXPECT_EQ(afterReadingChange(texts, 0).EdLam, "0.987");
    }
    // A trailing blank makes no number, but tidying keeps five characters and the
    // handler's second run then computes it.
    const ReadingTexts trailing{"0.500", "14.50 ", " 0100", "00.50", "0.987"};
    EXPECT_TRUE(reportLambdaText(trailing, 0).isEmpty());
    EXPECT_EQ(afterReadingChange(trailing, 0).EdLam, "1.005");
}

TEST(PercentTidying, RemovesASecondPointOnly) {
    EXPECT_EQ(tidyPercentText("0.0.0", {3, 4, 5}), "0.00");
    EXPECT_EQ(tidyPercentText("0.000", {3, 4, 5}), "0.000");
    EXPECT_EQ(tidyPercentText("0.00000", {3, 4, 5}), "0.000"); // first five characters
    EXPECT_EQ(tidyPercentText("0..00", {3, 4, 5}), "0.00");
    EXPECT_EQ(tidyPercentText("1...2", {3, 4, 5}), "1..2");  // a point moving into 3 is not looked at again
    EXPECT_EQ(tidyPercentText("12.34", {3, 4, 5}), "12.34"); // CO from 10 % keeps its point
    EXPECT_EQ(tidyPercentText("14.50", {4, 5}), "14.50");
    EXPECT_EQ(tidyPercentText("1.4.5", {4, 5}), "1.45");
    EXPECT_EQ(tidyPercentText("0.0.0", {4, 5}), "0.00");
}

TEST(PercentTidying, TheLambdaFactorBelongsToTheTidiedTexts) {
    // "0.0.0" is no number, so lambda comes only from the handler's second run.
    const ReadingTexts after = afterReadingChange({"0.5.0", "14.5.", " 0100", "00.50", "-----"}, 0);
    EXPECT_EQ(after.edCOmn, "0.50");
    EXPECT_EQ(after.edCO2mx, "14.5");
    EXPECT_EQ(after.edCHmx, " 0100");
    EXPECT_EQ(after.EdLam, QString::number(brettschneider(0.5, 14.5, 100, 0.5, 1.7261), 'f', 3));
}

TEST(ReadingKeys, PercentBoxesTakeDigitsPointAndBackspaceWholeBoxesNoPoint) {
    for (char c : QByteArray("0123456789.\b")) {
        EXPECT_TRUE(percentKeyAccepted(QChar(c))) << int(c);
    }
    for (char c : QByteArray("0123456789\b")) {
        EXPECT_TRUE(wholeNumberKeyAccepted(QChar(c))) << int(c);
    }
    for (QChar c : {QChar(u'a'), QChar(u','), QChar(u'-'), QChar(u' '), QChar(u'\r'), QChar(0x0410)}) {
        EXPECT_FALSE(percentKeyAccepted(c));
        EXPECT_FALSE(wholeNumberKeyAccepted(c));
    }
    EXPECT_FALSE(wholeNumberKeyAccepted(QChar(u'.')));
}
