// The two-speed protocol: built from tests the procedure really ran, drawn on a recording page
// (every text there, inside the page, none over another), in colour on an image, printed, and
// written as a PDF read back with pdftotext.
#include "ProtocolPage.h"
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
#include <memory>
#include <sys/stat.h>

using namespace vz;
using namespace vz::twospeed;
using vz::test::ReportTest;

namespace {

// What the simulated car gives, one result record at a time.
struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
    std::optional<double> oil = 90.0;
};
const Engine kCleanAir{800, 0.0, 0.0, 0, 20.9, 90.0};
const Engine kGoodHighIdle{2700, 0.05, 14.8, 20, 0.2, 91.0};
const Engine kHighCoHighIdle{2700, 0.50, 14.2, 60, 0.3, 91.0};
const Engine kGoodIdle{800, 0.1, 14.6, 40, 0.3, 92.0};
const Engine kDiluted{800, 0.05, 3.0, 10, 17.0, 92.0};

// The procedure run on its own clock, with the times shortened through the set-up file.
class Run {
public:
    explicit Run(TrainingMode training = {}) {
        const SetupReadResult setup = parseTwoSpeedSetup("StabilisationSeconds = 2\nMeasuringSeconds = 6\n"
                                                         "AveragingSeconds = 2\nPhaseLimitSeconds = 12\n"
                                                         "AnalyserSerial = MGT5-0412\n"
                                                         "VerificationExpires = 31.12.2027\n",
                                                         QStringLiteral("TWOSPEED.ini"));
        EXPECT_TRUE(setup.refused.isEmpty());
        VehicleFacts car;
        car.registration = QStringLiteral("СА1234ВХ");
        car.make = QStringLiteral("Škoda");
        car.model = QStringLiteral("Octavia 1.6");
        car.firstRegistration = QDate(2005, 3, 14);
        car.approval = TypeApproval::Euro3OrLater;
        cycle.opState = 1;
        cycle.ticksSinceResult = 1;
        test = std::make_unique<TwoSpeedTest>(car, setup.setup, training, [this] { return now; });
        drive(kCleanAir, 5250);
        EXPECT_TRUE(test->proceed());
        EXPECT_TRUE(test->proceed());
    }
    void drive(const Engine& e, int64_t ms) {
        for (int64_t t = 250; t <= ms && !test->finished(); t += 250) {
            now += 250;
            test->updateCycle(cycle);
            test->feed({++record, e.co, e.co2, e.hc, e.o2, e.rpm, e.oil});
        }
    }
    ProtocolData protocol(const QByteArray& seal = QByteArray(32, '\xA7')) const {
        ProtocolContext c;
        c.stationLine = QStringLiteral("ГТП „Младост“ ЕООД, София, ул. Тестова 5");
        c.operatorName = QStringLiteral("Мария Иванова");
        c.number = 45;
        c.attempt = 3;
        c.started = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
        c.ended = QDateTime(QDate(2026, 12, 7), QTime(14, 7, 31));
        c.seal = seal;
        c.sealTrouble = seal.isEmpty() ? QStringLiteral("ключът за печата липсва") : QString();
        return protocolData(*test, c);
    }

    int64_t now = 1'000'000;
    uint64_t record = 0;
    CycleState cycle;
    std::unique_ptr<TwoSpeedTest> test;
};

std::unique_ptr<Run> passingRun(TrainingMode training = {}) {
    auto run = std::make_unique<Run>(training);
    run->drive(kGoodHighIdle, 6000);
    run->drive(kGoodIdle, 6000);
    EXPECT_EQ(run->test->verdict(), Verdict::Pass);
    return run;
}

std::unique_ptr<Run> failingRun() {
    auto run = std::make_unique<Run>();
    run->drive(kHighCoHighIdle, 14000);
    run->drive(kGoodIdle, 6000);
    EXPECT_EQ(run->test->verdict(), Verdict::Fail);
    return run;
}

std::unique_ptr<Run> voidRun() {
    auto run = std::make_unique<Run>();
    run->drive(kGoodHighIdle, 6000);
    run->drive(kDiluted, 14000);
    EXPECT_EQ(run->test->verdict(), Verdict::Void);
    return run;
}

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
    d.setupDifferences.clear();
    for (int i = 0; i < 11; ++i)
        d.setupDifferences
            << QStringLiteral("Време за стабилизиране: 0,5 s (по подразбиране 10 s) %1").arg(i);
    return d;
}

struct Box {
    QRectF rect;
    RecordedText item;
};

QList<Box> boxesOf(const QList<RecordedText>& texts, QPaintDevice* device) {
    QList<Box> boxes;
    for (const RecordedText& t : texts) {
        const QFontMetricsF m(t.font, device);
        boxes.append({QRectF(t.baseline.x(), t.baseline.y() - m.ascent(), m.horizontalAdvance(t.text),
                             m.ascent() + m.descent()),
                      t});
    }
    return boxes;
}

// The drawn texts in drawing order as one string: the pieces of one text (a line is recorded
// a script run at a time) join directly, separate texts with a space.
QString pageText(const QList<Box>& boxes) {
    QString all;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const bool joined = i > 0 &&
                            qAbs(boxes[i].item.baseline.y() - boxes[i - 1].item.baseline.y()) < 0.5 &&
                            qAbs(boxes[i].rect.left() - boxes[i - 1].rect.right()) < 2;
        if (i > 0 && !joined)
            all += u' ';
        all += boxes[i].item.text;
    }
    return all.simplified();
}

// Every text of the protocol that the page must show.
QStringList expectedTexts(const ProtocolData& d) {
    QStringList want = {d.title,
                        d.stationLine,
                        QStringLiteral("Протокол № %1").arg(d.number),
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
                        d.seal.isEmpty() ? QStringLiteral("без печат: ") + d.sealTrouble : d.seal};
    if (d.attempt > 1)
        want << QStringLiteral("опит %1").arg(d.attempt);
    if (d.training)
        want << kTrainingMark << d.trainingReason;
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
    const QList<Box> boxes = boxesOf(page.texts(), &page);
    const QRectF sheet(0, 0, page.width(), page.height());
    const QString all = pageText(boxes);
    for (const QString& text : expectedTexts(d))
        EXPECT_TRUE(all.contains(text.simplified())) << text.toStdString() << "\nnot in\n"
                                                     << all.toStdString();
    EXPECT_EQ(all.contains(kTrainingMark), d.training);
    EXPECT_EQ(all.contains(QStringLiteral("КОПИЕ")), d.copy);
    EXPECT_EQ(all.contains(QStringLiteral("опит")), d.attempt > 1);

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
