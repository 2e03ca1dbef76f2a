#include "encoder/controls/ellipsis_label.h"

#include <vector>

namespace orvane::controls {

namespace {

const std::string kEllipsis = "...";

// Byte offsets where a UTF-8 character starts, and the end.
std::vector<size_t> CharBounds(const std::string& s) {
    std::vector<size_t> bounds;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) bounds.push_back(i);
    }
    bounds.push_back(s.size());
    return bounds;
}

// The longest start of `head` (cut between characters) with which tail still fits.
std::string FitStart(const std::string& head, const std::string& tail, int width,
                     const MeasureText& measure) {
    const std::vector<size_t> bounds = CharBounds(head);
    size_t lo = 0, hi = bounds.size() - 1;  // number of characters kept
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (measure(head.substr(0, bounds[mid]) + tail) <= width) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return head.substr(0, bounds[lo]) + tail;
}

}  // namespace

unsigned EllipsisFlags(unsigned textFormat, bool pathStyle) {
    return textFormat | (pathStyle ? kDtPathEllipsis : kDtEndEllipsis);
}

std::string Elide(const std::string& text, int width, bool pathStyle, const MeasureText& measure) {
    if (measure(text) <= width) return text;
    if (pathStyle) {
        const size_t slash = text.find_last_of("/\\");
        if (slash != std::string::npos && slash > 0) {
            const std::string last = text.substr(slash);
            if (measure(kEllipsis + last) <= width) {
                return FitStart(text.substr(0, slash), kEllipsis + last, width, measure);
            }
            // Not even the last component fits: shorten that one at its end.
            return FitStart(last, kEllipsis, width, measure);
        }
    }
    return FitStart(text, kEllipsis, width, measure);
}

}  // namespace orvane::controls
