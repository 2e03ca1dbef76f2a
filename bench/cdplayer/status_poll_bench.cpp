// CPU per poll of the CD player's status thread, on the real layers: the MCI device plays the
// demo disc from an image drive into the null sink while the polls run on virtual time.
//
//   status_poll_bench [polls]     (default 2000; the demo disc comes from dist/demo/, or
//                                 from $ORVANE_DIST/demo/)

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cdplayer/commands.h"
#include "cdplayer/status_thread.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/shell/sysinfo.h"

using namespace orvane::cdplayer;

namespace {

class QuietDisplay final : public PlayerDisplay {
public:
    void ShowPoll(const PollDisplay& d) override { lastLine = d.lcdText; }
    int MessageBox(const std::string&, const std::string&, unsigned) override { return IDOK; }
    std::string lastLine;
};

double ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double WallUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

void Report(const char* what, std::vector<double> cpu, std::vector<double> wall) {
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    double sum = 0;
    for (double v : cpu)
        sum += v;
    const auto at = [](const std::vector<double>& v, double q) {
        return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
    };
    std::printf(
        "%-28s polls %5zu  cpu mean %7.1f us  median %7.1f us  p99 %7.1f us  "
        "max %7.1f us  wall median %7.1f us\n",
        what, cpu.size(), sum / static_cast<double>(cpu.size()), at(cpu, 0.5), at(cpu, 0.99),
        cpu.back(), at(wall, 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    const int polls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    // The program lives in dist/bench/; the demo disc in dist/demo/.
    std::string dist = orvane::shell::ModuleFolder() + "../";
    if (const char* env = std::getenv("ORVANE_DIST")) dist = std::string(env) + "/";
    const std::string cue = dist + "demo/Demo.cue";

    orvane::clock::VirtualClock clock;
    orvane::clock::Install(&clock);
    orvane::audio::InstallSinkFactory([] { return std::make_unique<orvane::audio::NullSink>(); });
    std::string error;
    std::shared_ptr<orvane::cdrom::DiscDrive> drive = orvane::cdrom::ImageDrive::Open(cue, error);
    if (!drive) {
        std::fprintf(stderr, "status_poll_bench: %s\n", error.c_str());
        return 1;
    }
    orvane::cdrom::InstallDrives({drive});

    const std::string db = "/tmp/status_poll_bench." + std::to_string(::getpid()) + ".DB";
    {
        PlayerState player;
        player.databasePath = db;
        QuietDisplay display;
        clock.SetAutoAdvance(true);
        if (!StartDevice(player, display,
                         [](const std::string& root) { return GetDriveType(root.c_str()); })) {
            std::fprintf(stderr, "status_poll_bench: the demo disc does not open\n");
            return 1;
        }
        clock.SetAutoAdvance(false);
        CStatusThread thread(player, display);

        // The first poll loads the names (and creates the database).
        double c0 = ThreadCpuUs(), w0 = WallUs();
        thread.Poll();
        std::printf("%-28s cpu %7.1f us  wall %7.1f us\n", "first poll (database load)",
                    ThreadCpuUs() - c0, WallUs() - w0);

        RepeatCommand(player);  // the whole disc repeats, so play never ends
        PlayPauseCommand(player);
        player.CurrentTrackNames.assign(5, "A TRACK NAME LONG ENOUGH TO SCROLL");
        for (int full = 0; full < 2; ++full) {
            player.fullSize = full == 1;
            std::vector<double> cpu, wall;
            for (int i = 0; i < polls; ++i) {
                clock.Advance(500);  // the playback thread follows the clock on its own
                std::this_thread::yield();
                c0 = ThreadCpuUs();
                w0 = WallUs();
                thread.Poll();
                cpu.push_back(ThreadCpuUs() - c0);
                wall.push_back(WallUs() - w0);
            }
            Report(full ? "poll while playing, full" : "poll while playing, compact", cpu, wall);
            std::printf("%-28s \"%s\", %s\n", "  last line", display.lastLine.c_str(),
                        player.device.Status(0, MCI_STATUS_MODE) == MCI_MODE_PLAY ? "playing"
                                                                                  : "not playing");
        }
        clock.SetAutoAdvance(true);
        CloseDevice(player);
    }
    ::unlink(db.c_str());
    orvane::cdrom::ResetDrives();
    orvane::audio::InstallSinkFactory({});
    orvane::clock::Install(nullptr);
    return 0;
}
