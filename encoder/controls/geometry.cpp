#include "encoder/controls/geometry.h"

namespace orvane::controls {

Rgb FromColorRef(std::uint32_t ref) {
    return {static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
            static_cast<int>((ref >> 16) & 0xFF)};
}

std::uint32_t ToColorRef(Rgb c) {
    return static_cast<std::uint32_t>(c.r & 0xFF) | static_cast<std::uint32_t>(c.g & 0xFF) << 8 |
           static_cast<std::uint32_t>(c.b & 0xFF) << 16;
}

}  // namespace orvane::controls
