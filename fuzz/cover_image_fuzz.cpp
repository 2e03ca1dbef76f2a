// Images offered as a front cover (a user's file, an archive's reply): whatever the bytes, the
// check takes a picture within the bounds or says why not, and never changes the bytes it takes.

#include <cstdint>
#include <string>

#include "encoder/tags/cover_image.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    orvane::tags::Picture picture;
    std::string why;
    if (orvane::tags::AcceptImage(bytes, picture, why)) {
        Check(std::string(picture.bytes.begin(), picture.bytes.end()) == bytes,
              "the picture is the bytes as they came");
        Check(picture.width > 0 && picture.width <= orvane::tags::kMaxImageSide &&
                  picture.height > 0 && picture.height <= orvane::tags::kMaxImageSide,
              "the picture is within the bounds");
    } else {
        Check(!why.empty() && picture.bytes.empty(), "a refusal says why and keeps nothing");
    }
    return 0;
}
