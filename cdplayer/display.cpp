#include "cdplayer/display.h"

#include <cstdint>

namespace orvane::cdplayer {

int ProgressBarRight(unsigned elapsed, unsigned length) {
    if (length == 0) return 30;
    const std::uint64_t width = static_cast<std::uint64_t>(elapsed) * 100 / length;
    return width >= 100 ? 130 : 30 + static_cast<int>(width);
}

int LcdCellX(unsigned char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    if (c < 32 || c > 95) c = ' ';
    return (c - 32) * 16;
}

}  // namespace orvane::cdplayer
