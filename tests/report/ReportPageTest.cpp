#include "ReportPage.h"
#include "RecordingPrinter.h"
#include "ReportTestSupport.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

using namespace vz;
using vz::test::ReportTest;

namespace {

struct Expected {
    int x, y, points;
    bool bold;
    QString text;
};
} // namespace

class ReportPageTest : public ReportTest {};

TEST_F(ReportPageTest, DrawsThe32TextsAtTheirScaledPositionsSizesAndWeights) {
    const QList<Expected> table = {
        {360, 80, 20, false, QStringLiteral("ДИАГНОСТИЧЕН  ЛИСТ")},
        {110, 150, 20, true, QStringLiteral("ГТП Младост")},
        {110, 310, 20, false, QStringLiteral("Преглед №")},
        {410, 310, 20, true, "201"},
        {110, 460, 18, false, QStringLiteral("Автомобил")},
        {610, 460, 18, true, "VW Golf 1.6"},
        {110, 510, 18, false, QStringLiteral("Година на производство")},
        {610, 510, 18, true, "2008"},
        {110, 560, 18, false, QStringLiteral("Регистрационен №")},
        {610, 560, 18, true, QStringLiteral("СА1234ВК")},
        {110, 610, 18, false, QStringLiteral("Собственик")},
        {610, 610, 18, true, QStringLiteral("Иван Петров")},
        {110, 720, 20, true, QStringLiteral("ГАЗОВЕ")},
        {110, 820, 18, false, "CO"},
        {610, 820, 18, true, "0.500 %"},
        {110, 870, 18, false, "CO"},
        {610, 870, 18, true, "14.50 %"},
        {160, 900, 10, false, "2"},
        {110, 920, 18, false, "HC"},
        {610, 920, 18, true, " 0100 ppm"},
        {110, 970, 18, false, "O"},
        {610, 970, 18, true, "00.50 %"},
        {135, 1000, 10, false, "2"},
        {110, 1020, 18, false, "Lambda Factor"},
        {610, 1020, 18, true, "1.005"},
        {110, 1110, 18, false, QStringLiteral("Температура двигател")},
        {610, 1110, 18, true, QStringLiteral("085.0°C")},
        {110, 1160, 18, false, QStringLiteral("Обороти / мин.")},
        {610, 1160, 18, true, " 0850"},
        {110, 1210, 14, false, QStringLiteral("Дата: 07.12.2026")},
        {610, 1210, 14, false, QStringLiteral("Час: 14:05:09")},
        {110, 1300, 18, false, QStringLiteral("Извършил прегледа:     /Мария Иванова/")},
    };
    ASSERT_EQ(table.size(), 32);

    for (const int scale : {4, 1}) {
        RecordingPaintDevice page(4960, 600);
        {
            QPainter painter(&page);
            drawReportPage(painter, vz::test::sampleFields(QStringLiteral("Иван Петров")), 201,
                           QStringLiteral("ГТП Младост"), scale);
        }
        const QList<RecordedText>& drawn = page.texts();
        ASSERT_EQ(drawn.size(), 32);
        for (int i = 0; i < 32; ++i) {
            const Expected& want = table[i];
            const RecordedText& got = drawn[i];
            SCOPED_TRACE(QStringLiteral("row %1 scale %2").arg(i + 1).arg(scale).toStdString());
            EXPECT_EQ(got.text, want.text);
            EXPECT_EQ(got.font.family(), "Arial");
            EXPECT_EQ(got.font.pointSize(), want.points);
            EXPECT_EQ(got.font.bold(), want.bold);
            const QFontMetricsF metrics(got.font, &page);
            EXPECT_NEAR(got.baseline.x(), want.x * scale, 0.01);
            EXPECT_NEAR(got.baseline.y() - metrics.ascent(), want.y * scale, 0.01);
            // A point size means the same on the 600 dpi page: 18 pt is 150 px high.
            EXPECT_NEAR(metrics.height(), want.points * 600.0 / 72, want.points * 600.0 / 72 * 0.3);
            EXPECT_TRUE(QFontMetricsF(got.font).inFont(QChar(0x0414))) << "no Cyrillic in the page font";
        }
    }
}

TEST_F(ReportPageTest, APdfOfThePageHoldsItsTexts) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    QString error;
    ASSERT_TRUE(writeReportPdf(reportPdfFileName(7), vz::test::sampleFields(QStringLiteral("Иван Петров")), 7,
                               QStringLiteral("ГТП Младост"), &error))
        << error.toStdString();
    EXPECT_EQ(reportPdfFileName(7), "Pregled7.pdf");
    ASSERT_TRUE(readFile("Pregled7.pdf").startsWith("%PDF"));
    QProcess process;
    process.start(pdftotext, {"-layout", "Pregled7.pdf", "-"});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString& word :
         {QStringLiteral("ДИАГНОСТИЧЕН"), QStringLiteral("ГТП Младост"), QStringLiteral("Преглед"),
          QStringLiteral("СА1234ВК"), QStringLiteral("Мария Иванова"), QStringLiteral("Lambda Factor")})
        EXPECT_TRUE(text.contains(word)) << word.toStdString() << "\n" << text.toStdString();
    // Rows keep their order down the page.
    EXPECT_LT(text.indexOf(QStringLiteral("ДИАГНОСТИЧЕН")), text.indexOf(QStringLiteral("ГАЗОВЕ")));
    EXPECT_LT(text.indexOf(QStringLiteral("ГАЗОВЕ")), text.indexOf(QStringLiteral("Извършил")));
}

TEST(RecordingPrinter, TakesLinesAndShapesWithoutRecordingThem) {
    vz::test::app();
    vz::RecordingPaintDevice page(1200);
    QPainter painter(&page);
    painter.drawLine(0, 0, 100, 100);
    painter.drawRect(10, 10, 50, 50);
    painter.drawEllipse(QPointF(40, 40), 20, 20);
    painter.drawText(QPointF(10, 10), QStringLiteral("Преглед"));
    painter.end();
    ASSERT_EQ(page.texts().size(), 1);
    EXPECT_EQ(page.texts()[0].text, QStringLiteral("Преглед"));
}
