#include "encoder/rip/sample_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orvane::rip {

namespace {

constexpr std::int64_t kFrameSamples = kSamplesPerSector;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The versions of one sector met so far, and how often each was read.
struct SectorVotes {
    std::vector<std::vector<std::uint8_t>> versions;
    std::vector<int> counts;
    int best = -1;  // index of the version read most often

    int Add(const std::uint8_t* frame) {
        std::size_t i = 0;
        while (i < versions.size() && std::memcmp(versions[i].data(), frame, kFrameBytes) != 0)
            ++i;
        if (i == versions.size()) {
            versions.emplace_back(frame, frame + kFrameBytes);
            counts.push_back(0);
        }
        ++counts[i];
        if (best < 0 || counts[i] > counts[static_cast<std::size_t>(best)])
            best = static_cast<int>(i);
        return counts[i];
    }
};

}  // namespace

const char* ReadModeName(ReadMode mode) {
    switch (mode) {
        case ReadMode::Secure:
            return "secure";
        case ReadMode::TestAndCopy:
            return "test-and-copy";
        case ReadMode::Burst:
            break;
    }
    return "burst";
}

ReadResult SampleReader::Read(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                              int attempts) {
    if (settings_.asRequested) {
        ReadResult result = 0;
        for (int a = 0; a < attempts && result != 1; ++a) {
            ++requests_;
            result = drive_.ReadAudioFrames(first, count, out);
        }
        return result;
    }
    const std::int64_t from = std::int64_t{first} * kFrameSamples + settings_.offset;
    const std::int64_t firstFrame = FloorDiv(from, kFrameSamples);
    const auto skip = static_cast<std::size_t>(from - firstFrame * kFrameSamples) * 4;
    const std::uint32_t frames = count + (skip ? 1 : 0);
    std::uint8_t* target = out;
    if (skip) {
        frames_.resize(std::size_t{frames} * kFrameBytes);
        target = frames_.data();
    }
    std::memset(target, 0, std::size_t{frames} * kFrameBytes);
    // What lies on the disc is read; the rest stays silent unless the drive may overread the
    // lead-out and does.
    const std::int64_t lo = std::max<std::int64_t>(firstFrame, 0);
    const std::int64_t hi = std::min<std::int64_t>(firstFrame + frames, leadOut_);
    if (lo < hi) {
        ReadResult r =
            ReadFrames(static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi - lo),
                       target + static_cast<std::size_t>(lo - firstFrame) * kFrameBytes, attempts);
        if (r != 1) return r;
    }
    if (settings_.overread && firstFrame + frames > std::max<std::int64_t>(hi, leadOut_)) {
        const std::int64_t at = std::max<std::int64_t>(firstFrame, leadOut_);
        std::uint8_t* place = target + static_cast<std::size_t>(at - firstFrame) * kFrameBytes;
        const auto n = static_cast<std::uint32_t>(firstFrame + frames - at);
        ++requests_;
        if (drive_.ReadAudioFrames(static_cast<std::uint32_t>(at), n, place) != 1)
            std::memset(place, 0, std::size_t{n} * kFrameBytes);
    }
    if (skip) std::memcpy(out, target + skip, std::size_t{count} * kFrameBytes);
    return 1;
}

SpanResult SampleReader::ReadSpan(const SpanRequest& request, ReadObserver& observer) {
    SpanResult out;
    const std::uint32_t n = std::max<std::uint32_t>(request.chunk, 1);
    span_.resize(std::size_t{n} * kFrameBytes);
    if (request.blockMode) drive_.SetAudioBlockMode();
    // The observer is asked between the reader's requests too: a secure read of damaged
    // sectors makes many.
    std::function<bool()> before = std::move(cancelled_);
    cancelled_ = [&observer] { return observer.StopRequested(); };
    struct Restore {
        std::function<bool()>& slot;
        std::function<bool()>& saved;
        ~Restore() { slot = std::move(saved); }
    } restore{cancelled_, before};
    BeginSpan(request.first, request.end, request.reread);
    Deemphasis filter;
    for (std::uint32_t e = request.first; e < request.end; e += n) {
        const std::uint32_t count = std::min(n, request.end - e);
        const int attempts =
            e + std::uint64_t{n} >= request.end ? request.lastAttempts : request.attempts;
        const ReadResult result = Read(e, count, span_.data(), attempts);
        if (result == 1) {
            const std::size_t bytes = std::size_t{count} * kFrameBytes;
            const std::uint8_t* samples = span_.data();
            if (request.deemphasis) {
                filtered_.assign(span_.begin(), span_.begin() + static_cast<std::ptrdiff_t>(bytes));
                filter.Process(filtered_.data(), bytes / 4);
                samples = filtered_.data();
            }
            if (!observer.Samples(e, count, span_.data(), samples)) {
                out.outcome = SpanOutcome::Stopped;
                return out;
            }
        }
        if (observer.ChunkDone(e, count, result)) {
            out.outcome = SpanOutcome::Cancelled;
            return out;
        }
        if (result != 1) {
            out.outcome = SpanOutcome::Failed;
            out.first = e;
            out.count = count;
            out.result = result;
            return out;
        }
    }
    return out;
}

void SampleReader::BeginSpan(std::uint32_t first, std::uint32_t end, bool reread) {
    if (settings_.asRequested) return;
    // The sectors Read asks of the drive for these frames, the offset applied.
    const auto frame = [&](std::uint32_t f, std::int64_t round) {
        const std::int64_t at =
            FloorDiv(std::int64_t{f} * kFrameSamples + settings_.offset + round, kFrameSamples);
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(at, 0, leadOut_));
    };
    spanLo_ = frame(first, 0);
    spanHi_ = frame(end, kFrameSamples - 1);
    winLo_ = winHi_ = 0;
    window_.clear();
    if (!reread || !CacheSectors()) return;
    // A second whole read compares nothing when the cache answers it.
    std::vector<std::uint32_t> cached;
    for (std::uint32_t s : recent_)
        if (s >= spanLo_ && s < spanHi_ && MayBeCached(s)) cached.push_back(s);
    if (!cached.empty()) PushOut(cached, spanLo_, spanHi_);
}

std::uint32_t SampleReader::CacheSectors() {
    if (settings_.cacheSectors >= 0) return static_cast<std::uint32_t>(settings_.cacheSectors);
    if (cacheSectors_ < 0) {
        // MODE SENSE page 2Ah: the buffer size in kB at bytes 12-13 of the page.
        std::uint8_t caps[28];
        std::uint32_t kb = 0;
        if (drive_.QueryCdCapabilities(caps) == 1) kb = std::uint32_t{caps[20]} << 8 | caps[21];
        cacheSectors_ = (std::int64_t{kb} * 1024 + kFrameBytes - 1) / kFrameBytes;
        // A buffer that holds the whole disc cannot be emptied by reading elsewhere on it: the
        // reads are taken as a drive's that keeps no audio.
        if (cacheSectors_ >= leadOut_) cacheSectors_ = 0;
    }
    return static_cast<std::uint32_t>(cacheSectors_);
}

void SampleReader::Remember(std::uint32_t lba, std::uint32_t count) {
    const std::uint64_t n = CacheSectors();
    if (!n) return;
    for (std::uint32_t s = lba; s < lba + count; ++s) {
        auto it = recentAt_.find(s);
        if (it != recentAt_.end()) {
            recent_.erase(it->second.first);
        } else if (++freshReads_ > 2 * n) {
            // Not read for 2n sectors: whatever the cache held at the start has gone, and this
            // one is surely fetched from the disc.
            ++sureFetches_;
        }
        recent_.push_front(s);
        recentAt_[s] = {recent_.begin(), sureFetches_};
        if (recent_.size() > 2 * n) {
            recentAt_.erase(recent_.back());
            recent_.pop_back();
        }
    }
}

bool SampleReader::MayBeCached(std::uint32_t lba) const {
    auto it = recentAt_.find(lba);
    if (it == recentAt_.end()) return false;
    // Remember has asked CacheSectors already.
    const std::int64_t n = settings_.cacheSectors >= 0 ? settings_.cacheSectors : cacheSectors_;
    return sureFetches_ - it->second.second <
           static_cast<std::uint64_t>(std::max<std::int64_t>(n, 0));
}

bool SampleReader::PushOut(const std::vector<std::uint32_t>& sectors, std::uint32_t avoidLo,
                           std::uint32_t avoidHi) {
    const std::uint32_t chunk = std::max<std::uint32_t>(chunk_, 1);
    if (pushAt_ < 0) {
        // Start at the end of the disc farther from the sectors read.
        const std::uint64_t n = 2 * std::uint64_t{CacheSectors()};
        const bool tailFarther = std::int64_t{leadOut_} - avoidHi >= std::int64_t{avoidLo};
        pushAt_ = tailFarther ? std::max<std::int64_t>(
                                    avoidHi, std::int64_t{leadOut_} - static_cast<std::int64_t>(n))
                              : 0;
    }
    std::vector<std::uint8_t> scratch(std::size_t{chunk} * kFrameBytes);
    const auto pending = [&] {
        return std::any_of(sectors.begin(), sectors.end(),
                           [&](std::uint32_t s) { return MayBeCached(s); });
    };
    while (pending()) {
        // The next run of sectors not read lately that the drive can read, once round the disc
        // at most.
        std::uint32_t at = 0, length = 0;
        for (std::uint32_t step = 0; step < leadOut_ && length < chunk; ++step) {
            const auto s = static_cast<std::uint32_t>(pushAt_);
            const bool usable = (s < avoidLo || s >= avoidHi) && !recentAt_.count(s) &&
                                !noPush_.count(s) && (length == 0 || s == at + length);
            if (!usable && length > 0) break;
            pushAt_ = (pushAt_ + 1) % leadOut_;
            if (!usable) continue;
            if (length == 0) at = s;
            ++length;
        }
        if (length == 0 || Cancelled()) return false;
        ++requests_;
        if (drive_.ReadAudioFrames(at, length, scratch.data()) == 1) {
            Remember(at, length);
        } else {
            // A data track or a damaged place: never tried again for this.
            for (std::uint32_t s = at; s < at + length; ++s)
                noPush_.insert(s);
        }
    }
    return true;
}

ReadResult SampleReader::ReadWindowed(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    chunk_ = std::max(chunk_, count);
    const std::uint32_t n = CacheSectors(), chunk = chunk_;
    // A cache of n holds none of a window's first reads once its second pass has read 2n
    // other sectors after them: windows of 2n and a request more, the rest of the span joined
    // to the last window rather than left short.
    const std::uint32_t size = 2 * n + chunk;
    while (count > 0) {
        if (lba >= winLo_ && lba < winHi_) {
            const std::uint32_t m = std::min(count, winHi_ - lba);
            std::memcpy(out, window_.data() + std::size_t{lba - winLo_} * kFrameBytes,
                        std::size_t{m} * kFrameBytes);
            lba += m;
            count -= m;
            out += std::size_t{m} * kFrameBytes;
            continue;
        }
        std::uint32_t hi = spanHi_ - lba <= size ? spanHi_ : lba + size;
        if (spanHi_ - hi < size) hi = spanHi_;
        window_.resize(std::size_t{hi - lba} * kFrameBytes);
        winLo_ = winHi_ = 0;
        ReadResult r = ReadSecure(lba, hi - lba, window_.data(), chunk);
        if (r != 1) return r;
        winLo_ = lba;
        winHi_ = hi;
    }
    return 1;
}

ReadResult SampleReader::ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                    int attempts) {
    if (settings_.mode == ReadMode::Secure) {
        if (CacheSectors() && lba >= spanLo_ && lba + count <= spanHi_)
            return ReadWindowed(lba, count, out);
        chunk_ = std::max(chunk_, count);
        return ReadSecure(lba, count, out, count);
    }
    chunk_ = std::max(chunk_, count);
    const bool test = settings_.mode == ReadMode::TestAndCopy;
    ReadResult result = 0;
    std::vector<bool> flags;
    for (int a = 0; a < attempts && result != 1; ++a) {
        if (Cancelled()) return kReadCancelled;
        if (test) {
            // The test and the copy agreeing says nothing of samples the drive could not
            // correct: those it flags are suspicious whatever the checksums say.
            result = ReadOnce(lba, count, out, flags);
        } else {
            ++requests_;
            result = drive_.ReadAudioFrames(lba, count, out);
            if (result == 1) Remember(lba, count);
        }
    }
    if (result == 1 && test) {
        for (std::uint32_t k = 0; k < count; ++k)
            if (flags[k]) MarkSuspicious(lba + k);
    }
    return result;
}

ReadResult SampleReader::ReadOnce(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                  std::vector<bool>& flags) {
    ++requests_;
    flags.assign(count, false);
    if (settings_.useC2 && !c2Refused_) {
        c2_.resize(std::size_t{count} * AudioDrive::kC2Bytes);
        ReadResult r = drive_.ReadAudioFramesC2(lba, count, out, c2_.data());
        if (r == 1) {
            Remember(lba, count);
            for (std::uint32_t k = 0; k < count; ++k) {
                const std::uint8_t* p = c2_.data() + std::size_t{k} * AudioDrive::kC2Bytes;
                flags[k] =
                    std::any_of(p, p + AudioDrive::kC2Bytes, [](std::uint8_t b) { return b; });
            }
            return r;
        }
        // ILLEGAL REQUEST: the drive has no C2 pointers; plain reads from now on.
        if (((r >> 16) & 0x0F) != 5) return r;
        c2Refused_ = true;
        ++requests_;
    }
    ReadResult r = drive_.ReadAudioFrames(lba, count, out);
    if (r == 1) Remember(lba, count);
    return r;
}

// One secure read of a range: per sector the versions read, whether they agreed, what the
// last read gave, and whether a read returned it or it failed when read alone.
struct SampleReader::SecurePass {
    std::uint32_t lba = 0, count = 0;
    int agree = 2;
    std::vector<SectorVotes> votes;
    std::vector<bool> settled, read, alone, flags;
    std::vector<std::uint8_t> last, buffer;
};

ReadResult SampleReader::ReadPiece(SecurePass& p, std::uint32_t at, std::uint32_t count) {
    if (CacheSectors()) {
        // A sector read before must come from the disc this time, not from the cache.
        std::vector<std::uint32_t> again;
        for (std::uint32_t i = at; i < at + count; ++i)
            if (p.read[i] && !p.settled[i] && MayBeCached(p.lba + i)) again.push_back(p.lba + i);
        if (!again.empty() && !PushOut(again, p.lba, p.lba + p.count)) {
            // Nothing left to push them out with: this pass gives them no vote.
            if (Cancelled()) return kReadCancelled;
            return 1;
        }
    }
    if (Cancelled()) return kReadCancelled;
    ReadResult r = ReadOnce(p.lba + at, count, p.buffer.data(), p.flags);
    if (r == 1) {
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t i = at + k;
            const std::uint8_t* frame = p.buffer.data() + std::size_t{k} * kFrameBytes;
            std::memcpy(p.last.data() + std::size_t{i} * kFrameBytes, frame, kFrameBytes);
            p.read[i] = true;
            p.alone[i] = false;
            // Sectors whose reads carry C2 errors get no vote from that read.
            if (!p.settled[i] && !p.flags[k] && p.votes[i].Add(frame) >= p.agree)
                p.settled[i] = true;
        }
        return 1;
    }
    // Only the medium's errors are the sectors'; anything else (no disc, a refused command)
    // ends the read.
    if (r < 0 || ((r >> 16) & 0x0F) != 3) return r;
    if (count == 1) {
        p.alone[at] = true;
        return 1;
    }
    const std::uint32_t half = count / 2;
    r = ReadPiece(p, at, half);
    return r == 1 ? ReadPiece(p, at + half, count - half) : r;
}

ReadResult SampleReader::ReadSecure(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                    std::uint32_t chunk) {
    SecurePass p;
    p.lba = lba;
    p.count = count;
    p.agree = std::max(settings_.agree, 2);
    const int maxReads = std::max(settings_.maxReads, p.agree);
    p.votes.resize(count);
    p.settled.assign(count, false);
    p.read.assign(count, false);
    p.alone.assign(count, false);
    p.last.assign(std::size_t{count} * kFrameBytes, 0);
    p.buffer.resize(std::size_t{chunk} * kFrameBytes);
    // Each pass reads the span of the sectors not yet settled, in requests of chunk sectors; a
    // sector that failed when read alone is read alone, the others around it together.
    std::uint32_t lo = 0, hi = count;
    for (int pass = 0; pass < maxReads; ++pass) {
        while (lo < hi && p.settled[lo])
            ++lo;
        while (hi > lo && p.settled[hi - 1])
            --hi;
        if (lo >= hi) break;
        for (std::uint32_t at = lo; at < hi;) {
            std::uint32_t m = 1;
            if (!p.alone[at]) {
                while (m < chunk && at + m < hi && !p.alone[at + m])
                    ++m;
            }
            ReadResult r = ReadPiece(p, at, m);
            if (r != 1) return r;
            at += m;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* frame = out + std::size_t{i} * kFrameBytes;
        if (p.votes[i].best >= 0) {
            std::memcpy(frame,
                        p.votes[i].versions[static_cast<std::size_t>(p.votes[i].best)].data(),
                        kFrameBytes);
        } else {
            // Never read without C2 errors: what the drive gave last is all there is; never
            // read at all: silence.
            std::memcpy(frame, p.last.data() + std::size_t{i} * kFrameBytes, kFrameBytes);
        }
        if (!p.settled[i]) MarkSuspicious(lba + i);
    }
    return 1;
}

void SampleReader::MarkSuspicious(std::uint32_t lba) {
    if (std::find(suspicious_.begin(), suspicious_.end(), lba) == suspicious_.end())
        suspicious_.push_back(lba);
}

}  // namespace orvane::rip
