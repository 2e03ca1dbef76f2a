#include "encoder/controls/gradient_progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace orvane::controls {

int GradientSteps(Rgb start, Rgb end) {
    return std::max(
        {std::abs(end.r - start.r), std::abs(end.g - start.g), std::abs(end.b - start.b)});
}

int FilledWidth(int position, int maximum, int width) {
    if (maximum <= 0) return 0;
    return static_cast<int>(static_cast<double>(position) / maximum * width);
}

std::string PercentText(int position, int maximum) {
    const double percent = maximum <= 0 ? 0.0 : static_cast<double>(position) * 100.0 / maximum;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f%%", percent);
    return buffer;
}

GradientPlan PlanGradient(int minimum, int maximum, int position, int width, Rgb start, Rgb end,
                          bool showText) {
    GradientPlan plan;
    if (position < minimum || position > maximum) return plan;
    plan.inRange = true;
    if (showText) plan.text = PercentText(position, maximum);
    const int filled = FilledWidth(position, maximum, width);
    const int steps = GradientSteps(start, end);
    if (steps == 0) {
        // Equal colours: no band exists, so the filled part is one plain start-coloured area.
        if (filled > 0) plan.bands.push_back({0, std::min(filled, width), start});
        plan.backgroundFrom = std::clamp(filled, 0, width);
        return plan;
    }
    const double bandWidth = static_cast<double>(width) / steps;
    const double dr = static_cast<double>(end.r - start.r) / steps;
    const double dg = static_cast<double>(end.g - start.g) / steps;
    const double db = static_cast<double>(end.b - start.b) / steps;
    for (int v = 0; v < steps; ++v) {
        GradientBand band;
        band.left = static_cast<int>(v * bandWidth);
        band.right = static_cast<int>((v + 1) * bandWidth);
        band.color = {static_cast<int>(start.r + v * dr), static_cast<int>(start.g + v * dg),
                      static_cast<int>(start.b + v * db)};
        plan.bands.push_back(band);
        if (filled < band.right) {
            plan.backgroundFrom = band.right;
            break;
        }
    }
    return plan;
}

}  // namespace orvane::controls
