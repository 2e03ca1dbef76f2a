#pragma once
// A real CD drive reached through the Linux SCSI generic interface (SG_IO on /dev/sr*).

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/cdrom/disc_drive.h"

namespace orvane::cdrom {

// The one door to the device: every SG_IO request and version query of an SgDrive goes through
// this function (ioctl(2) by default). A drive model put here answers in place of a drive.
using SgIoctl = std::function<int(int fd, unsigned long request, void* arg)>;
// Replaces the door; an empty function restores ioctl(2). Not for use while commands run.
void SetSgIoctl(SgIoctl ioctlFunction);

class SgDrive final : public DiscDrive {
public:
    // Opens the device node; null with a message when it cannot be opened or is no CD drive.
    static std::unique_ptr<SgDrive> Open(const std::string& device, std::string& error);
    ~SgDrive() override;

    std::string Name() const override { return device_; }
    DriveResult Inquiry(InquiryData& out) override;
    DriveResult TestUnitReady() override;
    DriveResult ReadToc(Toc& out) override;
    // The table of contents, the sessions of the full table of contents, and the catalog
    // number and ISRCs of the Q sub-channel, as far as the drive tells them.
    DriveResult ReadDiscInfo(DiscInfo& out) override;
    DriveResult ReadCdda(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override;
    DriveResult ReadCddaC2(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                           std::uint8_t* c2) override;
    DriveResult ReadCapabilities(Capabilities& out) override;
    DriveResult SetTray(bool open) override;
    DriveResult SetSpeed(std::uint16_t kilobytesPerSecond) override;

    // Sends one command block; data flows in (toDevice false) or out. Time-out 5 s.
    DriveResult Execute(const std::uint8_t* cdb, std::size_t cdbLength, std::uint8_t* data,
                        std::size_t dataLength, bool toDevice);

private:
    SgDrive(std::string device, int fd) : device_(std::move(device)), fd_(fd) {}

    std::string device_;
    int fd_;
    std::mutex mutex_;  // one command at a time per device
};

}  // namespace orvane::cdrom
