#pragma once
// The CD drives of the machine and their drive letters, from D: on.
//
// Discovery, done once per process on first use:
//  1. real drives: /dev/sr0, /dev/sr1, ... that answer as CD drives through SG_IO (or the
//     device nodes listed in $ORVANE_CD_DEVICES, separated by ':', in that order);
//  2. image drives from the drive configuration file, drives.conf in $XDG_CONFIG_HOME/orvane/
//     (default ~/.config/orvane/):
//         # comment
//         image = /music/discs/album.cue        one image drive (relative paths: to the file)
//         faults = fail=1000-1010 slow=0-74 slow_ms=300 no_disc tray_open busy
//                                               faults of the image drive above
//         real_drives = no                      do not look for real drives
//  3. image drives from $ORVANE_CD_IMAGES, cue sheet paths separated by ':';
//  4. with no real drive and no image drive configured, the demo disc (demo/*.cue beside the
//     program, or beside its folder).
// Letters go in that order. Problems (a refused cue sheet, a bad line) are kept as messages
// and written to standard error; the drive concerned is left out.

#include <memory>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"
#include "platform/cdrom/disc_drive.h"
#include "platform/cdrom/image_drive.h"

namespace orvane::cdrom {

struct DriveEntry {
    char letter = 0;
    std::shared_ptr<DiscDrive> drive;
};

struct ImageConfig {
    std::string cuePath;
    FaultPlan faults;
    int line = 0;
};

struct DriveConfig {
    std::vector<ImageConfig> images;
    bool realDrives = true;
};

// Parses drives.conf text; relative image paths are taken from folder. Bad lines are reported
// in errors ("drives.conf:4: ...") and skipped.
DriveConfig ParseDriveConfig(const std::string& text, const std::string& folder,
                             const std::string& name, std::vector<std::string>& errors);
// Folder of the configuration, with a trailing '/'.
std::string ConfigFolder();
// The demo disc's cue sheet, empty when it is not there.
std::string DemoDiscPath();

// The drives in letter order (discovered on first use).
std::vector<DriveEntry> Drives();
// The drive of a letter ('D', 'e', ...), null when there is none.
std::shared_ptr<DiscDrive> DriveForLetter(char letter);
// The letter of the drive at index in letter order: D: is 0; and the index of a letter ('D' or
// 'd' is 0, letters before D: are negative).
char DriveLetter(int index);
int DriveIndex(char letter);
// The drive at index in letter order (D: is 0), null when there is none.
std::shared_ptr<DiscDrive> DriveAt(int index);
// Sets the drive list explicitly (tests, tools): letters from D: in the given order. An empty
// list means the machine has no CD drive.
void InstallDrives(std::vector<std::shared_ptr<DiscDrive>> drives);
// Forgets the drive list; the next use discovers again.
void ResetDrives();
// Messages of the last discovery.
std::vector<std::string> DriveMessages();

}  // namespace orvane::cdrom

// Win32-shaped drive type of a root ("D:\\", "D:", "d:/"): DRIVE_CDROM for the CD drive
// letters, DRIVE_FIXED for C: (the file system), DRIVE_NO_ROOT_DIR otherwise.
UINT GetDriveTypeA(LPCSTR root);
inline UINT GetDriveType(LPCSTR root) { return GetDriveTypeA(root); }
