#pragma once
// The examination trail when the station starts: the directory lock that keeps a second
// station out, the repair of whatever a crash left (told to the operator once), and the
// copy of an examination whose printing never finished.
#include "TrailLock.h"

#include <QString>
#include <functional>

class QWidget;

namespace vz {

class PrinterService;
struct ReportState;

class StationTrail {
public:
    // Takes the lock of the station directory `dir`. False when another station holds it;
    // `refusal` then says which, for the operator. A lock that cannot be made (a read-only
    // directory) is told in the diagnostics and does not stop the station.
    bool lock(const QString& dir, QString* refusal);

    // Repairs what a crash left and tells the operator, once; offers the copy of an
    // examination whose printing never finished. Shown over `parent`. `beforePrinting`, when
    // given, runs before the copy is printed (it settles the print scale of a station that
    // has not asked its printers yet).
    void recover(QWidget* parent, PrinterService& printer, const ReportState& state,
                 const std::function<void()>& beforePrinting = {});

private:
    QString dir_ = QStringLiteral(".");
    TrailLock lock_;
};

// Prints the page of logged examination `number` again, marked as a copy, or when there is
// no printer offers it as a PDF file. False (with `error`) when its record cannot be read.
bool printExamCopy(QWidget* parent, PrinterService& printer, const ReportState& state, const QString& dir,
                   int number, QString* error);

} // namespace vz
