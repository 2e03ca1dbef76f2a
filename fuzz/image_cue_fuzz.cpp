// The cue sheets of disc images in a library. A sheet that is taken names one file without a
// folder and tracks in ascending order whose starts ascend from the file's start, each with
// its number and the count in its tag.

#include <cstdint>
#include <string>

#include "encoder/library/image_cue.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    using orvane::tags::TagField;
    const std::string text(reinterpret_cast<const char*>(data), size);
    orvane::library::ImageCue cue;
    std::string error;
    if (!orvane::library::ParseImageCue(text, cue, error)) {
        Check(!error.empty(), "a refused sheet says why");
        return 0;
    }
    Check(!cue.tracks.empty(), "a sheet has tracks");
    Check(cue.file.find_first_of("/\\") == std::string::npos, "the file has no folder");
    Check(cue.tracks.front().start == 0, "the first track starts the file");
    for (std::size_t i = 0; i < cue.tracks.size(); ++i) {
        const auto& t = cue.tracks[i];
        Check(t.number >= 1 && t.number <= 99, "track numbers 1..99");
        if (i > 0) {
            Check(t.number > cue.tracks[i - 1].number, "numbers ascend");
            Check(t.start > cue.tracks[i - 1].start, "starts ascend");
        }
        Check(t.tags.Get(TagField::TrackNumber) == std::to_string(t.number), "its number");
        Check(t.tags.Get(TagField::TrackTotal) == std::to_string(cue.tracks.size()), "the count");
    }
    return 0;
}
