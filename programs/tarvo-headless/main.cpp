// Plays the disc of the first CD drive (the demo disc when the machine has none) through the
// player's engine without a window, printing the display line of every poll.
//
//   tarvo-headless [seconds] [track]     (defaults: 10 seconds from track 1)
//   tarvo-headless --keep-playing D: MSF [paused]
//       the player's background process: plays drive D: from the MSF position on (or holds it
//       paused there), serving the hand-over socket it was given as descriptor 3, until the disc
//       stops or a player takes the disc back

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "cdplayer/background.h"
#include "cdplayer/commands.h"
#include "cdplayer/names.h"
#include "cdplayer/status_thread.h"
#include "platform/base/command_line.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"

using namespace orvane::cdplayer;

namespace {

class ConsoleDisplay final : public PlayerDisplay {
public:
    void ShowPoll(const PollDisplay& d) override {
        std::lock_guard g(mutex_);
        if (d.trackList) {
            for (const auto& item : *d.trackList)
                std::printf("  %s\n", item.c_str());
        }
        if (!d.lcdText.empty()) {
            const char* mark = d.mark == kPlayMark ? ">" : d.mark == kPauseMark ? "=" : " ";
            std::printf("[%s] %s  bar %d/130\n", mark, d.lcdText.c_str(),
                        d.progress ? ProgressBarRight(d.elapsed, d.length) : 30);
        }
        std::fflush(stdout);
    }
    int MessageBox(const std::string& text, const std::string&, unsigned) override {
        std::lock_guard g(mutex_);
        std::printf("(message) %s\n", text.c_str());
        return IDOK;
    }

private:
    std::mutex mutex_;
};

int KeepPlaying(const char* drive, const char* position, bool paused) {
    PlayerState player;
    const char letter = drive[0];
    char name[8];
    std::snprintf(name, sizeof name, "%c:", letter);
    bool open = false;
    for (int attempt = 0; attempt < 50 && !open; ++attempt) {
        open = player.device.Open(name) == 0;
        if (!open) orvane::clock::Sleep(1);
    }
    if (!open) return 1;
    player.driveLetter = letter;
    return RunBackgroundPlayback(player, static_cast<DWORD>(std::strtoul(position, nullptr, 10)),
                                 paused, 3);
}

constexpr const char* kHelp =
    "Usage: tarvo-headless [SECONDS] [TRACK]\n"
    "  or:  tarvo-headless --keep-playing D: MSF [paused]\n"
    "\n"
    "Plays the disc of the first CD drive (the demo disc when the machine has none) through\n"
    "the player's engine without a window, printing the display line of every poll: SECONDS\n"
    "(default 10) from track TRACK (default 1). With --keep-playing it is the player's\n"
    "background process, serving the hand-over socket given as descriptor 3.\n"
    "\n"
    "  --help      show this help and end\n"
    "  --version   show the version and end\n";

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "tarvo-headless", kHelp);
        answered >= 0)
        return answered;
    if (argc > 1 && std::string(argv[1]).rfind("--", 0) == 0 &&
        std::string(argv[1]) != "--keep-playing")
        return orvane::UsageError("tarvo-headless", kHelp,
                                  std::string("unknown option ") + argv[1]);
    if ((argc == 4 || (argc == 5 && std::string(argv[4]) == "paused")) &&
        std::string(argv[1]) == "--keep-playing")
        return KeepPlaying(argv[2], argv[3], argc == 5);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int track = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    PlayerState player;
    player.databasePath = DefaultDatabasePath();
    ConsoleDisplay display;
    if (!StartDevice(player, display,
                     [](const std::string& root) { return GetDriveType(root.c_str()); }))
        return 1;
    CStatusThread thread(player, display);
    thread.Start();
    PlayTrackCommand(player, track - 1);
    orvane::clock::Sleep(static_cast<DWORD>(seconds) * 1000);
    thread.Stop();
    player.settings.StopCDOnExit = 1;
    CloseDevice(player);
    return 0;
}
