#pragma once
// The protocol of a two-speed test: one A4 page in Bulgarian, drawn by one routine on any
// paint device (a printer, a PDF, an image, a recording page in the tests).
//
// ProtocolData holds everything the page prints, already as text: the test window fills it
// from a finished test (protocolData() below), a reprint fills it from the archive's record.
// Numbers in it are written as the test compared them (TwoSpeedFormat.h: decimal commas,
// dd.mm.yyyy), so the paper and the verdict can never disagree.
//
// The page is laid out on a grid of 1200 units across the device's width (as the report page
// is) with A4 proportions; fonts are sized in points for a full A4 width and follow the
// device's width, so the same page comes out whole on a printer's smaller printable area, on
// a PDF and on a small preview. Should the texts ever need more height than the page has
// (many changed set-up values, long reasons), every font shrinks a little until they fit.
#include "TwoSpeedTest.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QPainter;

namespace vz {

class PrinterService;

// One quantity of a phase: the deciding average and its limit.
struct ProtocolValue {
    QString name;     // "CO", "CO₂", "HC", "O₂", "λ"
    QString unit;     // "%", "ppm"; empty for λ
    QString value;    // "0,05"; "—" when there is no average
    QString limit;    // "≤ 0,20", "0,970–1,030"; empty when shown for information only
    bool pass = true; // false: beyond its limit (✘, in red where the device has colour)
};

// One row of the phase table.
struct ProtocolPhase {
    QString name;   // "повишени обороти", "празен ход"
    QString window; // the speed window, "2500–3000"
    QString rpm;    // the deciding average's engine speed, "2710"; "—" when none
    QString oil;    // its oil temperature in °C, "91"; "—" when none
    QList<ProtocolValue> values;
    QString verdict; // "съответства", "не съответства", "невалидна", "прекратена", ...
    bool failed = false;
    QString reason; // why it failed, was void, aborted or interrupted
};

enum class ProtocolOutcome { Pass, Fail, Invalid };

inline const QString kProtocolTitle = QStringLiteral("ПРОТОКОЛ ЗА ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ");

struct ProtocolData {
    QString title = kProtocolTitle;
    QString stationLine;
    int number = 0;    // "Протокол № 45"
    int attempt = 1;   // "опит 3", printed when more than 1
    QString date;      // dd.mm.yyyy
    QString startTime; // hh:mm:ss
    QString endTime;   // empty when unknown

    QString registration;
    QString makeModel;
    QString firstRegistration; // dd.mm.yyyy, or a word when unknown
    QString fuel;              // "бензин", "пропан-бутан", "метан"
    QString emissionControl;   // emissionControlText()
    QString typeApproval;      // typeApprovalText(); empty (not printed) when unknown

    QString limitExplanation; // LimitSet::explanation
    QString limitSource;      // LimitSet::source
    QString rowInformation;   // the F1 row's values shown for information; empty when none

    QString analyserSerial;      // empty: not given in the set-up file
    QString verificationExpires; // dd.mm.yyyy; empty: not given

    QString oilAtStart;        // "92 °C" at the start of the phases; empty when not measured
    QString oilMinimum;        // "80 °C"
    bool oilConfirmed = false; // no oil temperature: the operator confirmed a warm engine

    QList<ProtocolPhase> phases;

    ProtocolOutcome outcome = ProtocolOutcome::Invalid;
    QString verdict;       // "СЪОТВЕТСТВА", "НЕ СЪОТВЕТСТВА", "НЕВАЛИДЕН"
    QString verdictReason; // the test's reason (what failed, why it is invalid)

    // How the test ended when it did not run to its end (protocolEndingText()), printed under
    // the verdict; empty for a test that ran to its end and for records that do not say.
    QString ending;
    // The valid failing average a test held when it ended early (failingAverageText()), printed
    // with the ending; empty when there is none.
    QString failingAverage;

    // The operator's declaration that the car has no catalyst or no lambda control, with its
    // reason ("Декларация на оператора: ‹text›"); empty when none was made.
    QString declaration;
    // Limits taken from the vehicle's row whose source limitSource does not already name, one
    // line each: "CO на празен ход ≤ 0,45 %: по таблица CarModel.DB, контролна сума 3f9a…".
    // The limit set of a finished test names the table in its source itself.
    QStringList limitSources;

    QString operatorName;
    bool training = false;
    QString trainingReason;       // the first reason; printed when trainingReasons is empty
    QStringList trainingReasons;  // every reason the test is training
    QStringList setupDifferences; // SetupDifference::text() of each value off its default

    QString seal;        // the record's seal: its first 16 hexadecimal digits
    QString sealTrouble; // when there is no seal: why ("без печат: ‹причина›")

    bool copy = false; // a reprint from the archive: the page carries "КОПИЕ / COPY"
    // The result line could not be written: the page is no protocol. It carries no number and
    // no seal, and kUnrecordedMark across its face and at its foot, with sealTrouble as the
    // reason the result was not written.
    bool unrecorded = false;
};

// What the page prints where there is no value.
inline const QString kNoValue = QStringLiteral("—");
// The mark of a page whose result is not in the archive.
inline const QString kUnrecordedMark = QStringLiteral("НЕЗАПИСАН РЕЗУЛТАТ – НЕ Е ПРОТОКОЛ");
// The source of a limit taken from the vehicle's row of the limits table.
inline const QString kTableSource = QStringLiteral("по таблица CarModel.DB");

// What the test window knows besides the test itself.
struct ProtocolContext {
    QString stationLine;
    QString operatorName;
    int number = 0;
    int attempt = 1;
    QDateTime started;
    QDateTime ended;
    QByteArray seal;     // the result line's chain value (ArchiveWrite::seal); empty when none
    QString sealTrouble; // why the result line has no seal (ArchiveWrite::sealTrouble or error)
    // The result line could not be written (ArchiveWrite::ok false): the page is marked as no
    // protocol, and sealTrouble says why.
    bool unrecorded = false;
};

// The protocol of a finished test.
ProtocolData protocolData(const twospeed::TwoSpeedTest& test, const ProtocolContext& context);

// The number as the page prints it after "Протокол № ": "12"; a training protocol, numbered in
// a series of its own, "О-12" (Cyrillic О).
QString protocolNumberText(int number, bool training);
// The page's name for a PDF's title: "Протокол № О-12", "Протокол № 12 (копие)", or the
// unrecorded mark.
QString protocolDocumentTitle(const ProtocolData& data);
// The line under the verdict for a test that did not run to its end, from the ending's record
// key: "aborted" -> "Изпитването е прекратено от оператора"; "interrupted" with a failing
// average -> "Изпитването е прекъснато след неуспешна средна стойност". Empty for "completed",
// an empty key and keys it does not know.
QString protocolEndingText(const QString& endingKey, bool withFailingAverage);
// A failing average in one line, after "Неуспешна средна стойност при ": "повишени обороти,
// 2710 min⁻¹: CO 0,50 % ✘, CO₂ 14,20 %, HC 60 ppm, O₂ 0,30 %, λ 1,010" (✘ after a value beyond
// its limit; `rpm` may be empty).
QString failingAverageText(const QString& phase, const QString& rpm, const QList<ProtocolValue>& values);

// Texts the builders share.
QString emissionControlText(twospeed::EmissionControl control); // "катализатор с ламбда регулиране"
QString typeApprovalText(twospeed::TypeApproval approval); // "Евро 3 или по-нов"; empty when unknown
ProtocolOutcome protocolOutcome(twospeed::Verdict verdict);
QString sealDigits(const QByteArray& seal); // the first 16 hexadecimal digits, lower case
// The F1 row's information values, "COmn 0,10 %, CO₂mx 16,0 %, HCmx 300 ppm, O₂mx 2,00 %".
QString rowInformationText(const SelectedVehicle& row);

// Draws the page on the painter's device, scaled to the device's width.
void drawProtocolPage(QPainter& painter, const ProtocolData& data);

// The page as the bytes of an A4 PDF; empty when the page could not be started.
QByteArray protocolPdf(const ProtocolData& data);

// The page as an A4 PDF. The file is written beside `path` under a temporary name, synced and
// renamed into place (mode 0640), so that `path` is either the old file or the whole new one.
bool writeProtocolPdf(const QString& path, const ProtocolData& data, QString* error);

// The page on the default printer.
bool printProtocol(PrinterService& printer, const ProtocolData& data, QString* error);

// "Protokol45.pdf"; a training protocol, numbered in a series of its own, "Obuchenie45.pdf".
QString protocolPdfFileName(int number, bool training);
// The page of a test whose result was not written, which has no number: named by the test's
// end, "Nezapisan-20261207-140731.pdf".
QString unrecordedPdfFileName(const QDateTime& ended);

} // namespace vz
