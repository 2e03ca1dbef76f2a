#include "encoder/cdda/aspi.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/base/event.h"
#include "platform/dynlib/dynlib.h"

extern "C" __attribute__((visibility("default"), used)) int orvane_aspi_signal_event(void* event) {
    return SetEvent(event);
}

namespace orvane::cdda {

namespace {

std::mutex gMutex;
GetASPI32SupportInfoFn gSupport = nullptr;
SendASPI32CommandFn gSend = nullptr;
GetASPI32SupportInfoFn gBoundSupport = nullptr;
SendASPI32CommandFn gBoundSend = nullptr;
std::string gLoadError;
HMODULE gModule = nullptr;
std::atomic<unsigned> gWaitMs{5000};

SendASPI32CommandFn Send() {
    std::lock_guard lock(gMutex);
    return gSend;
}

}  // namespace

AspiResult MakeAspiResult(int status, const SRB_ExecSCSICmd& srb) {
    if (status < 0) return -1;
    return (status & 0xFF) | ((srb.SenseArea[2] & 0x0F) << 16);
}

void AspiBindEntryPoints(GetASPI32SupportInfoFn support, SendASPI32CommandFn send) {
    std::lock_guard lock(gMutex);
    gBoundSupport = support;
    gBoundSend = send;
    gSupport = support;
    gSend = send;
}

std::string AspiLoadError() {
    std::lock_guard lock(gMutex);
    return gLoadError;
}

std::string AspiDriveMessages() {
    using MessagesFn = unsigned (*)(char*, unsigned);
    MessagesFn messages = nullptr;
    {
        std::lock_guard lock(gMutex);
        if (gModule && !gBoundSupport) {
            messages =
                reinterpret_cast<MessagesFn>(GetProcAddress(gModule, "OrvaneAspiDriveMessages"));
        }
    }
    if (!messages) return {};
    std::vector<char> buffer(std::size_t{messages(nullptr, 0)} + 1);
    const unsigned length = messages(buffer.data(), static_cast<unsigned>(buffer.size()));
    return std::string(buffer.data(), std::min<std::size_t>(length, buffer.size() - 1));
}

void SetAspiWaitMs(unsigned ms) { gWaitMs = ms; }

int AspiLoad() {
    GetASPI32SupportInfoFn support = nullptr;
    {
        std::lock_guard lock(gMutex);
        gLoadError.clear();
        if (gBoundSupport) {
            gSupport = gBoundSupport;
            gSend = gBoundSend;
        } else {
            // The library stays loaded for the rest of the process.
            HMODULE module = LoadLibraryA("wnaspi32.dll");
            if (!module) {
                gLoadError = dynlib::LastError();
                return -3;
            }
            gModule = module;
            gSupport = reinterpret_cast<GetASPI32SupportInfoFn>(
                GetProcAddress(module, "GetASPI32SupportInfo"));
            gSend =
                reinterpret_cast<SendASPI32CommandFn>(GetProcAddress(module, "SendASPI32Command"));
            if (!gSupport) {
                gLoadError = "GetASPI32SupportInfo is missing";
                return -2;
            }
        }
        support = gSupport;
    }
    if (!support) return -2;
    DWORD info = support();
    if ((info >> 8) != SS_COMP) {
        std::lock_guard lock(gMutex);
        gLoadError = "the SCSI transport reports no host adapter";
        return -1;
    }
    return static_cast<int>(info & 0xFF);
}

int AspiHaInquiry(std::uint8_t adapter, char managerId[17], char identifier[17]) {
    SendASPI32CommandFn send = Send();
    if (!send) return SS_NO_ASPI;
    SRB_HAInquiry srb{};
    srb.SRB_Cmd = SC_HA_INQUIRY;
    srb.SRB_HaId = adapter;
    int status = static_cast<int>(send(&srb));
    if (status != SS_INVALID_HA) {
        std::memcpy(managerId, srb.HA_ManagerId, 16);
        managerId[16] = '\0';
        std::memcpy(identifier, srb.HA_Identifier, 16);
        identifier[16] = '\0';
    }
    return status;
}

int AspiGetDeviceType(std::uint8_t adapter, std::uint8_t target, int& deviceType) {
    SendASPI32CommandFn send = Send();
    if (!send) return SS_NO_ASPI;
    SRB_GDEVBlock srb{};
    srb.SRB_Cmd = SC_GET_DEV_TYPE;
    srb.SRB_HaId = adapter;
    srb.SRB_Target = target;
    srb.SRB_Lun = 0;
    send(&srb);
    if (srb.SRB_Status == SS_COMP) deviceType = srb.SRB_DeviceType;
    return srb.SRB_Status;
}

int AspiExecCdb6(SRB_ExecSCSICmd& srb, std::uint8_t adapter, std::uint8_t target,
                 std::uint8_t opcode, std::uint8_t* data, std::uint32_t length,
                 std::uint8_t direction) {
    std::uint8_t cdb[6] = {opcode, 0, 0, 0, static_cast<std::uint8_t>(length & 0xFF), 0};
    return AspiExecCdb(srb, adapter, target, data, length, direction, cdb, 6);
}

int AspiExecCdb(SRB_ExecSCSICmd& srb, std::uint8_t adapter, std::uint8_t target, std::uint8_t* data,
                std::uint32_t length, std::uint8_t direction, const std::uint8_t* cdb,
                std::uint8_t cdbLength) {
    SendASPI32CommandFn send = Send();
    if (!send || cdbLength > sizeof srb.CDBByte) return -1;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event) return -1;
    std::size_t size = (length / 16 + 1) * 16;
    std::unique_ptr<std::uint8_t[]> transfer(new (std::nothrow) std::uint8_t[size]());
    if (!transfer) {
        CloseHandle(event);
        return -1;
    }
    if (length && data) std::memcpy(transfer.get(), data, length);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Flags = static_cast<std::uint8_t>(direction | SRB_EVENT_NOTIFY);
    srb.SRB_Hdr_Rsvd = 0;
    srb.SRB_Target = target;
    srb.SRB_Lun = 0;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = transfer.get();
    srb.SRB_SenseLen = 32;
    srb.SRB_CDBLen = cdbLength;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, cdbLength);
    // A request the transport queued is signalled when it completes, even when its status
    // is already final here: the event must not go before that signal, or it would reach the
    // next request's event made in its place.
    if (send(&srb) == SS_PENDING) {
        DWORD wait = WaitForSingleObject(event, gWaitMs);
        if (wait == WAIT_OBJECT_0) {
            ResetEvent(event);
        } else {
            bool signalled = __atomic_load_n(&srb.SRB_Status, __ATOMIC_ACQUIRE) != SS_PENDING;
            if (!signalled) {
                // The transport's abort is synchronous: once it returns, the request block and
                // the transfer buffer are ours again and may be freed below.
                SRB_Abort abort{};
                abort.SRB_Cmd = SC_ABORT_SRB;
                abort.SRB_HaId = adapter;
                abort.SRB_ToAbort = &srb;
                send(&abort);
                // Not found: it completed meanwhile, and its signal is on its way.
                signalled = abort.SRB_Status != SS_COMP;
            }
            if (signalled) WaitForSingleObject(event, gWaitMs);
        }
    }
    if (length && data) std::memcpy(data, transfer.get(), length);
    srb.SRB_BufPointer = nullptr;
    CloseHandle(event);
    return __atomic_load_n(&srb.SRB_Status, __ATOMIC_ACQUIRE);
}

}  // namespace orvane::cdda
