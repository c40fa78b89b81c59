#pragma once
// Archives of two-speed tests made as the station makes them: the real procedure, driven by
// its clock through a simulated car, records its started, samples and result lines through
// the station's own archive, in the scratch station directory.
#include "PreglediTestSupport.h"
#include "ProtocolArchive.h"
#include "ProtocolPage.h"
#include "Registration.h"
#include "TwoSpeedRecord.h"
#include "TwoSpeedTest.h"

#include <QJsonDocument>
#include <memory>

namespace vz::test {

// A car on the test bench: its readings at high idle and at idle, and how its test ends.
struct BenchCar {
    QString registration = QStringLiteral("СА1234ВХ");
    twospeed::EmissionControl control = twospeed::EmissionControl::LambdaCatalyst;
    QDate firstRegistration{2005, 3, 14};
    int highRpm = 2700;
    double highCo = 0.05, highCo2 = 14.8, highHc = 20, highO2 = 0.2;
    int idleRpm = 800;
    double idleCo = 0.10, idleCo2 = 14.6, idleHc = 40, idleO2 = 0.3;
    enum class End { Finish, Abort, Kill } end = End::Finish; // Kill: the station stops, no result
    bool training = false;
};

inline BenchCar passingCar(const QString& registration = QStringLiteral("СА1234ВХ")) {
    BenchCar car;
    car.registration = registration;
    return car;
}
inline BenchCar failingCar(const QString& registration = QStringLiteral("РВ5678АК")) {
    BenchCar car = passingCar(registration);
    car.highCo = 0.62; // above 0.2 % at high idle
    return car;
}
inline BenchCar dilutedCar(const QString& registration = QStringLiteral("В1111СТ")) {
    BenchCar car = passingCar(registration);
    car.highCo2 = 3.1; // CO + CO2 below 6 %: the probe is not in
    car.idleCo2 = 3.0;
    return car;
}
inline BenchCar oldCar(const QString& registration = QStringLiteral("Х2222ХХ")) {
    BenchCar car = passingCar(registration);
    car.control = twospeed::EmissionControl::NoLambdaControl;
    car.firstRegistration = QDate(1984, 6, 1);
    car.idleCo = 2.5;
    return car;
}

class ArchiveFixture : public StationDirTest {
protected:
    // What the station knew of a test it recorded.
    struct Recorded {
        int number = 0;
        ArchiveWrite result;       // its result line's write (not ok when there is none)
        ProtocolData liveProtocol; // the page the station printed at the end
    };

    // The test of `car`, from the vehicle step to its end, recorded as the window records it:
    // started at once, samples journalled every 3 s and at each phase's end, the result last.
    Recorded record(const BenchCar& car) {
        using namespace twospeed;
        VehicleFacts vehicle;
        vehicle.registration = car.registration;
        vehicle.make = QStringLiteral("VW");
        vehicle.model = QStringLiteral("Golf 1.6");
        vehicle.firstRegistration = car.firstRegistration;
        vehicle.control = car.control;
        // No lambda control stands only on the operator's declaration.
        if (car.control == twospeed::EmissionControl::NoLambdaControl)
            vehicle.declaration = twospeed::NoCatalystReason::RegisteredBeforeRequirement;
        const SetupReadResult setup = parseTwoSpeedSetup("StabilisationSeconds = 2\nMeasuringSeconds = 6\n"
                                                         "AveragingSeconds = 2\nPhaseLimitSeconds = 12\n"
                                                         "AnalyserSerial = MGT5-0412\n",
                                                         QStringLiteral("TWOSPEED.ini"));
        TrainingMode training;
        if (car.training)
            training = {true, TrainingReason::PseudoTerminal, QStringLiteral("серийната линия е симулатор")};
        int64_t now = 1'000'000;
        uint64_t id = 0;
        CycleState cycle;
        cycle.baudRate = 9600;
        cycle.opState = 1;
        cycle.ticksSinceResult = 1;
        TwoSpeedTest test(vehicle, setup.setup, training, [&] { return now; });
        RecordContext context;
        context.operatorName = QStringLiteral("Мария Иванова");
        context.version = QStringLiteral("2.0-test");
        context.port = QStringLiteral("COM1");
        context.device = QStringLiteral("/dev/ttyUSB0");
        context.baudRate = 9600;
        const ArchiveSeries series = car.training ? ArchiveSeries::Training : ArchiveSeries::Official;
        const QDateTime begun = clock;
        Recorded recorded;
        const ArchiveWrite started = archive.begin(series, startedRecord(test, context));
        EXPECT_TRUE(started.ok) << started.error.toStdString();
        recorded.number = started.number;

        JournalMark mark;
        int64_t lastJournal = now;
        auto journal = [&] {
            const QJsonObject samples = samplesRecord(test, mark);
            if (!samples.isEmpty()) {
                EXPECT_TRUE(archive.journal(series, recorded.number, samples).ok);
            }
            lastJournal = now;
        };
        auto step = [&](int rpm, double co, double co2, double hc, double o2) {
            now += 250;
            clock = clock.addMSecs(250);
            test.updateCycle(cycle);
            test.feed({++id, co, co2, hc, o2, rpm, 90.0});
        };
        for (int i = 0; i < 21; ++i)
            step(800, 0, 0, 0, 20.9); // clean air for the hang-up check
        EXPECT_TRUE(test.proceed());
        EXPECT_TRUE(test.proceed());
        int steps = 0;
        while (!test.finished()) {
            const std::optional<PhaseView> phase = test.currentPhase();
            const bool high = phase && phase->kind == PhaseKind::HighIdle;
            if (high)
                step(car.highRpm, car.highCo, car.highCo2, car.highHc, car.highO2);
            else
                step(car.idleRpm, car.idleCo, car.idleCo2, car.idleHc, car.idleO2);
            ++steps;
            const size_t ended =
                std::count_if(test.phases().begin(), test.phases().end(), [](const PhaseResult& p) {
                    return p.verdict != Verdict::Pending && p.verdict != Verdict::NotRun;
                });
            if (now - lastJournal >= 3000 || ended > size_t(mark.endWritten.count(true)))
                journal();
            if (car.end == BenchCar::End::Abort && steps == 26)
                test.abort();
            if (car.end == BenchCar::End::Kill && steps == 24 && !test.finished())
                return recorded; // no result line: the station was killed
        }
        journal();
        const int attempt =
            car.training ? 1
                         : archive.attempts(car.registration, begun.date(), twospeed::normaliseRegistration);
        recorded.result = archive.finish(series, recorded.number, resultRecord(test, clock, attempt));
        EXPECT_TRUE(recorded.result.ok) << recorded.result.error.toStdString();
        ProtocolContext page;
        page.number = recorded.number;
        page.attempt = attempt;
        page.operatorName = context.operatorName;
        page.started = begun;
        page.ended = clock;
        page.seal = recorded.result.seal;
        page.sealTrouble = recorded.result.sealTrouble;
        recorded.liveProtocol = protocolData(test, page);
        clock = clock.addSecs(600); // the next car
        return recorded;
    }

    // The lines of an archive file, without their line ends.
    static QList<QByteArray> linesOf(const QString& name) {
        QList<QByteArray> lines = readFile(name).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    static QJsonObject objectOf(const QByteArray& line) { return QJsonDocument::fromJson(line).object(); }
    // The number (from 1) of the first line of `name` with `kind` for test `number`.
    static int lineOf(const QString& name, const char* kind, int number) {
        const QList<QByteArray> lines = linesOf(name);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject o = objectOf(lines[i]);
            if (o.value("kind").toString() == QLatin1StringView(kind) && o.value("number").toInt() == number)
                return int(i + 1);
        }
        return 0;
    }
    // Replaces line `n` (from 1) of `name` with `bytes` (without its line end).
    static void replaceLine(const QString& name, int n, const QByteArray& bytes) {
        QList<QByteArray> lines = linesOf(name);
        lines[n - 1] = bytes;
        writeFile(name, lines.join('\n') + '\n');
    }

    QDateTime clock = QDateTime(QDate(2026, 12, 9), QTime(9, 0));
    ProtocolArchive archive{QStringLiteral("."), [this] { return clock; }};
};

} // namespace vz::test
