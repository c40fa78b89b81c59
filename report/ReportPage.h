#pragma once
// The printed diagnostic report: one page of 32 texts drawn on any paint device.
#include "ExamRecord.h"

#include <QString>

class QPainter;

namespace vz {

// Draws the page. Positions are layout units; each text's top-left corner goes to
// (X x printScale, Y x printScale) device pixels. Font "Arial" (any face that covers
// Cyrillic stands in for it), sizes in points, bold or normal.
void drawReportPage(QPainter& painter, const ReportFields& fields, int examNumber, const QString& stationLine,
                    int printScale);

// The page as a PDF file (A4), with the scale worked out from the PDF's own page width
// as it is for a printer. Used when the report cannot be printed.
bool writeReportPdf(const QString& path, const ReportFields& fields, int examNumber,
                    const QString& stationLine, QString* error);

// The mark that tells a page drawn again from the log (by the log tool) from the page
// printed at the examination; the printed page never carries it.
void drawReportCopyMark(QPainter& painter, int printScale);

// writeReportPdf() for such a copy: the same page, with the copy mark under it.
bool writeReportCopyPdf(const QString& path, const ReportFields& fields, int examNumber,
                        const QString& stationLine, QString* error);

// "Pregled<number>.pdf"
QString reportPdfFileName(int examNumber);

} // namespace vz
