#pragma once
// The recorded two-speed tests as text: `pregledi tests` (a list, or JSON), `show-test N`, and
// the rows `export --tests` writes. A test begun but without a result line (the test is under
// way, or the station stopped during it and has not recorded it since) is listed as well:
// "in progress or interrupted" in the list, verdict "unfinished" in JSON and CSV.
#include "LogExport.h"
#include "TestArchive.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QTextStream>
#include <utility>

namespace vz {

inline const QString kUnfinishedVerdict = QStringLiteral("unfinished");

// The registration holds `reg` (both compared as twospeed::normaliseRegistration makes them),
// any text of the test holds `text` (case aside), and the test began between from and to.
bool testMatches(const RecordedTest& test, const ExamFilter& filter);

// The test's verdict as the record writes it (pass, fail, void, aborted, interrupted), or
// "unfinished".
QString testVerdict(const RecordedTest& test);

// A test's number as pregledi prints it (testNumberText of TestArchive.h).
QString testNumberText(const RecordedTest& test);

// How the test ended, as its result line says ("completed", "aborted", "interrupted",
// "time-limit"); empty for lines written before it was recorded, and for an unfinished test.
QString testEnding(const RecordedTest& test);
// The valid failing average the verdict or the interruption rests on: the result line's
// "failingAverage", or for an unfinished test the last one its journal wrote down. Null when
// there is none.
QJsonValue testFailingAverage(const RecordedTest& test);
// "high-idle: CO 0.62 %, CO2 14.8 %, HC 20 ppm, O2 0.20 %, lambda 1.012, 2700 rpm".
QString averageText(const QJsonObject& average);
// What the list adds after the attempt, "; " between: the ending when it is not "completed",
// the failing average ("interrupted after a failing average: ..." for an interrupted test),
// and the operator's declaration. Empty for a test with none of them.
QString testNotes(const RecordedTest& test);

QString testListHeader();
QString testListLine(const RecordedTest& test);

// One test as JSON: number, series, training, started, ended, registration, registrationKey,
// make, model, firstRegistration, fuel, emissionControl, typeApproval, operator, limitSet (the
// started line's), analyserSerial, verdict, verdictTitle, reason, attempt, durationMs, ending,
// failingAverage, declaration, trainingReasons (each null when the lines do not have it),
// phases (each: name, window, rpm, co, co2, hc, o2, lambda, verdict, reason), file, line,
// resultLine.
QJsonObject testJson(const RecordedTest& test);
// The same fields in the order the JSON array writes them (number first).
using TestField = std::pair<const char*, QJsonValue>;
// Without `withPhases`, "phases" is null (testJsonElement() writes them from the record).
QList<TestField> testFields(const RecordedTest& test, bool withPhases = true);
// As an element of an array written as it goes (jsonBegin() and jsonEnd() of LogExport.h
// around it): "\n{...}" for the first, ",\n{...}" after it.
QString testJsonElement(const RecordedTest& test, bool first);

// RFC 4180 as the examinations' CSV: a header, one line per test, CR LF. After file and line:
// ending, failingAverage (its JSON) and declaration (its text).
QString testCsvHeader();
QString testCsvRow(const RecordedTest& test);

// Every field of a test's lines, labelled, with the samples as tables, and its seal.
QString testShowText(const TestLookup& lookup, const LineSeal& seal);

// `pregledi tests [--json]`: exit status 0, or 1 when something in the archive could not be
// read (told on `err`).
int runTestsCommand(const QString& dir, ArchiveSeries series, const ExamFilter& filter, bool json,
                    QTextStream& out, QTextStream& err);
// `pregledi show-test N`: 0; 1 when the test is not in the archive (with where the series is
// broken, when it is), or its seal does not match.
int runShowTestCommand(const QString& dir, ArchiveSeries series, int number, QTextStream& out,
                       QTextStream& err);

} // namespace vz
