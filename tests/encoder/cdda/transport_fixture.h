#pragma once
// The grabber's transport bound to an in-process host over image drives, with every request
// block recorded as it was sent, so tests can check command blocks byte for byte and count
// requests.

#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "encoder/cdda/aspi.h"
#include "platform/aspi/aspi_host.h"
#include "platform/base/event.h"
#include "platform/cdrom/image_drive.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::test {

struct SentBlock {
    std::vector<std::uint8_t> cdb;
    std::uint8_t flags = 0;
    std::uint32_t bufferLength = 0;
    std::uint8_t senseLength = 0;
    bool event = false;
    std::vector<std::uint8_t> dataOut;  // the buffer's bytes as sent
};

// A drive that answers INQUIRY with other names (and attachment) than the image it reads.
class NamedDrive : public cdrom::DiscDrive {
public:
    NamedDrive(std::shared_ptr<cdrom::DiscDrive> inner, std::string vendor, std::string product,
               std::string revision, bool atapi)
        : inner_(std::move(inner)) {
        data_.vendor = vendor;
        data_.product = product;
        data_.revision = revision;
        data_.atapi = atapi;
    }
    std::string Name() const override { return inner_->Name(); }
    cdrom::DriveResult Inquiry(cdrom::InquiryData& out) override {
        out = data_;
        return cdrom::DriveResult::Ok();
    }
    cdrom::DriveResult TestUnitReady() override { return inner_->TestUnitReady(); }
    cdrom::DriveResult ReadToc(cdrom::Toc& out) override { return inner_->ReadToc(out); }
    cdrom::DriveResult ReadCdda(std::uint32_t lba, std::uint32_t count,
                                std::uint8_t* out) override {
        return inner_->ReadCdda(lba, count, out);
    }
    cdrom::DriveResult ReadCapabilities(cdrom::Capabilities& out) override {
        cdrom::DriveResult r = inner_->ReadCapabilities(out);
        out.cddaSupported = cdda_;
        return r;
    }
    cdrom::DriveResult SetTray(bool open) override { return inner_->SetTray(open); }
    void SetCdda(bool on) { cdda_ = on; }

private:
    std::shared_ptr<cdrom::DiscDrive> inner_;
    cdrom::InquiryData data_;
    bool cdda_ = true;
};

class Transport {
public:
    explicit Transport(std::vector<std::shared_ptr<cdrom::DiscDrive>> drives) {
        host_ = std::make_unique<aspi::AspiHost>(std::move(drives), &Signal);
        Current() = this;
        cdda::AspiBindEntryPoints(&Support, &Send);
    }
    ~Transport() {
        cdda::AspiBindEntryPoints(nullptr, nullptr);
        Current() = nullptr;
    }
    std::vector<SentBlock> Sent() {
        std::lock_guard l(mutex_);
        return sent_;
    }
    // The recorded command blocks with this operation code.
    std::vector<SentBlock> Sent(std::uint8_t opcode) {
        std::vector<SentBlock> out;
        for (const SentBlock& b : Sent())
            if (!b.cdb.empty() && b.cdb[0] == opcode) out.push_back(b);
        return out;
    }
    void Clear() {
        std::lock_guard l(mutex_);
        sent_.clear();
    }

private:
    static Transport*& Current() {
        static Transport* current = nullptr;
        return current;
    }
    static int Signal(void* event) { return SetEvent(event); }
    static ASPI_DWORD Support() { return Current()->host_->SupportInfo(); }
    static ASPI_DWORD Send(void* block) {
        Transport* t = Current();
        auto* header = static_cast<SRB_Header*>(block);
        if (header->SRB_Cmd == SC_EXEC_SCSI_CMD) {
            auto* srb = static_cast<SRB_ExecSCSICmd*>(block);
            SentBlock b;
            b.cdb.assign(srb->CDBByte, srb->CDBByte + srb->SRB_CDBLen);
            b.flags = srb->SRB_Flags;
            b.bufferLength = srb->SRB_BufLen;
            b.senseLength = srb->SRB_SenseLen;
            b.event = srb->SRB_PostProc != nullptr;
            if (srb->SRB_Flags & SRB_DIR_OUT)
                b.dataOut.assign(srb->SRB_BufPointer, srb->SRB_BufPointer + srb->SRB_BufLen);
            std::lock_guard l(t->mutex_);
            t->sent_.push_back(std::move(b));
        }
        return t->host_->Send(block);
    }

    std::unique_ptr<aspi::AspiHost> host_;
    std::mutex mutex_;
    std::vector<SentBlock> sent_;
};

// An image drive of a one-file disc with the given track lengths and fault words.
inline std::shared_ptr<cdrom::ImageDrive> ImageOf(const TempDir& dir,
                                                  const std::vector<std::uint32_t>& frames,
                                                  const std::string& faults = {},
                                                  const std::string& name = "disc") {
    std::string error;
    std::shared_ptr<cdrom::ImageDrive> d =
        cdrom::ImageDrive::Open(WriteSimpleDisc(dir, frames, name), error);
    if (!d) return nullptr;
    cdrom::FaultPlan plan;
    std::istringstream in(faults);
    std::string word;
    while (in >> word)
        cdrom::ParseFaultWord(word, plan, error);
    d->SetFaults(plan);
    return d;
}

}  // namespace orvane::test
