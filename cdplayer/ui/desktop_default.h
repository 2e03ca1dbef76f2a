#pragma once
// Makes the player the desktop's default player for audio CDs: a desktop entry whose command is
// the player's play command, registered for "x-content/audio-cdda" in the user's mimeapps.list.

#include <string>

namespace orvane::cdplayer::ui {

struct DesktopFolders {
    std::string dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME, else ~/.config
};

DesktopFolders DesktopFoldersFromEnvironment();

inline constexpr const char* kDesktopFileName = "orvane-tarvo.desktop";
inline constexpr const char* kAudioCdType = "x-content/audio-cdda";

// The Exec value of the entry for an executable: the path quoted as the desktop entry format
// asks, then " /play %%1" (the format's "%%" being one literal percent sign). False for a path
// the format cannot carry (a line break).
bool DesktopExec(const std::string& executablePath, std::string& exec);

// Writes the entry into <dataHome>/applications and makes it the default for audio CDs in
// <configHome>/mimeapps.list, keeping every other line of that file. Each file is written beside
// and renamed into place. False with a message in error on failure.
bool RegisterDefaultCdPlayer(const std::string& executablePath, const DesktopFolders& folders,
                             std::string& error);

// The mimeapps.list text with the default for audio CDs set to the entry.
std::string WithAudioCdDefault(const std::string& mimeapps);

}  // namespace orvane::cdplayer::ui
