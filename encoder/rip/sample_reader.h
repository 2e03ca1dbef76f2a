#pragma once
// Reading a disc's samples as they are on the disc: the drive's read offset corrected, and in
// secure mode every sector read until its reads agree. Every read of a disc's audio goes
// through one SampleReader and its span loop (ReadSpan): the grabber's "&Grab Now!", the CD
// job, "orvane-cdda grab", "rip" and "offset".

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "encoder/rip/audio_drive.h"
#include "encoder/rip/deemphasis.h"

namespace orvane::rip {

enum class ReadMode { Burst, Secure, TestAndCopy };
// "burst", "secure", "test-and-copy".
const char* ReadModeName(ReadMode mode);

// What Read returns when its cancel check stopped it between two requests.
constexpr ReadResult kReadCancelled = -2;

// Read offsets a drive may need, in samples; wider than any drive known.
constexpr int kMaxReadOffset = kFiveSectorSamples;

struct ReadSettings {
    int offset = 0;  // samples; the drive delivers sample i of the disc as its sample i + offset
    ReadMode mode = ReadMode::Burst;
    int agree = 2;          // secure: reads of a sector that must agree (at least 2)
    int maxReads = 16;      // secure: reads of a sector at most
    bool useC2 = true;      // secure: ask for C2 error pointers where the drive gives them
    bool overread = false;  // read beyond the disc's ends instead of zeros (drives that can)
    // secure: sectors of audio the drive may answer from its cache instead of the disc; the
    // second read of a sector comes only after this many others. -1: as many as the drive's
    // reported buffer holds; 0: the drive is trusted not to cache.
    int cacheSectors = -1;
    // Each request goes to the drive as it stands, its attempts one after the other: nothing
    // clipped to the disc, no cancel asked between them (the grabber's described reading).
    bool asRequested = false;

    // The described reading: one read per request, nothing shifted.
    bool Plain() const { return offset == 0 && mode == ReadMode::Burst; }
};

// A run of frames read in order, chunk frames a request.
struct SpanRequest {
    std::uint32_t first = 0, end = 0;
    std::uint32_t chunk = 1;
    int attempts = 6;         // tries of a request in burst and test-and-copy modes
    int lastAttempts = 6;     // ... of the request that reaches end (first + chunk at or past it)
    bool blockMode = true;    // SetAudioBlockMode before the first request
    bool reread = false;      // as BeginSpan's
    bool deemphasis = false;  // undo pre-emphasis in the samples handed on
};

// Sees a span being read, chunk by chunk.
class ReadObserver {
public:
    virtual ~ReadObserver() = default;
    // Asked before every request to the drive: true stops the read (the chunk then fails with
    // kReadCancelled). It must not consume what it answers.
    virtual bool StopRequested() { return false; }
    // One chunk read: the samples as the drive gave them (offset corrected) and as they go on
    // (de-emphasised, else the same bytes). False stops the read (a write that failed).
    virtual bool Samples(std::uint32_t first, std::uint32_t count, const std::uint8_t* asRead,
                         const std::uint8_t* samples) = 0;
    // After every chunk, read or not (progress); true stops the read as cancelled.
    virtual bool ChunkDone(std::uint32_t first, std::uint32_t count, ReadResult result) {
        (void)first;
        (void)count;
        (void)result;
        return false;
    }
};

enum class SpanOutcome { Done, Cancelled, Failed, Stopped };
struct SpanResult {
    SpanOutcome outcome = SpanOutcome::Done;
    // Failed: the chunk that could not be read and the drive's last answer (kReadCancelled
    // when StopRequested stopped it).
    std::uint32_t first = 0, count = 0;
    ReadResult result = 1;
};

class SampleReader {
public:
    SampleReader(const AudioDrive& drive, std::uint32_t leadOut, const ReadSettings& settings)
        : drive_(drive), leadOut_(leadOut), settings_(settings) {}

    // Reads the disc's frames first .. first + count - 1 into out (count x 2352 bytes), the
    // offset corrected: sample i of out is the disc's sample first * 588 + i. Samples beyond
    // the disc's ends are zeros. Returns 1, or the last failure of a command tried attempts
    // times in burst and test-and-copy modes. In secure mode a request the drive cannot read
    // is read again in smaller pieces down to single sectors; a sector that never reads is
    // silence and suspicious, and only a failure that is not the medium's (no disc, a refused
    // command) or the cancel check ends the read with that failure.
    ReadResult Read(std::uint32_t first, std::uint32_t count, std::uint8_t* out, int attempts);

    // The disc's frames first .. end - 1 are about to be read in order (a track): secure reading
    // of a caching drive reads them in windows, never past them except for the offset. reread:
    // they were read before (the copy after the test, a verifying read) and must come from the
    // disc again, not from the drive's cache.
    void BeginSpan(std::uint32_t first, std::uint32_t end, bool reread = false);

    // The span loop: reads request.first .. request.end - 1 in chunks (BeginSpan first), hands
    // each chunk read to the observer and asks it after each whether to go on. A chunk that
    // cannot be read ends the span as Failed once the observer saw it.
    SpanResult ReadSpan(const SpanRequest& request, ReadObserver& observer);

    // Asked before every request; true stops the read with kReadCancelled.
    void SetCancelCheck(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }

    // Sectors (drive addresses) whose reads never agreed, never read, or (test-and-copy) were
    // read with C2 errors, in the order met, each once.
    const std::vector<std::uint32_t>& Suspicious() const { return suspicious_; }
    void ClearSuspicious() { suspicious_.clear(); }
    // Reads of the drive issued so far (the cost of secure mode).
    std::uint64_t Requests() const { return requests_; }
    const ReadSettings& Settings() const { return settings_; }

private:
    struct SecurePass;

    ReadResult ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out, int attempts);
    // Secure reading of lba .. lba + count - 1 in requests of at most chunk sectors.
    ReadResult ReadSecure(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                          std::uint32_t chunk);
    // One request of a secure pass over the sectors at .. at + count - 1 of the pass's range,
    // halved again and again while the medium refuses it.
    ReadResult ReadPiece(SecurePass& pass, std::uint32_t at, std::uint32_t count);
    // Serves a read inside the span from the windows, reading the next window when needed.
    ReadResult ReadWindowed(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);
    bool Cancelled() const { return cancelled_ && cancelled_(); }
    std::uint32_t CacheSectors();
    // Whether the drive's cache may still hold the sector. A cache of n sectors that keeps the
    // sectors last read, or last fetched from the disc (first in, first out), holds none read
    // before 2n other sectors were, nor one read before n sectors that it surely fetched.
    bool MayBeCached(std::uint32_t lba) const;
    // Reads sectors not read lately, away from avoidLo .. avoidHi - 1, until none of these
    // sectors may be in the cache; false when the disc has no more to read.
    bool PushOut(const std::vector<std::uint32_t>& sectors, std::uint32_t avoidLo,
                 std::uint32_t avoidHi);
    void Remember(std::uint32_t lba, std::uint32_t count);
    // One read with C2 pointers where the drive gives them; flags[k] set for a sector with C2
    // errors.
    ReadResult ReadOnce(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                        std::vector<bool>& flags);
    void MarkSuspicious(std::uint32_t lba);

    const AudioDrive& drive_;
    std::uint32_t leadOut_;
    ReadSettings settings_;
    bool c2Refused_ = false;
    std::vector<std::uint32_t> suspicious_;
    std::vector<std::uint8_t> frames_, c2_;
    std::uint64_t requests_ = 0;
    std::function<bool()> cancelled_;
    // Cache defeat: the sectors it holds (-1 until asked); the last 2n sectors read, newest
    // first, each with the count of sure fetches when it was read; reads of sectors not among
    // them (only those after the first 2n are sure fetches: the cache held unknown sectors
    // before); sectors that could not be read to push others out, and where the next push
    // starts. Then the span being read in drive sectors and the window of agreed frames served
    // from.
    std::int64_t cacheSectors_ = -1;
    std::list<std::uint32_t> recent_;
    std::unordered_map<std::uint32_t, std::pair<std::list<std::uint32_t>::iterator, std::uint64_t>>
        recentAt_;
    std::uint64_t freshReads_ = 0, sureFetches_ = 0;
    std::unordered_set<std::uint32_t> noPush_;
    std::int64_t pushAt_ = -1;
    std::uint32_t spanLo_ = 0, spanHi_ = 0, winLo_ = 0, winHi_ = 0;
    std::uint32_t chunk_ = 1;  // the longest request of the read loop
    std::vector<std::uint8_t> window_;
    std::vector<std::uint8_t> span_, filtered_;  // ReadSpan's chunk, and its de-emphasised copy
};

}  // namespace orvane::rip
