#pragma once
// Play that outlives the player. A drive that plays on its own keeps playing when the player
// closes without stopping it (StopCDOnExit 0); here the player itself produces the sound, so at
// such an exit it hands the disc to a small background process of its own (tarvo-headless
// --keep-playing), which plays on until the disc ends, is ejected, or the next player starts and
// takes the disc back, continuing where the background process was.
//
// The two meet at a Unix socket beside the single-instance lock. The closing player makes the
// socket and passes it to the background process as descriptor 3, so a player started right
// after finds it even before the background process has started; the background process holds
// no single-instance lock, so the next player starts as usual and asks it to stop.

#include <optional>
#include <string>

#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

// The socket's path: "TarvoBackground.sock" in $XDG_RUNTIME_DIR (else /tmp, with the user id).
std::string BackgroundSocketPath();

// At the end of the program, before the device is closed: when StopCDOnExit is 0 and the disc is
// playing or paused, stops it here and starts `program` to play on (or to hold the pause) from
// the same position. Returns true when the background process was started; false (with a reason
// in why, empty when nothing was to be done) otherwise.
bool KeepPlayingInBackground(PlayerState& player, const std::string& program, std::string& why);

// Where a background process stood when it was asked to stop.
struct HandedOver {
    char drive = 0;       // the drive letter it played
    DWORD msf = 0;        // its position (MSF) at that moment
    bool paused = false;  // the disc was paused there rather than playing
};

// At start-up: asks a background process, if one runs, to stop and tell where it was, waiting
// at most timeoutMs for the answer.
std::optional<HandedOver> TakeOverFromBackground(unsigned timeoutMs);

// After the device has opened: plays on from a handed-over position (or pauses there) when it is
// the same drive.
void ContinueHandedOver(PlayerState& player, const HandedOver& state);

// The background process: plays the open device from msf (or holds it paused there) and serves
// the socket listenFd until the disc stops (its end or the tray) or a player takes over. Returns
// the exit code.
int RunBackgroundPlayback(PlayerState& player, DWORD msf, bool paused, int listenFd);

}  // namespace orvane::cdplayer
