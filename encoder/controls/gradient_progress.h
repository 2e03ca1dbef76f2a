#pragma once
// Arithmetic of the gradient progress bar: the colour bands across the control, how far the
// filled part reaches and the percentage text.

#include <string>
#include <vector>

#include "encoder/controls/geometry.h"

namespace orvane::controls {

struct GradientBand {
    int left = 0;   // x of the band's left edge
    int right = 0;  // x of its right edge (exclusive)
    Rgb color;
    bool operator==(const GradientBand&) const = default;
};

struct GradientPlan {
    bool inRange = false;  // false: only the button-face colour, no text
    std::vector<GradientBand> bands;
    int backgroundFrom = -1;  // x from which the background colour fills to the right; -1 none
    std::string text;         // percentage text when shown, else empty
};

// Number of bands: the largest difference of one colour component (0 to 255).
int GradientSteps(Rgb start, Rgb end);

// Width of the filled part: position / maximum x width, truncated. A maximum of 0 or below
// fills nothing (there is no share of an empty range to show).
int FilledWidth(int position, int maximum, int width);

// "%.0f%%" of position x 100 / maximum ("0%" for a maximum of 0 or below).
std::string PercentText(int position, int maximum);

// Everything one paint of a bar `width` pixels wide draws.
GradientPlan PlanGradient(int minimum, int maximum, int position, int width, Rgb start, Rgb end,
                          bool showText);

}  // namespace orvane::controls
