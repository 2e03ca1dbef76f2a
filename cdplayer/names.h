#pragma once
// The current disc's names: loading them from the song database when a disc is detected.

#include <string>
#include <vector>

#include "cdplayer/mcdb.h"
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

// The file work of the load at disc detection, done without the player lock: reads
// "Nerop.DB"; sets an unreadable one aside (never truncating or replacing it) and starts a new
// file; stores the disc in a new or empty file. When the file can be neither read nor set
// aside, nothing is written and the names stay in memory (notSaved).
struct NamesLoad {
    std::string identity;
    unsigned tracks = 0;
    unsigned audioTracks = 0;
    bool haveRecord = false;  // db holds the file's record
    MCDB db;
    bool notSaved = false;
    std::string notSavedText;  // why names will not be saved
    std::vector<PendingMessage> messages;
};
NamesLoad ReadNamesForDisc(const std::string& path, const std::string& identity, unsigned tracks);

// Applies a load to the player (the caller holds the player lock): CurrentTrackNames and
// CurrentDiscName for the disc in the drive, from the file's record or, when names cannot be
// saved, from the record kept in memory. Messages to show are appended in order; the one
// saying that names will not be saved is given once per run.
void ApplyNames(PlayerState& player, const NamesLoad& load, std::vector<PendingMessage>& messages);

// Both steps for a caller that holds the player lock.
void LoadNamesAtDetection(PlayerState& player, std::vector<PendingMessage>& messages);

// How many tracks of the disc are audio tracks.
unsigned AudioTrackCount(CMciCdAudio& device);
// Whether track n of the disc is an audio track.
bool IsAudioTrack(CMciCdAudio& device, unsigned n);
// The first audio track from track `from` on, going up (step 1) or down (step -1) through the
// disc's tracks; 0 when there is none.
unsigned AudioTrackFrom(CMciCdAudio& device, int from, int step);

inline constexpr const char* kCantOpenDatabase = "Error: Can't open database file Nerop.DB";
inline constexpr const char* kFatalCantOpenDatabase =
    "Fatal Error: Can't open database file Nerop.DB";
inline constexpr const char* kCantCreateDatabase = "Fatal Error: Can't create a new database file.";
inline constexpr const char* kDatabaseCreated = "A new database was created.";
inline constexpr const char* kNoAudioTracks =
    "This disc holds no audio tracks: there is nothing to play.";
inline constexpr const char* kNoDiscLoaded =
    "There is no Disc Loaded!, you cannot edit the track names, if the CD is not in drive!";

}  // namespace orvane::cdplayer
