#include "platform/cdrom/image_drive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/clock/clock.h"
#include "platform/fs/fs.h"

namespace orvane::cdrom {

namespace {

bool ParseLba(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    value = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

bool ParseRanges(const std::string& text, std::vector<SectorRange>& out, std::string& error) {
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t comma = text.find(',', at);
        std::string item =
            text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        SectorRange r;
        std::size_t dash = item.find('-');
        bool ok = dash == std::string::npos ? ParseLba(item, r.first) && ParseLba(item, r.last)
                                            : ParseLba(item.substr(0, dash), r.first) &&
                                                  ParseLba(item.substr(dash + 1), r.last);
        if (!ok || r.last < r.first) {
            error = "bad sector range \"" + item + "\"";
            return false;
        }
        out.push_back(r);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return true;
}

}  // namespace

std::uint16_t CacheBufferKB(std::uint32_t sectors) {
    const std::uint64_t kb = (std::uint64_t{sectors} * kFrameBytes + 1023) / 1024;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(kb, 0xFFFF));
}

std::uint32_t CacheSectorsOfBuffer(std::uint32_t kilobytes) {
    return static_cast<std::uint32_t>((std::uint64_t{kilobytes} * 1024 + kFrameBytes - 1) /
                                      kFrameBytes);
}

bool ParseFaultWord(const std::string& word, FaultPlan& plan, std::string& error) {
    std::size_t eq = word.find('=');
    std::string key = word.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    if (eq == std::string::npos) {
        if (key == "no_disc") {
            plan.noDisc = true;
        } else if (key == "tray_open") {
            plan.trayOpen = true;
        } else if (key == "busy") {
            plan.busy = true;
        } else if (key == "scsi") {
            plan.scsi = true;
        } else {
            error = "unknown fault \"" + word + "\"";
            return false;
        }
        return true;
    }
    if (key == "fail") return ParseRanges(value, plan.failing, error);
    if (key == "flip") return ParseRanges(value, plan.flip, error);
    if (key == "c2") return ParseRanges(value, plan.c2, error);
    if (key == "noisy") return ParseRanges(value, plan.noisy, error);
    if (key == "read_offset") {
        const bool negative = !value.empty() && value[0] == '-';
        std::uint32_t n = 0;
        if (!ParseLba(negative ? value.substr(1) : value, n) || n > 1000000) {
            error = "bad read_offset \"" + value + "\"";
            return false;
        }
        plan.readOffset = negative ? -static_cast<std::int32_t>(n) : static_cast<std::int32_t>(n);
        return true;
    }
    if (key == "speed") {
        char* end = nullptr;
        double x = value.empty() ? 0 : std::strtod(value.c_str(), &end);
        if (!end || *end != '\0' || !(x > 0 && x <= 100)) {
            error = "bad speed \"" + value + "\"";
            return false;
        }
        plan.speed = x;
        return true;
    }
    if (key == "cache") {
        // Up to what a 64 MB buffer holds: far beyond any drive.
        std::uint32_t n = 0;
        if (!ParseLba(value, n) || n > CacheSectorsOfBuffer(65535)) {
            error = "bad cache \"" + value + "\"";
            return false;
        }
        plan.cacheSectors = n;
        return true;
    }
    if (key == "state_file") {
        if (value.empty()) {
            error = "state_file needs a path";
            return false;
        }
        plan.stateFile = value;
        return true;
    }
    if (key == "slow") return ParseRanges(value, plan.slow, error);
    if (key == "fail_times") {
        std::uint32_t n = 0;
        if (!ParseLba(value, n) || n > 1000000) {
            error = "bad fail_times \"" + value + "\"";
            return false;
        }
        plan.failTimes = n;
        return true;
    }
    if (key == "slow_ms") {
        std::uint32_t ms = 0;
        if (!ParseLba(value, ms) || ms > 600000) {
            error = "bad slow_ms \"" + value + "\"";
            return false;
        }
        plan.slowMs = ms;
        return true;
    }
    error = "unknown fault \"" + word + "\"";
    return false;
}

std::unique_ptr<ImageDrive> ImageDrive::Open(const std::string& cuePath, std::string& error) {
    CueSheet sheet;
    if (!LoadCueSheet(cuePath, sheet, error)) return nullptr;
    return std::make_unique<ImageDrive>(std::move(sheet));
}

ImageDrive::ImageDrive(CueSheet sheet) : sheet_(std::move(sheet)) {
    for (const CueFile& f : sheet_.files) {
        // Only a regular file, opened without waiting: a FIFO put in its place cannot stall.
        orvane::fs::Status status;
        fds_.push_back(orvane::fs::OpenForReading(f.path, status));
    }
}

ImageDrive::~ImageDrive() {
    {
        std::lock_guard lock(mutex_);
        // Another copy of the drive in the process (the transport library holds its own) that
        // neither read nor moved its tray has nothing to tell.
        if (stateTouched_) WriteState();
    }
    for (int fd : fds_) {
        if (fd >= 0) ::close(fd);
    }
}

void ImageDrive::SetFaults(const FaultPlan& plan) {
    std::lock_guard lock(mutex_);
    faults_ = plan;
    failuresServed_.assign(plan.failing.size(), 0);
    flipped_.clear();
    paceDebtMs_ = 0;
    noisyReads_ = 0;
    cacheOrder_.clear();
    cache_.clear();
}

FaultPlan ImageDrive::Faults() {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool ImageDrive::Busy() {
    std::lock_guard lock(mutex_);
    return faults_.busy;
}

DriveResult ImageDrive::Ready() {
    if (faults_.trayOpen) return DriveResult::Sense(kSenseNotReady, 0x3A, 0x02, "tray open");
    if (faults_.noDisc) return DriveResult::Sense(kSenseNotReady, 0x3A, 0x01, "no disc");
    return DriveResult::Ok();
}

DriveResult ImageDrive::Inquiry(InquiryData& out) {
    out = InquiryData{};
    out.vendor = "ORVANE  ";
    out.product = "IMAGE DRIVE     ";
    out.revision = "1.0 ";
    std::lock_guard lock(mutex_);
    out.atapi = !faults_.scsi;
    return DriveResult::Ok();
}

DriveResult ImageDrive::TestUnitReady() {
    std::lock_guard lock(mutex_);
    return Ready();
}

DriveResult ImageDrive::ReadToc(Toc& out) {
    std::lock_guard lock(mutex_);
    DriveResult r = Ready();
    if (r.ok) out = sheet_.toc;
    return r;
}

DriveResult ImageDrive::ReadCapabilities(Capabilities& out) {
    out = Capabilities{};
    std::lock_guard lock(mutex_);
    out.locked = false;
    out.bufferKB = CacheBufferKB(faults_.cacheSectors);
    if (speed_) out.currentSpeedKBs = speed_;
    return DriveResult::Ok();
}

DriveResult ImageDrive::SetSpeed(std::uint16_t kilobytesPerSecond) {
    std::lock_guard lock(mutex_);
    // Like a drive: any speed up to the fastest, which "maximum" asks for.
    const std::uint16_t fastest = Capabilities{}.maxSpeedKBs;
    speed_ = std::min(kilobytesPerSecond, fastest);
    return DriveResult::Ok();
}

DriveResult ImageDrive::SetTray(bool open) {
    std::lock_guard lock(mutex_);
    faults_.trayOpen = open;
    stateTouched_ = true;
    WriteState();
    return DriveResult::Ok();
}

std::uint64_t ImageDrive::SectorsRead() {
    std::lock_guard lock(mutex_);
    return sectorsRead_;
}

std::uint64_t ImageDrive::Reads() {
    std::lock_guard lock(mutex_);
    return reads_;
}

void ImageDrive::WriteState() {
    if (faults_.stateFile.empty()) return;
    const std::string text = "tray_open=" + std::string(faults_.trayOpen ? "1" : "0") +
                             "\nsectors_read=" + std::to_string(sectorsRead_) +
                             "\nreads=" + std::to_string(reads_) + "\n";
    orvane::fs::WriteFileAtomically(faults_.stateFile, text);
}

DriveResult ImageDrive::ReadDiscInfo(DiscInfo& out) {
    std::lock_guard lock(mutex_);
    DriveResult r = Ready();
    if (r.ok) out = DiscInfoFromSheet(sheet_);
    return r;
}

void AlterSector(std::uint8_t* frame) {
    for (std::uint32_t i = 0; i < kFrameBytes; i += 2)
        frame[i] ^= 0x01;
}

DriveResult ImageDrive::ReadCdda(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    return Read(lba, count, out, nullptr);
}

DriveResult ImageDrive::ReadCddaC2(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                   std::uint8_t* c2) {
    return Read(lba, count, out, c2);
}

DriveResult ImageDrive::Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                             std::uint8_t* c2) {
    std::uint32_t delayMs = 0;
    std::int32_t readOffset = 0;
    // A failing read of a slow place takes its time too, as a drive retrying does.
    std::optional<DriveResult> failure;
    std::vector<std::uint32_t> altered;                          // indexes into the read
    std::vector<std::pair<std::uint32_t, std::uint32_t>> noise;  // index, and the read's number
    {
        std::lock_guard lock(mutex_);
        DriveResult r = Ready();
        if (!r.ok) return r;
        if (std::uint64_t{lba} + count > sheet_.toc.leadOut) {
            return DriveResult::Sense(kSenseIllegalRequest, 0x21, 0x00,
                                      "logical block address out of range");
        }
        ++reads_;
        sectorsRead_ += count;
        stateTouched_ = true;
        for (const SectorRange& range : faults_.slow) {
            if (range.Overlaps(lba, count)) delayMs = faults_.slowMs;
        }
        for (std::size_t i = 0; i < faults_.failing.size() && !failure; ++i) {
            const SectorRange& range = faults_.failing[i];
            if (range.Overlaps(lba, count)) {
                if (faults_.failTimes > 0) {
                    if (failuresServed_.size() <= i) failuresServed_.resize(i + 1, 0);
                    if (failuresServed_[i] >= faults_.failTimes) continue;
                    ++failuresServed_[i];
                }
                failure = DriveResult::Sense(kSenseMediumError, 0x11, 0x00,
                                             "unrecovered read error at sector " +
                                                 std::to_string(std::max(lba, range.first)));
            }
        }
        if (!failure && faults_.speed > 0) {
            // Paced as a drive spinning at speed x: count / 75 / x seconds per read.
            paceDebtMs_ += 1000.0 * count / kFramesPerSecond / faults_.speed;
            auto whole = static_cast<std::uint32_t>(paceDebtMs_);
            paceDebtMs_ -= whole;
            delayMs += whole;
        }
        readOffset = faults_.readOffset;
        for (std::uint32_t k = 0; k < count && !failure; ++k) {
            const std::uint32_t s = lba + k;
            bool alter = false;
            for (const SectorRange& range : faults_.c2)
                alter = alter || range.Contains(s);
            for (const SectorRange& range : faults_.flip) {
                if (!range.Contains(s)) continue;
                if (flipped_.size() <= s) flipped_.resize(std::size_t{s} + 1, false);
                if (!flipped_[s]) alter = true;
                flipped_[s] = true;
            }
            if (alter) altered.push_back(k);
            for (const SectorRange& range : faults_.noisy) {
                if (range.Contains(s)) {
                    noise.emplace_back(k, ++noisyReads_);
                    break;
                }
            }
        }
    }
    if (delayMs) orvane::clock::Current().SleepMs(delayMs);
    if (failure) return *failure;
    DriveResult r;
    if (readOffset == 0) {
        r = ReadImage(lba, count, out);
    } else {
        // Sample i of the read is the disc's sample lba * 588 - readOffset + i.
        constexpr std::int64_t kSamples = kFrameBytes / 4;
        const std::int64_t first = std::int64_t{lba} * kSamples - readOffset;
        const std::int64_t firstFrame =
            first >= 0 ? first / kSamples : -((-first + kSamples - 1) / kSamples);
        const auto skip = static_cast<std::size_t>(first - firstFrame * kSamples) * 4;
        std::vector<std::uint8_t> frames(std::size_t{count + 1} * kFrameBytes);
        r = ReadDiscFrames(firstFrame, count + 1, frames.data());
        if (r.ok) std::memcpy(out, frames.data() + skip, std::size_t{count} * kFrameBytes);
    }
    if (!r.ok) return r;
    if (c2) std::memset(c2, 0, std::size_t{count} * kC2Bytes);
    for (std::uint32_t k : altered) {
        AlterSector(out + std::size_t{k} * kFrameBytes);
        bool reported = false;
        {
            std::lock_guard lock(mutex_);
            for (const SectorRange& range : faults_.c2)
                reported = reported || range.Contains(lba + k);
        }
        if (c2 && reported) std::memset(c2 + std::size_t{k} * kC2Bytes, 0xFF, kC2Bytes);
    }
    for (const auto& [k, number] : noise) {
        // The read's own number in the first bytes: no two reads alike, none as on the disc.
        std::uint8_t* frame = out + std::size_t{k} * kFrameBytes;
        for (int i = 0; i < 4; ++i)
            frame[i] ^= static_cast<std::uint8_t>(number >> (8 * i));
    }
    std::lock_guard lock(mutex_);
    if (faults_.cacheSectors) ThroughCache(lba, count, out);
    return DriveResult::Ok();
}

void ImageDrive::ThroughCache(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    // Sector by sector, in the order the read returns them: a sector cached by this read's
    // earlier sectors may push out one its later sectors would have found.
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint8_t* frame = out + std::size_t{k} * kFrameBytes;
        auto hit = cache_.find(lba + k);
        if (hit != cache_.end()) {
            std::memcpy(frame, hit->second.data(), kFrameBytes);
            continue;
        }
        if (cacheOrder_.size() >= faults_.cacheSectors) {
            cache_.erase(cacheOrder_.front());
            cacheOrder_.pop_front();
        }
        cacheOrder_.push_back(lba + k);
        cache_.emplace(lba + k, std::vector<std::uint8_t>(frame, frame + kFrameBytes));
    }
}

DriveResult ImageDrive::ReadDiscFrames(std::int64_t first, std::uint32_t count, std::uint8_t* out) {
    const std::int64_t end = first + count;
    const std::int64_t from = std::max<std::int64_t>(first, 0);
    const std::int64_t to = std::min<std::int64_t>(end, sheet_.toc.leadOut);
    std::memset(out, 0, std::size_t{count} * kFrameBytes);
    if (from >= to) return DriveResult::Ok();
    return ReadImage(static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to - from),
                     out + static_cast<std::size_t>(from - first) * kFrameBytes);
}

DriveResult ImageDrive::ReadImage(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    // Extents are sorted and contiguous: find the one holding lba, then walk on.
    auto it = std::upper_bound(sheet_.extents.begin(), sheet_.extents.end(), lba,
                               [](std::uint32_t v, const DiscExtent& e) { return v < e.lba; });
    if (it != sheet_.extents.begin()) --it;
    while (count > 0 && it != sheet_.extents.end()) {
        std::uint32_t offset = lba - it->lba;
        std::uint32_t n = std::min(count, it->frames - offset);
        DriveResult r = ReadExtent(*it, lba, n, out);
        if (!r.ok) return r;
        lba += n;
        count -= n;
        out += std::size_t{n} * kFrameBytes;
        ++it;
    }
    return DriveResult::Ok();
}

DriveResult ImageDrive::ReadExtent(const DiscExtent& e, std::uint32_t lba, std::uint32_t count,
                                   std::uint8_t* out) {
    std::size_t bytes = std::size_t{count} * kFrameBytes;
    if (e.file < 0) {
        std::memset(out, 0, bytes);
        return DriveResult::Ok();
    }
    if (e.sectorBytes != kFrameBytes) {
        // Cooked data sectors have no 2352-byte form to hand out as audio.
        return DriveResult::Sense(kSenseIllegalRequest, 0x64, 0x00, "illegal mode for this track");
    }
    int fd = fds_[static_cast<std::size_t>(e.file)];
    if (fd < 0) {
        return DriveResult::Sense(kSenseMediumError, 0x11, 0x00,
                                  "cannot open " + sheet_.files[e.file].path);
    }
    const CueFile& file = sheet_.files[e.file];
    std::uint64_t start = e.fileByte + std::uint64_t{lba - e.lba} * kFrameBytes;
    std::uint64_t end = file.dataOffset + file.dataBytes;
    std::size_t want =
        start >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(bytes, end - start));
    std::size_t got = 0;
    while (got < want) {
        ssize_t n = ::pread(fd, out + got, want - got, static_cast<off_t>(start + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            return DriveResult::Sense(kSenseMediumError, 0x11, 0x00,
                                      file.path + ": " + std::strerror(errno));
        }
        if (n == 0) break;  // the file shrank: the rest reads as silence
        got += static_cast<std::size_t>(n);
    }
    std::memset(out + got, 0, bytes - got);  // a last partial sector is padded with silence
    if (file.type == CueFileType::Motorola) {
        for (std::size_t i = 0; i + 1 < got; i += 2)
            std::swap(out[i], out[i + 1]);
    }
    return DriveResult::Ok();
}

}  // namespace orvane::cdrom
