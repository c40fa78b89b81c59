#include "RecordingPrinter.h"

#include <QPainter>

namespace vz {

RecordingPaintEngine::RecordingPaintEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

void RecordingPaintEngine::drawTextItem(const QPointF& p, const QTextItem& textItem) {
    texts.append({textItem.text(), painter()->transform().map(p), textItem.font()});
}

RecordingPaintDevice::RecordingPaintDevice(int widthPx, int dpi)
    : widthPx_(widthPx), dpi_(dpi), engine_(std::make_unique<RecordingPaintEngine>()) {}

RecordingPaintDevice::~RecordingPaintDevice() = default;

int RecordingPaintDevice::metric(PaintDeviceMetric metric) const {
    const int heightPx = widthPx_ * 297 / 210;
    switch (metric) {
    case PdmWidth:
        return widthPx_;
    case PdmHeight:
        return heightPx;
    case PdmWidthMM:
        return widthPx_ * 254 / (dpi_ * 10);
    case PdmHeightMM:
        return heightPx * 254 / (dpi_ * 10);
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return dpi_;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

bool RecordingPrinterService::printPage(const std::function<void(QPainter&)>& draw, QString* error) {
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return false;
    }
    RecordingPaintDevice device(pageWidthPx > 0 ? pageWidthPx : 1200, dpi);
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("The recording page could not be started.");
        return false;
    }
    draw(painter);
    painter.end();
    pages.append(device.texts());
    return true;
}

} // namespace vz
