#pragma once
// The engine state of the player that the window (UI thread) and the status thread share:
// the device, the play modes, the current disc's names and the settings, under one lock.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "cdplayer/mcdb.h"
#include "cdplayer/mci_cd_audio.h"
#include "cdplayer/play_modes.h"
#include "cdplayer/settings.h"

namespace orvane::cdplayer {

struct PlayerState {
    explicit PlayerState(MciApi& api = SystemMci()) : device(api) {}

    CMciCdAudio device;
    PlayModes modes;
    PlayerSettings settings;
    // The letter of the drive the device was opened on (0 before).
    char driveLetter = 0;
    std::vector<std::string> CurrentTrackNames;
    std::string CurrentDiscName;
    // Full path of "Nerop.DB" (next to the executable unless a test chooses another).
    std::string databasePath;
    // When "Nerop.DB" can be neither read nor set aside, names are kept here instead and nothing
    // is written; the user is told once per run.
    bool namesNotSaved = false;
    bool notSavedSaid = false;
    MCDB memoryDb;

    CSkipButton skipForward{true};
    CSkipButton skipBackwards{false};
    CSeekSlider slider;

    // Window states the status thread reads.
    std::atomic<bool> fullSize{false};
    std::atomic<bool> trackListDropped{false};
    // Set by the status thread: the last poll read a valid position.
    std::atomic<bool> discPresent{false};

    // Held by a UI command or dialog step (also while the preferences change the settings)
    // and by each poll, so neither sees the other's changes halfway, and their device command
    // series never interleave.
    std::recursive_mutex lock;
};

// The database path of the running executable: DatabasePathFor its folder.
std::string DefaultDatabasePath();

// The file that marks an installed program folder (in it or in the folder above it).
inline constexpr const char* kInstalledMarker = "installed.txt";

// "Nerop.DB" next to the player in programFolder (ending with '/'); when that folder is an
// installed one, it is shared by every user and not theirs to write, so the database is the
// user's own: "$XDG_DATA_HOME/orvane/Nerop.DB" (default ~/.local/share), its folder created.
std::string DatabasePathFor(const std::string& programFolder);

// The list items of the track list (IDC_TRACK_LIST): "%02d - %s" from the 1-based number and the
// name.
std::vector<std::string> TrackListItems(const std::vector<std::string>& names);

// Whole seconds of an MSF value (minutes in bits 0-7, seconds in bits 8-15; frames ignored).
constexpr DWORD MsfSeconds(DWORD msf) { return (msf & 0xFF) * 60 + ((msf >> 8) & 0xFF); }

}  // namespace orvane::cdplayer
