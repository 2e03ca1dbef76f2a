#pragma once
// The current disc's names: loading them from the song database when a disc is detected.

#include <string>
#include <vector>

#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

// A message box to show once the caller no longer holds the player lock.
struct PendingMessage {
    std::string text;
    unsigned flags = 0;
};

void ShowMessages(Messenger& messenger, const std::vector<PendingMessage>& messages);

// The identity of the disc in the drive, copied out of the device's info buffer ("" when the
// device gives none).
std::string DiscIdentity(CMciCdAudio& device);

// The number of tracks on the disc; a value no audio disc can have (above 99) counts as 0.
unsigned NumberOfTracks(CMciCdAudio& device);

// The load at disc detection: reads "Nerop.DB" (creating it, and storing the disc in a new or
// empty file), then sets CurrentTrackNames and CurrentDiscName for the disc in the drive. The
// caller holds the player lock; the messages to show are appended in order.
void LoadNamesAtDetection(PlayerState& player, std::vector<PendingMessage>& messages);

inline constexpr const char* kCantOpenDatabase = "Error: Can't open database file Nerop.DB";
inline constexpr const char* kFatalCantOpenDatabase =
    "Fatal Error: Can't open database file Nerop.DB";
inline constexpr const char* kCantCreateDatabase = "Fatal Error: Can't create a new database file.";
inline constexpr const char* kDatabaseCreated = "A new database was created.";
inline constexpr const char* kNoDiscLoaded =
    "There is no Disc Loaded!, you cannot edit the track names, if the CD is not in drive!";

}  // namespace orvane::cdplayer
