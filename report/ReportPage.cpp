#include "ReportPage.h"

#include "Diagnostics.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace vz {
namespace {

struct PageText {
    int x;
    int y;
    int points;
    bool bold;
    QString text;
};

// Draws a text with its top-left corner at the given layout position.
void PrintAt(QPainter& painter, int printScale, const PageText& item) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(item.points);
    font.setBold(item.bold);
    painter.setFont(font);
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.drawText(QPointF(item.x * printScale, item.y * printScale + metrics.ascent()), item.text);
}

} // namespace

void drawReportPage(QPainter& painter, const ReportFields& f, int examNumber, const QString& stationLine,
                    int printScale) {
    const PageText page[] = {
        {360, 80, 20, false, QStringLiteral("ДИАГНОСТИЧЕН  ЛИСТ")},
        {110, 150, 20, true, stationLine},
        {110, 310, 20, false, QStringLiteral("Преглед №")},
        {410, 310, 20, true, QString::number(examNumber)},
        {110, 460, 18, false, QStringLiteral("Автомобил")},
        {610, 460, 18, true, f.makeModel},
        {110, 510, 18, false, QStringLiteral("Година на производство")},
        {610, 510, 18, true, f.year},
        {110, 560, 18, false, QStringLiteral("Регистрационен №")},
        {610, 560, 18, true, f.regNumber},
        {110, 610, 18, false, QStringLiteral("Собственик")},
        {610, 610, 18, true, f.owner},
        {110, 720, 20, true, QStringLiteral("ГАЗОВЕ")},
        {110, 820, 18, false, QStringLiteral("CO")},
        {610, 820, 18, true, f.co + QStringLiteral(" %")},
        {110, 870, 18, false, QStringLiteral("CO")},
        {610, 870, 18, true, f.co2 + QStringLiteral(" %")},
        {160, 900, 10, false, QStringLiteral("2")},
        {110, 920, 18, false, QStringLiteral("HC")},
        {610, 920, 18, true, f.hc + QStringLiteral(" ppm")},
        {110, 970, 18, false, QStringLiteral("O")},
        {610, 970, 18, true, f.o2 + QStringLiteral(" %")},
        {135, 1000, 10, false, QStringLiteral("2")},
        {110, 1020, 18, false, QStringLiteral("Lambda Factor")},
        {610, 1020, 18, true, f.lambda},
        {110, 1110, 18, false, QStringLiteral("Температура двигател")},
        {610, 1110, 18, true, f.oilTemp + QStringLiteral("°C")},
        {110, 1160, 18, false, QStringLiteral("Обороти / мин.")},
        {610, 1160, 18, true, f.rpm},
        {110, 1210, 14, false, QStringLiteral("Дата: ") + f.date},
        {610, 1210, 14, false, QStringLiteral("Час: ") + f.time},
        {110, 1300, 18, false, QStringLiteral("Извършил прегледа:     /") + f.operatorName + u'/'},
    };
    painter.save();
    painter.setPen(Qt::black);
    for (const PageText& item : page)
        PrintAt(painter, printScale, item);
    painter.restore();
}

void drawReportCopyMark(QPainter& painter, int printScale) {
    painter.save();
    painter.setPen(Qt::black);
    PrintAt(painter, printScale, {110, 1400, 20, true, QStringLiteral("КОПИЕ / COPY")});
    PrintAt(painter, printScale,
            {110, 1450, 12, false, QStringLiteral("от дневника на прегледите / from the examination log")});
    painter.restore();
}

QString reportPdfFileName(int examNumber) {
    return QStringLiteral("Pregled%1.pdf").arg(examNumber);
}

namespace {

bool writePdf(const QString& path, const ReportFields& fields, int examNumber, const QString& stationLine,
              bool copy, QString* error) {
    const QByteArray name = QFileInfo(path).fileName().toUtf8();
    auto failed = [&](const QString& why) {
        qCWarning(lcFiles, "write %s failed: %s", name.constData(), qUtf8Printable(why));
        if (error)
            *error = QStringLiteral("%1: the file could not be written").arg(path);
        return false;
    };
    // The file is opened here rather than by the writer, so that its errors can be told.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failed(file.errorString());
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setTitle(copy ? QStringLiteral("Преглед № %1 (копие)").arg(examNumber)
                         : QStringLiteral("Преглед № %1").arg(examNumber));
    QPainter painter;
    if (!painter.begin(&writer))
        return failed(QStringLiteral("the page could not be started"));
    const int scale = std::max(1, writer.width() / 1200);
    drawReportPage(painter, fields, examNumber, stationLine, scale);
    if (copy)
        drawReportCopyMark(painter, scale);
    if (!painter.end())
        return failed(QStringLiteral("the page could not be finished"));
    // The writer never reported the file's own write errors; the line at least tells them.
    file.close();
    if (file.error() != QFileDevice::NoError)
        qCWarning(lcFiles, "write %s failed: %s", name.constData(), qUtf8Printable(file.errorString()));
    else
        qCInfo(lcFiles, "wrote %s", name.constData());
    return true;
}

} // namespace

bool writeReportPdf(const QString& path, const ReportFields& fields, int examNumber,
                    const QString& stationLine, QString* error) {
    return writePdf(path, fields, examNumber, stationLine, false, error);
}

bool writeReportCopyPdf(const QString& path, const ReportFields& fields, int examNumber,
                        const QString& stationLine, QString* error) {
    return writePdf(path, fields, examNumber, stationLine, true, error);
}

} // namespace vz
