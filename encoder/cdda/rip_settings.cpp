#include "encoder/cdda/rip_settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "encoder/app/encoder_app.h"

namespace orvane::cdda {

namespace {

constexpr const char* kSection = "Rip";
constexpr const char* kOffsets = "ReadOffsets";
constexpr const char* kSpeeds = "ReadSpeeds";

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int Bounded(encoder::SettingsStore& store, const char* entry, int fallback, int lo, int hi) {
    const auto value = static_cast<int>(store.GetProfileInt(kSection, entry, fallback));
    return value < lo || value > hi ? fallback : value;
}

}  // namespace

std::string DriveIdentity(const CdDrive& drive) {
    std::string vendor = Trimmed(drive.vendor), product = Trimmed(drive.product);
    return vendor.empty() ? product : product.empty() ? vendor : vendor + " " + product;
}

void ApplyRipSettings(const RipSettings& settings, encoder::CdHandOver& cd) {
    cd.rip = settings;
    cd.ripLog = settings.Verified() || settings.image;
    // An image holds the whole disc: the audio before track 1 and every pregap where it lies.
    if (settings.image) {
        cd.ripLeadingGap = true;
        cd.rip.pregaps = rip::PregapChoice::Previous;
    }
}

bool ParseReadOffset(const std::string& text, int& offset) {
    if (text.empty() || text.size() > 8) return false;
    std::size_t at = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (at == text.size()) return false;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < -kMaxReadOffset || value > kMaxReadOffset) return false;
    offset = static_cast<int>(value);
    return true;
}

RipSettings LoadRipSettings(encoder::SettingsStore& store, const CdDrive& drive) {
    RipSettings s;
    s.read.mode = static_cast<ReadMode>(Bounded(store, "ReadMode", 0, 0, 2));
    s.read.agree = Bounded(store, "SecureAgree", 2, 2, 8);
    s.read.maxReads = Bounded(store, "SecureMaxReads", 16, 2, 64);
    s.read.maxReads = std::max(s.read.maxReads, s.read.agree);
    s.read.useC2 = Bounded(store, "UseC2", 1, 0, 1) == 1;
    s.read.overread = Bounded(store, "Overread", 0, 0, 1) == 1;
    s.accurateRip = Bounded(store, "AccurateRip", 0, 0, 1) == 1;
    s.accurateRipServer = store.GetProfileString(kSection, "AccurateRipServer", "");
    // A profile that never made the choice checks with both databases or with neither.
    s.ctdb = Bounded(store, "CTDB", s.accurateRip ? 1 : 0, 0, 1) == 1;
    s.ctdbServer = store.GetProfileString(kSection, "CTDBServer", "");
    ParsePregapChoice(store.GetProfileString(kSection, "Pregaps", "previous"), s.pregaps);
    s.eject = Bounded(store, "Eject", 0, 0, 1) == 1;
    s.image = Bounded(store, "Image", 0, 0, 1) == 1;
    int offset = 0;
    const std::string identity = DriveIdentity(drive);
    if (!identity.empty() &&
        ParseReadOffset(store.GetProfileString(kOffsets, identity, "0"), offset))
        s.read.offset = offset;
    return s;
}

bool ParsePregapChoice(const std::string& text, rip::PregapChoice& choice) {
    if (text == "previous") {
        choice = rip::PregapChoice::Previous;
    } else if (text == "own") {
        choice = rip::PregapChoice::Own;
    } else if (text == "drop") {
        choice = rip::PregapChoice::Drop;
    } else {
        return false;
    }
    return true;
}

bool StoreRipSettings(encoder::SettingsStore& store, const CdDrive& drive,
                      const RipSettings& settings) {
    bool ok = store.WriteProfileInt(kSection, "ReadMode", static_cast<int>(settings.read.mode));
    ok = store.WriteProfileInt(kSection, "SecureAgree", settings.read.agree) && ok;
    ok = store.WriteProfileInt(kSection, "SecureMaxReads", settings.read.maxReads) && ok;
    ok = store.WriteProfileInt(kSection, "UseC2", settings.read.useC2 ? 1 : 0) && ok;
    ok = store.WriteProfileInt(kSection, "Overread", settings.read.overread ? 1 : 0) && ok;
    ok = store.WriteProfileInt(kSection, "AccurateRip", settings.accurateRip ? 1 : 0) && ok;
    ok = store.WriteProfileString(kSection, "AccurateRipServer", settings.accurateRipServer) && ok;
    // Written only once chosen: a profile that never had them stays as it was, as long as the
    // choice is the one it reads by default.
    if (settings.ctdb != settings.accurateRip || store.GetProfileInt(kSection, "CTDB", 2) != 2)
        ok = store.WriteProfileInt(kSection, "CTDB", settings.ctdb ? 1 : 0) && ok;
    if (!settings.ctdbServer.empty() || !store.GetProfileString(kSection, "CTDBServer", "").empty())
        ok = store.WriteProfileString(kSection, "CTDBServer", settings.ctdbServer) && ok;
    if (settings.eject || store.GetProfileInt(kSection, "Eject", 2) != 2)
        ok = store.WriteProfileInt(kSection, "Eject", settings.eject ? 1 : 0) && ok;
    if (settings.image || store.GetProfileInt(kSection, "Image", 2) != 2)
        ok = store.WriteProfileInt(kSection, "Image", settings.image ? 1 : 0) && ok;
    if (settings.pregaps != rip::PregapChoice::Previous ||
        !store.GetProfileString(kSection, "Pregaps", "").empty()) {
        static const char* const kPregapNames[] = {"previous", "own", "drop"};
        ok = store.WriteProfileString(kSection, "Pregaps",
                                      kPregapNames[static_cast<int>(settings.pregaps)]) &&
             ok;
    }
    const std::string identity = DriveIdentity(drive);
    if (!identity.empty())
        ok = store.WriteProfileString(kOffsets, identity, std::to_string(settings.read.offset)) &&
             ok;
    return ok;
}

namespace {

// The drive's own key for its speed: its model and bus address, so that two drives of one
// model keep a speed each ("ACME CD-ROM (0:1)").
std::string DriveKey(const CdDrive& drive) {
    return DriveIdentity(drive) + " (" + std::to_string(drive.adapter) + ":" +
           std::to_string(drive.target) + ")";
}

// A stored speed, or nothing when the entry is missing, out of range or no number.
std::optional<int> StoredSpeed(encoder::SettingsStore& store, const std::string& key) {
    const std::string text = store.GetProfileString(kSpeeds, key, "");
    if (text.empty() || text.size() > 2) return std::nullopt;
    int speed = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        speed = speed * 10 + (c - '0');
    }
    if (speed > encoder::EncoderApp::kMaxCdaReadSpeed) return std::nullopt;
    return speed;
}

}  // namespace

int LoadReadSpeed(encoder::SettingsStore& store, const CdDrive& drive, int fallback) {
    const std::string identity = DriveIdentity(drive);
    if (identity.empty()) return fallback;
    if (std::optional<int> own = StoredSpeed(store, DriveKey(drive))) return *own;
    if (std::optional<int> model = StoredSpeed(store, identity)) return *model;
    return fallback;
}

bool StoreReadSpeed(encoder::SettingsStore& store, const CdDrive& drive, int speed) {
    const std::string identity = DriveIdentity(drive);
    if (identity.empty()) return store.WriteProfileInt("Preferences", "CDAReadSpeed", speed);
    return store.WriteProfileString(kSpeeds, DriveKey(drive), std::to_string(speed));
}

}  // namespace orvane::cdda
