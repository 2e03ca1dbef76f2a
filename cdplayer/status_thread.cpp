#include "cdplayer/status_thread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cdplayer/names.h"
#include "common/cp1252.h"
#include "platform/clock/clock.h"

namespace orvane::cdplayer {

namespace {
// Where play of the whole disc begins: track 1, or the first audio track after leading data.
DWORD FirstAudioTrack(CMciCdAudio& device) {
    const unsigned audio = AudioTrackFrom(device, 1, 1);
    return audio ? audio : 1;
}
}  // namespace

CStatusThread::CStatusThread(PlayerState& player, PlayerDisplay& display)
    : player_(player), display_(display) {}

CStatusThread::~CStatusThread() { Stop(); }

void CStatusThread::Start() {
    if (thread_.joinable()) return;
    {
        std::lock_guard g(runMutex_);
        stop_ = false;
    }
    thread_ = std::thread([this] { Run(); });
}

void CStatusThread::Stop() {
    {
        std::lock_guard g(runMutex_);
        stop_ = true;
    }
    runChanged_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CStatusThread::Pause() {
    std::lock_guard g(runMutex_);
    paused_ = true;
}

void CStatusThread::Continue() {
    {
        std::lock_guard g(runMutex_);
        paused_ = false;
    }
    runChanged_.notify_all();
}

void CStatusThread::Run() {
    ShowInitialTrackList();
    for (;;) {
        {
            std::unique_lock l(runMutex_);
            runChanged_.wait(l, [this] { return stop_ || !paused_; });
            if (stop_) return;
        }
        clock::Sleep(Poll());
    }
}

void CStatusThread::ShowInitialTrackList() {
    PollDisplay out;
    {
        std::lock_guard lock(player_.lock);
        out.trackList = TrackListItems(player_.CurrentTrackNames);
    }
    display_.ShowPoll(out);
}

std::string CStatusThread::NameText(const std::vector<std::string>& names, DWORD track) {
    if (track == 0 || names.size() < track) return kUnknownTrackName;
    return "        " + names[track - 1] + " ";
}

std::string CStatusThread::VisiblePart(const std::string& nameText, std::size_t offset) {
    // One byte per character, so the window never splits a character.
    const std::string bytes = cp1252::FromUtf8(nameText);
    std::string visible = offset < bytes.size() ? bytes.substr(offset, 8) : std::string();
    if (visible.size() < 8) visible += bytes.substr(0, 8 - visible.size());
    return cp1252::ToUtf8(visible);
}

std::optional<NamesLoad> CStatusThread::PrepareNames() {
    std::string path, identity;
    unsigned tracks = 0, audioTracks = 0;
    {
        std::lock_guard lock(player_.lock);
        auto& device = player_.device;
        device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        const DWORD pos = device.Status(0, MCI_STATUS_POSITION, 0);
        if (((pos >> 8) & 0xFF) > 60 || (pos & 0xFF) > 100) {
            if (device.Status(0, MCI_STATUS_MODE, 0) == MCI_MODE_OPEN) return std::nullopt;
        }
        path = player_.databasePath;
        identity = DiscIdentity(device);
        tracks = NumberOfTracks(device);
        audioTracks = AudioTrackCount(device);
    }
    // The file is read without the lock, so a slow or large file never holds up the window.
    NamesLoad load = ReadNamesForDisc(path, identity, tracks);
    load.audioTracks = audioTracks;
    return load;
}

unsigned CStatusThread::Poll() {
    PollDisplay out;
    std::vector<PendingMessage> messages;
    std::optional<NamesLoad> load;
    if (reloadNames_) load = PrepareNames();
    {
        std::lock_guard lock(player_.lock);
        auto& device = player_.device;
        auto& modes = player_.modes;

        device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        DWORD pos = device.Status(0, MCI_STATUS_POSITION, 0);
        if (const auto target = player_.skipForward.Target(); target >= 0)
            pos = static_cast<DWORD>(target);
        if (const auto target = player_.skipBackwards.Target(); target >= 0)
            pos = static_cast<DWORD>(target);

        DWORD min = pos & 0xFF;
        DWORD sec = (pos >> 8) & 0xFF;
        bool doorOpen = false;
        if (sec > 60 || min > 100) {
            min = sec = 0;
            if (player_.discPresent) out.invalidate = true;
            player_.discPresent = false;
            if (device.Status(0, MCI_STATUS_MODE, 0) == MCI_MODE_OPEN) {
                out.lcdText = kNoDiscLine;
                modes.IntroScanOn = modes.RepeatState = modes.RandomOn = 0;
                modes.ProgramPosition = 0;
                sliderReset_ = true;
                reloadNames_ = true;
                doorOpen = true;
            }
        } else {
            player_.discPresent = true;
        }

        if (!doorOpen) {
            // The names read for this disc; a disc changed meanwhile is read at the next poll.
            if (reloadNames_ && load && load->identity == DiscIdentity(device)) {
                ApplyNames(player_, *load, messages);
                out.trackList = TrackListItems(player_.CurrentTrackNames);
                out.invalidate = true;
                reloadNames_ = false;
            }

            const DWORD t = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
            const DWORD start = device.Status(MCI_TRACK, MCI_STATUS_POSITION, t);
            const DWORD len = device.Status(MCI_TRACK, MCI_STATUS_LENGTH, t);
            const DWORD startSec = MsfSeconds(start);
            const DWORD lenSec = MsfSeconds(len);
            const DWORD now = min * 60 + sec;
            const DWORD elapsed = now - startSec;

            PlayModesAtTrackEnd(now, elapsed, lenSec, t);

            const DWORD rem = startSec + lenSec - now;
            DWORD remMin = rem / 60;
            DWORD remSec = rem % 60;
            if (remMin > 100) remMin = remSec = 0;

            if (player_.skipForward.Target() >= 0 && remMin == 0 && remSec == 0) {
                device.Stop();
                device.Play(pos, kToEnd);
            }
            if (player_.skipBackwards.Target() >= 0 && remMin * 60 + remSec > lenSec) {
                device.Stop();
                device.Play(pos, kToEnd);
            }

            const DWORD shown = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
            const std::string nameText = NameText(player_.CurrentTrackNames, shown);
            ++scrollOffset_;
            if (scrollOffset_ > cp1252::FromUtf8(nameText).size()) scrollOffset_ = 0;
            char line[160];
            std::snprintf(line, sizeof line, "%02u %02u:%02u %02u:%02u %s", shown, min, sec, remMin,
                          remSec, VisiblePart(nameText, scrollOffset_).c_str());
            out.lcdText = line;

            out.progress = true;
            out.elapsed = elapsed;
            out.length = lenSec;
            if (!player_.trackListDropped) out.selectTrack = static_cast<int>(shown) - 1;

            if (player_.fullSize) {
                if (shown != lastTrackSeen_) {
                    sliderReset_ = true;
                    lastTrackSeen_ = shown;
                }
                if (sliderReset_) {
                    out.sliderMax = static_cast<int>(lenSec);
                    sliderReset_ = false;
                }
                auto& slider = player_.slider;
                if (slider.Dragging() || slider.Released()) {
                    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_TMSF);
                    const DWORD s = static_cast<DWORD>(slider.Position());
                    device.Stop();
                    const DWORD track = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
                    device.Play(MCI_MAKE_TMSF(track, s / 60, s % 60, 0), kToEnd);
                    resumeAfterSeek_ = true;
                    slider.ClearReleased();
                } else {
                    if (resumeAfterSeek_) {
                        if (device.Status(0, MCI_STATUS_MODE, 0) == MCI_MODE_STOP)
                            device.Play(kFromCurrent, kToEnd);
                        resumeAfterSeek_ = false;
                    }
                    // A position before the track's start reads as a huge elapsed time;
                    // the thumb stays within the slider's range.
                    out.sliderPos = static_cast<int>(std::min(elapsed, lenSec));
                }
            }

            const DWORD mode = device.Status(0, MCI_STATUS_MODE, 0);
            if (mode == MCI_MODE_PLAY || mode == MCI_MODE_PAUSE) {
                const int shownMark = mode == MCI_MODE_PLAY ? kPlayMark : kPauseMark;
                out.mark = indicatorPhase_ == 0 ? shownMark : kBlankMark;
                indicatorPhase_ ^= 1;
            }
        }
    }
    display_.ShowPoll(out);
    ShowMessages(display_, messages);
    return player_.modes.Seeking ? kSeekingPollMs : kPollMs;
}

void CStatusThread::PlayModesAtTrackEnd(DWORD now, DWORD elapsed, DWORD lenSec, DWORD t) {
    auto& device = player_.device;
    auto& modes = player_.modes;
    const auto setFormat = [&](DWORD f) { device.Set(MCI_SET_TIME_FORMAT, f); };
    const bool trackEnding = elapsed + 3 >= lenSec;

    // Repeat of a stretch, or of the whole disc when the last track ends.
    if (modes.RepeatState) {
        if (modes.RepeatB != 0) {
            if (now > modes.RepeatB || now < modes.RepeatA) {
                setFormat(MCI_FORMAT_MSF);
                device.Stop();
                device.Play(MCI_MAKE_MSF(modes.RepeatA / 60, modes.RepeatA % 60, 0), kToEnd);
            }
        } else if (trackEnding && device.Status(0, MCI_STATUS_NUMBER_OF_TRACKS, 0) == t) {
            setFormat(MCI_FORMAT_TMSF);
            device.Stop();
            device.Play(FirstAudioTrack(device), kToEnd);
            setFormat(MCI_FORMAT_MSF);
        }
    }

    // Programmed order: the next entry, again from the first with repeat, else the end.
    if (trackEnding && modes.ProgramPosition != 0) {
        setFormat(MCI_FORMAT_TMSF);
        modes.ProgramPosition += 1;
        bool ended = false;
        if (modes.ProgramPosition > modes.ProgramCount) {
            if (!modes.RepeatState) {
                modes.ProgramPosition = 0;
                device.Stop();
                ended = true;
            } else {
                modes.ProgramPosition = 1;
            }
        }
        if (!ended) {
            const DWORD slot = modes.ProgramPosition - 1;
            const DWORD track = slot < PlayModes::kSlots ? modes.ProgramOrder[slot] : 0;
            const unsigned tracks = NumberOfTracks(device);
            device.Stop();
            // An entry outside the disc is never asked for; play goes on at the first audio
            // track (track 1 unless the disc starts with data).
            if (track < 1 || track > tracks || device.Play(track, kToEnd) != 0) {
                device.Stop();
                device.Play(FirstAudioTrack(device), kToEnd);
            }
        }
        setFormat(MCI_FORMAT_MSF);
    }

    // Random play: one of the disc's audio tracks (on an audio-only disc a track from 1 to n),
    // the generator seeded anew from the clock.
    if (trackEnding && modes.RandomOn) {
        setFormat(MCI_FORMAT_TMSF);
        device.Stop();
        std::srand(static_cast<unsigned>(clock::Time()));
        const unsigned n = NumberOfTracks(device);
        std::vector<DWORD> audio;
        for (unsigned k = 1; k <= n; ++k)
            if (IsAudioTrack(device, k)) audio.push_back(k);
        if (!audio.empty()) {
            const DWORD track = audio[static_cast<std::size_t>(std::rand()) % audio.size()];
            if (device.Play(track, kToEnd) != 0) {
                device.Stop();
                device.Play(FirstAudioTrack(device), kToEnd);
            }
        }
        setFormat(MCI_FORMAT_MSF);
    }

    // Intro scan: after the set seconds, the next audio track; after the last, the first.
    if (elapsed > static_cast<DWORD>(player_.settings.IntroScanSeconds) && modes.IntroScanOn) {
        setFormat(MCI_FORMAT_TMSF);
        const DWORD current = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
        const unsigned next = AudioTrackFrom(device, static_cast<int>(current) + 1, 1);
        device.Stop();
        if (next == 0 || device.Play(next, kToEnd) != 0) {
            device.Stop();
            device.Play(FirstAudioTrack(device), kToEnd);
        }
        setFormat(MCI_FORMAT_MSF);
    }
}

}  // namespace orvane::cdplayer
