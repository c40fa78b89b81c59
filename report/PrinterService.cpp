#include "PrinterService.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace vz {
namespace {

// The default printer, or the first one when none is marked as default.
QPrinterInfo chosenPrinter() {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
        if (!all.isEmpty())
            info = all.first();
    }
    return info;
}

} // namespace

QStringList QtPrinterService::printerNames() {
    QStringList names;
    const QPrinterInfo chosen = chosenPrinter();
    if (!chosen.isNull())
        names.append(chosen.printerName());
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
        if (info.printerName() != chosen.printerName())
            names.append(info.printerName());
    }
    return names;
}

int QtPrinterService::defaultPageWidthPx() {
    const QPrinterInfo info = chosenPrinter();
    if (info.isNull())
        return 0;
    QPrinter printer(info, QPrinter::HighResolution);
    return printer.width();
}

bool QtPrinterService::printPage(const std::function<void(QPainter&)>& draw, QString* error) {
    const QPrinterInfo info = chosenPrinter();
    if (info.isNull()) {
        if (error)
            *error = QStringLiteral("There is no printer installed.");
        return false;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Official Test"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("The print job could not be started on %1.").arg(info.printerName());
        return false;
    }
    draw(painter);
    if (!painter.end()) {
        if (error)
            *error = QStringLiteral("The print job on %1 could not be finished.").arg(info.printerName());
        return false;
    }
    return true;
}

} // namespace vz
