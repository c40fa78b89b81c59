#include "TrailStart.h"

#include "Cp1251.h"
#include "Diagnostics.h"
#include "ExamRecord.h"
#include "ExamTrail.h"
#include "MessageBox.h"
#include "PrinterService.h"
#include "ProtocolArchive.h"
#include "Registration.h"
#include "ReportPage.h"
#include "ReportState.h"
#include "TrailRecovery.h"
#include "TwoSpeedRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>

namespace vz {

bool StationTrail::lock(const QString& dir, QString* refusal) {
    dir_ = dir;
    switch (lock_.acquire(dir)) {
    case TrailLock::Outcome::Held:
        return true;
    case TrailLock::Outcome::Unusable:
        qCWarning(lcLog, "the station directory cannot be locked against a second station: %s",
                  qUtf8Printable(lock_.error()));
        return true;
    case TrailLock::Outcome::Busy:
        break;
    }
    if (refusal)
        *refusal = QStringLiteral("В тази папка вече работи друга станция (%1).\n"
                                  "Две станции не могат да водят един и същ дневник на прегледите.\n\n"
                                  "Another station is already running in this directory (%1).")
                       .arg(lock_.holder());
    qCWarning(lcLog, "another station holds %s: %s", kLockFileName, qUtf8Printable(lock_.holder()));
    return false;
}

void StationTrail::recover(QWidget* parent, PrinterService& printer, const ReportState& state,
                           const std::function<void()>& beforePrinting) {
    const TrailInspection found = inspectTrail(dir_);
    const RecoveryPlan plan = decideRecovery(found);
    for (const QString& note : plan.notes)
        qCWarning(lcLog, "%s", qUtf8Printable(note));
    if (plan.repairs()) {
        const RecoveryResult result = applyRecovery(found, plan);
        for (const QString& line : result.done)
            qCWarning(lcLog, "repaired at start: %s", qUtf8Printable(line));
        for (const QString& line : result.failed)
            qCWarning(lcLog, "not repaired at start: %s", qUtf8Printable(line));
        showMessage(parent, QCoreApplication::applicationName(), recoveryOperatorText(plan, result),
                    MsgIcon::Warning);
    }
    // A two-speed test the station never finished is recorded as interrupted, with what its
    // lines hold.
    ProtocolArchive archive(dir_);
    for (const ArchiveSeries series : {ArchiveSeries::Official, ArchiveSeries::Training}) {
        // The last test begun is the latest attempt of its registration that day (a training test
        // counts none: interruptedResult gives it 0).
        const auto complete = [&archive](const QJsonObject& started, const QList<QJsonObject>& samples) {
            const QString registration = started.value(QStringLiteral("registration")).toString();
            const QDate day =
                QDateTime::fromString(started.value(QStringLiteral("time")).toString(), Qt::ISODate).date();
            std::optional<int> attempt;
            if (!started.value(QStringLiteral("training")).toBool() && day.isValid())
                attempt = archive.attempts(
                    registration, day, [](const QString& r) { return twospeed::normaliseRegistration(r); });
            return twospeed::interruptedResult(started, samples, twospeed::kStoppedDuringTest, {}, attempt);
        };
        for (const int number : archive.recordInterrupted(series, complete))
            qCWarning(lcLog, "two-speed test %d (%s) was interrupted by the station's stop; recorded as such",
                      number, series == ArchiveSeries::Official ? "official" : "training");
    }
    if (plan.pendingPrint > 0) {
        qCWarning(lcLog, "examination %d was logged but its printing never finished", plan.pendingPrint);
        const MsgAnswer answer =
            showMessage(parent, QCoreApplication::applicationName(),
                        QStringLiteral("Преглед %1 е записан в дневника, но отпечатването му не завърши "
                                       "(програмата беше спряна).\nДа се отпечата ли копие на протокола?")
                            .arg(plan.pendingPrint),
                        MsgIcon::Question, MsgButtons::YesNo);
        QString error;
        if (answer == MsgAnswer::Yes && beforePrinting)
            beforePrinting();
        if (answer == MsgAnswer::Yes &&
            !printExamCopy(parent, printer, state, dir_, plan.pendingPrint, &error))
            showMessage(parent, QCoreApplication::applicationName(), error, MsgIcon::Error);
        if (!clearPrinting(dir_, &error))
            qCWarning(lcLog, "%s", qUtf8Printable(error));
    }
}

bool printExamCopy(QWidget* parent, PrinterService& printer, const ReportState& state, const QString& dir,
                   int number, QString* error) {
    const std::optional<QByteArray> record = readLoggedRecord(dir, number, error);
    if (!record)
        return false;
    const std::optional<ReportFields> fields = parseExamRecordText(fromCp1251(*record));
    if (!fields) {
        if (error)
            *error = QStringLiteral(
                         "Examination %1 does not follow the record layout; it cannot be printed again.")
                         .arg(number);
        return false;
    }
    // The operator and the lambda factor were never logged: they stay empty on the copy.
    const int scale = state.PrintScale;
    const QString station = state.StationLine;
    QString printError;
    if (printer.printPage(
            [&](QPainter& painter) {
                drawReportPage(painter, *fields, number, station, scale);
                drawReportCopyMark(painter, scale);
            },
            &printError)) {
        qCInfo(lcLog, "copy of examination %d printed", number);
        return true;
    }
    const QString fileName = QStringLiteral("Pregled%1-copy.pdf").arg(number);
    const MsgAnswer answer = showMessage(
        parent, QStringLiteral("Printer Error"),
        QStringLiteral("%1\r\nSave the copy as %2 in the station directory?").arg(printError, fileName),
        MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes)
        return true;
    return writeReportCopyPdf(stationPath(dir, fileName), *fields, number, station, error);
}

} // namespace vz
