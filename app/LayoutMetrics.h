#pragma once
// The main window's layout quantities. The window has no fixed layout: every position and
// size follows from its width, with the height kept at three quarters of it. These are the
// integer formulas RestWin places the controls with; "div" is C++ integer division, which
// truncates toward zero as the layout expects (limit markers can give negative values).
#include <algorithm>

namespace vz {

// The window keeps a 4:3 aspect: height := (width div 4) × 3.
constexpr int snappedHeight(int width) {
    return (width / 4) * 3;
}

// The 4:3 area the controls are laid out in, inside a window of clientW × clientH: the widest
// W whose snapped height fits, min(clientW, (clientH div 3) × 4 + 3), with H := (W div 4) × 3,
// centred. A window at its snapped size is its own area; a maximized, full-screen or tiled
// window of another shape gets margins left and right or above and below.
struct Stage {
    int x = 0; // left margin: (clientW − W) div 2
    int y = 0; // top margin: (clientH − H) div 2
    int W = 0;
    int H = 0;
};
constexpr Stage stageIn(int clientW, int clientH) {
    const int W = std::max(0, std::min(clientW, (clientH / 3) * 4 + 3));
    const int H = snappedHeight(W);
    return {(clientW - W) / 2, (clientH - H) / 2, W, H};
}

struct LayoutMetrics {
    int W = 0;  // width of the 4:3 area: the window's, when the window is 4:3
    int H = 0;  // height of the area (the 4:3 snap of W)
    int d = 0;  // big font size in points: W div 21
    int e = 0;  // d div 2
    int U = 0;  // W div 12
    int b = 0;  // width of the right-hand column: W div 6 + 8
    int A = 0;  // top of the readings row in chart view: H − U − 40
    int c = 0;  // chart width (as the chart reports it)
    int ch = 0; // chart height (as the chart reports it)
    int m = 0;  // left edge of the right-hand column: c + c div 70
    int Q = 0;  // grid step of the numbers view: (W − 4) div 24

    // Chart size the layout asks for: height A − U, width W − (b div 5 + b).
    int wantedChartWidth() const { return W - (b / 5 + b); }
    int wantedChartHeight() const { return H - 2 * U - 40; }
    // Takes the chart's actual size and derives m from it.
    void setChartSize(int chartWidth, int chartHeight) {
        c = chartWidth;
        ch = chartHeight;
        m = c + c / 70;
    }
};

// All quantities for a window of W × H, with the chart at the size the layout asks for.
LayoutMetrics layoutMetrics(int W, int H);

// Top of the k-th scale label of a scale divided into n steps on a chart ch high, centred
// on its mark for a label font of e: (ch × k) div n − e.
constexpr int scaleLabelTop(int ch, int k, int n, int e) {
    return (ch * k) / n - e;
}

// Top of a limit marker at `value` on a scale of n units over the chart's height:
// ch − (value × ch) div n − e. Values outside the scale land outside the chart.
constexpr int limitMarkerTop(int value, int n, int ch, int e) {
    return ch - (value * ch) / n - e;
}

} // namespace vz
