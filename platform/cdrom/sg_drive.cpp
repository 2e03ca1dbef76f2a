#include "platform/cdrom/sg_drive.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdrom {

namespace {

constexpr unsigned kTimeoutMs = 5000;
// A READ CD request stays below the 64 KiB many host adapters take in one transfer.
constexpr std::uint32_t kFramesPerCommand = 26;

void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

SgIoctl& Door() {
    static SgIoctl door;
    return door;
}

int DeviceIoctl(int fd, unsigned long request, void* arg) {
    if (const SgIoctl& door = Door()) return door(fd, request, arg);
    return ::ioctl(fd, request, arg);
}

}  // namespace

void SetSgIoctl(SgIoctl ioctlFunction) { Door() = std::move(ioctlFunction); }

std::unique_ptr<SgDrive> SgDrive::Open(const std::string& device, std::string& error) {
    int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = device + ": " + std::strerror(errno);
        return nullptr;
    }
    int version = 0;
    if (DeviceIoctl(fd, SG_GET_VERSION_NUM, &version) < 0 || version < 30000) {
        error = device + ": no SCSI generic support";
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<SgDrive> drive(new SgDrive(device, fd));
    InquiryData inquiry;
    DriveResult r = drive->Inquiry(inquiry);
    if (!r.ok || inquiry.deviceType != 5) {
        error = device + ": not a CD drive";
        return nullptr;
    }
    return drive;
}

SgDrive::~SgDrive() { ::close(fd_); }

DriveResult SgDrive::Execute(const std::uint8_t* cdb, std::size_t cdbLength, std::uint8_t* data,
                             std::size_t dataLength, bool toDevice) {
    std::lock_guard lock(mutex_);
    std::uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmdp = const_cast<std::uint8_t*>(cdb);
    io.cmd_len = static_cast<unsigned char>(cdbLength);
    io.dxferp = data;
    io.dxfer_len = static_cast<unsigned>(dataLength);
    io.dxfer_direction =
        dataLength == 0 ? SG_DXFER_NONE : (toDevice ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV);
    io.sbp = sense;
    io.mx_sb_len = sizeof sense;
    io.timeout = kTimeoutMs;
    if (DeviceIoctl(fd_, SG_IO, &io) < 0) {
        return DriveResult::Failure(device_ + ": " + std::strerror(errno));
    }
    if ((io.info & SG_INFO_OK_MASK) == SG_INFO_OK) return DriveResult::Ok();
    DriveResult sensed;
    if (DecodeSense(sense, std::min<std::size_t>(io.sb_len_wr, sizeof sense), sensed)) {
        return sensed;
    }
    if (io.host_status || io.driver_status) {
        return DriveResult::Failure(device_ + ": transport error");
    }
    return DriveResult::Sense(kSenseAbortedCommand, 0, 0, "command failed without sense data");
}

DriveResult SgDrive::Inquiry(InquiryData& out) {
    std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
    std::uint8_t data[36] = {};
    DriveResult r = Execute(cdb, sizeof cdb, data, sizeof data, false);
    if (r.ok && !ParseInquiry(data, sizeof data, out)) {
        return DriveResult::Failure("short INQUIRY answer");
    }
    out.atapi = true;
    return r;
}

DriveResult SgDrive::TestUnitReady() {
    std::uint8_t cdb[6] = {0x00, 0, 0, 0, 0, 0};
    return Execute(cdb, sizeof cdb, nullptr, 0, false);
}

DriveResult SgDrive::ReadToc(Toc& out) {
    std::vector<std::uint8_t> data(804, 0);  // 4 + 100 descriptors of 8 bytes
    std::uint8_t cdb[10] = {0x43, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    cdb[7] = static_cast<std::uint8_t>(data.size() >> 8);
    cdb[8] = static_cast<std::uint8_t>(data.size());
    DriveResult r = Execute(cdb, sizeof cdb, data.data(), data.size(), false);
    if (!r.ok) return r;
    std::string error;
    if (!ParseToc(data.data(), data.size(), out, &error)) return DriveResult::Failure(error);
    return r;
}

DriveResult SgDrive::ReadDiscInfo(DiscInfo& out) {
    Toc toc;
    DriveResult r = ReadToc(toc);
    if (!r.ok) return r;
    DiscInfo disc = DiscInfoFromToc(toc);
    // Full table of contents: the session of each track (descriptors of 11 bytes; points 1-99
    // are tracks). A drive that does not give it leaves the sessions as the track list suggests.
    std::vector<std::uint8_t> full(4 + 11 * 128, 0);
    std::uint8_t tocCdb[10] = {0x43, 0x02, 0x02, 0, 0, 0, 1, 0, 0, 0};
    tocCdb[7] = static_cast<std::uint8_t>(full.size() >> 8);
    tocCdb[8] = static_cast<std::uint8_t>(full.size());
    if (Execute(tocCdb, sizeof tocCdb, full.data(), full.size(), false).ok) {
        const std::size_t length =
            std::min<std::size_t>(((full[0] << 8) | full[1]) + 2u, full.size());
        int sessions = 0;
        for (std::size_t at = 4; at + 11 <= length; at += 11) {
            const std::uint8_t session = full[at], point = full[at + 3];
            if (point < 1 || point > 99 || session < 1) continue;
            for (TrackInfo& t : disc.tracks) {
                if (t.number == point) t.session = session;
            }
            sessions = std::max<int>(sessions, session);
        }
        if (sessions > 0) {
            disc.sessions = sessions;
            FillLengths(disc);
        }
    }
    // READ SUB-CHANNEL: the catalog number (format 2) and each audio track's ISRC (format 3),
    // each when its valid bit is set.
    auto code = [&](std::uint8_t format, std::uint8_t track, std::size_t size) {
        std::uint8_t data[24] = {};
        std::uint8_t cdb[10] = {0x42, 0, 0x40, format, 0, 0, track, 0, sizeof data, 0};
        std::string text;
        if (Execute(cdb, sizeof cdb, data, sizeof data, false).ok && (data[8] & 0x80)) {
            for (std::size_t i = 0; i < size; ++i) {
                const char c = static_cast<char>(data[9 + i]);
                if (std::isalnum(static_cast<unsigned char>(c))) text += c;
            }
        }
        return text.size() == size ? text : std::string();
    };
    disc.catalog = code(2, 0, 13);
    for (TrackInfo& t : disc.tracks) {
        if (t.audio) t.isrc = code(3, t.number, 12);
    }
    out = std::move(disc);
    return DriveResult::Ok();
}

DriveResult SgDrive::ReadCdda(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
    while (count > 0) {
        std::uint32_t n = std::min(count, kFramesPerCommand);
        // READ CD: expected sector type CD-DA, user data only.
        std::uint8_t cdb[12] = {0xBE, 0x04, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0};
        Put32(cdb + 2, lba);
        cdb[6] = static_cast<std::uint8_t>(n >> 16);
        cdb[7] = static_cast<std::uint8_t>(n >> 8);
        cdb[8] = static_cast<std::uint8_t>(n);
        DriveResult r = Execute(cdb, sizeof cdb, out, std::size_t{n} * kFrameBytes, false);
        if (!r.ok) return r;
        lba += n;
        count -= n;
        out += std::size_t{n} * kFrameBytes;
    }
    return DriveResult::Ok();
}

DriveResult SgDrive::ReadCddaC2(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                std::uint8_t* c2) {
    constexpr std::size_t kPerFrame = kFrameBytes + kC2Bytes;
    std::vector<std::uint8_t> data;
    while (count > 0) {
        std::uint32_t n = std::min(count, kFramesPerCommand);
        // READ CD: CD-DA, user data and the C2 error pointers (error field 01b).
        std::uint8_t cdb[12] = {0xBE, 0x04, 0, 0, 0, 0, 0, 0, 0, 0x12, 0, 0};
        Put32(cdb + 2, lba);
        cdb[6] = static_cast<std::uint8_t>(n >> 16);
        cdb[7] = static_cast<std::uint8_t>(n >> 8);
        cdb[8] = static_cast<std::uint8_t>(n);
        data.assign(n * kPerFrame, 0);
        DriveResult r = Execute(cdb, sizeof cdb, data.data(), data.size(), false);
        if (!r.ok) return r;
        for (std::uint32_t k = 0; k < n; ++k) {
            std::memcpy(out, data.data() + k * kPerFrame, kFrameBytes);
            std::memcpy(c2, data.data() + k * kPerFrame + kFrameBytes, kC2Bytes);
            out += kFrameBytes;
            c2 += kC2Bytes;
        }
        lba += n;
        count -= n;
    }
    return DriveResult::Ok();
}

DriveResult SgDrive::ReadCapabilities(Capabilities& out) {
    std::uint8_t data[64] = {};
    std::uint8_t cdb[10] = {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, sizeof data, 0};
    DriveResult r = Execute(cdb, sizeof cdb, data, sizeof data, false);
    if (r.ok && !ParseCapabilities(data, sizeof data, out)) {
        return DriveResult::Failure("bad capabilities page");
    }
    return r;
}

DriveResult SgDrive::SetSpeed(std::uint16_t kilobytesPerSecond) {
    // The write speed stays as it is (FFFFh: the drive's best).
    std::uint8_t cdb[12] = {0xBB, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    cdb[2] = static_cast<std::uint8_t>(kilobytesPerSecond >> 8);
    cdb[3] = static_cast<std::uint8_t>(kilobytesPerSecond);
    return Execute(cdb, sizeof cdb, nullptr, 0, false);
}

DriveResult SgDrive::SetTray(bool open) {
    // START STOP UNIT with LoEj: Start 0 ejects, Start 1 loads.
    std::uint8_t cdb[6] = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(open ? 0x02 : 0x03), 0};
    return Execute(cdb, sizeof cdb, nullptr, 0, false);
}

}  // namespace orvane::cdrom
