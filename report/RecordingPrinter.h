#pragma once
// A printer that keeps what is drawn instead of printing it: every text with its device
// position, font and weight. Tests of the report (and of the windows that open it) use it.
#include "PrinterService.h"

#include <QFont>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPointF>
#include <memory>

namespace vz {

struct RecordedText {
    QString text;
    QPointF baseline; // device pixels, after the painter's transform
    QFont font;       // as the painter resolved it for the device
};

class RecordingPaintEngine : public QPaintEngine {
public:
    RecordingPaintEngine();
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override;
    // Only texts are recorded. Qt's own fall-backs for polygons call each other for ever
    // on an engine that draws neither, so lines and shapes end here.
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath&) override {}
    Type type() const override { return QPaintEngine::User; }

    QList<RecordedText> texts;
};

// A page of the given width in pixels at the given resolution (A4 proportions).
class RecordingPaintDevice : public QPaintDevice {
public:
    explicit RecordingPaintDevice(int widthPx, int dpi = 600);
    ~RecordingPaintDevice() override;
    QPaintEngine* paintEngine() const override { return engine_.get(); }
    const QList<RecordedText>& texts() const { return engine_->texts; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int widthPx_;
    int dpi_;
    std::unique_ptr<RecordingPaintEngine> engine_;
};

class RecordingPrinterService : public PrinterService {
public:
    QStringList names;   // installed printers
    int pageWidthPx = 0; // the default printer's page width
    int dpi = 600;       // resolution of the recorded pages
    QString failure;     // when not empty, every job fails with this error
    QList<QList<RecordedText>> pages;
    int namesAsked = 0; // how many times the printer list was asked for

    QStringList printerNames() override {
        ++namesAsked;
        return names;
    }
    int defaultPageWidthPx() override { return pageWidthPx; }
    bool printPage(const std::function<void(QPainter&)>& draw, QString* error) override;
};

} // namespace vz
