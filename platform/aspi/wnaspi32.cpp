// The C entry points of libwnaspi32.so over one process-wide AspiHost.
//
// The host is built on first use from the CD drive layer's drives (real drives, image drives of
// the drive configuration, the demo disc). Events named in SRB_PostProc belong to the calling
// program, so they are signalled through the function the program exports for that purpose,
// orvane_aspi_signal_event; a program that exports none gets every request completed at once.

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/aspi/aspi_host.h"
#include "platform/cdrom/drives.h"

namespace {

std::mutex gMutex;
std::unique_ptr<orvane::aspi::AspiHost> gHost;

orvane::aspi::AspiHost& Host() {
    std::lock_guard lock(gMutex);
    if (!gHost) {
        std::vector<std::shared_ptr<orvane::cdrom::DiscDrive>> drives;
        for (const auto& entry : orvane::cdrom::Drives())
            drives.push_back(entry.drive);
        auto signal = reinterpret_cast<orvane::aspi::SignalEventFn>(
            ::dlsym(RTLD_DEFAULT, "orvane_aspi_signal_event"));
        gHost = std::make_unique<orvane::aspi::AspiHost>(std::move(drives), signal);
    }
    return *gHost;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) ASPI_DWORD GetASPI32SupportInfo(void) {
    return Host().SupportInfo();
}

__attribute__((visibility("default"))) ASPI_DWORD SendASPI32Command(void* srb) {
    return Host().Send(srb);
}

// Forgets the drives; the next call discovers them again (after the drive configuration
// changed). Requests still pending are dropped unanswered.
__attribute__((visibility("default"))) void OrvaneAspiRescan(void) {
    std::lock_guard lock(gMutex);
    gHost.reset();
    orvane::cdrom::ResetDrives();
}

__attribute__((visibility("default"))) unsigned OrvaneAspiDriveMessages(char* buffer,
                                                                        unsigned size) {
    Host();  // the messages are those of the discovery the host was built from
    std::string text;
    for (const std::string& m : orvane::cdrom::DriveMessages())
        text += (text.empty() ? "" : "\n") + m;
    if (buffer && size > 0) {
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<unsigned>(text.size());
}

}  // extern "C"
