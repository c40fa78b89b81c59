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

    QString operatorName;
    bool training = false;
    QString trainingReason;
    QStringList setupDifferences; // SetupDifference::text() of each value off its default

    QString seal;        // the record's seal: its first 16 hexadecimal digits
    QString sealTrouble; // when there is no seal: why ("без печат: ‹причина›")

    bool copy = false; // a reprint from the archive: the page carries "КОПИЕ / COPY"
};

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
};

// The protocol of a finished test.
ProtocolData protocolData(const twospeed::TwoSpeedTest& test, const ProtocolContext& context);

// Texts the builders share.
QString emissionControlText(twospeed::EmissionControl control); // "катализатор с ламбда регулиране"
QString typeApprovalText(twospeed::TypeApproval approval); // "Евро 3 или по-нов"; empty when unknown
ProtocolOutcome protocolOutcome(twospeed::Verdict verdict);
QString sealDigits(const QByteArray& seal); // the first 16 hexadecimal digits, lower case
// The F1 row's information values, "COmn 0,10 %, CO₂mx 16,0 %, HCmx 300 ppm, O₂mx 2,00 %".
QString rowInformationText(const SelectedVehicle& row);

// Draws the page on the painter's device, scaled to the device's width.
void drawProtocolPage(QPainter& painter, const ProtocolData& data);

// The page as an A4 PDF. The file is written beside `path` under a temporary name, synced and
// renamed into place (mode 0640), so that `path` is either the old file or the whole new one.
bool writeProtocolPdf(const QString& path, const ProtocolData& data, QString* error);

// The page on the default printer.
bool printProtocol(PrinterService& printer, const ProtocolData& data, QString* error);

// "Protokol45.pdf"; a training protocol, numbered in a series of its own, "Obuchenie45.pdf".
QString protocolPdfFileName(int number, bool training);

} // namespace vz
