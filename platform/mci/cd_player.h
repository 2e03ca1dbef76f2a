#pragma once
// Digital CD-audio playback of one drive: a playback thread reads frames from the drive and
// streams them to an audio sink, pacing itself on orvane::clock. The position reported is the
// frame being heard (what was sent minus what the sink still holds), so it follows the clock
// exactly; pause, resume, seek and stop take effect at once.
//
// With the null sink the position is the clock's alone, so a test on a manual VirtualClock reads
// exact positions right after each Advance. While playing, the playback thread sleeps on the
// clock until the sink needs more audio (a chunk of 5 frames, 67 ms), so it counts among a
// VirtualClock's sleepers exactly while the mode is playing. Destroying a player joins its
// thread: on a manual clock, let time run (SetAutoAdvance(true)) before closing the last device
// of a drive that is playing.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_sink.h"
#include "platform/cdrom/disc_drive.h"

namespace orvane::mci {

// The media identity text of a disc, derived from its table of contents: upper-case
// hexadecimal, at most 127 characters, the same for the same table and different for different
// tables (the table itself is spelled out; discs with more than 17 tracks end in a 64-bit hash
// of the tracks that do not fit).
std::string MediaIdentity(const cdrom::Toc& toc);

enum class PlayerMode { NotReady, Open, Stopped, Playing, Paused };

class CdPlayer {
public:
    explicit CdPlayer(std::shared_ptr<cdrom::DiscDrive> drive);
    ~CdPlayer();
    CdPlayer(const CdPlayer&) = delete;
    CdPlayer& operator=(const CdPlayer&) = delete;

    const std::shared_ptr<cdrom::DiscDrive>& Drive() const { return drive_; }

    // The table of contents of the disc in the drive (read again after the tray moved or the
    // drive reported a change). Fails while there is no disc.
    cdrom::DriveResult Disc(cdrom::Toc& toc);
    PlayerMode Mode();
    // The frame being heard (playing), or where play stands (stopped, paused).
    std::uint32_t Position();

    // Plays frames [from, to) and returns at once.
    cdrom::DriveResult Play(std::uint32_t from, std::uint32_t to);
    // Plays from the current position to `to`.
    cdrom::DriveResult PlayFromHere(std::uint32_t to);
    void Pause();
    // Continues a paused play; false when not paused.
    bool Resume();
    void Stop();
    // Stops and moves to lba.
    void Seek(std::uint32_t lba);
    cdrom::DriveResult SetDoor(bool open);
    // Where the current or last play ends.
    std::uint32_t PlayEnd();

    // Frames per read of the playback thread.
    static constexpr std::uint32_t kChunkFrames = 5;

private:
    void Run();
    std::uint32_t HeardLocked();
    std::uint64_t HeardUnboundedLocked();
    void HaltLocked(std::uint32_t position);
    bool FinishIfDoneLocked();
    // The disc position `frames` frames of sound after from: data tracks hold none.
    std::uint64_t PastDataLocked(std::uint32_t from, std::uint64_t frames) const;
    // The end of the data track holding lba (0 when lba is in an audio track or the table of
    // contents is not known), and the start of the first data track after lba (or the lead-out).
    std::uint32_t DataTrackEndLocked(std::uint32_t lba) const;
    std::uint32_t NextDataStartLocked(std::uint32_t lba) const;
    cdrom::DriveResult DiscLocked(cdrom::Toc& toc);

    std::shared_ptr<cdrom::DiscDrive> drive_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<audio::AudioSink> sink_;
    PlayerMode mode_ = PlayerMode::Stopped;
    std::uint32_t position_ = 0;    // when not playing
    std::uint32_t cursor_ = 0;      // next frame to read
    std::uint32_t streamFrom_ = 0;  // frame at which the sink's current stream began
    std::uint64_t sent_ = 0;        // frames of sound written to the stream since then
    std::uint32_t end_ = 0;         // end of play (exclusive)
    std::atomic<std::uint64_t> generation_{0};
    bool haveToc_ = false;
    cdrom::Toc toc_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

}  // namespace orvane::mci
