#include "platform/mci/cd_player.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/clock/clock.h"

namespace orvane::mci {

using cdrom::DriveResult;
using cdrom::kFrameBytes;

namespace {

// Whole frames heard in us microseconds.
std::uint64_t FramesIn(std::uint64_t us) { return us * cdrom::kFramesPerSecond / 1000000; }
// Microseconds n frames last, rounded up (so that FramesIn(FramesUs(n)) == n).
std::uint64_t FramesUs(std::uint64_t n) {
    return (n * 1000000 + cdrom::kFramesPerSecond - 1) / cdrom::kFramesPerSecond;
}

}  // namespace

std::string MediaIdentity(const cdrom::Toc& toc) {
    char part[24];
    std::snprintf(part, sizeof part, "%02X%06X", static_cast<unsigned>(toc.tracks.size() & 0xFF),
                  toc.leadOut & 0xFFFFFF);
    std::string id = part;
    // Each track adds its number's low bits with its data flag, and its start: 7 digits.
    // 8 + 17 * 7 = 127 characters spell out a table of 17 tracks; a longer one spells out
    // 14 tracks and a hash of the rest (8 + 14 * 7 + 16 = 122).
    const std::size_t kSpelled = toc.tracks.size() <= 17 ? 17 : 14;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the tracks left over
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const cdrom::TocTrack& t = toc.tracks[i];
        unsigned tag = (t.IsAudio() ? 0u : 8u);
        if (i < kSpelled) {
            std::snprintf(part, sizeof part, "%X%06X", tag, t.lba & 0xFFFFFF);
            id += part;
        } else {
            for (std::uint64_t v :
                 {std::uint64_t{t.number}, std::uint64_t{tag}, std::uint64_t{t.lba}}) {
                hash = (hash ^ v) * 1099511628211ull;
            }
        }
    }
    if (toc.tracks.size() > kSpelled) {
        std::snprintf(part, sizeof part, "%016llX", static_cast<unsigned long long>(hash));
        id += part;
    }
    return id;
}

CdPlayer::CdPlayer(std::shared_ptr<cdrom::DiscDrive> drive) : drive_(std::move(drive)) {
    thread_ = std::thread([this] { Run(); });
}

CdPlayer::~CdPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        mode_ = PlayerMode::Stopped;
        ++generation_;
    }
    wake_.notify_all();
    orvane::clock::Current().WakeSleepers();
    thread_.join();
}

DriveResult CdPlayer::DiscLocked(cdrom::Toc& toc) {
    DriveResult r = drive_->TestUnitReady();
    if (!r.ok && r.senseKey == cdrom::kSenseUnitAttention) {
        haveToc_ = false;  // the medium may have changed: read it again
        r = drive_->TestUnitReady();
    }
    if (!r.ok) {
        haveToc_ = false;
        return r;
    }
    if (!haveToc_) {
        cdrom::Toc fresh;
        r = drive_->ReadToc(fresh);
        if (!r.ok) return r;
        toc_ = fresh;
        haveToc_ = true;
        if (mode_ != PlayerMode::Playing && mode_ != PlayerMode::Paused) {
            position_ = toc_.tracks.empty() ? 0 : toc_.tracks.front().lba;
        }
    }
    toc = toc_;
    return r;
}

DriveResult CdPlayer::Disc(cdrom::Toc& toc) {
    std::lock_guard lock(mutex_);
    return DiscLocked(toc);
}

std::uint64_t CdPlayer::HeardUnboundedLocked() {
    return PastDataLocked(streamFrom_, FramesIn(sink_->PlayedUs()));
}

std::uint32_t CdPlayer::HeardLocked() {
    if (mode_ != PlayerMode::Playing) return position_;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(HeardUnboundedLocked(), end_));
}

void CdPlayer::HaltLocked(std::uint32_t position) {
    if (sink_) sink_->Flush();
    mode_ = PlayerMode::Stopped;
    position_ = position;
    ++generation_;
    orvane::clock::Current().WakeSleepers();
}

bool CdPlayer::FinishIfDoneLocked() {
    if (mode_ != PlayerMode::Playing || HeardUnboundedLocked() < end_) return false;
    mode_ = PlayerMode::Stopped;
    position_ = end_;
    ++generation_;
    orvane::clock::Current().WakeSleepers();
    return true;
}

std::uint64_t CdPlayer::PastDataLocked(std::uint32_t from, std::uint64_t frames) const {
    std::uint64_t at = from;
    while (frames > 0 && at < toc_.leadOut) {
        if (std::uint32_t dataEnd = DataTrackEndLocked(static_cast<std::uint32_t>(at))) {
            at = dataEnd;
            continue;
        }
        const std::uint64_t step = std::min<std::uint64_t>(
            frames, NextDataStartLocked(static_cast<std::uint32_t>(at)) - at);
        at += step;
        frames -= step;
    }
    return at + frames;
}

std::uint32_t CdPlayer::DataTrackEndLocked(std::uint32_t lba) const {
    if (!haveToc_) return 0;
    for (std::size_t i = 0; i < toc_.tracks.size(); ++i) {
        const std::uint32_t end =
            i + 1 < toc_.tracks.size() ? toc_.tracks[i + 1].lba : toc_.leadOut;
        if (lba >= toc_.tracks[i].lba && lba < end) return toc_.tracks[i].IsAudio() ? 0 : end;
    }
    return 0;
}

std::uint32_t CdPlayer::NextDataStartLocked(std::uint32_t lba) const {
    if (haveToc_) {
        for (const cdrom::TocTrack& t : toc_.tracks)
            if (t.lba > lba && !t.IsAudio()) return t.lba;
    }
    return haveToc_ ? toc_.leadOut : UINT32_MAX;
}

PlayerMode CdPlayer::Mode() {
    std::lock_guard lock(mutex_);
    cdrom::Toc toc;
    DriveResult r = DiscLocked(toc);
    if (!r.ok) {
        if (mode_ == PlayerMode::Playing || mode_ == PlayerMode::Paused) HaltLocked(0);
        return r.TrayOpen() ? PlayerMode::Open : PlayerMode::NotReady;
    }
    FinishIfDoneLocked();
    return mode_;
}

std::uint32_t CdPlayer::Position() {
    std::lock_guard lock(mutex_);
    FinishIfDoneLocked();
    return HeardLocked();
}

std::uint32_t CdPlayer::PlayEnd() {
    std::lock_guard lock(mutex_);
    return end_;
}

DriveResult CdPlayer::Play(std::uint32_t from, std::uint32_t to) {
    std::lock_guard lock(mutex_);
    cdrom::Toc toc;
    DriveResult r = DiscLocked(toc);
    if (!r.ok) return r;
    if (!sink_) sink_ = audio::OpenSink("CD audio");
    sink_->Flush();
    ++generation_;
    orvane::clock::Current().WakeSleepers();
    cursor_ = from;
    streamFrom_ = from;
    sent_ = 0;
    position_ = from;
    end_ = std::max(from, to);
    mode_ = PlayerMode::Playing;
    wake_.notify_all();
    return r;
}

DriveResult CdPlayer::PlayFromHere(std::uint32_t to) {
    std::uint32_t from;
    {
        std::lock_guard lock(mutex_);
        from = HeardLocked();
    }
    return Play(from, to);
}

void CdPlayer::Pause() {
    std::lock_guard lock(mutex_);
    if (mode_ != PlayerMode::Playing) return;
    if (FinishIfDoneLocked()) return;
    std::uint32_t heard = HeardLocked();
    HaltLocked(heard);
    mode_ = PlayerMode::Paused;
}

bool CdPlayer::Resume() {
    std::lock_guard lock(mutex_);
    if (mode_ != PlayerMode::Paused) return false;
    if (!sink_) sink_ = audio::OpenSink("CD audio");
    sink_->Flush();
    ++generation_;
    orvane::clock::Current().WakeSleepers();
    cursor_ = position_;
    streamFrom_ = position_;
    sent_ = 0;
    mode_ = PlayerMode::Playing;
    wake_.notify_all();
    return true;
}

void CdPlayer::Stop() {
    std::lock_guard lock(mutex_);
    if (mode_ == PlayerMode::Playing) {
        if (!FinishIfDoneLocked()) HaltLocked(HeardLocked());
    } else if (mode_ == PlayerMode::Paused) {
        mode_ = PlayerMode::Stopped;
    }
}

void CdPlayer::Seek(std::uint32_t lba) {
    std::lock_guard lock(mutex_);
    HaltLocked(lba);
}

DriveResult CdPlayer::SetDoor(bool open) {
    std::lock_guard lock(mutex_);
    if (open) HaltLocked(0);
    haveToc_ = false;
    return drive_->SetTray(open);
}

void CdPlayer::Run() {
    std::vector<std::uint8_t> buffer(std::size_t{kChunkFrames} * kFrameBytes);
    const std::uint64_t chunkUs = FramesUs(kChunkFrames);
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (mode_ != PlayerMode::Playing || FinishIfDoneLocked()) {
            if (mode_ != PlayerMode::Playing) wake_.wait(lock);
            continue;
        }
        std::uint64_t writtenUs = FramesUs(sent_);
        std::uint64_t playedUs = sink_->PlayedUs();
        std::uint64_t aheadUs = writtenUs > playedUs ? writtenUs - playedUs : 0;
        std::uint64_t bufferUs = std::uint64_t{sink_->BufferMs()} * 1000;
        std::uint64_t waitUs = 0;
        if (std::uint32_t dataEnd = cursor_ < end_ ? DataTrackEndLocked(cursor_) : 0) {
            // A data track in the range is no sound (its bytes would play as noise): the stream
            // goes on with the audio after it, and the heard position steps over it.
            cursor_ = std::min(dataEnd, end_);
            continue;
        }
        if (cursor_ >= end_) {
            waitUs = std::max<std::uint64_t>(aheadUs, 1000);  // all sent: until it is heard
        } else if (aheadUs + chunkUs > bufferUs) {
            waitUs = aheadUs + chunkUs - bufferUs;  // enough queued: until there is room
        }
        if (waitUs > 0) {
            // A command or the end of the player cuts the wait short.
            const std::uint64_t waitingFor = generation_;
            lock.unlock();
            orvane::clock::Current().SleepMsUnless(
                static_cast<std::uint32_t>((waitUs + 999) / 1000),
                [this, waitingFor] { return quit_ || generation_ != waitingFor; });
            lock.lock();
            continue;
        }
        std::uint64_t generation = generation_;
        std::uint32_t lba = cursor_;
        // A read stops where a data track begins.
        std::uint32_t n =
            std::min({kChunkFrames, end_ - cursor_, NextDataStartLocked(cursor_) - cursor_});
        lock.unlock();
        DriveResult r = drive_->ReadCdda(lba, n, buffer.data());
        lock.lock();
        if (generation != generation_) continue;  // a command came in meanwhile
        if (!r.ok) {
            if (r.senseKey == cdrom::kSenseNotReady) {
                // The disc went away: playback ends where it was heard.
                haveToc_ = false;
                HaltLocked(HeardLocked());
                continue;
            }
            // An unreadable stretch plays as silence and play goes on past it.
            std::memset(buffer.data(), 0, std::size_t{n} * kFrameBytes);
        }
        if (!sink_->Write(buffer.data(), std::size_t{n} * kFrameBytes)) {
            // The sound server went away: keep time with a null sink from here on.
            std::uint32_t heard = HeardLocked();
            sink_ = std::make_unique<audio::NullSink>();
            streamFrom_ = heard;
            cursor_ = heard;
            sent_ = 0;
            continue;
        }
        cursor_ += n;
        sent_ += n;
    }
}

}  // namespace orvane::mci
