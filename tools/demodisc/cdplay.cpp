// A headless CD player: plays a disc through the MCI cdaudio device and prints the position
// once a second.
//
//   cdplay [D:] [seconds] [track]
//
// With no drive letter the first CD drive is used (the demo disc when the machine has no drive
// and none is configured). Output goes to the sound server, or to the null sink when there is
// none or ORVANE_AUDIO=null. Plays 10 seconds from track 1 unless told otherwise.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/command_line.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/mci/mmsystem.h"

namespace {

int Fail(MCIERROR e, const char* what) {
    char text[256];
    if (!mciGetErrorString(e, text, sizeof text)) std::snprintf(text, sizeof text, "error %u", e);
    std::fprintf(stderr, "cdplay: %s: %s\n", what, text);
    return 1;
}

DWORD Status(MCIDEVICEID id, DWORD item, DWORD track = 0) {
    MCI_STATUS_PARMS p;
    p.dwItem = item;
    p.dwTrack = track;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | (track ? MCI_TRACK : 0),
                   reinterpret_cast<DWORD_PTR>(&p));
    return static_cast<DWORD>(p.dwReturn);
}

constexpr const char* kHelp =
    "Usage: cdplay [D:] [SECONDS] [TRACK]\n"
    "\n"
    "Plays the CD of drive D: (default: the first drive; the demo disc when the machine has\n"
    "none) without a window for SECONDS (default 10) from track TRACK (default 1), printing\n"
    "the drives and the position.\n"
    "\n"
    "  --help      show this help and end\n"
    "  --version   show the version and end\n";

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "cdplay", kHelp); answered >= 0)
        return answered;
    std::string drive;
    int seconds = 10;
    DWORD track = 1;
    int number = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() == 2 && a[1] == ':' && std::isalpha(static_cast<unsigned char>(a[0]))) {
            drive = a;
        } else if (!a.empty() && a.find_first_not_of("0123456789") == std::string::npos &&
                   a.size() < 6) {
            int value = std::atoi(a.c_str());
            if (number++ == 0) {
                seconds = value;
            } else {
                track = static_cast<DWORD>(value);
            }
        } else {
            std::fprintf(stderr, "usage: cdplay [D:] [seconds] [track]\n");
            return 2;
        }
    }
    auto drives = orvane::cdrom::Drives();
    if (drives.empty()) {
        std::fprintf(stderr, "cdplay: no CD drive found\n");
        return 1;
    }
    if (drive.empty()) drive = std::string(1, drives.front().letter) + ":";
    for (const auto& d : drives)
        std::printf("%c: %s\n", d.letter, d.drive->Name().c_str());

    MCI_OPEN_PARMSA open;
    open.lpstrDeviceType =
        reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(MCI_DEVTYPE_CD_AUDIO));
    open.lpstrElementName = drive.c_str();
    open.lpstrAlias = "cdplay";
    if (MCIERROR e = mciSendCommand(0, MCI_OPEN, 0x3702, reinterpret_cast<DWORD_PTR>(&open))) {
        return Fail(e, "open");
    }
    MCIDEVICEID id = open.wDeviceID;
    char identity[128] = {};
    MCI_INFO_PARMSA info;
    info.lpstrReturn = identity;
    info.dwRetSize = sizeof identity;
    if (MCIERROR e = mciSendCommand(id, MCI_INFO, MCI_INFO_MEDIA_IDENTITY,
                                    reinterpret_cast<DWORD_PTR>(&info))) {
        return Fail(e, "disc");
    }
    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
    DWORD tracks = Status(id, MCI_STATUS_NUMBER_OF_TRACKS);
    std::printf("disc %s: %u tracks\n", identity, tracks);
    for (DWORD t = 1; t <= tracks; ++t) {
        DWORD length = Status(id, MCI_STATUS_LENGTH, t);
        std::printf("  track %02u  %02u:%02u\n", t, MCI_MSF_MINUTE(length), MCI_MSF_SECOND(length));
    }
    MCI_PLAY_PARMS play;
    play.dwFrom = track;
    if (MCIERROR e = mciSendCommand(id, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&play))) {
        return Fail(e, "play");
    }
    for (int s = 0; s <= seconds; ++s) {
        DWORD pos = Status(id, MCI_STATUS_POSITION);
        DWORD mode = Status(id, MCI_STATUS_MODE);
        std::printf("track %02u  %02u:%02u.%02u  %s\n", MCI_TMSF_TRACK(pos), MCI_TMSF_MINUTE(pos),
                    MCI_TMSF_SECOND(pos), MCI_TMSF_FRAME(pos),
                    mode == MCI_MODE_PLAY ? "playing" : "stopped");
        std::fflush(stdout);
        if (mode != MCI_MODE_PLAY || s == seconds) break;
        orvane::clock::Sleep(1000);
    }
    mciSendCommand(id, MCI_STOP, MCI_WAIT, 0);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, 0);
    return 0;
}
