// Plays the disc of the first CD drive (the demo disc when the machine has none) through the
// player's engine without a window, printing the display line of every poll.
//
//   tarvo-headless [seconds] [track]     (defaults: 10 seconds from track 1)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "cdplayer/commands.h"
#include "cdplayer/names.h"
#include "cdplayer/status_thread.h"
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

}  // namespace

int main(int argc, char** argv) {
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
