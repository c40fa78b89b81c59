// make-archive DIR TESTS: the archive of TESTS two-speed tests in a station directory, as a
// station records them over the years: monthly Protokoli-YYYY-MM.jsonl files (and a few
// training tests in Obuchenie-YYYY-MM.jsonl), each line sealed in its file's chain.
//
// Every test is the real procedure (TwoSpeedTest at the default set-up: 10 s stabilisation,
// 5 s averages, 30 s measuring) fed one result record every 500 ms by a simulated car with
// noisy readings, and its lines are the record's own (startedRecord, samplesRecord every 9 s
// and at each phase's end, resultRecord), stamped as ProtocolArchive stamps them. The mix of
// cars: mostly passing catalyst cars, some failing CO at high idle, old cars without a
// catalyst (idle only), diluted samples (void), speeds falling out of the window, aborted
// tests, a few interrupted ones (recorded at the next start, as the station does) and a few
// training tests. Up to 25 tests a working day from January 2022. The same arguments make the
// same files.
#include "ExamChain.h"
#include "ProtocolArchive.h"
#include "Registration.h"
#include "TwoSpeedRecord.h"
#include "TwoSpeedTest.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>

namespace {

using namespace vz::twospeed;
using Random = std::mt19937;

const QStringList kRegions = {"СА", "СВ", "СН", "В",  "ПВ", "ПА", "ЕН",
                              "РВ", "ВТ", "Х",  "СТ", "А",  "ВН", "КН"};
const QString kPlateLetters = QStringLiteral("АВЕКМНОРСТУХ");
const QStringList kMakes = {"VW", "Opel", "Skoda", "Toyota", "Renault", "Ford", "Dacia", "Peugeot", "Lada"};
const QStringList kModels = {"Golf 1.6",  "Astra 1.4", "Octavia 1.6", "Corolla 1.6", "Clio 1.2",
                             "Focus 1.6", "Logan 1.4", "206 1.4",     "2107"};
const QStringList kOperators = {"Мария Иванова", "Георги Петров", "Стоян Николов"};

int pick(Random& random, int count) {
    return std::uniform_int_distribution<int>(0, count - 1)(random);
}
double noise(Random& random, double spread) {
    return std::normal_distribution<double>(0, spread)(random);
}

enum class Kind { Pass, FailHighIdle, OldCar, Diluted, OutOfWindow, Aborted, Interrupted };

Kind kindOf(Random& random) {
    const int roll = pick(random, 100);
    if (roll < 70)
        return Kind::Pass;
    if (roll < 80)
        return Kind::FailHighIdle;
    if (roll < 88)
        return Kind::OldCar;
    if (roll < 92)
        return Kind::Diluted;
    if (roll < 95)
        return Kind::OutOfWindow;
    if (roll < 98)
        return Kind::Aborted;
    return Kind::Interrupted;
}

// One series' current file: its lines, its chain and where each has got.
struct SeriesFile {
    QString name;
    std::unique_ptr<QFile> lines;
    std::unique_ptr<QFile> chain;
    int lineCount = 0;
    QByteArray previous;
};

class Writer {
public:
    explicit Writer(QString dir) : dir_(std::move(dir)) {}

    bool append(vz::ArchiveSeries series, const QDate& day, QJsonObject object, const char* kind, int number,
                const QDateTime& time) {
        object.insert(QStringLiteral("kind"), QLatin1StringView(kind));
        object.insert(QStringLiteral("series"), series == vz::ArchiveSeries::Official
                                                    ? QStringLiteral("official")
                                                    : QStringLiteral("training"));
        object.insert(QStringLiteral("number"), number);
        object.insert(QStringLiteral("time"), time.toString(Qt::ISODate));
        SeriesFile& file = files_[int(series)];
        const QString name = vz::ProtocolArchive::fileName(series, day);
        if (file.name != name) {
            file.name = name;
            file.lines = std::make_unique<QFile>(QDir(dir_).filePath(name));
            file.chain =
                std::make_unique<QFile>(QDir(dir_).filePath(name.chopped(5) + QStringLiteral("chain")));
            if (!file.lines->open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                !file.chain->open(QIODevice::WriteOnly | QIODevice::Truncate))
                return false;
            file.lineCount = 0;
            file.previous.clear();
        }
        const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        vz::ChainEntry entry;
        entry.examNumber = ++file.lineCount;
        entry.hash = vz::chainHash(file.previous, line, nullptr);
        file.previous = entry.hash;
        bytes_ += line.size();
        return file.lines->write(line) == line.size() && file.chain->write(vz::chainEntryLine(entry)) > 0;
    }
    int64_t bytes() const { return bytes_; }

private:
    QString dir_;
    SeriesFile files_[2];
    int64_t bytes_ = 0;
};

QString registrationOf(Random& random) {
    QString plate = kRegions[pick(random, kRegions.size())] + QString::number(1000 + pick(random, 9000)) +
                    kPlateLetters[pick(random, kPlateLetters.size())] +
                    kPlateLetters[pick(random, kPlateLetters.size())];
    if (pick(random, 5) == 0)
        plate.insert(plate.size() - 2, u' '); // typed with a blank now and then
    return plate;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-archive DIR TESTS\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = false;
    const int tests = QString::fromLocal8Bit(argv[2]).toInt(&ok);
    if (!ok || tests < 1 || !QDir().mkpath(dir)) {
        std::fprintf(stderr, "make-archive: bad arguments\n");
        return 2;
    }
    Random random(20261209);
    Writer writer(dir);
    int numbers[2] = {0, 0};
    QDate day(2022, 1, 3);
    int onDay = 0;
    QHash<QString, int> attemptsToday;
    for (int made = 0; made < tests; ++made) {
        if (onDay == 25 || (onDay > 0 && pick(random, 30) == 0)) {
            day = day.addDays(day.dayOfWeek() == 5 ? 3 : 1);
            onDay = 0;
            attemptsToday.clear();
        }
        const QDateTime begun(day, QTime(8, 0).addSecs(onDay * 1200 + pick(random, 600)));
        ++onDay;

        const Kind kind = kindOf(random);
        const bool training = pick(random, 50) == 0;
        const vz::ArchiveSeries series = training ? vz::ArchiveSeries::Training : vz::ArchiveSeries::Official;
        VehicleFacts vehicle;
        vehicle.registration = registrationOf(random);
        const int make = pick(random, kMakes.size());
        vehicle.make = kMakes[make];
        vehicle.model = kModels[make];
        vehicle.fuel = pick(random, 8) == 0 ? Fuel::Lpg : Fuel::Petrol;
        if (kind == Kind::OldCar) {
            // No lambda control stands only on a declaration the first registration bears out.
            vehicle.control = EmissionControl::NoLambdaControl;
            vehicle.declaration = NoCatalystReason::RegisteredBeforeRequirement;
            vehicle.firstRegistration = QDate(1983 + pick(random, 9), 1 + pick(random, 12), 1);
        } else {
            vehicle.firstRegistration =
                QDate(1996 + pick(random, 27), 1 + pick(random, 12), 1 + pick(random, 28));
        }
        TwoSpeedSetup setup;
        setup.analyserSerial = QStringLiteral("MGT5-0412");
        setup.verificationExpires = QDate(2027, 3, 31);
        TrainingMode mode;
        if (training)
            mode = {true, TrainingReason::PseudoTerminal, QStringLiteral("серийната линия е симулатор")};

        int64_t now = 0;
        uint64_t id = 0;
        CycleState cycle;
        cycle.baudRate = 9600;
        cycle.opState = 1;
        cycle.ticksSinceResult = 1;
        TwoSpeedTest test(vehicle, setup, mode, [&] { return now; });
        RecordContext context;
        context.operatorName = kOperators[pick(random, kOperators.size())];
        context.version = QStringLiteral("2.0");
        context.port = QStringLiteral("COM1");
        context.device = QStringLiteral("/dev/ttyUSB0");
        context.baudRate = 9600;

        const int number = ++numbers[int(series)];
        auto at = [&] { return begun.addMSecs(now); };
        if (!writer.append(series, day, startedRecord(test, context), "started", number, begun)) {
            std::fprintf(stderr, "make-archive: cannot write in %s\n", qPrintable(dir));
            return 1;
        }
        QList<QJsonObject> journalled;
        JournalMark mark;
        int64_t lastJournal = 0;
        auto journal = [&] {
            QJsonObject samples = samplesRecord(test, mark);
            lastJournal = now;
            if (samples.isEmpty())
                return;
            writer.append(series, day, samples, "samples", number, at());
            samples.insert(QStringLiteral("time"), at().toString(Qt::ISODate));
            journalled.append(samples);
        };
        // The car: its own levels, each record with a little noise.
        const double highCo =
            kind == Kind::FailHighIdle ? 0.4 + pick(random, 60) / 100.0 : 0.02 + pick(random, 12) / 100.0;
        const double idleCo =
            kind == Kind::OldCar ? 0.8 + pick(random, 30) / 10.0 : 0.03 + pick(random, 20) / 100.0;
        const double co2 = kind == Kind::Diluted ? 3.5 : 14.2 + pick(random, 12) / 10.0;
        const int highRpm = 2550 + pick(random, 400);
        const int idleRpm = 700 + pick(random, 250);
        // The analyser's digits: CO, CO2 and O2 in hundredths of %, HC in ppm.
        auto digits = [](double value, double unit) {
            return std::max(0.0, std::round(value / unit) * unit);
        };
        auto step = [&](int rpm, double co, double co2Now, double hc, double o2) {
            now += 500;
            test.updateCycle(cycle);
            test.feed({++id, digits(co + noise(random, 0.01), 0.01),
                       digits(co2Now + noise(random, 0.1), 0.01), digits(hc + noise(random, 3), 1),
                       digits(o2 + noise(random, 0.03), 0.01), std::max(0, rpm + int(noise(random, 25))),
                       88.0 + pick(random, 8)});
        };
        // The probe in clean air until the clean-air check has had its 5 s (a noisy reading starts
        // it over), then on into the phases; a test that cannot go on is aborted, as an operator
        // would, so that every test ends.
        for (int i = 0; i < 60 && !test.gate().ready(); ++i)
            step(idleRpm, 0.0, 0.1, 2, 20.9);
        if (!test.proceed() || !test.proceed())
            test.abort();
        int steps = 0;
        const int stopAt = kind == Kind::Aborted || kind == Kind::Interrupted ? 20 + pick(random, 40) : -1;
        bool killed = false;
        while (!test.finished()) {
            const std::optional<PhaseView> phase = test.currentPhase();
            const bool high = phase && phase->kind == PhaseKind::HighIdle;
            int rpm = high ? highRpm : idleRpm;
            if (kind == Kind::OutOfWindow && high && steps % 40 > 30)
                rpm = 2100; // the foot lifts off now and then
            step(rpm, high ? highCo : idleCo, co2, high ? 30 : 60, high ? 0.2 : 0.4);
            ++steps;
            const qsizetype ended =
                std::count_if(test.phases().begin(), test.phases().end(), [](const PhaseResult& p) {
                    return p.verdict != Verdict::Pending && p.verdict != Verdict::NotRun;
                });
            if (now - lastJournal >= 9000 || ended > mark.endWritten.count(true))
                journal();
            if (steps == stopAt && kind == Kind::Aborted)
                test.abort();
            if (steps == stopAt && kind == Kind::Interrupted) {
                killed = true;
                break;
            }
        }
        if (killed) {
            // The next start records it from what its lines hold.
            QJsonObject started = startedRecord(test, context);
            started.insert(QStringLiteral("time"), begun.toString(Qt::ISODate));
            writer.append(series, day, interruptedResult(started, journalled), "result", number,
                          at().addSecs(300));
        } else {
            journal();
            const int attempt = training ? 1 : ++attemptsToday[normaliseRegistration(vehicle.registration)];
            writer.append(series, day, resultRecord(test, at(), attempt), "result", number, at());
        }
    }
    std::printf("%d tests (%d official, %d training), %.1f MiB of lines, up to %s\n", tests, numbers[0],
                numbers[1], writer.bytes() / 1048576.0, qPrintable(day.toString(Qt::ISODate)));
    return 0;
}
