#pragma once
// The live engine-speed gauge of the two-speed test: a horizontal scale from 0 with the
// phase's speed window marked on it and a needle at the current speed, green inside the
// window and red outside it.
#include <QWidget>
#include <optional>

namespace vz {

class SpeedGauge : public QWidget {
    Q_OBJECT
public:
    explicit SpeedGauge(QWidget* parent = nullptr);

    void setWindow(int min, int max);
    void setRpm(std::optional<int> rpm);
    int windowMin() const { return min_; }
    int windowMax() const { return max_; }
    std::optional<int> rpm() const { return rpm_; }
    bool inWindow() const { return rpm_ && *rpm_ >= min_ && *rpm_ <= max_; }
    // The end of the scale: a round figure well above the window.
    int scaleMax() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int min_ = 0;
    int max_ = 0;
    std::optional<int> rpm_;
};

} // namespace vz
