// The two-speed protocol: built from tests the procedure really ran, drawn on a recording page
// (every text there, inside the page, none over another), in colour on an image, printed, and
// written as a PDF read back with pdftotext.
#include "ProtocolPage.h"
#include "ProtocolTestSupport.h"
#include "RecordingPrinter.h"
#include "ReportTestSupport.h"
#include "TwoSpeedFormat.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <array>
#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace vz;
using namespace vz::twospeed;
using namespace vz::test;

namespace {

// The most a page may have to hold: every set-up value changed, long reasons, both marks.
ProtocolData crowdedProtocol() {
    ProtocolData d = failingRun()->protocol(QByteArray());
    d.stationLine = QStringLiteral("Пункт за годишни технически прегледи „Младост-Изток“ ЕООД, гр. София, "
                                   "бул. Александър Малинов 75, разрешение № 1234/2026");
    d.attempt = 12;
    d.training = true;
    d.trainingReason = QStringLiteral("проверката на анализатора е изтекла на 31.12.2025");
    d.copy = true;
    d.oilConfirmed = true;
    d.rowInformation = rowInformationText({QStringLiteral("VW Golf 1.6"), 50, 10, 160, 200, 300});
    for (ProtocolPhase& phase : d.phases)
        phase.reason =
            QStringLiteral("средната стойност е от 3 отчитания, нужни са поне 4; пробата е разредена: "
                           "сондата не е навлязла достатъчно или има теч");
    d.verdictReason = d.phases[0].reason;
    d.sealTrouble = QStringLiteral("печатът не можа да бъде записан: Protokoli-2026-12.chain: "
                                   "No space left on device (устройството е пълно)");
    d.trainingReasons = {d.trainingReason, QStringLiteral("анализаторът няма сериен номер в TWOSPEED.ini"),
                         QStringLiteral("времето за стабилизиране е под 10 s")};
    d.declaration = QStringLiteral("първа регистрация преди катализаторът да стане задължителен за класа му");
    d.limitSources = {
        QStringLiteral("CO на празен ход ≤ 0,45 %: по таблица CarModel.DB, контролна сума 0123456789abcdef"),
        QStringLiteral("обороти на празен ход 700–900 min⁻¹: по таблица CarModel.DB, контролна сума "
                       "0123456789abcdef")};
    d.ending = protocolEndingText(QStringLiteral("interrupted"), true);
    d.failingAverage = failingAverageText(d.phases[0].name, d.phases[0].rpm, d.phases[0].values);
    d.setupDifferences.clear();
    for (int i = 0; i < 11; ++i)
        d.setupDifferences
            << QStringLiteral("Време за стабилизиране: 0,5 s (по подразбиране 10 s) %1").arg(i);
    return d;
}

// Every text of the protocol that the page must show.
QStringList expectedTexts(const ProtocolData& d) {
    QStringList want = {d.unrecorded ? QStringLiteral("ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ") : d.title,
                        d.stationLine,
                        d.unrecorded ? kUnrecordedMark
                                     : QStringLiteral("Протокол № %1%2")
                                           .arg(d.training ? QStringLiteral("О-") : QString())
                                           .arg(d.number),
                        QStringLiteral("Дата: ") + d.date,
                        d.startTime,
                        d.endTime,
                        d.registration,
                        d.makeModel,
                        d.firstRegistration,
                        d.fuel,
                        d.emissionControl,
                        d.typeApproval,
                        d.limitExplanation,
                        d.limitSource,
                        d.rowInformation,
                        d.analyserSerial,
                        d.verificationExpires,
                        d.oilConfirmed ? QStringLiteral("потвърдена от оператора, не е измерена")
                                       : d.oilAtStart,
                        d.verdict,
                        d.verdictReason,
                        d.operatorName,
                        d.declaration,
                        d.ending,
                        d.failingAverage,
                        d.unrecorded ? QStringLiteral("резултатът не е записан в архива: ") + d.sealTrouble
                        : d.seal.isEmpty() ? QStringLiteral("без печат: ") + d.sealTrouble
                                           : d.seal};
    if (d.attempt > 1 && !d.unrecorded)
        want << QStringLiteral("опит %1").arg(d.attempt);
    if (d.training)
        want << kTrainingMark << d.trainingReason << d.trainingReasons;
    want << d.limitSources;
    if (d.copy)
        want << QStringLiteral("КОПИЕ / COPY");
    want << d.setupDifferences;
    for (const ProtocolPhase& p : d.phases) {
        QString name = p.name;
        name[0] = name[0].toUpper();
        want << name << p.window << p.rpm << p.oil << QStringLiteral("Резултат: ") + p.verdict << p.reason;
        for (const ProtocolValue& v : p.values)
            want << v.value << v.limit;
    }
    want.removeAll(QString());
    return want;
}

// Draws the protocol on an A4 recording page and checks it as a reader would see it.
QList<Box> checkPage(const ProtocolData& d, int widthPx, int dpi) {
    RecordingPaintDevice page(widthPx, dpi);
    {
        QPainter painter(&page);
        drawProtocolPage(painter, d);
    }
    QList<Box> boxes = boxesOf(page.texts(), &page);
    // The marks across the face lie under the texts on purpose: the rest must not overlap.
    const QList<Box> across = marksAcross(boxes, d.verdict);
    EXPECT_EQ(across.size(), int(d.training) + int(d.unrecorded));
    const QRectF sheet(0, 0, page.width(), page.height());
    const QString all = pageText(boxes);
    for (const QString& text : expectedTexts(d))
        EXPECT_TRUE(all.contains(text.simplified())) << text.toStdString() << "\nnot in\n"
                                                     << all.toStdString();
    EXPECT_EQ(all.contains(kTrainingMark), d.training);
    EXPECT_EQ(all.contains(kUnrecordedMark), d.unrecorded);
    EXPECT_EQ(all.contains(QStringLiteral("КОПИЕ")), d.copy);
    EXPECT_EQ(all.contains(QStringLiteral("опит")), d.attempt > 1 && !d.unrecorded);

    for (qsizetype i = 0; i < boxes.size(); ++i) {
        EXPECT_TRUE(sheet.contains(boxes[i].rect)) << boxes[i].item.text.toStdString() << " leaves the page";
        for (qsizetype j = i + 1; j < boxes.size(); ++j) {
            const QRectF common = boxes[i].rect.intersected(boxes[j].rect);
            EXPECT_FALSE(common.width() > 2 && common.height() > 2)
                << "\"" << boxes[i].item.text.toStdString() << "\" overlaps \""
                << boxes[j].item.text.toStdString() << "\"";
        }
    }
    // The verdict in the largest letters on the page.
    double largest = 0, verdictSize = 0;
    for (const Box& b : boxes) {
        largest = std::max(largest, b.item.font.pointSizeF());
        if (b.item.text == d.verdict)
            verdictSize = b.item.font.pointSizeF();
    }
    EXPECT_GT(verdictSize, 0);
    EXPECT_EQ(verdictSize, largest);
    return boxes;
}

int count(const QList<Box>& boxes, const QString& text) {
    return std::count_if(boxes.cbegin(), boxes.cend(), [&](const Box& b) { return b.item.text == text; });
}

class ProtocolPageTest : public ReportTest {};

} // namespace

TEST_F(ProtocolPageTest, BuildsTheProtocolFromTheFinishedTest) {
    const auto fail = failingRun();
    const ProtocolData d = fail->protocol();
    const TwoSpeedTest& t = *fail->test;
    EXPECT_EQ(d.outcome, ProtocolOutcome::Fail);
    EXPECT_EQ(d.verdict, QStringLiteral("НЕ СЪОТВЕТСТВА"));
    EXPECT_EQ(d.verdictReason, t.reason());
    EXPECT_EQ(d.date, QStringLiteral("07.12.2026"));
    EXPECT_EQ(d.startTime, QStringLiteral("14:05:09"));
    EXPECT_EQ(d.endTime, QStringLiteral("14:07:31"));
    EXPECT_EQ(d.makeModel, QStringLiteral("Škoda Octavia 1.6"));
    EXPECT_EQ(d.firstRegistration, QStringLiteral("14.03.2005"));
    EXPECT_EQ(d.typeApproval, QStringLiteral("Евро 3 или по-нов"));
    EXPECT_EQ(d.limitExplanation, t.limits().explanation);
    EXPECT_EQ(d.analyserSerial, QStringLiteral("MGT5-0412"));
    EXPECT_EQ(d.verificationExpires, QStringLiteral("31.12.2027"));
    EXPECT_EQ(d.oilAtStart, QStringLiteral("90 °C"));
    EXPECT_FALSE(d.oilConfirmed);
    EXPECT_EQ(d.setupDifferences.size(), differencesFromDefaults(t.setup()).size());
    EXPECT_TRUE(
        d.setupDifferences.contains(QStringLiteral("Време за стабилизиране: 2 s (по подразбиране 10 s)")));
    // The seal's first 16 hexadecimal digits: 8 bytes.
    EXPECT_EQ(d.seal, QStringLiteral("a7a7a7a7a7a7a7a7"));
    EXPECT_TRUE(d.sealTrouble.isEmpty());

    // The table shows what the procedure compared, as it compared it.
    ASSERT_EQ(d.phases.size(), 2);
    const ProtocolPhase& high = d.phases[0];
    EXPECT_EQ(high.name, phaseName(PhaseKind::HighIdle));
    EXPECT_EQ(high.window, QStringLiteral("2500–3000"));
    EXPECT_TRUE(high.failed);
    EXPECT_EQ(high.verdict, QStringLiteral("не съответства"));
    ASSERT_EQ(high.values.size(), 5);
    const Average& deciding = *t.phases()[0].deciding;
    EXPECT_EQ(high.rpm, decimalText(deciding.rpm, 0));
    EXPECT_EQ(high.oil, QStringLiteral("91"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(high.values[i].value, deciding.checks[i].valueText);
        EXPECT_EQ(high.values[i].pass, deciding.checks[i].pass);
    }
    EXPECT_EQ(high.values[0].value, QStringLiteral("0,50"));
    EXPECT_EQ(high.values[0].limit, QStringLiteral("≤ 0,20"));
    EXPECT_FALSE(high.values[0].pass);
    EXPECT_TRUE(high.values[1].limit.isEmpty()); // CO2 for information
    EXPECT_EQ(high.values[4].limit, QStringLiteral("0,970–1,030"));
    EXPECT_FALSE(d.phases[1].failed);
    EXPECT_EQ(d.phases[1].values[0].limit, QStringLiteral("≤ 0,30"));
    EXPECT_TRUE(d.phases[1].values[4].limit.isEmpty()); // lambda decides only at high idle

    // A void phase has no average but still shows its limits; no seal gives its reason.
    const ProtocolData v = voidRun()->protocol(QByteArray());
    EXPECT_EQ(v.outcome, ProtocolOutcome::Invalid);
    EXPECT_EQ(v.verdict, QStringLiteral("НЕВАЛИДЕН"));
    EXPECT_FALSE(v.verdictReason.isEmpty());
    EXPECT_EQ(v.phases[1].rpm, QStringLiteral("—"));
    EXPECT_EQ(v.phases[1].values[0].value, QStringLiteral("—"));
    EXPECT_EQ(v.phases[1].values[0].limit, QStringLiteral("≤ 0,30"));
    EXPECT_TRUE(v.seal.isEmpty());
    EXPECT_EQ(v.sealTrouble, QStringLiteral("ключът за печата липсва"));
}

TEST_F(ProtocolPageTest, EveryTextIsOnThePageAndNoneOverlapsAnother) {
    const auto pass = passingRun();
    ProtocolData copy = pass->protocol();
    copy.copy = true;
    const QDate today(2026, 12, 7);
    const ProtocolData training = passingRun(trainingMode(false, true, QDate(), today))->protocol();
    ASSERT_TRUE(training.training);
    ProtocolData single = pass->protocol();
    single.attempt = 1;
    ProtocolContext context = pass->context();
    context.unrecorded = true;
    context.sealTrouble = QStringLiteral("Protokoli-2026-12.jsonl: No space left on device");
    const ProtocolData unrecorded = protocolData(*pass->test, context);
    const struct {
        const char* name;
        ProtocolData data;
    } cases[] = {
        {"pass", pass->protocol()},
        {"fail", failingRun()->protocol()},
        {"void", voidRun()->protocol(QByteArray())},
        {"training", training},
        {"copy", copy},
        {"first attempt", single},
        {"crowded", crowdedProtocol()},
        {"unrecorded", unrecorded},
    };
    for (const auto& c : cases) {
        for (const auto& [width, dpi] : {std::pair{4960, 600}, std::pair{1240, 150}}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(dpi) + " dpi");
            const QList<Box> boxes = checkPage(c.data, width, dpi);
            // One mark after each judged value: ✘ beyond its limit, ✔ within it.
            int passing = 0, failing = 0;
            for (const ProtocolPhase& p : c.data.phases) {
                for (const ProtocolValue& v : p.values) {
                    if (!v.limit.isEmpty() && v.value != QStringLiteral("—"))
                        ++(v.pass ? passing : failing);
                }
            }
            EXPECT_EQ(count(boxes, QStringLiteral("✔")), passing);
            EXPECT_EQ(count(boxes, QStringLiteral("✘")), failing);
        }
    }
}

TEST_F(ProtocolPageTest, ValuesBeyondALimitAreRedWhereTheDeviceHasColour) {
    const ProtocolData fail = failingRun()->protocol();
    const ProtocolData pass = passingRun()->protocol();
    auto render = [](const ProtocolData& d, QImage::Format format) {
        QImage image(1240, 1240 * 297 / 210, format);
        image.setDotsPerMeterX(5906); // 150 dpi
        image.setDotsPerMeterY(5906);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawProtocolPage(painter, d);
        painter.end();
        return image.convertToFormat(QImage::Format_RGB32);
    };
    auto redPixels = [](const QImage& image) {
        QList<QPoint> red;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 120 && c.green() < 60 && c.blue() < 60)
                    red.append({x, y});
            }
        }
        return red;
    };
    EXPECT_TRUE(redPixels(render(pass, QImage::Format_ARGB32)).isEmpty());

    // Red lies only on the failing value, its mark, the phase's result and the verdict.
    const QList<QPoint> red = redPixels(render(fail, QImage::Format_ARGB32));
    ASSERT_FALSE(red.isEmpty());
    RecordingPaintDevice page(1240, 150);
    {
        QPainter painter(&page);
        drawProtocolPage(painter, fail);
    }
    QStringList redTexts = {fail.verdict, QStringLiteral("✘"), QStringLiteral("Резултат: не съответства")};
    for (const ProtocolPhase& p : fail.phases) {
        for (const ProtocolValue& v : p.values) {
            if (!v.pass)
                redTexts << v.value;
        }
    }
    QList<QRectF> allowed;
    for (const Box& b : boxesOf(page.texts(), &page)) {
        if (redTexts.contains(b.item.text))
            allowed.append(b.rect.adjusted(-2, -2, 2, 2));
    }
    for (const QPoint& p : red) {
        ASSERT_TRUE(
            std::any_of(allowed.cbegin(), allowed.cend(), [&](const QRectF& r) { return r.contains(p); }))
            << "red at " << p.x() << "," << p.y();
    }

    // On a grey device the verdict is black, not the grey that red would turn into.
    const QImage grey = render(fail, QImage::Format_Grayscale8);
    int darkest = 255;
    for (const Box& b : boxesOf(page.texts(), &page)) {
        if (b.item.text != fail.verdict)
            continue;
        const QRect r = b.rect.toAlignedRect() & grey.rect();
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x)
                darkest = std::min(darkest, qGray(grey.pixel(x, y)));
        }
    }
    EXPECT_LT(darkest, 30);
}

TEST_F(ProtocolPageTest, PrintsOnThePrinterService) {
    const ProtocolData d = failingRun()->protocol();
    RecordingPrinterService printer;
    printer.names = {QStringLiteral("Office")};
    printer.pageWidthPx = 4960;
    QString error;
    ASSERT_TRUE(printProtocol(printer, d, &error)) << error.toStdString();
    ASSERT_EQ(printer.pages.size(), 1);
    RecordingPaintDevice device(4960);
    EXPECT_TRUE(pageText(boxesOf(printer.pages[0], &device)).contains(d.verdict));

    printer.failure = QStringLiteral("There is no printer installed.");
    EXPECT_FALSE(printProtocol(printer, d, &error));
    EXPECT_EQ(error, printer.failure);
    EXPECT_EQ(printer.pages.size(), 1);
}

TEST_F(ProtocolPageTest, PdfIsWrittenWholeAndReadsBack) {
    const ProtocolData d =
        failingRun()->protocol(QByteArray::fromHex("0123456789abcdef00112233445566778899aabbccddee"
                                                   "ff0011223344556677"));
    const QString name = protocolPdfFileName(d.number, d.training);
    EXPECT_EQ(name, QStringLiteral("Protokol45.pdf"));
    EXPECT_EQ(protocolPdfFileName(7, true), QStringLiteral("Obuchenie7.pdf"));
    QString error;
    ASSERT_TRUE(writeProtocolPdf(name, d, &error)) << error.toStdString();
    ASSERT_TRUE(readFile(name).startsWith("%PDF"));
    struct stat st {};
    ASSERT_EQ(::stat(name.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // A reprint replaces it whole; nothing but the file is left in the directory.
    ProtocolData copy = d;
    copy.copy = true;
    ASSERT_TRUE(writeProtocolPdf(name, copy, &error)) << error.toStdString();
    EXPECT_EQ(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList({name}));

    // A directory that is not there: an error naming the file, and nothing written.
    EXPECT_FALSE(writeProtocolPdf(QStringLiteral("missing/") + name, d, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/"))) << error.toStdString();

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    QProcess process;
    process.start(pdftotext, {QStringLiteral("-layout"), name, QStringLiteral("-")});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString& word :
         {QStringLiteral("НЕ СЪОТВЕТСТВА"), QStringLiteral("0123456789abcdef"),
          QStringLiteral("Протокол № 45"), QStringLiteral("опит 3"), QStringLiteral("СА1234ВХ"),
          QStringLiteral("0,50"), QStringLiteral("КОПИЕ / COPY"), QStringLiteral("Мария Иванова")})
        EXPECT_TRUE(text.contains(word)) << word.toStdString() << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("0123456789abcdef00"))); // 16 digits, no more
    // Top to bottom: the vehicle, the table, the verdict, the seal.
    EXPECT_LT(text.indexOf(QStringLiteral("СА1234ВХ")), text.indexOf(QStringLiteral("0,50")));
    EXPECT_LT(text.indexOf(QStringLiteral("0,50")), text.indexOf(QStringLiteral("НЕ СЪОТВЕТСТВА")));
    EXPECT_LT(text.indexOf(QStringLiteral("НЕ СЪОТВЕТСТВА")),
              text.indexOf(QStringLiteral("0123456789abcdef")));
}

namespace {

// Light grey pixels of the page drawn at 150 dpi, counted in a 3 × 3 grid of the sheet
// ([row][column], row 0 at the top): where a mark lies across the face.
using Grid = std::array<std::array<int, 3>, 3>;
Grid lightPixels(const ProtocolData& d) {
    QImage image(1240, 1240 * 297 / 210, QImage::Format_ARGB32);
    image.setDotsPerMeterX(5906);
    image.setDotsPerMeterY(5906);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawProtocolPage(painter, d);
    painter.end();
    Grid grid{};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) >= 170 && qRed(c) <= 215)
                ++grid[y * 3 / image.height()][x * 3 / image.width()];
        }
    }
    return grid;
}

// A mark across the page from its bottom left to its top right: far more light pixels in the
// cells of that diagonal than in the two corners off it.
void expectRisingDiagonal(const Grid& g) {
    const int offDiagonal = std::max(g[0][0], g[2][2]);
    for (const int onDiagonal : {g[2][0], g[1][1], g[0][2]})
        EXPECT_GT(onDiagonal, 3 * offDiagonal + 1000)
            << g[0][0] << ' ' << g[0][1] << ' ' << g[0][2] << " / " << g[1][0] << ' ' << g[1][1] << ' '
            << g[1][2] << " / " << g[2][0] << ' ' << g[2][1] << ' ' << g[2][2];
}

QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("pdftotext")),
                  {QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(30000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The texts of the page below a given height (device pixels), in drawing order.
QString textBelow(const QList<Box>& boxes, double y) {
    QList<Box> below;
    for (const Box& b : boxes) {
        if (b.item.baseline.y() > y)
            below.append(b);
    }
    return pageText(below);
}

double baselineOf(const QList<Box>& boxes, const QString& text) {
    for (const Box& b : boxes) {
        if (b.item.text.startsWith(text))
            return b.item.baseline.y();
    }
    ADD_FAILURE() << text.toStdString() << " is not on the page";
    return 0;
}

} // namespace

TEST_F(ProtocolPageTest, TrainingIsMarkedBesideTheVerdictAcrossThePageAndAtTheFootWithItsSeries) {
    ProtocolData training = passingRun(trainingMode(false, true, QDate(), QDate(2026, 12, 7)))->protocol();
    ASSERT_TRUE(training.training);
    EXPECT_EQ(training.trainingReasons, QStringList{training.trainingReason});
    training.trainingReasons << QStringLiteral("анализаторът няма сериен номер в TWOSPEED.ini");
    const ProtocolData official = passingRun()->protocol();

    QList<Box> boxes = recordedPage(training);
    const QList<Box> across = marksAcross(boxes, training.verdict);
    ASSERT_EQ(across.size(), 1);
    const QString all = pageText(boxes);
    EXPECT_TRUE(all.contains(QStringLiteral("Протокол № О-45"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("Протокол № 45")));

    // Beside the verdict: the next text drawn, on the verdict's line.
    qsizetype verdict = -1;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        if (boxes[i].item.text == training.verdict)
            verdict = i;
    }
    ASSERT_GE(verdict, 0);
    ASSERT_LT(verdict + 1, boxes.size());
    EXPECT_EQ(boxes[verdict + 1].item.text, kTrainingMark);
    EXPECT_NEAR(boxes[verdict + 1].item.baseline.y(), boxes[verdict].item.baseline.y(), 0.5);
    EXPECT_GT(boxes[verdict + 1].rect.left(), boxes[verdict].rect.right());

    // At the foot, below everything but the seal, with every reason.
    const QString foot = textBelow(boxes, baselineOf(boxes, QStringLiteral("Време за осредняване")));
    EXPECT_EQ(foot,
              kTrainingMark + QStringLiteral(": симулиран анализатор (псевдотерминал); анализаторът няма "
                                             "сериен номер в TWOSPEED.ini Печат на записа в архива: "
                                             "a7a7a7a7a7a7a7a7"));

    // Across the page, light, from the bottom left to the top right; an official page has none.
    expectRisingDiagonal(lightPixels(training));
    QList<Box> officialBoxes = recordedPage(official);
    EXPECT_TRUE(marksAcross(officialBoxes, official.verdict).isEmpty());
    const QString officialText = pageText(officialBoxes);
    EXPECT_TRUE(officialText.contains(QStringLiteral("Протокол № 45")));
    EXPECT_FALSE(officialText.contains(QStringLiteral("О-45")));
    EXPECT_FALSE(officialText.contains(kTrainingMark));
    EXPECT_EQ(protocolDocumentTitle(training), QStringLiteral("Протокол № О-45"));

    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    QString error;
    ASSERT_TRUE(writeProtocolPdf(QStringLiteral("Obuchenie45.pdf"), training, &error)) << error.toStdString();
    const QString text = pdfText(QStringLiteral("Obuchenie45.pdf")).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("Протокол № О-45"))) << text.toStdString();
    EXPECT_TRUE(text.contains(kTrainingMark + QStringLiteral(": симулиран анализатор")))
        << text.toStdString();
}

TEST_F(ProtocolPageTest, AResultThatWasNotRecordedPrintsNoProtocol) {
    const auto pass = passingRun();
    ProtocolContext context = pass->context(); // with a seal: an unrecorded result still shows none
    context.unrecorded = true;
    context.sealTrouble = QStringLiteral("Protokoli-2026-12.jsonl: No space left on device");
    const ProtocolData d = protocolData(*pass->test, context);
    EXPECT_TRUE(d.unrecorded);
    EXPECT_TRUE(d.seal.isEmpty());
    EXPECT_EQ(d.sealTrouble, context.sealTrouble);

    QList<Box> boxes = recordedPage(d);
    const QList<Box> across = marksAcross(boxes, d.verdict);
    ASSERT_EQ(across.size(), 1);
    EXPECT_EQ(across[0].item.text, kUnrecordedMark);
    const QString all = pageText(boxes);
    for (const QString& absent : {QStringLiteral("Протокол №"), QStringLiteral("ПРОТОКОЛ ЗА"),
                                  QStringLiteral("Печат"), QStringLiteral("печат"), QStringLiteral("a7a7")})
        EXPECT_FALSE(all.contains(absent)) << absent.toStdString() << "\n" << all.toStdString();
    // The mark where the number would be, and at the foot with the reason.
    EXPECT_TRUE(all.contains(kUnrecordedMark + QStringLiteral(" Дата: 07.12.2026"))) << all.toStdString();
    EXPECT_TRUE(all.endsWith(kUnrecordedMark + QStringLiteral(" резултатът не е записан в архива: ") +
                             context.sealTrouble))
        << all.toStdString();
    expectRisingDiagonal(lightPixels(d));

    EXPECT_EQ(protocolDocumentTitle(d), kUnrecordedMark);
    const QString name = unrecordedPdfFileName(context.ended);
    EXPECT_EQ(name, QStringLiteral("Nezapisan-20261207-140731.pdf"));
    QString error;
    ASSERT_TRUE(writeProtocolPdf(name, d, &error)) << error.toStdString();
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    const QString text = pdfText(name);
    EXPECT_TRUE(text.contains(kUnrecordedMark)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("СЪОТВЕТСТВА"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Протокол №"))) << text.toStdString();
}

TEST_F(ProtocolPageTest, ShowsHowATestCutShortEndedWithItsFailingAverage) {
    const QString highCo =
        QStringLiteral("повишени обороти, 2700 min⁻¹: CO 0,50 % ✘, CO₂ 14,20 %, HC 60 ppm");
    const struct {
        const char* name;
        std::function<void(TwoSpeedTest&)> end;
        QString verdict;
        QString ending;
        bool withAverage;
    } cases[] = {
        {"interrupted after a failing average",
         [](TwoSpeedTest& t) {
             t.interrupt(QStringLiteral("станцията беше затворена по време на изпитването"));
         },
         QStringLiteral("НЕВАЛИДЕН"),
         QStringLiteral("Изпитването е прекъснато след неуспешна средна стойност"), true},
        {"aborted after a failing average", [](TwoSpeedTest& t) { t.abort(); },
         QStringLiteral("НЕ СЪОТВЕТСТВА"), QStringLiteral("Изпитването е прекратено от оператора"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProcedureRun run;
        run.drive(kHighCoHighIdle, 5000);
        c.end(*run.test);
        ASSERT_TRUE(run.test->finished());
        const ProtocolData d = run.protocol();
        EXPECT_EQ(d.verdict, c.verdict);
        EXPECT_EQ(d.ending, c.ending);
        EXPECT_TRUE(d.failingAverage.startsWith(highCo)) << d.failingAverage.toStdString();
        const QString all = pageText(recordedPage(d));
        EXPECT_TRUE(all.contains(d.verdict + QStringLiteral(" ") + d.ending +
                                 QStringLiteral(" Неуспешна средна стойност при ") + d.failingAverage))
            << all.toStdString();
    }

    // Interrupted before any valid average: the ending alone.
    ProcedureRun early;
    early.drive(kGoodHighIdle, 1000);
    early.test->interrupt(QString());
    EXPECT_EQ(early.protocol().ending, QStringLiteral("Изпитването е прекъснато"));
    EXPECT_TRUE(early.protocol().failingAverage.isEmpty());

    // A test run to its end shows its averages in the table only.
    const ProtocolData failed = failingRun()->protocol();
    EXPECT_TRUE(failed.ending.isEmpty());
    EXPECT_TRUE(failed.failingAverage.isEmpty());
    EXPECT_FALSE(pageText(recordedPage(failed)).contains(QStringLiteral("Изпитването е")));
}

TEST_F(ProtocolPageTest, ALimitFromTheTableRowNamesTheTableAndItsChecksum) {
    SelectedVehicle row;
    row.VehicleText = QStringLiteral("SKODA OCTAVIA 1.6");
    row.LimitCOmx = 45; // looser than the directive's 0,30 %: taken only with the checksum
    row.LimitCO2mx = 160;
    ProcedureRun run({}, row, QStringLiteral("0123456789abcdef"));
    ASSERT_TRUE(run.test->limits().idleCoFromRow);
    const QString all = pageText(recordedPage(run.protocol()));
    EXPECT_TRUE(all.contains(QStringLiteral("Основание: "))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("по таблица CarModel.DB, ред „SKODA OCTAVIA 1.6“, контролна сума "
                                            "0123456789abcdef")))
        << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("≤ 0,45"))) << all.toStdString();
}
