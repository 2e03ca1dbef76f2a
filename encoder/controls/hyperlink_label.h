#pragma once
// The hyperlink label's rules without a window: its colours, how it shrinks around its text,
// and the message for a target that cannot be opened.

#include <string>

#include "encoder/controls/geometry.h"

namespace orvane::controls {

constexpr Rgb kLinkColour{0, 0, 250};
constexpr Rgb kVisitedColour{85, 26, 139};

// Static control styles the fitting looks at.
constexpr unsigned kSsCenter = 0x1;
constexpr unsigned kSsRight = 0x2;
constexpr unsigned kSsCenterImage = 0x200;

// The text colour: the hover colour while the pointer is over the label, else the visited
// colour once the target was opened, else the link colour.
Rgb HyperlinkColour(bool hovering, bool visited, Rgb hover);

// The label's rectangle shrunk to a text of the given size: vertically centred with
// kSsCenterImage, else kept at the top; horizontally centred with kSsCenter, kept at the right
// edge with kSsRight, else kept at the left edge.
Rect FitToText(Rect rect, int textWidth, int textHeight, unsigned style);

// "Unable to open hyperlink:\n\n" and the description of an opening failure code.
std::string HyperlinkErrorText(int code);

// What a click opens: the target, or the label's own text when no target was set.
inline std::string EffectiveTarget(const std::string& target, const std::string& text) {
    return target.empty() ? text : target;
}

}  // namespace orvane::controls
