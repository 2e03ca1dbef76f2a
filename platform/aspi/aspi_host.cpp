#include "platform/aspi/aspi_host.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/cdrom/sg_drive.h"

namespace orvane::aspi {

namespace {

constexpr int kTargetsPerAdapter = 8;

void CopyPadded(ASPI_BYTE* out, std::size_t size, const char* text) {
    std::memset(out, ' ', size);
    std::memcpy(out, text, std::min(size, std::strlen(text)));
}

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}
std::uint32_t Be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

cdrom::DriveResult IllegalRequest(std::uint8_t asc, const std::string& what) {
    return cdrom::DriveResult::Sense(cdrom::kSenseIllegalRequest, asc, 0x00, what);
}

// Copies an answer into the data buffer, cut to the allocation length and the buffer; the rest
// of the buffer stays as it was.
void Answer(const std::vector<std::uint8_t>& answer, std::size_t allocation, std::uint8_t* data,
            std::size_t dataLength) {
    std::size_t n = std::min({answer.size(), allocation, dataLength});
    if (n) std::memcpy(data, answer.data(), n);
}

}  // namespace

bool IsReadCommand(std::uint8_t opcode) {
    return opcode == 0x28 || opcode == 0xBE || opcode == 0xD4 || opcode == 0xD8;
}

bool ReadExtent(const std::uint8_t* cdb, std::size_t cdbLength, std::uint32_t& lba,
                std::uint32_t& count) {
    if (cdbLength < 10) return false;
    lba = Be32(cdb + 2);
    switch (cdb[0]) {
        case 0x28:  // READ(10)
        case 0xD4:
            count = Be16(cdb + 7);
            return true;
        case 0xBE:  // READ CD: a 24-bit transfer length
            count = (std::uint32_t{cdb[6]} << 16) | Be16(cdb + 7);
            return true;
        case 0xD8:
            if (cdbLength < 12) return false;
            count = Be32(cdb + 6);
            return true;
        default:
            return false;
    }
}

AspiHost::AspiHost(std::vector<std::shared_ptr<cdrom::DiscDrive>> drives, SignalEventFn signal)
    : drives_(std::move(drives)), signal_(signal) {
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        cdrom::InquiryData inq;
        bool atapi = true;
        if (drives_[i]->Inquiry(inq).ok) atapi = inq.atapi;
        if (adapters_.empty() || adapters_.back().atapi != atapi ||
            adapters_.back().drives.size() >= kTargetsPerAdapter) {
            if (adapters_.size() >= 255) break;
            adapters_.push_back({atapi, {}});
        }
        adapters_.back().drives.push_back(i);
    }
    if (signal_) worker_ = std::thread([this] { WorkerLoop(); });
}

AspiHost::~AspiHost() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

ASPI_DWORD AspiHost::SupportInfo() const {
    if (adapters_.empty()) return ASPI_DWORD{SS_NO_ADAPTERS} << 8;
    return (ASPI_DWORD{SS_COMP} << 8) | static_cast<ASPI_DWORD>(adapters_.size());
}

std::size_t AspiHost::Pending() {
    std::lock_guard lock(mutex_);
    return queue_.size() + (running_ ? 1 : 0);
}

ASPI_DWORD AspiHost::Send(void* block) {
    if (!block) return SS_INVALID_SRB;
    auto* header = static_cast<SRB_Header*>(block);
    switch (header->SRB_Cmd) {
        case SC_HA_INQUIRY:
            return HaInquiry(*static_cast<SRB_HAInquiry*>(block));
        case SC_GET_DEV_TYPE:
            return GetDeviceType(*static_cast<SRB_GDEVBlock*>(block));
        case SC_EXEC_SCSI_CMD:
            return Exec(*static_cast<SRB_ExecSCSICmd*>(block));
        case SC_ABORT_SRB:
            return Abort(*static_cast<SRB_Abort*>(block));
        default:
            header->SRB_Status = SS_INVALID_CMD;
            return SS_INVALID_CMD;
    }
}

ASPI_DWORD AspiHost::HaInquiry(SRB_HAInquiry& srb) const {
    if (srb.SRB_HaId >= adapters_.size()) {
        srb.SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    const AdapterSlot& slot = adapters_[srb.SRB_HaId];
    srb.HA_Count = static_cast<ASPI_BYTE>(adapters_.size());
    srb.HA_SCSI_ID = 7;
    CopyPadded(srb.HA_ManagerId, sizeof srb.HA_ManagerId, "ORVANE ASPI32");
    CopyPadded(srb.HA_Identifier, sizeof srb.HA_Identifier,
               slot.atapi ? "ATAPI CD-ROM" : "SCSI CD-ROM");
    std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
    srb.HA_Unique[3] = kTargetsPerAdapter;
    // Largest transfer: 1 MiB, little-endian in bytes 4-7.
    srb.HA_Unique[6] = 0x10;
    srb.SRB_Status = SS_COMP;
    return SS_COMP;
}

bool AspiHost::Locate(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun,
                      std::size_t& drive, ASPI_BYTE& status) const {
    if (adapter >= adapters_.size()) {
        status = SS_INVALID_HA;
        return false;
    }
    const AdapterSlot& slot = adapters_[adapter];
    if (lun != 0 || target >= slot.drives.size()) {
        status = SS_NO_DEVICE;
        return false;
    }
    drive = slot.drives[target];
    return true;
}

ASPI_DWORD AspiHost::GetDeviceType(SRB_GDEVBlock& srb) const {
    std::size_t drive = 0;
    ASPI_BYTE status = SS_COMP;
    if (!Locate(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun, drive, status)) {
        srb.SRB_Status = status;
        return status;
    }
    cdrom::InquiryData inq;
    srb.SRB_DeviceType = drives_[drive]->Inquiry(inq).ok ? inq.deviceType : DTYPE_CDROM;
    srb.SRB_Status = SS_COMP;
    return SS_COMP;
}

cdrom::DriveResult AspiHost::Execute(std::size_t index, const std::uint8_t* cdb,
                                     std::size_t cdbLength, std::uint8_t* data,
                                     std::size_t dataLength, bool toDevice) {
    cdrom::DiscDrive& drive = *drives_[index];
    if (auto* sg = dynamic_cast<cdrom::SgDrive*>(&drive))
        return sg->Execute(cdb, cdbLength, data, dataLength, toDevice);
    if (cdbLength == 0) return IllegalRequest(0x20, "empty command");
    if (drive.Busy())
        return cdrom::DriveResult::Sense(cdrom::kSenseNotReady, 0x04, 0x00,
                                         "the drive is held by another program");
    std::uint32_t lba = 0, count = 0;
    switch (cdb[0]) {
        case 0x00:  // TEST UNIT READY
            return drive.TestUnitReady();
        case 0x12: {  // INQUIRY
            if (cdbLength < 6) return IllegalRequest(0x24, "short command");
            if (cdb[1] & 0x01) return IllegalRequest(0x24, "vital product data not supported");
            cdrom::InquiryData inq;
            cdrom::DriveResult r = drive.Inquiry(inq);
            if (r.ok) Answer(cdrom::EncodeInquiry(inq), cdb[4], data, dataLength);
            return r;
        }
        case 0x43: {  // READ TOC, format 0 with logical block addresses
            if (cdbLength < 10) return IllegalRequest(0x24, "short command");
            if ((cdb[1] & 0x02) || (cdb[2] & 0x0F) != 0)
                return IllegalRequest(0x24, "only the LBA table of contents is supported");
            cdrom::Toc toc;
            cdrom::DriveResult r = drive.ReadToc(toc);
            if (!r.ok) return r;
            std::uint8_t from = cdb[6];
            if (from > 1 && from != 0xAA) {
                std::erase_if(toc.tracks,
                              [&](const cdrom::TocTrack& t) { return t.number < from; });
                if (toc.tracks.empty()) return IllegalRequest(0x24, "no such track");
            }
            Answer(cdrom::EncodeToc(toc), Be16(cdb + 7), data, dataLength);
            return r;
        }
        case 0x5A: {  // MODE SENSE(10)
            if (cdbLength < 10) return IllegalRequest(0x24, "short command");
            if ((cdb[2] & 0x3F) != 0x2A) return IllegalRequest(0x24, "mode page not supported");
            cdrom::Capabilities caps;
            cdrom::DriveResult r = drive.ReadCapabilities(caps);
            if (r.ok) Answer(cdrom::EncodeCapabilities(caps), Be16(cdb + 7), data, dataLength);
            return r;
        }
        case 0x15: {  // MODE SELECT(6): the block descriptor's length must be one we read
            if (cdbLength < 6) return IllegalRequest(0x24, "short command");
            std::size_t n = std::min<std::size_t>(cdb[4], dataLength);
            if (n >= 12 && data[3] >= 8) {
                std::uint32_t block = (std::uint32_t{data[9]} << 16) | Be16(data + 10);
                if (block != cdrom::kFrameBytes && block != 2048)
                    return IllegalRequest(0x26, "block length not supported");
            }
            return drive.TestUnitReady();
        }
        case 0x1B:  // START STOP UNIT with the load/eject bit
            if (cdbLength < 6) return IllegalRequest(0x24, "short command");
            if (cdb[4] & 0x02) return drive.SetTray((cdb[4] & 0x01) == 0);
            return drive.TestUnitReady();
        default:
            break;
    }
    if (!ReadExtent(cdb, cdbLength, lba, count))
        return IllegalRequest(0x20, "invalid command operation code");
    // READ CD with the C2 error field at 01b: each frame followed by its 294 bytes of pointers.
    const bool c2 = cdb[0] == 0xBE && cdbLength >= 10 && ((cdb[9] >> 1) & 0x03) == 0x01;
    const std::size_t perFrame = cdrom::kFrameBytes + (c2 ? cdrom::DiscDrive::kC2Bytes : 0);
    if (std::uint64_t{count} * perFrame > dataLength)
        return IllegalRequest(0x24, "transfer longer than the buffer");
    if (count == 0) return drive.TestUnitReady();
    if (!c2) return drive.ReadCdda(lba, count, data);
    std::vector<std::uint8_t> audio(std::size_t{count} * cdrom::kFrameBytes);
    std::vector<std::uint8_t> pointers(std::size_t{count} * cdrom::DiscDrive::kC2Bytes);
    cdrom::DriveResult r = drive.ReadCddaC2(lba, count, audio.data(), pointers.data());
    if (!r.ok) return r;
    for (std::size_t k = 0; k < count; ++k) {
        std::memcpy(data + k * perFrame, audio.data() + k * cdrom::kFrameBytes, cdrom::kFrameBytes);
        std::memcpy(data + k * perFrame + cdrom::kFrameBytes,
                    pointers.data() + k * cdrom::DiscDrive::kC2Bytes, cdrom::DiscDrive::kC2Bytes);
    }
    return r;
}

void AspiHost::Complete(SRB_ExecSCSICmd& srb, const cdrom::DriveResult& r) {
    ASPI_BYTE status = SS_COMP;
    if (r.ok) {
        srb.SRB_HaStat = HASTAT_OK;
        srb.SRB_TargStat = STATUS_GOOD;
    } else {
        status = SS_ERR;
        if (r.senseKey == 0 && r.asc == 0) {
            srb.SRB_HaStat = HASTAT_SEL_TO;  // the device did not answer
            srb.SRB_TargStat = STATUS_GOOD;
        } else {
            srb.SRB_HaStat = HASTAT_OK;
            srb.SRB_TargStat = STATUS_CHKCOND;
            std::vector<std::uint8_t> sense = cdrom::EncodeSense(r);
            std::size_t n =
                std::min<std::size_t>({sense.size(), srb.SRB_SenseLen, sizeof srb.SenseArea});
            std::memset(srb.SenseArea, 0,
                        std::min<std::size_t>(srb.SRB_SenseLen, sizeof srb.SenseArea));
            std::memcpy(srb.SenseArea, sense.data(), n);
        }
    }
    __atomic_store_n(&srb.SRB_Status, status, __ATOMIC_RELEASE);
}

ASPI_DWORD AspiHost::Exec(SRB_ExecSCSICmd& srb) {
    std::size_t drive = 0;
    ASPI_BYTE status = SS_COMP;
    if (!Locate(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun, drive, status)) {
        srb.SRB_Status = status;
        return status;
    }
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof srb.CDBByte ||
        (srb.SRB_BufLen > 0 && !srb.SRB_BufPointer)) {
        srb.SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    bool toDevice = (srb.SRB_Flags & SRB_DIR_OUT) != 0;
    bool notify = (srb.SRB_Flags & SRB_EVENT_NOTIFY) && srb.SRB_PostProc && signal_;
    if (notify && !toDevice && IsReadCommand(srb.CDBByte[0])) {
        Request req;
        req.srb = &srb;
        req.drive = drive;
        std::memcpy(req.cdb, srb.CDBByte, sizeof req.cdb);
        req.cdbLength = srb.SRB_CDBLen;
        req.bufferLength = srb.SRB_BufLen;
        req.event = srb.SRB_PostProc;
        {
            std::lock_guard lock(mutex_);
            srb.SRB_Status = SS_PENDING;
            queue_.push_back(req);
        }
        wake_.notify_one();
        return SS_PENDING;
    }
    cdrom::DriveResult r =
        Execute(drive, srb.CDBByte, srb.SRB_CDBLen, srb.SRB_BufPointer, srb.SRB_BufLen, toDevice);
    Complete(srb, r);
    return srb.SRB_Status;
}

ASPI_DWORD AspiHost::Abort(SRB_Abort& srb) {
    auto* target = static_cast<SRB_ExecSCSICmd*>(srb.SRB_ToAbort);
    std::lock_guard lock(mutex_);
    auto it = std::find_if(queue_.begin(), queue_.end(),
                           [&](const Request& r) { return r.srb == target; });
    bool found = false;
    if (it != queue_.end()) {
        queue_.erase(it);
        found = true;
    } else if (target && running_ == target && !runningAborted_) {
        runningAborted_ = true;  // the worker drops its result
        found = true;
    }
    if (found) __atomic_store_n(&target->SRB_Status, ASPI_BYTE{SS_ABORTED}, __ATOMIC_RELEASE);
    srb.SRB_Status = found ? SS_COMP : SS_ABORT_FAIL;
    return srb.SRB_Status;
}

void AspiHost::WorkerLoop() {
    std::vector<std::uint8_t> buffer;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        Request req = queue_.front();
        queue_.pop_front();
        running_ = req.srb;
        runningAborted_ = false;
        lock.unlock();
        // The drive reads into the host's own buffer: the caller's may be freed by an abort
        // while the drive is still busy.
        buffer.assign(req.bufferLength, 0);
        cdrom::DriveResult r =
            Execute(req.drive, req.cdb, req.cdbLength, buffer.data(), buffer.size(), false);
        lock.lock();
        if (!runningAborted_) {
            if (!buffer.empty()) std::memcpy(req.srb->SRB_BufPointer, buffer.data(), buffer.size());
            Complete(*req.srb, r);
            signal_(req.event);
        }
        running_ = nullptr;
        runningAborted_ = false;
    }
}

}  // namespace orvane::aspi
