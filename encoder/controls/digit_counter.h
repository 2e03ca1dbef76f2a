#pragma once
// Arithmetic of the digit counter: which glyph cell each position shows, and where the control
// goes when it sizes itself to its digits.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/controls/geometry.h"

namespace orvane::controls {

constexpr int kDigitCells = 12;  // glyph strip: 0-9, blank (10), minus (11)
constexpr int kCellBlank = 10;
constexpr int kCellMinus = 11;
constexpr int kDigitMargin = 3;  // cells start 3 pixels in from the control's corner
constexpr int kAnchorKeepLeft = 4;
constexpr int kAnchorKeepTop = 8;

// Digit counts from 1 to 10 are accepted.
bool ValidDigitCount(int digits);

// The value formatted right-aligned in a field of `digits` characters, keeping only the last
// `digits` characters (a longer number shows its lowest-order digits).
std::string DigitText(std::int32_t value, int digits);

// The glyph cell of each position, left to right.
std::vector<int> DigitCells(std::int32_t value, int digits, bool leadingZeros);

// Size of the control for its digits: digits x cell + 6 wide, cell height + 6 high.
int CounterWidth(int digits, int cellWidth);
int CounterHeight(int cellHeight);

// The control's new rectangle (in its parent's coordinates) after sizing itself.
Rect ResizeCounter(const Rect& current, int digits, int cellWidth, int cellHeight, int anchor);

}  // namespace orvane::controls
