#include "tests/platform/cdrom/mmc_drive_model.h"

#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/cdrom/cd_text.h"

namespace orvane::test {

namespace {

using cdrom::kFrameBytes;
using cdrom::kMsfOffset;

// Sense keys, additional sense codes and qualifiers the model answers with.
constexpr std::uint8_t kNotReady = 0x02, kMediumError = 0x03, kIllegal = 0x05, kAttention = 0x06;

std::uint32_t Get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}
std::uint32_t Get24(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}
std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v >> 16);
    Put16(p + 2, v);
}
std::uint8_t Bcd(std::uint32_t v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

// Minutes, seconds and frames of an absolute frame count.
void PutMsf(std::uint8_t* p, std::uint32_t frames, bool bcd) {
    std::uint32_t m = frames / (60 * 75), s = frames / 75 % 60, f = frames % 75;
    p[0] = static_cast<std::uint8_t>(bcd ? Bcd(m) : m);
    p[1] = static_cast<std::uint8_t>(bcd ? Bcd(s) : s);
    p[2] = static_cast<std::uint8_t>(bcd ? Bcd(f) : f);
}

// The address field of a TOC or sub-channel answer: LBA, or 0 M S F with the MSF bit.
void PutAddress(std::uint8_t* p, std::uint32_t lba, bool msf) {
    if (msf) {
        p[0] = 0;
        PutMsf(p + 1, lba + kMsfOffset, false);
    } else {
        Put32(p, lba);
    }
}

}  // namespace

std::unique_ptr<MmcDriveModel> MmcDriveModel::Open(const std::string& cuePath, std::string& error) {
    cdrom::CueSheet sheet;
    if (!cdrom::LoadCueSheet(cuePath, sheet, error)) return nullptr;
    return std::make_unique<MmcDriveModel>(std::move(sheet));
}

MmcDriveModel::MmcDriveModel(cdrom::CueSheet sheet) {
    toc_ = sheet.toc;
    disc_ = cdrom::DiscInfoFromSheet(sheet);
    image_ = std::make_unique<cdrom::ImageDrive>(std::move(sheet));
}

void MmcDriveModel::RemoveDisc() {
    if (medium_) mediaEvent_ = 3;  // media removal
    medium_ = false;
}

void MmcDriveModel::OpenTray() {
    trayOpen_ = true;
    becomingReady_ = 0;
    mediaEvent_ = medium_ ? 3 : 1;
}

void MmcDriveModel::CloseTray() {
    if (!trayOpen_) return;
    trayOpen_ = false;
    if (medium_) {
        becomingReady_ = 1;
        attention_ = true;
        mediaEvent_ = 2;  // new media
    }
}

void MmcDriveModel::FailSectors(std::uint32_t first, std::uint32_t last) {
    failing_.push_back({first, last});
}

void MmcDriveModel::DamageSectors(std::uint32_t first, std::uint32_t last) {
    damaged_.push_back({first, last});
}

bool MmcDriveModel::Damaged(std::uint32_t lba) const {
    return std::any_of(damaged_.begin(), damaged_.end(),
                       [lba](const cdrom::SectorRange& r) { return r.Contains(lba); });
}

void MmcDriveModel::SetIdentity(const std::string& vendor, const std::string& product) {
    vendor_ = vendor;
    product_ = product;
}

int MmcDriveModel::Ioctl(unsigned long request, void* arg) {
    if (request == SG_GET_VERSION_NUM) {
        *static_cast<int*>(arg) = 30536;
        return 0;
    }
    if (request != SG_IO) {
        errno = EINVAL;
        return -1;
    }
    auto* io = static_cast<sg_io_hdr_t*>(arg);
    if (io->interface_id != 'S' || !io->cmdp || io->cmd_len < 6) {
        errno = EINVAL;
        return -1;
    }
    bool toDevice = io->dxfer_direction == SG_DXFER_TO_DEV;
    std::size_t transferred = 0;
    // An ATAPI packet (and a USB command block) is 12 or 16 bytes whatever the length given:
    // the kernel pads a shorter block with zeros, so the drive reads those.
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, io->cmdp, std::min<std::size_t>(io->cmd_len, sizeof cdb));
    Answer a = Execute(cdb, static_cast<std::uint8_t*>(io->dxferp), io->dxferp ? io->dxfer_len : 0,
                       transferred);
    io->status = io->masked_status = io->msg_status = 0;
    io->host_status = io->driver_status = 0;
    io->sb_len_wr = 0;
    io->resid = toDevice ? 0 : static_cast<int>(io->dxfer_len - transferred);
    io->duration = 0;
    io->info = SG_INFO_OK;
    if (a.key != 0) {
        std::uint8_t sense[18] = {};
        sense[0] = static_cast<std::uint8_t>(0x70 | (a.haveInfo ? 0x80 : 0));
        sense[2] = a.key;
        Put32(sense + 3, a.info);
        sense[7] = 10;  // additional sense length
        sense[12] = a.asc;
        sense[13] = a.ascq;
        std::size_t n = std::min<std::size_t>(sizeof sense, io->mx_sb_len);
        if (io->sbp && n) std::memcpy(io->sbp, sense, n);
        io->sb_len_wr = static_cast<unsigned char>(io->sbp ? n : 0);
        io->status = 0x02;         // CHECK CONDITION
        io->masked_status = 0x01;  // CHECK CONDITION >> 1
        io->driver_status = 0x08;  // DRIVER_SENSE
        io->info = SG_INFO_CHECK;
    }
    return 0;
}

MmcDriveModel::Answer MmcDriveModel::MediumState(bool reportAttention) {
    if (trayOpen_) return {kNotReady, 0x3A, 0x02};
    if (!medium_) return {kNotReady, 0x3A, 0x01};
    if (becomingReady_ > 0) {
        --becomingReady_;
        return {kNotReady, 0x04, 0x01};
    }
    if (reportAttention && attention_) {
        attention_ = false;
        return {kAttention, 0x28, 0x00};
    }
    return {};
}

MmcDriveModel::Answer MmcDriveModel::Execute(const std::uint8_t* cdb, std::uint8_t* data,
                                             std::size_t dataLength, std::size_t& transferred) {
    const std::uint8_t op = cdb[0];
    opcodes_.push_back(op);
    const Answer invalidField{kIllegal, 0x24, 0x00};
    std::vector<std::uint8_t> out;
    Answer a;
    auto needMedium = [&]() { return MediumState(true); };
    // A pending medium change is reported once to the first command other than these.
    bool attentionFree = op == 0x12 || op == 0x4A || op == 0x03;
    if (!attentionFree && attention_ && !trayOpen_ && medium_ && becomingReady_ == 0) {
        attention_ = false;
        return {kAttention, 0x28, 0x00};
    }
    switch (op) {
        case 0x12: {                                 // INQUIRY
            if (cdb[1] & 0x01) return invalidField;  // vital product data not modelled
            cdrom::InquiryData inquiry;
            inquiry.deviceType = deviceType_;
            inquiry.vendor = vendor_;
            inquiry.product = product_;
            inquiry.revision = "1.00";
            out = cdrom::EncodeInquiry(inquiry);
            out.resize(std::min<std::size_t>(out.size(), Get16(cdb + 3)));
            break;
        }
        case 0x00:  // TEST UNIT READY
            a = needMedium();
            break;
        case 0x43:  // READ TOC/PMA/ATIP
            a = needMedium();
            if (a.key == 0) a = ReadToc(cdb, out);
            break;
        case 0x42:  // READ SUB-CHANNEL
            a = needMedium();
            if (a.key == 0) a = ReadSubChannel(cdb, out);
            break;
        case 0xBE:  // READ CD
            a = needMedium();
            if (a.key == 0) a = ReadCd(cdb, out);
            break;
        case 0x28:  // READ(10)
            a = needMedium();
            if (a.key == 0) a = Read10(cdb, out);
            break;
        case 0x15:  // MODE SELECT(6)
        case 0x55:  // MODE SELECT(10)
            a = ModeSelect(data, dataLength, op == 0x55);
            break;
        case 0x5A: {  // MODE SENSE(10)
            std::uint8_t page = cdb[2] & 0x3F;
            if (page != 0x2A && page != 0x3F) return invalidField;
            cdrom::Capabilities caps;
            caps.maxSpeedKBs = maxSpeed_;
            caps.currentSpeedKBs = currentSpeed_;
            caps.locked = locked_;
            out = cdrom::EncodeCapabilities(caps);
            out.resize(std::min<std::size_t>(out.size(), Get16(cdb + 7)));
            break;
        }
        case 0xBB: {  // SET CD SPEED
            std::uint16_t speed = Get16(cdb + 2);
            currentSpeed_ = speed == 0xFFFF || speed > maxSpeed_
                                ? maxSpeed_
                                : std::max<std::uint16_t>(speed, 176);
            break;
        }
        case 0x1B: {  // START STOP UNIT
            bool loadEject = cdb[4] & 0x02, start = cdb[4] & 0x01;
            if (!loadEject) break;  // spinning up or down changes nothing here
            if (start) {
                if (trayOpen_ && !trayMotor_) return {kNotReady, 0x3A, 0x02};
                CloseTray();
            } else {
                if (locked_) return {kIllegal, 0x53, 0x02};  // medium removal prevented
                OpenTray();
            }
            break;
        }
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
            locked_ = cdb[4] & 0x01;
            break;
        case 0x4A:  // GET EVENT STATUS NOTIFICATION
            a = EventStatus(cdb, out);
            break;
        default:
            return {kIllegal, 0x20, 0x00};  // invalid command operation code
    }
    if (a.key == 0 && data && !out.empty()) {
        transferred = std::min(out.size(), dataLength);
        std::memcpy(data, out.data(), transferred);
    }
    return a;
}

MmcDriveModel::Answer MmcDriveModel::ReadToc(const std::uint8_t* cdb,
                                             std::vector<std::uint8_t>& out) {
    const bool msf = cdb[1] & 0x02;
    std::uint8_t format = cdb[2] & 0x0F;
    if (format == 0 && (cdb[9] >> 6)) format = cdb[9] >> 6;  // the older place of the format
    const std::uint8_t from = cdb[6];
    const std::size_t allocation = Get16(cdb + 7);
    out.assign(4, 0);
    auto descriptor = [&](std::uint8_t control, std::uint8_t number, std::uint32_t lba) {
        std::uint8_t d[8] = {0, static_cast<std::uint8_t>(0x10 | control), number, 0};
        PutAddress(d + 4, lba, msf);
        out.insert(out.end(), d, d + 8);
    };
    switch (format) {
        case 0: {  // table of contents
            if (from > toc_.lastTrack && from != 0xAA) return {kIllegal, 0x24, 0x00};
            for (const cdrom::TocTrack& t : toc_.tracks) {
                if (t.number >= from) descriptor(t.control, t.number, t.lba);
            }
            descriptor(toc_.tracks.back().control, 0xAA, toc_.leadOut);
            out[2] = toc_.firstTrack;
            out[3] = toc_.lastTrack;
            break;
        }
        case 1: {  // session information: the first track of the last session
            std::size_t i = 0;
            while (disc_.tracks[i].session != disc_.sessions)
                ++i;
            descriptor(toc_.tracks[i].control, toc_.tracks[i].number, toc_.tracks[i].lba);
            out[2] = 1;
            out[3] = static_cast<std::uint8_t>(disc_.sessions);
            break;
        }
        case 2: {  // full table of contents: per session points A0, A1, A2, then its tracks
            std::uint8_t session = 1;
            // PMIN/PSEC/PFRAME: an address in MSF, or a track number in PMIN.
            auto entry = [&](std::uint8_t control, std::uint8_t point, std::uint32_t value,
                             bool address) {
                std::uint8_t d[11] = {session, static_cast<std::uint8_t>(0x10 | control), 0, point};
                if (address) {
                    PutMsf(d + 8, value, false);
                } else {
                    d[8] = static_cast<std::uint8_t>(value);  // PSEC 0: disc type CD-DA/CD-ROM
                }
                out.insert(out.end(), d, d + 11);
            };
            for (; session <= disc_.sessions; ++session) {
                std::vector<std::size_t> in;
                for (std::size_t i = 0; i < disc_.tracks.size(); ++i) {
                    if (disc_.tracks[i].session == session) in.push_back(i);
                }
                if (in.empty()) continue;
                const cdrom::TocTrack& first = toc_.tracks[in.front()];
                const cdrom::TocTrack& last = toc_.tracks[in.back()];
                const cdrom::TrackInfo& end = disc_.tracks[in.back()];
                entry(first.control, 0xA0, first.number, false);
                entry(last.control, 0xA1, last.number, false);
                entry(last.control, 0xA2, end.start + end.length + kMsfOffset, true);
                for (std::size_t i : in) {
                    entry(toc_.tracks[i].control, toc_.tracks[i].number,
                          toc_.tracks[i].lba + kMsfOffset, true);
                }
            }
            out[2] = 1;
            out[3] = static_cast<std::uint8_t>(disc_.sessions);
            break;
        }
        case 5:  // CD-Text, from the texts of the cue sheet
            out = cdrom::EncodeCdText(disc_);
            break;
        default:
            return {kIllegal, 0x24, 0x00};
    }
    Put16(out.data(), static_cast<std::uint32_t>(out.size() - 2));
    out.resize(std::min(out.size(), allocation));
    return {};
}

std::size_t MmcDriveModel::TrackAt(std::uint32_t lba) const {
    std::size_t i = 0;
    while (i + 1 < toc_.tracks.size() && toc_.tracks[i + 1].lba <= lba)
        ++i;
    return i;
}

std::size_t MmcDriveModel::DiscTrackAt(std::uint32_t lba) const {
    std::size_t found = kInGap;
    for (std::size_t i = 0; i < disc_.tracks.size(); ++i) {
        const cdrom::TrackInfo& t = disc_.tracks[i];
        if (t.start - t.pregap <= lba) found = i;
    }
    if (found == kInGap) return kInGap;
    const cdrom::TrackInfo& t = disc_.tracks[found];
    // Past the end of a session's last track: the lead-out and lead-in before the next.
    return lba < t.start + t.length || found + 1 == disc_.tracks.size() ? found : kInGap;
}

std::vector<std::uint8_t> MmcDriveModel::QSubChannel(std::uint32_t lba) const {
    std::vector<std::uint8_t> q(12, 0);
    const std::size_t i = DiscTrackAt(lba);
    const cdrom::TocTrack& t = toc_.tracks[i == kInGap ? TrackAt(lba) : i];
    const bool pregap = lba < t.lba;  // before the track's INDEX 01: index 0
    int index = 0;
    if (!pregap && i != kInGap) {
        for (std::uint32_t at : disc_.tracks[i].indexes)
            index += at <= lba ? 1 : 0;
    }
    q[0] = static_cast<std::uint8_t>((t.control << 4) | 0x01);
    q[1] = Bcd(t.number);
    q[2] = Bcd(static_cast<std::uint32_t>(std::max(index, pregap ? 0 : 1)));
    // In a pregap the relative time counts down to the track's start.
    PutMsf(q.data() + 3, pregap ? t.lba - lba : lba - t.lba, true);
    PutMsf(q.data() + 7, lba + kMsfOffset, true);
    Put16(q.data() + 10, cdrom::CdCrc(q.data(), 10));
    return q;
}

MmcDriveModel::Answer MmcDriveModel::ReadSubChannel(const std::uint8_t* cdb,
                                                    std::vector<std::uint8_t>& out) {
    const bool msf = cdb[1] & 0x02;
    const bool subQ = cdb[2] & 0x40;
    const std::uint8_t format = cdb[3];
    out.assign(4, 0);
    out[1] = 0x15;  // audio status: no current audio status (the model does not play)
    if (subQ) {
        if (format == 1) {
            const cdrom::TocTrack& t = toc_.tracks[TrackAt(position_)];
            std::uint8_t d[12] = {1, static_cast<std::uint8_t>(0x10 | t.control), t.number,
                                  static_cast<std::uint8_t>(position_ < t.lba ? 0 : 1)};
            PutAddress(d + 4, position_, msf);
            std::uint32_t relative = position_ >= t.lba ? position_ - t.lba : 0;
            if (msf) {
                d[8] = 0;
                PutMsf(d + 9, relative, false);
            } else {
                Put32(d + 8, relative);
            }
            out.insert(out.end(), d, d + 12);
        } else if (format == 2 || format == 3) {
            // The valid bit (byte 8, bit 7) tells whether the disc has the code at all.
            std::uint8_t d[20] = {format};
            std::string code = disc_.catalog;
            if (format == 3) {
                const std::uint8_t number = cdb[6];
                const cdrom::TrackInfo* info = disc_.Track(number);
                if (!info) return {kIllegal, 0x24, 0x00};
                d[1] = static_cast<std::uint8_t>(0x10 |
                                                 toc_.tracks[info - disc_.tracks.data()].control);
                d[2] = number;
                code = info->isrc;
            }
            if (!code.empty()) {
                d[4] = 0x80;
                std::memcpy(d + 5, code.data(), std::min<std::size_t>(code.size(), 13));
            }
            out.insert(out.end(), d, d + 20);
        } else {
            return {kIllegal, 0x24, 0x00};
        }
    }
    Put16(out.data() + 2, static_cast<std::uint32_t>(out.size() - 4));
    out.resize(std::min<std::size_t>(out.size(), Get16(cdb + 7)));
    return {};
}

MmcDriveModel::Answer MmcDriveModel::ReadFrames(std::uint32_t lba, std::uint32_t count,
                                                std::uint8_t* out) {
    // Without user data (sub-channel alone) any sector outside the session gaps reads.
    if (std::uint64_t{lba} + count > toc_.leadOut) return {kIllegal, 0x21, 0x00};
    for (const cdrom::SectorRange& range : failing_) {
        if (range.Overlaps(lba, count)) {
            Answer a{kMediumError, 0x11, 0x00};  // unrecovered read error
            a.haveInfo = true;
            a.info = std::max(lba, range.first);
            return a;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t track = DiscTrackAt(lba + i);
        if (track == kInGap) return {kIllegal, 0x21, 0x00};  // not a sector of user data
        if (out && !disc_.tracks[track].audio) {
            return {kIllegal, 0x64, 0x00};  // illegal mode for this track
        }
    }
    if (count && out && !image_->ReadCdda(lba, count, out).ok) return {kMediumError, 0x11, 0x00};
    for (std::uint32_t i = 0; out && i < count; ++i) {
        if (Damaged(lba + i)) cdrom::AlterSector(out + std::size_t{i} * kFrameBytes);
    }
    position_ = count ? lba + count - 1 : lba;
    return {};
}

MmcDriveModel::Answer MmcDriveModel::ReadCd(const std::uint8_t* cdb,
                                            std::vector<std::uint8_t>& out) {
    const std::uint8_t sectorType = (cdb[1] >> 2) & 0x07;  // 0 any, 1 CD-DA
    if (sectorType > 1) return {kIllegal, 0x64, 0x00};     // data sectors are not modelled
    const std::uint32_t lba = Get32(cdb + 2);
    const std::uint32_t count = Get24(cdb + 6);
    const bool userData = cdb[9] & 0x10;
    const std::uint8_t c2 = (cdb[9] >> 1) & 0x03;  // 1: error bits, 2: block and error bits
    const std::uint8_t sub = cdb[10] & 0x07;       // 1: raw P-W, 2: formatted Q, 4: R-W
    if (c2 == 3 || (sub != 0 && sub != 1 && sub != 2 && sub != 4) || (sub == 2 && !formattedQ_))
        return {kIllegal, 0x24, 0x00};
    std::vector<std::uint8_t> frames(userData || c2 ? std::size_t{count} * kFrameBytes : 0);
    Answer a = ReadFrames(lba, count, frames.empty() ? nullptr : frames.data());
    if (a.key) return a;
    for (std::uint32_t f = 0; f < count; ++f) {
        if (userData) {
            const std::uint8_t* p = frames.data() + std::size_t{f} * kFrameBytes;
            out.insert(out.end(), p, p + kFrameBytes);
        }
        if (c2) {
            // One bit per byte of the frame, most significant bit first, set where the byte
            // could not be corrected: the bytes AlterSector changes, the low byte of each
            // sample. Error field 10b puts the block error byte (the OR of them all) and a pad
            // byte before them.
            std::uint8_t pointers[cdrom::DiscDrive::kC2Bytes] = {};
            if (Damaged(lba + f)) {
                std::vector<std::uint8_t> probe(kFrameBytes, 0);
                cdrom::AlterSector(probe.data());
                for (std::uint32_t i = 0; i < kFrameBytes; ++i) {
                    if (probe[i]) pointers[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
                }
            }
            if (c2 == 2) {
                std::uint8_t block = 0;
                for (std::uint8_t b : pointers)
                    block |= b;
                out.push_back(block);
                out.push_back(0);
            }
            out.insert(out.end(), pointers, pointers + sizeof pointers);
        }
        if (sub == 2) {
            std::vector<std::uint8_t> q = QSubChannel(lba + f);
            q.resize(16, 0);
            out.insert(out.end(), q.begin(), q.end());
        } else if (sub == 1) {
            // Raw, interleaved: bit 6 of byte i is bit i of the Q channel (P = 0 outside
            // pauses, R-W empty).
            std::vector<std::uint8_t> q = QSubChannel(lba + f);
            for (int i = 0; i < 96; ++i)
                out.push_back(static_cast<std::uint8_t>(((q[i / 8] >> (7 - i % 8)) & 1) << 6));
        } else if (sub == 4) {
            out.insert(out.end(), 96, 0);
        }
    }
    return {};
}

MmcDriveModel::Answer MmcDriveModel::Read10(const std::uint8_t* cdb,
                                            std::vector<std::uint8_t>& out) {
    const std::uint32_t lba = Get32(cdb + 2);
    const std::uint32_t count = Get16(cdb + 7);
    // Audio sectors are read with READ(10) only once the block size is that of a frame.
    if (blockSize_ != kFrameBytes) return {kIllegal, 0x64, 0x00};
    out.resize(std::size_t{count} * kFrameBytes);
    return ReadFrames(lba, count, out.data());
}

MmcDriveModel::Answer MmcDriveModel::ModeSelect(const std::uint8_t* data, std::size_t length,
                                                bool ten) {
    const std::size_t header = ten ? 8 : 4;
    if (!data || length < header) return {kIllegal, 0x1A, 0x00};  // parameter list length error
    const std::size_t blockDescriptors = ten ? Get16(data + 6) : data[3];
    if (blockDescriptors == 0) return {};
    if (blockDescriptors != 8 || length < header + 8) return {kIllegal, 0x26, 0x00};
    const std::uint32_t size = Get24(data + header + 5);
    if (size != 2048 && size != kFrameBytes) return {kIllegal, 0x26, 0x00};
    blockSize_ = size;
    return {};
}

MmcDriveModel::Answer MmcDriveModel::EventStatus(const std::uint8_t* cdb,
                                                 std::vector<std::uint8_t>& out) {
    if (!(cdb[1] & 0x01)) return {kIllegal, 0x24, 0x00};  // only polled operation
    out.assign(4, 0);
    out[3] = 0x10;  // supported classes: media
    if (!(cdb[4] & 0x10)) {
        out[2] = 0x80;  // no event available of the classes asked for
        Put16(out.data(), 2);
    } else {
        out[2] = 0x04;  // media class
        std::uint8_t status =
            static_cast<std::uint8_t>((trayOpen_ ? 0x01 : 0) | (medium_ ? 0x02 : 0));
        std::uint8_t d[4] = {mediaEvent_, status, 0, 0};
        mediaEvent_ = 0;
        out.insert(out.end(), d, d + 4);
        Put16(out.data(), 6);
    }
    out.resize(std::min<std::size_t>(out.size(), Get16(cdb + 7)));
    return {};
}

}  // namespace orvane::test
