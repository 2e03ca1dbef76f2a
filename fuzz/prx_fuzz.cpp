// Encoding profile files (.prx) as users and installers leave them in the profile folder. A
// profile that is accepted has a name and values the codec takes; a name read from UTF-8 text
// is UTF-8; and the profile written back as an element reads again to the same profile.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/wmenc/profiles.h"

namespace {

using orvane::fuzz::Check;
using orvane::fuzz::WellFormedUtf8;
namespace wm = orvane::wmenc;

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > wm::kMaxProfileBytes) return 0;  // such files are never read
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto profile = wm::ParseProfile(text);
    if (!profile) return 0;
    Check(!profile->name.empty(), "an accepted profile has a name");
    Check(profile->channels == 1 || profile->channels == 2, "one or two channels");
    Check(profile->sampleRate >= 8000 && profile->sampleRate <= 48000, "a rate the codec takes");
    Check(profile->bitrate >= 8000 && profile->bitrate <= 384000, "a bitrate the codec takes");
    if (WellFormedUtf8(text))
        Check(WellFormedUtf8(profile->name), "a UTF-8 file gives a UTF-8 name");

    const std::string again = "<profile name=\"" + Escaped(profile->name) + "\" bitrate=\"" +
                              std::to_string(profile->bitrate) + "\" channels=\"" +
                              std::to_string(profile->channels) + "\" samplerate=\"" +
                              std::to_string(profile->sampleRate) + "\"/>";
    const auto reread = wm::ParseProfile(again);
    Check(reread.has_value(), "a profile written back reads again");
    Check(reread->name == profile->name && reread->bitrate == profile->bitrate &&
              reread->channels == profile->channels && reread->sampleRate == profile->sampleRate,
          "a profile written back reads to the same values");
    return 0;
}
