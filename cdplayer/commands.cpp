#include "cdplayer/commands.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "cdplayer/names.h"
#include "platform/clock/clock.h"

namespace orvane::cdplayer {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

DWORD Mode(CMciCdAudio& device) { return device.Status(0, MCI_STATUS_MODE, 0); }

void SetFormat(CMciCdAudio& device, DWORD format) { device.Set(MCI_SET_TIME_FORMAT, format); }

void SkipTrack(PlayerState& player, int delta) {
    Lock lock(player.lock);
    auto& device = player.device;
    const DWORD mode = Mode(device);
    SetFormat(device, MCI_FORMAT_TMSF);
    if (mode != MCI_MODE_PLAY) return;
    const int track = static_cast<int>(device.Status(0, MCI_STATUS_CURRENT_TRACK, 0));
    // Data tracks are stepped over; past the disc's last audio track the drive refuses.
    const unsigned audio = AudioTrackFrom(device, track + delta, delta);
    device.Play(audio ? audio : static_cast<DWORD>(track + delta), kToEnd);
}

// Plays from where the disc stands; from a data track (a disc that starts with one) play
// starts at the next audio track instead, since a drive cannot play data.
void PlayFromCurrent(CMciCdAudio& device) {
    const DWORD current = device.Status(0, MCI_STATUS_CURRENT_TRACK, 0);
    if (current == 0 || IsAudioTrack(device, current)) {
        device.Play(kFromCurrent, kToEnd);
        return;
    }
    unsigned audio = AudioTrackFrom(device, static_cast<int>(current) + 1, 1);
    if (audio == 0) audio = AudioTrackFrom(device, 1, 1);
    if (audio == 0) return;  // nothing to play; said when the disc was detected
    SetFormat(device, MCI_FORMAT_TMSF);
    device.Play(audio, kToEnd);
    SetFormat(device, MCI_FORMAT_MSF);
}
}  // namespace

std::vector<std::string> CdRomDrives(const DriveTypeFn& driveType) {
    std::vector<std::string> drives;
    for (char c = 'A'; c <= 'Z'; ++c) {
        char root[8];
        std::snprintf(root, sizeof root, "%c:\\", c);
        if (driveType(root) == DRIVE_CDROM) drives.push_back(std::string(1, c) + ":");
    }
    return drives;
}

bool StartDevice(PlayerState& player, Messenger& messenger, const DriveTypeFn& driveType) {
    auto& device = player.device;
    char answer[1024] = {};
    if (device.Api().SendString("status cdaudio mode", answer, sizeof answer) != 0) {
        messenger.MessageBox(kCantOpenCdAudio, "", MB_ICONERROR);
    } else if (std::strcmp(answer, "open") == 0) {
        device.Api().SendString("set cdaudio door closed", nullptr, 0);
    }
    clock::Sleep(500);

    char letter = player.settings.DriveLetter;
    if (letter == 0) {
        const std::vector<std::string> drives = CdRomDrives(driveType);
        if (!drives.empty()) letter = drives.front()[0];
    }
    if (letter == 0) {
        messenger.MessageBox(kNoCdRomDrive, "", MB_OK);
        return false;
    }
    char drive[8];
    std::snprintf(drive, sizeof drive, "%c:", letter);
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (device.Open(drive) == 0) {
            player.driveLetter = letter;
            return true;
        }
        clock::Sleep(1);
    }
    messenger.MessageBox(kCantOpenCdAudio, "", MB_ICONERROR);
    device.ShowError(messenger);
    return false;
}

void PlayPauseCommand(PlayerState& player) {
    Lock lock(player.lock);
    auto& device = player.device;
    const DWORD mode = Mode(device);
    if (mode == MCI_MODE_PLAY) {
        device.Pause();
    } else if (mode == MCI_MODE_PAUSE) {
        device.Resume();
    } else {
        PlayFromCurrent(device);
    }
}

void StopCommand(PlayerState& player) {
    Lock lock(player.lock);
    player.modes.AllOff();
    player.modes.RepeatA = player.modes.RepeatB = 0;
    player.device.Stop();
    player.device.Seek(0);
}

void NextTrackCommand(PlayerState& player) { SkipTrack(player, 1); }

void PreviousTrackCommand(PlayerState& player) { SkipTrack(player, -1); }

void EjectCommand(PlayerState& player) {
    Lock lock(player.lock);
    if (Mode(player.device) == MCI_MODE_OPEN) {
        player.device.Set(MCI_SET_DOOR_CLOSED);
    } else {
        player.device.Set(MCI_SET_DOOR_OPEN);
    }
}

void PlayTrackCommand(PlayerState& player, int index) {
    Lock lock(player.lock);
    // A data track chosen in the list plays the next audio track.
    const unsigned audio = AudioTrackFrom(player.device, index + 1, 1);
    SetFormat(player.device, MCI_FORMAT_TMSF);
    player.device.Play(audio ? audio : static_cast<DWORD>(index + 1), kToEnd);
    SetFormat(player.device, MCI_FORMAT_MSF);
}

void PlayOnStartUp(PlayerState& player) {
    Lock lock(player.lock);
    player.device.Stop();
    PlayFromCurrent(player.device);
}

void CloseDevice(PlayerState& player) {
    Lock lock(player.lock);
    if (player.settings.StopCDOnExit == 1) player.device.Stop();
    player.device.Close();
}

void IntroScanCommand(PlayerState& player) {
    Lock lock(player.lock);
    auto& m = player.modes;
    // A second press ends the scan; play goes on in the track it reached.
    if (m.IntroScanOn) {
        m.IntroScanOn = 0;
        return;
    }
    m.IntroScanOn = 1;
    m.RandomOn = 0;
    m.RepeatState = 0;
    m.ProgramPosition = 0;
}

void RandomCommand(PlayerState& player) {
    Lock lock(player.lock);
    auto& m = player.modes;
    m.RandomOn = 1;
    m.IntroScanOn = 0;
    m.RepeatState = 0;
    m.ProgramPosition = 0;
}

void RepeatCommand(PlayerState& player) {
    Lock lock(player.lock);
    auto& m = player.modes;
    auto& device = player.device;
    m.IntroScanOn = 0;
    m.RandomOn = 0;
    if (!m.RepeatState) {
        m.RepeatState = 1;
        m.RepeatB = 0;
        SetFormat(device, MCI_FORMAT_MSF);
        m.RepeatA = MsfSeconds(device.Status(0, MCI_STATUS_POSITION, 0));
    } else if (m.RepeatB != 0) {
        m.RepeatA = m.RepeatB = 0;
        m.RepeatState = 0;
    } else {
        SetFormat(device, MCI_FORMAT_MSF);
        const DWORD p = MsfSeconds(device.Status(0, MCI_STATUS_POSITION, 0));
        m.RepeatB = p;
        if (p < m.RepeatA) std::swap(m.RepeatA, m.RepeatB);
    }
}

bool CSkipButton::OnButtonDown(PlayerState& player) {
    if (held_) return false;
    Lock lock(player.lock);
    held_ = true;
    player.modes.Seeking = 1;
    SetFormat(player.device, MCI_FORMAT_MSF);
    target_ = player.device.Status(0, MCI_STATUS_POSITION, 0);
    ticks_ = 0;
    return true;
}

int CSkipButton::StepSeconds(int tick) {
    if (tick <= 5) return 2;
    if (tick <= 8) return 4;
    if (tick <= 12) return 6;
    return 8;
}

DWORD CSkipButton::Step(DWORD msf, int seconds, bool forward) {
    int minutes = static_cast<int>(msf & 0xFF);
    int secs = static_cast<int>((msf >> 8) & 0xFF);
    const DWORD frames = (msf >> 16) & 0xFF;
    if (forward) {
        secs += seconds;
        if (secs >= 60) {
            secs -= 60;
            minutes = (minutes + 1) & 0xFF;
        }
    } else {
        secs -= seconds;
        if (secs < 0) {
            if (minutes == 0) return MCI_MAKE_MSF(0, 0, 0);
            secs += 60;
            minutes -= 1;
        }
    }
    return MCI_MAKE_MSF(static_cast<DWORD>(minutes), static_cast<DWORD>(secs), frames);
}

void CSkipButton::OnTimer() {
    if (!held_) return;
    const std::int64_t target = target_;
    if (target < 0) return;
    ++ticks_;
    target_ = Step(static_cast<DWORD>(target), StepSeconds(ticks_), forward_);
}

bool CSkipButton::OnButtonUp(PlayerState& player) {
    if (!held_) return false;
    Lock lock(player.lock);
    const std::int64_t target = target_;
    player.device.Stop();
    // The target is an MSF position; another command may have left TMSF set.
    SetFormat(player.device, MCI_FORMAT_MSF);
    if (target >= 0) player.device.Play(static_cast<DWORD>(target), kToEnd);
    player.modes.Seeking = 0;
    held_ = false;
    target_ = -1;
    return true;
}

}  // namespace orvane::cdplayer
