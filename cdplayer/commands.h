#pragma once
// The device part of start-up, the transport commands and the mode buttons. Each command runs
// on the UI thread under the player lock; none of them reports device errors.

#include <functional>
#include <string>
#include <vector>

#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

// String 61204.
inline constexpr const char* kCantOpenCdAudio =
    "Warning!: Can't open the CD-AUDIO device!\nMaybe there is another program using it, first "
    "close that program and then try again to run Orvane CD Player.";
inline constexpr const char* kNoCdRomDrive = "Error: No CD-ROM drive found.";

// The drive type of a root such as "E:\\" (GetDriveType).
using DriveTypeFn = std::function<UINT(const std::string& root)>;

// The CD-ROM drives as "%c:" texts, in letter order from A: to Z: (the preferences' drive list).
std::vector<std::string> CdRomDrives(const DriveTypeFn& driveType);

// The device part of start-up: closes an open tray, chooses the drive (the setting, else the
// first CD-ROM drive from A: to Z:) and opens it, up to 50 times. False when start-up must end
// (the messages have been shown).
bool StartDevice(PlayerState& player, Messenger& messenger, const DriveTypeFn& driveType);

void PlayPauseCommand(PlayerState& player);      // IDC_PLAY
void StopCommand(PlayerState& player);           // IDC_STOP
void NextTrackCommand(PlayerState& player);      // IDC_NEXT_TRACK
void PreviousTrackCommand(PlayerState& player);  // IDC_PREVIOUS_TRACK
void EjectCommand(PlayerState& player);          // IDC_EJECT
// Selection of item index in the track list (IDC_TRACK_LIST).
void PlayTrackCommand(PlayerState& player, int index);
// At the end of start-up when PlayOnStartUp is 1.
void PlayOnStartUp(PlayerState& player);
// End of program: stops the disc when StopCDOnExit is 1, then closes the device.
void CloseDevice(PlayerState& player);

// IDC_INTRO_SCAN: turns intro scan on (and random, repeat and programmed play off); pressed
// while the scan runs, turns it off.
void IntroScanCommand(PlayerState& player);
void RandomCommand(PlayerState& player);  // IDC_RANDOM
void RepeatCommand(PlayerState& player);  // IDC_REPEAT

}  // namespace orvane::cdplayer
