#include "cdplayer/ui/regions.h"

#include <algorithm>
#include <cmath>

namespace orvane::cdplayer::ui {

QRegion RoundRectRegion(int left, int top, int right, int bottom, int cornerW, int cornerH) {
    QRegion region;
    const int width = right - left;
    const int height = bottom - top;
    if (width <= 0 || height <= 0) return region;
    const double rx = std::min(cornerW, width) / 2.0;
    const double ry = std::min(cornerH, height) / 2.0;
    for (int y = top; y < bottom; ++y) {
        // Distance of the row's centre from the nearer horizontal edge, measured in the corner
        // ellipse; rows in the straight part are not cut at all.
        const double fromTop = y - top + 0.5;
        const double fromBottom = bottom - y - 0.5;
        const double d = std::min(fromTop, fromBottom);
        int inset = 0;
        if (ry > 0 && d < ry) {
            const double dy = (ry - d) / ry;
            const double dx = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
            inset = static_cast<int>(std::lround(rx - dx));
        }
        if (width - 2 * inset > 0) region += QRect(left + inset, y, width - 2 * inset, 1);
    }
    return region;
}

QRegion PlayerRegion1() { return RoundRectRegion(2, 2, 402, 202, 80, 80); }
QRegion PlayerRegion2() { return RoundRectRegion(2, 2, 402, 152, 15, 15); }
QRegion CompactRegion() { return RoundRectRegion(2, 2, 402, 132, 15, 15); }
QRegion FullRegion() { return PlayerRegion1().united(PlayerRegion2()); }

QRegion SlidePanelRegion() {
    return RoundRectRegion(2, 2, 400, 100, 80, 80).united(RoundRectRegion(2, 2, 400, 50, 15, 15));
}

}  // namespace orvane::cdplayer::ui
