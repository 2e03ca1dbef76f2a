// MCI command strings, as programs and scripts send them to the CD-audio device. The input's
// first byte is the size of the answer buffer; the rest is one command per line, sent in turn
// to a disc of two audio tracks and a data track on virtual time, which moves 100 ms after each
// command. Every answer must fit its buffer and every error number must have a text. After each
// input all devices are closed and the tray shut, so inputs do not depend on each other.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/image_drive.h"
#include "platform/clock/clock.h"
#include "platform/mci/mmsystem.h"

namespace {

struct Machine {
    orvane::clock::VirtualClock clock;
    std::shared_ptr<orvane::cdrom::ImageDrive> drive;

    Machine() {
        const auto& dir = orvane::fuzz::Scratch();
        // 2 s, 1 s and 1 s: short, so a play reaches the end of a track within an input.
        orvane::test::WriteFile(dir / "disc.bin", std::string(300 * 2352, '\x11'));
        orvane::test::WriteFile(dir / "disc.cue",
                                "FILE \"disc.bin\" BINARY\n"
                                "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                "  TRACK 02 AUDIO\n    INDEX 00 00:01:74\n    INDEX 01 00:02:00\n"
                                "  TRACK 03 MODE1/2352\n    INDEX 01 00:03:00\n");
        std::string error;
        drive = orvane::cdrom::ImageDrive::Open((dir / "disc.cue").string(), error);
        orvane::fuzz::Check(drive != nullptr, "the fuzz disc loads");
        orvane::clock::Install(&clock);
        orvane::audio::InstallSinkFactory(
            [] { return std::make_unique<orvane::audio::NullSink>(); });
        orvane::cdrom::InstallDrives({drive});
    }
    ~Machine() {
        orvane::cdrom::ResetDrives();
        orvane::audio::InstallSinkFactory({});
        orvane::clock::Install(nullptr);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    static Machine machine;
    if (size == 0) return 0;
    const std::size_t answerSize = data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    char answer[256];
    std::size_t at = 0;
    for (int commands = 0; at <= text.size() && commands < 64; ++commands) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string command = text.substr(at, end - at);
        at = end + 1;
        std::memset(answer, 'x', sizeof answer);
        const MCIERROR e = mciSendString(command.c_str(), answerSize ? answer : nullptr,
                                         static_cast<UINT>(answerSize), nullptr);
        if (answerSize) {
            Check(std::memchr(answer, '\0', answerSize) != nullptr,
                  "the answer ends in its buffer");
            Check(answer[answerSize] == 'x' || answerSize == sizeof answer,
                  "nothing is written past the buffer");
        }
        char message[128];
        Check(mciGetErrorString(e, message, sizeof message) == TRUE,
              "every error number has a text");
        Check(std::strlen(message) > 0, "an error text is not empty");
        machine.clock.Advance(100);
    }
    // A playing device's thread may sleep on the clock: let time run while closing.
    machine.clock.SetAutoAdvance(true);
    mciSendString("close all", nullptr, 0, nullptr);
    machine.clock.SetAutoAdvance(false);
    machine.drive->SetTray(false);
    return 0;
}
