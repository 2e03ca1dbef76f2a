#pragma once
// The inside of the SCSI transport library: host adapters and targets over the CD drive layer,
// and the handling of every request block. libwnaspi32.so wraps one AspiHost behind its two C
// entry points; tests drive an AspiHost directly over drives of their own.
//
// Adapters: consecutive drives attached the same way (ATAPI or parallel SCSI) share a host
// adapter with up to 8 targets, so adapter and target order follows drive-letter order. ATAPI
// adapters identify as "ATAPI CD-ROM", the others as "SCSI CD-ROM".
//
// Completion: reads (READ(10), READ CD and the vendor reads D4h/D8h) sent with
// SRB_EVENT_NOTIFY and an event complete later on the host's worker thread, which sets
// SRB_Status and signals the event in SRB_PostProc; every other request completes at once.
// An abort completes synchronously: when it returns, the host no longer touches the aborted
// request block or its buffer, so the caller may free both at once.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/aspi/wnaspi32.h"
#include "platform/cdrom/disc_drive.h"

namespace orvane::aspi {

// Signals an event handle given in SRB_PostProc; null when events cannot be signalled (then
// every request completes at once).
using SignalEventFn = int (*)(void* event);

struct AdapterSlot {
    bool atapi = true;
    std::vector<std::size_t> drives;  // drive index by target
};

class AspiHost {
public:
    AspiHost(std::vector<std::shared_ptr<cdrom::DiscDrive>> drives, SignalEventFn signal);
    ~AspiHost();
    AspiHost(const AspiHost&) = delete;
    AspiHost& operator=(const AspiHost&) = delete;

    ASPI_DWORD SupportInfo() const;
    ASPI_DWORD Send(void* srb);

    const std::vector<AdapterSlot>& Adapters() const { return adapters_; }
    // Requests waiting for or in the worker (tests).
    std::size_t Pending();

private:
    struct Request {
        SRB_ExecSCSICmd* srb = nullptr;
        std::size_t drive = 0;
        std::uint8_t cdb[16] = {};
        std::uint8_t cdbLength = 0;
        std::uint32_t bufferLength = 0;
        void* event = nullptr;
    };

    ASPI_DWORD HaInquiry(SRB_HAInquiry& srb) const;
    ASPI_DWORD GetDeviceType(SRB_GDEVBlock& srb) const;
    ASPI_DWORD Exec(SRB_ExecSCSICmd& srb);
    ASPI_DWORD Abort(SRB_Abort& srb);
    // Which drive a block addresses; false when none.
    bool Locate(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun, std::size_t& drive,
                ASPI_BYTE& status) const;
    // Runs a command on a drive into data (dataLength bytes, in or out).
    cdrom::DriveResult Execute(std::size_t drive, const std::uint8_t* cdb, std::size_t cdbLength,
                               std::uint8_t* data, std::size_t dataLength, bool toDevice);
    // Writes the outcome into the block; status last.
    static void Complete(SRB_ExecSCSICmd& srb, const cdrom::DriveResult& r);
    void WorkerLoop();

    std::vector<std::shared_ptr<cdrom::DiscDrive>> drives_;
    std::vector<AdapterSlot> adapters_;
    SignalEventFn signal_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Request> queue_;
    SRB_ExecSCSICmd* running_ = nullptr;  // the block the worker is reading for
    bool runningAborted_ = false;
    bool stop_ = false;
    std::thread worker_;
};

// The drive command a block's command bytes stand for, for a drive emulated on the layer.
bool IsReadCommand(std::uint8_t opcode);
// First frame and frame count of a read command block; false for another command.
bool ReadExtent(const std::uint8_t* cdb, std::size_t cdbLength, std::uint32_t& lba,
                std::uint32_t& count);

}  // namespace orvane::aspi
