#include "encoder/controls/digit_counter.h"

#include <cstdio>

namespace orvane::controls {

bool ValidDigitCount(int digits) { return digits >= 1 && digits <= 10; }

std::string DigitText(std::int32_t value, int digits) {
    if (!ValidDigitCount(digits)) return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*d", digits, static_cast<int>(value));
    std::string text(buffer);
    if (static_cast<int>(text.size()) > digits) text.erase(0, text.size() - digits);
    return text;
}

std::vector<int> DigitCells(std::int32_t value, int digits, bool leadingZeros) {
    std::vector<int> cells;
    for (char c : DigitText(value, digits)) {
        if (c >= '0' && c <= '9') {
            cells.push_back(c - '0');
        } else if (c == '-') {
            cells.push_back(kCellMinus);
        } else {
            cells.push_back(leadingZeros && value >= 0 ? 0 : kCellBlank);
        }
    }
    return cells;
}

int CounterWidth(int digits, int cellWidth) { return digits * cellWidth + 2 * kDigitMargin; }

int CounterHeight(int cellHeight) { return cellHeight + 2 * kDigitMargin; }

Rect ResizeCounter(const Rect& current, int digits, int cellWidth, int cellHeight, int anchor) {
    const int width = CounterWidth(digits, cellWidth);
    const int height = CounterHeight(cellHeight);
    Rect r = current;
    if (anchor & kAnchorKeepLeft) {
        r.right = r.left + width;
    } else {
        r.left = r.right - width;
    }
    if (anchor & kAnchorKeepTop) {
        r.bottom = r.top + height;
    } else {
        r.top = r.bottom - height;
    }
    return r;
}

}  // namespace orvane::controls
