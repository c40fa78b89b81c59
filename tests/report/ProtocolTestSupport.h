#pragma once
// Shared pieces of the protocol tests: a two-speed test run on its own clock against a
// simulated car, and the page's texts as a reader sees them on a recording page.
#include "ProtocolPage.h"
#include "RecordingPrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace vz::test {

// What the simulated car gives, one result record at a time.
struct Engine {
    int rpm = 800;
    double co = 0.1, co2 = 14.6, hc = 40, o2 = 0.3;
    std::optional<double> oil = 90.0;
};
inline const Engine kCleanAir{800, 0.0, 0.0, 0, 20.9, 90.0};
inline const Engine kGoodHighIdle{2700, 0.05, 14.8, 20, 0.2, 91.0};
inline const Engine kHighCoHighIdle{2700, 0.50, 14.2, 60, 0.3, 91.0};
inline const Engine kGoodIdle{800, 0.1, 14.6, 40, 0.3, 92.0};
inline const Engine kDiluted{800, 0.05, 3.0, 10, 17.0, 92.0};

// The procedure run on its own clock, with the times shortened through the set-up file.
class ProcedureRun {
public:
    explicit ProcedureRun(twospeed::TrainingMode training = {}, std::optional<SelectedVehicle> row = {},
                          const QString& tableChecksum = {}) {
        using namespace twospeed;
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
        car.row = row;
        car.tableChecksum = tableChecksum;
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
    ProtocolContext context(const QByteArray& seal = QByteArray(32, '\xA7')) const {
        ProtocolContext c;
        c.stationLine = QStringLiteral("ГТП „Младост“ ЕООД, София, ул. Тестова 5");
        c.operatorName = QStringLiteral("Мария Иванова");
        c.number = 45;
        c.attempt = 3;
        c.started = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
        c.ended = QDateTime(QDate(2026, 12, 7), QTime(14, 7, 31));
        c.seal = seal;
        c.sealTrouble = seal.isEmpty() ? QStringLiteral("ключът за печата липсва") : QString();
        return c;
    }
    ProtocolData protocol(const QByteArray& seal = QByteArray(32, '\xA7')) const {
        return protocolData(*test, context(seal));
    }

    int64_t now = 1'000'000;
    uint64_t record = 0;
    twospeed::CycleState cycle;
    std::unique_ptr<twospeed::TwoSpeedTest> test;
};

inline std::unique_ptr<ProcedureRun> passingRun(twospeed::TrainingMode training = {}) {
    auto run = std::make_unique<ProcedureRun>(training);
    run->drive(kGoodHighIdle, 6000);
    run->drive(kGoodIdle, 6000);
    EXPECT_EQ(run->test->verdict(), twospeed::Verdict::Pass);
    return run;
}

inline std::unique_ptr<ProcedureRun> failingRun() {
    auto run = std::make_unique<ProcedureRun>();
    run->drive(kHighCoHighIdle, 14000);
    run->drive(kGoodIdle, 6000);
    EXPECT_EQ(run->test->verdict(), twospeed::Verdict::Fail);
    return run;
}

inline std::unique_ptr<ProcedureRun> voidRun() {
    auto run = std::make_unique<ProcedureRun>();
    run->drive(kGoodHighIdle, 6000);
    run->drive(kDiluted, 14000);
    EXPECT_EQ(run->test->verdict(), twospeed::Verdict::Void);
    return run;
}

struct Box {
    QRectF rect;
    RecordedText item;
};

inline QList<Box> boxesOf(const QList<RecordedText>& texts, QPaintDevice* device) {
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
inline QString pageText(const QList<Box>& boxes) {
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

// The page drawn on an A4 recording page.
inline QList<Box> recordedPage(const ProtocolData& d, int widthPx = 1240, int dpi = 150) {
    RecordingPaintDevice page(widthPx, dpi);
    {
        QPainter painter(&page);
        drawProtocolPage(painter, d);
    }
    return boxesOf(page.texts(), &page);
}

// The marks across the face of the page are drawn larger than anything in the page's flow,
// whose largest text is the verdict: they are taken apart from the rest.
inline QList<Box> marksAcross(QList<Box>& boxes, const QString& verdict) {
    double verdictSize = 0;
    for (const Box& b : boxes) {
        if (b.item.text == verdict)
            verdictSize = std::max(verdictSize, b.item.font.pointSizeF());
    }
    QList<Box> across;
    for (qsizetype i = boxes.size() - 1; i >= 0; --i) {
        const QString& text = boxes[i].item.text;
        if ((text == twospeed::kTrainingMark || text == kUnrecordedMark) &&
            boxes[i].item.font.pointSizeF() > verdictSize)
            across.prepend(boxes.takeAt(i));
    }
    return across;
}

} // namespace vz::test
