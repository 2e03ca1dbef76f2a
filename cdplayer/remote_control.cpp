#include "cdplayer/remote_control.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "cdplayer/commands.h"
#include "cdplayer/names.h"

namespace orvane::cdplayer {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

// The song database's names for a disc it does not know (names.cpp), and for the disc a new
// file is made for (mcdb.cpp).
constexpr const char* kUnknownDiscName = "UNKNOWN DISC NAME";
constexpr const char* kNewDiscName = "UNKNOWN DISC";
// How far a position may stray from where playing on would put it before it counts as a jump:
// two polls' worth of the device's rounding and the window's lag.
constexpr std::int64_t kJumpToleranceMs = 1500;

// Frames (1/75 s) of an MSF value.
std::int64_t MsfFrames(DWORD msf) {
    return (static_cast<std::int64_t>(msf & 0xFF) * 60 + ((msf >> 8) & 0xFF)) * 75 +
           ((msf >> 16) & 0xFF);
}

std::int64_t FramesToMs(std::int64_t frames) { return frames * 1000 / 75; }

bool ValidMsf(DWORD msf) { return ((msf >> 8) & 0xFF) <= 60 && (msf & 0xFF) <= 100; }

std::string At(const std::vector<std::string>& list, DWORD track) {
    return track >= 1 && track <= list.size() ? list[track - 1] : std::string();
}
}  // namespace

RemoteSnapshot TakeRemoteSnapshot(PlayerState& player, const DiscTexts& texts) {
    RemoteSnapshot s;
    Lock lock(player.lock);
    auto& device = player.device;
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    const DWORD pos = device.Status(0, MCI_STATUS_POSITION, 0);
    const DWORD mode = device.Status(0, MCI_STATUS_MODE, 0);
    s.shuffle = player.modes.RandomOn != 0;
    if (player.modes.RepeatState)
        s.loop = player.modes.RepeatB != 0 ? RemoteLoop::Track : RemoteLoop::Playlist;
    if (!ValidMsf(pos) || mode == MCI_MODE_OPEN) return s;  // no disc, or the tray is open

    s.discPresent = true;
    s.status = mode == MCI_MODE_PLAY    ? RemoteStatus::Playing
               : mode == MCI_MODE_PAUSE ? RemoteStatus::Paused
                                        : RemoteStatus::Stopped;
    s.identity = DiscIdentity(device);
    s.tracks = NumberOfTracks(device);
    s.track = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
    const DWORD start = device.Status(MCI_TRACK, MCI_STATUS_POSITION, s.track);
    const DWORD len = device.Status(MCI_TRACK, MCI_STATUS_LENGTH, s.track);
    s.lengthMs = FramesToMs(MsfFrames(len));
    s.positionMs =
        std::clamp(FramesToMs(MsfFrames(pos) - MsfFrames(start)), std::int64_t{0}, s.lengthMs);

    // The song database's names unless they are its placeholders for a disc or track nobody
    // named; then the disc's CD-Text, when the drive has told it for this disc.
    const bool haveTexts = !texts.identity.empty() && texts.identity == s.identity;
    const std::string name = At(player.CurrentTrackNames, s.track);
    const bool namedTrack = name != "TRACK " + std::to_string(s.track);
    const bool namedDisc =
        player.CurrentDiscName != kUnknownDiscName && player.CurrentDiscName != kNewDiscName;
    if (namedTrack) s.title = name;
    if (namedDisc) s.album = player.CurrentDiscName;
    if (haveTexts) {
        if (s.title.empty()) s.title = At(texts.trackTitles, s.track);
        if (s.album.empty()) s.album = texts.title;
        s.artist = At(texts.trackPerformers, s.track);
        if (s.artist.empty()) s.artist = texts.performer;
    }
    if (s.title.empty()) s.title = name;

    const bool playing = s.status == RemoteStatus::Playing;
    // Next and Previous act only while the disc plays, and only towards another audio track.
    s.canGoNext = playing && AudioTrackFrom(device, static_cast<int>(s.track) + 1, 1) != 0;
    s.canGoPrevious = playing && AudioTrackFrom(device, static_cast<int>(s.track) - 1, -1) != 0;
    s.canPlay = AudioTrackCount(device) > 0;
    s.canSeek = s.canPlay && s.lengthMs > 0;
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    return s;
}

std::vector<RemoteChange> RemoteChanges(const RemoteSnapshot& a, const RemoteSnapshot& b) {
    std::vector<RemoteChange> changes;
    if (a.status != b.status) changes.push_back(RemoteChange::Status);
    if (a.identity != b.identity || a.track != b.track || a.lengthMs != b.lengthMs ||
        a.title != b.title || a.artist != b.artist || a.album != b.album)
        changes.push_back(RemoteChange::Metadata);
    if (a.shuffle != b.shuffle) changes.push_back(RemoteChange::Shuffle);
    if (a.loop != b.loop) changes.push_back(RemoteChange::Loop);
    if (a.canGoNext != b.canGoNext || a.canGoPrevious != b.canGoPrevious ||
        a.canPlay != b.canPlay || a.canSeek != b.canSeek)
        changes.push_back(RemoteChange::Controls);
    return changes;
}

bool PositionJumped(const RemoteSnapshot& before, const RemoteSnapshot& after,
                    std::int64_t elapsedMs) {
    if (!before.discPresent || !after.discPresent || before.identity != after.identity)
        return false;
    if (after.status == RemoteStatus::Stopped) return false;
    const bool played =
        before.status == RemoteStatus::Playing || after.status == RemoteStatus::Playing;
    const std::int64_t most = played ? elapsedMs : 0;
    if (before.track != after.track) return after.positionMs > most + kJumpToleranceMs;
    return after.positionMs < before.positionMs - kJumpToleranceMs ||
           after.positionMs > before.positionMs + most + kJumpToleranceMs;
}

void RemotePlay(PlayerState& player) {
    Lock lock(player.lock);
    if (player.device.Status(0, MCI_STATUS_MODE, 0) != MCI_MODE_PLAY) PlayPauseCommand(player);
}

void RemotePause(PlayerState& player) {
    Lock lock(player.lock);
    if (player.device.Status(0, MCI_STATUS_MODE, 0) == MCI_MODE_PLAY) PlayPauseCommand(player);
}

void RemoteSetShuffle(PlayerState& player, bool on) {
    Lock lock(player.lock);
    if (on)
        RandomCommand(player);
    else
        player.modes.RandomOn = 0;
}

void RemoteSetLoop(PlayerState& player, RemoteLoop loop) {
    Lock lock(player.lock);
    auto& m = player.modes;
    if (loop == RemoteLoop::None) {
        m.RepeatState = 0;
        m.RepeatA = m.RepeatB = 0;
        return;
    }
    auto& device = player.device;
    DWORD a = 0, b = 0;
    if (loop == RemoteLoop::Track) {
        device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        if (!ValidMsf(device.Status(0, MCI_STATUS_POSITION, 0))) return;
        const DWORD t = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
        const DWORD start = MsfSeconds(device.Status(MCI_TRACK, MCI_STATUS_POSITION, t));
        const DWORD len = MsfSeconds(device.Status(MCI_TRACK, MCI_STATUS_LENGTH, t));
        // The stretch's end is the track's last whole second; 0 would mean "not set".
        if (len < 2) return;
        a = start;
        b = start + len - 1;
    }
    m.IntroScanOn = 0;
    m.RandomOn = 0;
    m.RepeatState = 1;
    m.RepeatA = a;
    m.RepeatB = b;
}

bool RemoteSetPosition(PlayerState& player, std::int64_t positionMs) {
    Lock lock(player.lock);
    auto& device = player.device;
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    const DWORD mode = device.Status(0, MCI_STATUS_MODE, 0);
    if (mode == MCI_MODE_OPEN || !ValidMsf(device.Status(0, MCI_STATUS_POSITION, 0))) return false;
    const DWORD t = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
    if (!IsAudioTrack(device, t)) return false;
    const std::int64_t lengthMs =
        FramesToMs(MsfFrames(device.Status(MCI_TRACK, MCI_STATUS_LENGTH, t)));
    if (positionMs >= lengthMs) {
        NextTrackCommand(player);
        return true;
    }
    const std::int64_t frames = std::max<std::int64_t>(positionMs, 0) * 75 / 1000;
    const auto sec = static_cast<DWORD>(frames / 75);
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_TMSF);
    device.Play(MCI_MAKE_TMSF(t, sec / 60, sec % 60, static_cast<DWORD>(frames % 75)), kToEnd);
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    if (mode == MCI_MODE_PAUSE) device.Pause();
    return true;
}

std::string RemoteTrackId(const std::string& identity, DWORD track) {
    std::string id;
    for (unsigned char c : identity)
        id += std::isalnum(c) ? static_cast<char>(c) : '_';
    if (id.empty()) id = "none";
    return "/org/orvane/Tarvo/disc_" + id + "/track_" + std::to_string(track);
}

}  // namespace orvane::cdplayer
