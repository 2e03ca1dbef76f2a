#pragma once
// Encoding profiles: small XML files with the extension ".prx" in the profile folder, each one
// element <profile name="..." bitrate="..." channels="..." samplerate="..."/>.

#include <optional>
#include <string>
#include <vector>

namespace orvane::wmenc {

struct ProfileData {
    std::string name;  // UTF-8
    long bitrate = 0;  // bits per second
    long channels = 0;
    long sampleRate = 0;  // Hz
};

// Files larger than this are not profiles.
constexpr std::size_t kMaxProfileBytes = 64 * 1024;

// The profile a file's text describes, or nothing when it is not a usable profile (no
// <profile> element, a missing or empty name, values the codec cannot take: 1 or 2 channels,
// 8000 .. 48000 Hz, 8000 .. 384000 bit/s).
std::optional<ProfileData> ParseProfile(const std::string& text);

// The profiles of a folder: its ".prx" files (extension in any case) in file-name order;
// files that are not usable profiles are left out.
std::vector<ProfileData> LoadProfiles(const std::string& folder);

// The profile folder as registered by the component installer; empty when not registered.
std::string RegisteredProfileFolder();

}  // namespace orvane::wmenc
