#pragma once
// Chart1: four tubes (CO, CO2, HC, O2) on a fixed 0..600 value axis. Series1 is the reading
// of each point, drawn as a coloured cylinder 55 % of its slot wide; Series2 ("Gases") is the
// clear remainder up to 600, so each bar looks like a tube filled up to its reading. The
// scale labels and limit markers are child labels of the chart. The geometry is a pure
// function so that paintEvent only draws what it returns.
#include <QColor>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <array>

class QPainter;

struct TubeGeometry {
    QRect tube;    // the whole cylinder body, 0..600
    int fillTop;   // y of the reading's level (may lie above the tube for values over 600)
    int ellipseH;  // height of the cylinder's end ellipses (the 3-D depth)
    QColor colour; // Series1 colour of the point
};

// Tubes for a chart of c × ch pixels with Series1 values `values`.
std::array<TubeGeometry, 4> chartTubes(int c, int ch, const std::array<int, 4>& values);

// The parts of a c × ch chart that differ between the values `before` and `after`: for each
// tube whose value changed, the band between its two levels with the end ellipses and
// outlines. Repainting only these gives the picture a full repaint would, at any device-pixel
// ratio, with the region rounded to device pixels as the window's backing store does.
QRegion changedChartRegion(int c, int ch, const std::array<int, 4>& before, const std::array<int, 4>& after);

// Draws the chart's frame and tubes (not its background) for a c × ch chart: all of it, or
// with `dirty` only the parts that reach that region (the painter is clipped to it). The
// picture of a tube's body has no seams at any device-pixel ratio, and drawing it starts no
// threads.
void paintChart(QPainter& p, int c, int ch, const std::array<int, 4>& values, const QRegion& dirty = {});

class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent);
    // Series1 point i := value; Series2 point i := 600 − value.
    void setSeries1(const std::array<int, 4>& values);
    const std::array<int, 4>& series1() const { return FSeries1; }
    std::array<int, 4> series2() const;
    static constexpr std::array<QRgb, 4> kPointColours = {0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF};

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::array<int, 4> FSeries1{};
};
