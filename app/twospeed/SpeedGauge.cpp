#include "SpeedGauge.h"

#include <QPainter>
#include <algorithm>

namespace vz {

namespace {
constexpr int kScaleStep = 500;
constexpr int kMargin = 8;
} // namespace

SpeedGauge::SpeedGauge(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void SpeedGauge::setWindow(int min, int max) {
    if (min == min_ && max == max_)
        return;
    min_ = min;
    max_ = max;
    update();
}

void SpeedGauge::setRpm(std::optional<int> rpm) {
    if (rpm == rpm_)
        return;
    rpm_ = rpm;
    update();
}

int SpeedGauge::scaleMax() const {
    // Half as much again as the window's top, rounded up to a step, and at least 2000.
    const int top = std::max(2000, max_ + max_ / 2);
    return (top + kScaleStep - 1) / kScaleStep * kScaleStep;
}

QSize SpeedGauge::sizeHint() const {
    return {480, 56};
}

void SpeedGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(kMargin, kMargin, width() - 2 * kMargin, height() / 2.0 - kMargin);
    const double scale = scaleMax();
    const auto x = [&](double rpm) { return bar.left() + bar.width() * std::clamp(rpm / scale, 0.0, 1.0); };

    p.fillRect(bar, palette().color(QPalette::Base));
    p.fillRect(QRectF(QPointF(x(min_), bar.top()), QPointF(x(max_), bar.bottom())), QColor(0x9c, 0xe0, 0x9c));
    p.setPen(palette().color(QPalette::Text));
    p.drawRect(bar);

    // Ticks every 500 min-1, labelled every 1000.
    const QFontMetrics fm(font());
    for (int rpm = 0; rpm <= scaleMax(); rpm += kScaleStep) {
        const double tx = x(rpm);
        p.drawLine(QPointF(tx, bar.bottom()), QPointF(tx, bar.bottom() + (rpm % 1000 == 0 ? 6 : 3)));
        if (rpm % 1000 == 0) {
            const QString label = QString::number(rpm);
            p.drawText(QPointF(tx - fm.horizontalAdvance(label) / 2.0, bar.bottom() + 6 + fm.ascent()),
                       label);
        }
    }
    if (rpm_) {
        const double nx = x(*rpm_);
        p.setPen(QPen(inWindow() ? QColor(0, 0x80, 0) : QColor(0xd0, 0, 0), 4));
        p.drawLine(QPointF(nx, bar.top() - 4), QPointF(nx, bar.bottom() + 4));
    }
}

} // namespace vz
