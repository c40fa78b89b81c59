#include "LayoutMetrics.h"

namespace vz {

LayoutMetrics layoutMetrics(int W, int H) {
    LayoutMetrics M;
    M.W = W;
    M.H = H;
    M.d = W / 21;
    M.e = M.d / 2;
    M.U = W / 12;
    M.b = W / 6 + 8;
    M.A = H - M.U - 40;
    M.Q = (W - 4) / 24;
    M.setChartSize(M.wantedChartWidth(), M.wantedChartHeight());
    return M;
}

} // namespace vz
