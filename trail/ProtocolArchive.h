#pragma once
// The archive of two-speed tests: every attempt, whatever its end, as JSON lines in monthly
// files beside the examination log, each file sealed by its own chain (the chain format of
// ExamChain.h, one entry per line, the entry's number being the line's number in its file).
//
//     Protokoli-YYYY-MM.jsonl     official tests          Protokoli-YYYY-MM.chain
//     Obuchenie-YYYY-MM.jsonl     training tests          Obuchenie-YYYY-MM.chain
//     Protokoli-nomera.jsonl      the numbers given       Protokoli-nomera.chain
//     Obuchenie-nomera.jsonl      (the register)          Obuchenie-nomera.chain
//
// A test writes a "started" line when it begins (its number taken then), "samples" lines at
// least every few seconds while it runs, and one "result" line at its end, all in the file of
// the month it began. A month file begins with a "link" line that seals the head of the file
// before it, a started line behind the clock of the series' latest test follows a "clock"
// line, and each number given is written to the register (ArchiveAnchors.h). Lines are only
// ever appended: written, synced, sealed, synced, the directory synced, as the examination
// log is. A test whose result never came (the station was closed or killed) is given an
// "interrupted" result at the next start from what its lines hold. A seal that cannot be
// written never stops a test: the line is kept and the trouble returned.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

namespace vz {

enum class ArchiveSeries { Official, Training };

struct ArchiveWrite {
    bool ok = false;     // the line is in the archive
    int number = 0;      // the test's number in its series
    QString error;       // the line could not be written
    QString sealTrouble; // written, but not sealed: why
    QByteArray seal;     // the line's chain value (32 bytes) when sealed
    QString file;        // the line file it went to (Protokoli-2026-12.jsonl)
};

// A series' latest test: the highest number ever given in it, where it began and when.
struct SeriesLatest {
    int number = 0;       // 0: none yet
    QString file;         // the month file of its started line (as the register names it)
    QDateTime time;       // its start
    bool started = false; // its started line was found in a month file
    int registered = 0;   // the register's highest number (0: none, or no register)
};

class ProtocolArchive {
public:
    using Now = std::function<QDateTime()>;
    explicit ProtocolArchive(QString dir, Now now = {});

    // A new test: the next number of its series (one past the highest ever given in it, in
    // any month file or the register: never given twice) and its "started" line, which gets
    // "kind", "number", "series" and "time" added. A new month file gets its link line first,
    // a start behind the series' latest test its clock line; the number goes to the register
    // after the started line (trouble there is told in sealTrouble, and never stops the test).
    ArchiveWrite begin(ArchiveSeries series, QJsonObject started);
    // Samples taken since the last journal ("kind": "samples").
    ArchiveWrite journal(ArchiveSeries series, int number, QJsonObject samples);
    // The test's end ("kind": "result"). Its seal is what the protocol prints at its foot.
    ArchiveWrite finish(ArchiveSeries series, int number, QJsonObject result);

    // The test of the series begun last (the highest number, wherever its month), when it
    // never finished (the station was closed or killed): `complete` makes its result (verdict
    // "interrupted") from its started line and its samples lines, written as its result line.
    // Returns its number (none, or one: a station runs one test at a time). A number the
    // register lacks (a crash between the started line and the register's) is written to the
    // register first. Keep one archive object for the station's life: it remembers where each
    // file ends and where each test began.
    using Completion =
        std::function<QJsonObject(const QJsonObject& started, const QList<QJsonObject>& samples)>;
    QList<int> recordInterrupted(ArchiveSeries series, const Completion& complete);

    // Recorded official tests of one registration (compared as `normalise` makes it) begun on
    // `day`.
    int attempts(const QString& registration, QDate day,
                 const std::function<QString(const QString&)>& normalise) const;

    static QString fileName(ArchiveSeries series, QDate month); // Protokoli-2026-12.jsonl

private:
    ArchiveWrite append(const QString& name, const QJsonObject& line, int testNumber);
    QString fileOf(ArchiveSeries series, int number);
    int wholeLines(const QString& name);
    SeriesLatest& latestOf(ArchiveSeries series);
    void registerNumber(ArchiveSeries series, int number, const QString& file, const QDateTime& time,
                        ArchiveWrite& into);
    void repairRegister(ArchiveSeries series);

    QString dir_;
    Now now_;
    QMap<QString, int> lines_;       // whole lines of each file appended to, counted once
    QMap<QString, QString> tests_;   // "series:number": the file of the test's started line
    QMap<int, SeriesLatest> latest_; // each series' latest test, read once and kept up
};

} // namespace vz
