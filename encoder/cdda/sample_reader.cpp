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

AspiResult SampleReader::ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                    int attempts) {
    if (settings_.mode == ReadMode::Secure) return ReadSecure(lba, count, out);
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
    return drive_.ReadAudioFrames(lba, count, out);
}

AspiResult SampleReader::ReadSecure(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    const int agree = std::max(settings_.agree, 2);
    const int maxReads = std::max(settings_.maxReads, agree);
    std::vector<SectorVotes> votes(count);
    std::vector<bool> settled(count, false), flags;
    std::vector<std::uint8_t> buffer(std::size_t{count} * kFrameBytes);
    AspiResult last = 0;
    bool anyRead = false;
    // Each pass reads the span of the sectors not yet settled; sectors whose reads carry C2
    // errors get no vote from that read.
    std::uint32_t lo = 0, hi = count, lastLo = 0;
    for (int pass = 0; pass < maxReads && lo < hi; ++pass) {
        const std::uint32_t n = hi - lo;
        last = ReadOnce(lba + lo, n, buffer.data(), flags);
        if (last != 1) continue;
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
