#pragma once
// The player as a desktop's media controls see it: one consistent picture of the playback
// (status, track, names, position, play modes) taken under the player lock, what changed between
// two pictures, and the controls' requests carried out through the window's own commands.
// No bus here: the bus side (cdplayer/mpris) maps these onto its interfaces.

#include <cstdint>
#include <string>
#include <vector>

#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

enum class RemoteStatus { Stopped, Playing, Paused };
// How the repeat modes read: off, the disc (or the programmed order) over again, one stretch.
enum class RemoteLoop { None, Track, Playlist };

// What the drive tells of the disc beyond the song database: its CD-Text (empty when none).
struct DiscTexts {
    std::string identity;  // the disc these texts belong to
    std::string title, performer;
    std::vector<std::string> trackTitles, trackPerformers;  // [i] is track i + 1
};

struct RemoteSnapshot {
    RemoteStatus status = RemoteStatus::Stopped;
    bool discPresent = false;
    std::string identity;  // the disc's identity, empty without a disc
    DWORD track = 0;       // current track, 0 without a disc
    DWORD tracks = 0;
    std::int64_t lengthMs = 0;    // of the current track
    std::int64_t positionMs = 0;  // into the current track, never negative
    std::string title, artist, album;
    bool shuffle = false;
    RemoteLoop loop = RemoteLoop::None;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canSeek = false;
};

// The picture now. texts are used for the disc they name where the song database has no names
// of its own (its placeholders "TRACK n", "UNKNOWN DISC" and "UNKNOWN DISC NAME").
RemoteSnapshot TakeRemoteSnapshot(PlayerState& player, const DiscTexts& texts);

// The property groups that differ between two pictures, in a fixed order; position alone is
// never a change (it moves with every poll).
enum class RemoteChange { Status, Metadata, Shuffle, Loop, Controls };
std::vector<RemoteChange> RemoteChanges(const RemoteSnapshot& before, const RemoteSnapshot& after);

// True when the position moved other than by playing on between two pictures elapsedMs apart:
// a seek, a scan release, a slider drop, an A-B repeat's return. A new track starting from its
// beginning is no jump.
bool PositionJumped(const RemoteSnapshot& before, const RemoteSnapshot& after,
                    std::int64_t elapsedMs);

// Requests of the media controls. Each runs the window's commands under the player lock (the
// caller is the UI thread), so the status thread never sees them halfway.
void RemotePlay(PlayerState& player);   // play, or resume; nothing while playing
void RemotePause(PlayerState& player);  // pause while playing; nothing otherwise
// Random play on (as its button) or off (the other modes stay).
void RemoteSetShuffle(PlayerState& player, bool on);
// None: repeat off and its points cleared; Playlist: the disc repeats; Track: the stretch of the
// current track repeats. Intro scan and random play go off with Track and Playlist, as with the
// Repeat button.
void RemoteSetLoop(PlayerState& player, RemoteLoop loop);
// Plays the current track from positionMs (clamped at 0); past the track's end, the next track
// as Next. Paused play stays paused at the new place. False when nothing could be done (no disc).
bool RemoteSetPosition(PlayerState& player, std::int64_t positionMs);

// The object path naming one track of one disc: "/org/orvane/Tarvo/disc_<id>/track_<n>", the
// identity turned into path characters.
std::string RemoteTrackId(const std::string& identity, DWORD track);

}  // namespace orvane::cdplayer
