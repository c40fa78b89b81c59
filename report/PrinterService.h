#pragma once
// The printing service the report needs: the installed printers, the default printer's
// page width, and a one-page print job on the default printer.
#include <QString>
#include <QStringList>
#include <functional>

class QPainter;

namespace vz {

class PrinterService {
public:
    virtual ~PrinterService() = default;
    // Display names of the installed printers, the default one first.
    virtual QStringList printerNames() = 0;
    // Printable width of the default printer's page in device pixels; 0 with no printer.
    virtual int defaultPageWidthPx() = 0;
    // Prints one page drawn by `draw`. False, with the reason in `error`, when there is no
    // printer or the job cannot be started or finished.
    virtual bool printPage(const std::function<void(QPainter&)>& draw, QString* error) = 0;
};

// The real printers, through Qt's print support.
class QtPrinterService : public PrinterService {
public:
    QStringList printerNames() override;
    int defaultPageWidthPx() override;
    bool printPage(const std::function<void(QPainter&)>& draw, QString* error) override;
};

} // namespace vz
