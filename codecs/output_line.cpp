#include "codecs/output_line.h"

#include <algorithm>
#include <cstdio>

namespace orvane::codecs {

void Say(const std::string& line) {
    size_t end = std::min<size_t>(line.size(), 100);
    while (end > 0 && end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) {
        --end;
    }
    std::string text = line.substr(0, end) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size()) std::fflush(stdout);
    std::clearerr(stdout);
}

}  // namespace orvane::codecs
