// The protocol page on its way out: its file names, the PDF, the printer.
#include "ProtocolPage.h"

#include "Diagnostics.h"
#include "PrinterService.h"
#include "StationFile.h"
#include "TwoSpeedFormat.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRawFont>
#include <algorithm>
#include <cmath>

namespace vz {

using namespace twospeed;

QString protocolPdfFileName(int number, bool training) {
    return (training ? QStringLiteral("Obuchenie%1.pdf") : QStringLiteral("Protokol%1.pdf")).arg(number);
}

QString unrecordedPdfFileName(const QDateTime& ended) {
    return QStringLiteral("Nezapisan-%1.pdf").arg(ended.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString protocolDocumentTitle(const ProtocolData& data) {
    if (data.unrecorded)
        return kUnrecordedMark;
    return QStringLiteral("Протокол № ") + protocolNumberText(data.number, data.training) +
           (data.copy ? QStringLiteral(" (копие)") : QString());
}

QByteArray protocolPdf(const ProtocolData& data) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    // The whole sheet is the page: the layout keeps its own margins.
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer.setTitle(protocolDocumentTitle(data));
    QPainter painter;
    if (!painter.begin(&writer))
        return {};
    drawProtocolPage(painter, data);
    painter.end();
    return bytes;
}

bool writeProtocolPdf(const QString& path, const ProtocolData& data, QString* error) {
    const QByteArray name = QFileInfo(path).fileName().toUtf8();
    const QByteArray bytes = protocolPdf(data);
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: the page could not be started").arg(path);
        qCWarning(lcFiles, "write %s failed: the page could not be started", name.constData());
        return false;
    }
    QString why;
    if (!writeFileAtomically(path, bytes, kTrailFileMode, true, &why)) {
        qCWarning(lcFiles, "write %s failed: %s", name.constData(), qUtf8Printable(why));
        if (error)
            *error = why;
        return false;
    }
    qCInfo(lcFiles, "wrote %s", name.constData());
    return true;
}

bool printProtocol(PrinterService& printer, const ProtocolData& data, QString* error) {
    return printer.printPage([&data](QPainter& painter) { drawProtocolPage(painter, data); }, error);
}

} // namespace vz
