#pragma once
// Text shortening of the ellipsis label: a text wider than its field is cut at its end (or in
// the middle of a path) and finished with "...".

#include <functional>
#include <string>

namespace orvane::controls {

constexpr unsigned kDtVCenter = 0x4;
constexpr unsigned kDtSingleLine = 0x20;
constexpr unsigned kDtNoPrefix = 0x800;
constexpr unsigned kDtPathEllipsis = 0x4000;
constexpr unsigned kDtEndEllipsis = 0x8000;
constexpr unsigned kEllipsisLabelFormat = kDtNoPrefix | kDtVCenter;  // 0x804, every use

// The drawing flags: the text format with the path or the end ellipsis.
unsigned EllipsisFlags(unsigned textFormat, bool pathStyle);

// Width of a text in pixels, as the drawing font measures it.
using MeasureText = std::function<int(const std::string&)>;

// The text as it is drawn in `width` pixels: unchanged when it fits; else the longest start
// that fits together with "..." (end style), or the start and the last path component around
// "..." (path style). Cuts fall between UTF-8 characters.
std::string Elide(const std::string& text, int width, bool pathStyle, const MeasureText& measure);

}  // namespace orvane::controls
