// make-trail DIR RECORDS: a station directory with RECORDS examinations logged as a station
// logs them, Pregledi00000.GPG on, 200 to a file, and the matching SHA-256 chain beside them.
// The fields vary as a station's do: Bulgarian owners and firms, makes and models, plates of
// every region, readings of petrol and diesel engines. The same arguments make the same files.
#include "ExamChain.h"
#include "ExamRecord.h"
#include "LogFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <random>

namespace {

using Random = std::mt19937;

const QStringList kFirstNames = {"Иван",  "Георги", "Димитър", "Николай",  "Петър",  "Христо", "Стоян",
                                 "Тодор", "Мария",  "Елена",   "Йорданка", "Цветан", "Васил",  "Красимир"};
const QStringList kFamilyNames = {"Иванов",  "Петров",  "Георгиев", "Димитров", "Николов", "Стоянов",
                                  "Христов", "Тодоров", "Йорданов", "Попов",    "Ангелов", "Василев"};
const QStringList kFirms = {"Авто Трейд ЕООД", "Транс Логистик ООД", "\"Стил-М\" АД",   "ЕТ Василев - 91",
                            "Булгартранс ЕАД", "Агро Юг ООД",        "Строй Инвест ООД"};
const QStringList kModels = {
    "VW Golf 1.6",           "Opel Astra 1.4",     "Лада 2107",        "Dacia Logan 1.4",
    "Skoda Octavia 1.9 TDI", "Toyota Corolla 1.6", "Renault Clio 1.2", "BMW 320d",
    "Mercedes C200",         "Ford Focus 1.6",     "Москвич 2140",     "Audi A4 2.0 TDI"};
const QStringList kRegions = {"СА", "СВ", "СН", "В",  "ПВ", "ПА", "ЕН",
                              "РВ", "ВТ", "Х",  "СТ", "А",  "ВН", "КН"};
const QString kPlateLetters = QStringLiteral("АВЕКМНОРСТУХ");

int pick(Random& random, int count) {
    return std::uniform_int_distribution<int>(0, count - 1)(random);
}

QString decimal(Random& random, double low, double high, int decimals) {
    return QString::number(std::uniform_real_distribution<double>(low, high)(random), 'f', decimals);
}

vz::ReportFields examFields(Random& random, int number) {
    vz::ReportFields f;
    // About 25 examinations a working day, from the beginning of 2019.
    const QDate date = QDate(2019, 1, 2).addDays(number / 25);
    f.date = date.toString(QStringLiteral("dd.MM.yyyy"));
    f.time = QStringLiteral("%1:%2:%3")
                 .arg(8 + (number % 25) * 9 / 25, 2, 10, QLatin1Char('0'))
                 .arg(pick(random, 60), 2, 10, QLatin1Char('0'))
                 .arg(pick(random, 60), 2, 10, QLatin1Char('0'));
    f.owner = pick(random, 5) == 0 ? kFirms[pick(random, kFirms.size())]
                                   : kFirstNames[pick(random, kFirstNames.size())] + u' ' +
                                         kFamilyNames[pick(random, kFamilyNames.size())];
    f.makeModel = kModels[pick(random, kModels.size())];
    f.year = QString::number(1985 + pick(random, 38));
    f.regNumber = kRegions[pick(random, kRegions.size())] + QString::number(1000 + pick(random, 9000)) +
                  kPlateLetters[pick(random, kPlateLetters.size())] +
                  kPlateLetters[pick(random, kPlateLetters.size())];
    const bool diesel = f.makeModel.contains(u'd') || f.makeModel.contains(QStringLiteral("TDI"));
    f.co = diesel ? decimal(random, 0.0, 0.1, 3) : decimal(random, 0.02, 1.2, 3);
    f.co2 = decimal(random, 12.5, 15.5, 2);
    f.hc = QString::number(diesel ? pick(random, 40) : 20 + pick(random, 300)).rightJustified(5);
    f.o2 = decimal(random, 0.1, 2.5, 2);
    f.oilTemp = QString::number(70 + pick(random, 30)) + QStringLiteral(".0");
    f.rpm = QString::number(700 + pick(random, 250)).rightJustified(5);
    return vz::cutReportFields(f);
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-trail DIR RECORDS\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = false;
    const int records = QString::fromLocal8Bit(argv[2]).toInt(&ok);
    if (!ok || records < 1 || records > vz::kLastExamNumber || !QDir().mkpath(dir)) {
        std::fprintf(stderr, "make-trail: bad arguments\n");
        return 2;
    }
    QFile chain(QDir(dir).filePath(QString::fromLatin1(vz::kChainFileName)));
    if (!chain.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "make-trail: cannot write the chain\n");
        return 1;
    }
    Random random(20261209);
    QByteArray previous;
    for (int first = 1; first <= records; first += vz::kRecordsPerLogFile) {
        QByteArray log;
        QByteArray entries;
        for (int number = first; number < first + vz::kRecordsPerLogFile && number <= records; ++number) {
            const QByteArray record = vz::examRecordBytes(examFields(random, number));
            log += record;
            vz::ChainEntry entry;
            entry.examNumber = number;
            entry.hash = vz::chainHash(previous, record, nullptr);
            entries += vz::chainEntryLine(entry);
            previous = entry.hash;
        }
        const QString name = vz::examLogFileName(vz::examPlace(first).fileIndex);
        if (!writeAll(QDir(dir).filePath(name), log) || chain.write(entries) != entries.size()) {
            std::fprintf(stderr, "make-trail: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return chain.flush() ? 0 : 1;
}
