#pragma once
// The player started on the demo disc in an image drive, sound to the null sink, on a test
// clock that runs ahead only through the start-up's waits.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "cdplayer/commands.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/image_drive.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"

namespace orvane::cdplayer::test {

// Clock: a test clock with SetAutoAdvance; it is installed for the process.
template <class Clock>
::testing::AssertionResult StartOnDemoDisc(Clock& clock, PlayerState& player, Messenger& box,
                                           const std::filesystem::path& dir) {
    orvane::clock::Install(&clock);
    orvane::audio::InstallSinkFactory([] { return std::make_unique<orvane::audio::NullSink>(); });
    std::string error;
    std::shared_ptr<orvane::cdrom::DiscDrive> drive = orvane::cdrom::ImageDrive::Open(
        (orvane::test::DistDir() / "demo" / "Demo.cue").string(), error);
    if (!drive) return ::testing::AssertionFailure() << error;
    orvane::cdrom::InstallDrives({drive});
    player.databasePath = (dir / "Nerop.DB").string();
    clock.SetAutoAdvance(true);
    const bool started = StartDevice(
        player, box, [](const std::string& root) { return GetDriveType(root.c_str()); });
    clock.SetAutoAdvance(false);
    if (!started) return ::testing::AssertionFailure() << "the device did not start";
    return ::testing::AssertionSuccess();
}

}  // namespace orvane::cdplayer::test
