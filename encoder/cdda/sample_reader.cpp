#include "encoder/cdda/sample_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orvane::cdda {

namespace {

constexpr std::int64_t kFrameSamples = kFrameBytes / 4;  // 588 stereo samples

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

std::string SectorPlace(int trackNumber, std::uint32_t trackStart, std::uint32_t lba) {
    const std::uint32_t at = lba >= trackStart ? lba - trackStart : 0;
    char text[96];
    std::snprintf(text, sizeof text, "track %d, %02u:%02u.%02u (LBA %u)", trackNumber, at / 75 / 60,
                  at / 75 % 60, at % 75, lba);
    return text;
}

AspiResult SampleReader::Read(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                              int attempts) {
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
        AspiResult r =
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

void SampleReader::BeginSpan(std::uint32_t first, std::uint32_t end) {
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
}

std::uint32_t SampleReader::CacheSectors() {
    if (settings_.cacheSectors >= 0) return static_cast<std::uint32_t>(settings_.cacheSectors);
    if (cacheSectors_ < 0) {
        // MODE SENSE page 2Ah: the buffer size in kB at bytes 12-13 of the page.
        std::uint8_t caps[28];
        std::uint32_t kb = 0;
        if (drive_.QueryCdCapabilities(caps) == 1) kb = std::uint32_t{caps[20]} << 8 | caps[21];
        cacheSectors_ = (std::int64_t{kb} * 1024 + kFrameBytes - 1) / kFrameBytes;
    }
    return static_cast<std::uint32_t>(cacheSectors_);
}

void SampleReader::Remember(std::uint32_t lba, std::uint32_t count) {
    const std::uint32_t n = CacheSectors();
    if (!n) return;
    for (std::uint32_t s = count > n ? lba + count - n : lba; s < lba + count; ++s)
        recent_.push_back(s);
    while (recent_.size() > n)
        recent_.pop_front();
}

bool SampleReader::MayBeCached(std::uint32_t first, std::uint32_t count,
                               std::uint32_t chunk) const {
    const std::size_t n = recent_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t s = recent_[i];
        if (s < first || s - first >= count) continue;
        // Sectors read since s, and those the pass reads before the request holding s.
        const std::size_t since = n - 1 - i;
        const std::uint32_t before = (s - first) / chunk * chunk;
        if (since + before < n) return true;
    }
    return false;
}

void SampleReader::ReadElsewhere(std::uint32_t first, std::uint32_t end, std::uint32_t chunk) {
    const std::uint32_t n = std::min(CacheSectors(), leadOut_);
    // The end of the disc farther from the span; the other one when that does not read (a
    // data track there).
    const std::uint32_t head = 0, tail = leadOut_ - n;
    const bool tailFarther = std::int64_t{tail} - end >= std::int64_t{first} - n;
    for (std::uint32_t at : {tailFarther ? tail : head, tailFarther ? head : tail}) {
        std::vector<std::uint8_t> scratch(std::size_t{chunk} * kFrameBytes);
        bool ok = true;
        for (std::uint32_t k = 0; k < n && ok; k += chunk) {
            const std::uint32_t m = std::min(chunk, n - k);
            ++requests_;
            ok = drive_.ReadAudioFrames(at + k, m, scratch.data()) == 1;
            if (ok) Remember(at + k, m);
        }
        if (ok) return;
    }
}

AspiResult SampleReader::ReadWindowed(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    chunk_ = std::max(chunk_, count);
    const std::uint32_t n = CacheSectors(), chunk = chunk_;
    // A FIFO cache of n holds none of a window's first reads once its second pass has read n
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
        AspiResult r = ReadSecure(lba, hi - lba, window_.data(), chunk, hi - lba < 2 * n);
        if (r != 1) return r;
        winLo_ = lba;
        winHi_ = hi;
    }
    return 1;
}

AspiResult SampleReader::ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                    int attempts) {
    if (settings_.mode == ReadMode::Secure) {
        if (CacheSectors() && lba >= spanLo_ && lba + count <= spanHi_)
            return ReadWindowed(lba, count, out);
        return ReadSecure(lba, count, out, count, false);
    }
    AspiResult result = 0;
    for (int a = 0; a < attempts && result != 1; ++a) {
        ++requests_;
        result = drive_.ReadAudioFrames(lba, count, out);
    }
    return result;
}

AspiResult SampleReader::ReadOnce(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                  std::vector<bool>& flags) {
    ++requests_;
    flags.assign(count, false);
    if (settings_.useC2 && !c2Refused_) {
        c2_.resize(std::size_t{count} * CdDrive::kC2Bytes);
        AspiResult r = drive_.ReadAudioFramesC2(lba, count, out, c2_.data());
        if (r == 1) {
            Remember(lba, count);
            for (std::uint32_t k = 0; k < count; ++k) {
                const std::uint8_t* p = c2_.data() + std::size_t{k} * CdDrive::kC2Bytes;
                flags[k] = std::any_of(p, p + CdDrive::kC2Bytes, [](std::uint8_t b) { return b; });
            }
            return r;
        }
        // ILLEGAL REQUEST: the drive has no C2 pointers; plain reads from now on.
        if (((r >> 16) & 0x0F) != 5) return r;
        c2Refused_ = true;
        ++requests_;
    }
    AspiResult r = drive_.ReadAudioFrames(lba, count, out);
    if (r == 1) Remember(lba, count);
    return r;
}

AspiResult SampleReader::ReadSecure(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                    std::uint32_t chunk, bool shortSpan) {
    const int agree = std::max(settings_.agree, 2);
    const int maxReads = std::max(settings_.maxReads, agree);
    std::vector<SectorVotes> votes(count);
    std::vector<bool> settled(count, false), flags, chunkFlags;
    std::vector<std::uint8_t> buffer(std::size_t{count} * kFrameBytes);
    AspiResult last = 0;
    bool anyRead = false;
    // Each pass reads the span of the sectors not yet settled; sectors whose reads carry C2
    // errors get no vote from that read.
    std::uint32_t lo = 0, hi = count, lastLo = 0;
    for (int pass = 0; pass < maxReads && lo < hi; ++pass) {
        const std::uint32_t n = hi - lo;
        // A caching drive would answer the sectors read last from its cache: agreeing reads
        // that never reached the disc twice.
        if (pass > 0 && CacheSectors() &&
            ((pass == 1 && shortSpan) || MayBeCached(lba + lo, n, chunk)))
            ReadElsewhere(lba, lba + count, chunk);
        bool passRead = false;
        flags.assign(n, true);
        for (std::uint32_t at = 0; at < n; at += chunk) {
            const std::uint32_t m = std::min(chunk, n - at);
            AspiResult r = ReadOnce(lba + lo + at, m, buffer.data() + std::size_t{at} * kFrameBytes,
                                    chunkFlags);
            if (r != 1) {
                last = r;
                continue;
            }
            passRead = true;
            std::copy(chunkFlags.begin(), chunkFlags.end(), flags.begin() + at);
        }
        if (!passRead) continue;
        last = 1;
        anyRead = true;
        lastLo = lo;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t i = lo + k;
            if (settled[i] || flags[k]) continue;
            if (votes[i].Add(buffer.data() + std::size_t{k} * kFrameBytes) >= agree)
                settled[i] = true;
        }
        while (lo < hi && settled[lo])
            ++lo;
        while (hi > lo && settled[hi - 1])
            --hi;
    }
    if (!anyRead) return last;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* frame = out + std::size_t{i} * kFrameBytes;
        if (votes[i].best >= 0) {
            std::memcpy(frame, votes[i].versions[static_cast<std::size_t>(votes[i].best)].data(),
                        kFrameBytes);
        } else {
            // Never read without C2 errors: what the drive gave last is all there is.
            std::memcpy(frame, buffer.data() + std::size_t{i - lastLo} * kFrameBytes, kFrameBytes);
        }
        if (!settled[i]) MarkSuspicious(lba + i);
    }
    return 1;
}

void SampleReader::MarkSuspicious(std::uint32_t lba) {
    if (std::find(suspicious_.begin(), suspicious_.end(), lba) == suspicious_.end())
        suspicious_.push_back(lba);
}

}  // namespace orvane::cdda
