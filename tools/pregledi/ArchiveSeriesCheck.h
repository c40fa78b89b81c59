#pragma once
// What `verify` checks of a series of two-speed tests as a whole, beyond each file against its
// chain (ArchiveVerify.h): that the month files form one series (ArchiveAnchors.h).
//
//   - Every number from 1 to the series' highest has its started line, in one file only: a
//     number in two files is a month copied or tests planted; numbers missing below the highest
//     were removed; a series that ends below its high-water mark (the register's highest number,
//     or the highest a link seals) lost its latest tests, a month file removed.
//   - A month file's first line is its link. Its link names the file itself (a copy under
//     another name names the original), and the head it seals of the file before it is still
//     that file's chain entry. A file whose link says it begins the series has no test before
//     it; a file without a link after months that have one was planted, or its link removed.
//     Files written before links existed (no month with a link before them) are read as before.
//   - In the months that have links, a test that began at an earlier time, or in an earlier
//     month, than the test numbered before it has its clock line.
//   - The register gives each number the file the test began in.
#include "TestArchive.h"
#include "Verify.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <functional>
#include <map>

namespace vz {

class ArchiveSeriesCheck {
public:
    using Add = std::function<void(FindingClass kind, const QString& file, int line, const QString& text)>;

    // Before the files are read: the first line of each month file, so that the chain entries
    // the links seal are kept when their chains are read.
    void plan(const QString& dir, const QList<ArchiveFile>& months);
    bool wantsEntry(const QString& file, int entry) const;
    void keepEntry(const QString& file, int entry, const QByteArray& hash);

    // Each line of the series' files as verify reads it.
    void line(const ArchiveFile& file, int number, QByteArrayView bytes, const LinePeek& peek);

    // The findings about the series as a whole.
    void finish(const QString& dir, const Add& add) const;

    // The files that hold the started line of test `number`.
    QStringList filesOfTest(int number) const;

private:
    struct Start {
        QString file;
        int line = 0;
        QDateTime time;
    };
    struct Month {
        ArchiveFile file;
        bool lines = false;
        int linkLine = 0; // 1 when the file begins with its link
        QJsonObject link;
        QList<int> strayLinks; // link lines that are not the first
        QSet<int> clocks;      // the tests its clock lines explain
        int lowest = 0;        // its lowest test number
    };
    Month& monthOf(const ArchiveFile& file);
    void checkLinks(const Add& add) const;
    void checkNumbers(const QString& dir, const Add& add) const;
    void checkOrder(const Add& add) const;

    ArchiveSeries series_ = ArchiveSeries::Official;
    QList<Month> months_;                               // in month order
    std::multimap<int, Start> starts_;                  // every started line, by test number
    QMap<QString, QMap<int, QList<QByteArray>>> kept_;  // file -> entry -> values its chain holds
    QMap<QString, QSet<int>> wanted_;                   // file -> entries links seal
    std::map<int, std::pair<QString, int>> registered_; // number -> the register's file, its line
};

// "test 5", "tests 1-10", "tests 1-10, 14, 16-17" (training: "tests О-1 to О-10, О-14").
QString testNumbersText(ArchiveSeries series, QList<int> numbers);

} // namespace vz
