// The drive configuration file users write by hand (drives.conf: image drives and the faults
// they inject). Every refused line is named in a message, every image kept has a path, and a
// fault plan holds only sector ranges that run forwards.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cdrom/drives.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace cd = orvane::cdrom;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> errors;
    const cd::DriveConfig config = cd::ParseDriveConfig(text, "/conf/", "drives.conf", errors);
    for (const std::string& e : errors)
        Check(e.rfind("drives.conf:", 0) == 0, "a message names the file and the line");
    int previousLine = 0;
    for (const cd::ImageConfig& image : config.images) {
        Check(!image.cuePath.empty(), "an image drive has a cue sheet path");
        Check(image.cuePath[0] == '/', "a relative path is taken from the file's folder");
        Check(image.line > previousLine, "images keep the order of their lines");
        previousLine = image.line;
        for (const auto* ranges : {&image.faults.failing, &image.faults.slow})
            for (const cd::SectorRange& r : *ranges)
                Check(r.first <= r.last, "a sector range runs forwards");
    }
    return 0;
}
