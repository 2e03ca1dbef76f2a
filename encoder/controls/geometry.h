#pragma once
// Plain rectangles and colours for the custom controls' arithmetic (no windowing code).

#include <cstdint>

namespace orvane::controls {

// A rectangle with exclusive right and bottom edges, as the window system counts them.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};

// A colour from its 0x00BBGGRR value, and back.
Rgb FromColorRef(std::uint32_t ref);
std::uint32_t ToColorRef(Rgb c);

}  // namespace orvane::controls
