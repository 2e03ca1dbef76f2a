#pragma once
// Cue sheets: the layout of a disc image. A sheet names one or more files (raw little-endian
// samples "BINARY", raw big-endian samples "MOTOROLA", or a PCM "WAVE" file) and the tracks
// inside them with their indexes; LoadCueSheet turns it into a disc layout of extents, each a
// run of frames from one file or of generated silence (PREGAP, POSTGAP, and the gap before a
// second session: "REM SESSION 02" puts the tracks after it into a session whose first track
// starts 11400 sectors after the end of the first).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cdrom/disc_drive.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdrom {

enum class CueFileType { Binary, Motorola, Wave };

struct CueFile {
    std::string path;  // resolved path of the file
    CueFileType type = CueFileType::Binary;
    std::uint64_t dataOffset = 0;  // first byte of sample data (after a WAVE header)
    std::uint64_t dataBytes = 0;   // bytes of sample data
    int line = 0;                  // line of the FILE command
};

struct CueIndex {
    int number = 0;
    std::uint32_t fileFrame = 0;  // position inside its file, in sectors of the track's size
    int file = 0;                 // index into CueSheet::files
    int line = 0;
    std::uint32_t lba = 0;  // where it lies on the disc (set by the layout)
};

struct CueTrack {
    int number = 0;
    bool audio = true;
    std::uint32_t sectorBytes = kFrameBytes;  // 2352 for audio and raw data, 2048/2336 cooked
    std::string mode;                         // "AUDIO", "MODE1/2048", ...
    int file = 0;                             // file of the TRACK command
    std::vector<CueIndex> indexes;
    std::uint32_t pregap = 0;   // frames of generated silence before the track
    std::uint32_t postgap = 0;  // frames of generated silence after the track
    int line = 0;
    int session = 1;  // from "REM SESSION nn" before the track
    std::string isrc;
    bool preemphasis = false;    // FLAGS PRE
    bool copyPermitted = false;  // FLAGS DCP
    bool fourChannel = false;    // FLAGS 4CH
    std::string title, performer, songwriter;
    std::uint32_t start = 0;  // first frame laid out for the track (its pregap included)
};

// One run of frames of the disc: either from a file or silence.
struct DiscExtent {
    std::uint32_t lba = 0;
    std::uint32_t frames = 0;
    int file = -1;  // -1: silence
    std::uint64_t fileByte = 0;
    std::uint32_t sectorBytes = kFrameBytes;
    bool audio = true;
};

struct CueSheet {
    std::string path;
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    std::vector<std::string> remarks;  // REM lines, without "REM "
    std::string title;
    std::string performer;
    std::string songwriter;
    std::string catalog;  // CATALOG: the media catalog number

    // The layout computed by LoadCueSheet.
    Toc toc;
    std::vector<DiscExtent> extents;  // in disc order, contiguous from lba 0
};

// The disc the sheet describes, with everything beyond the track list.
DiscInfo DiscInfoFromSheet(const CueSheet& sheet);

// Reads and checks a cue sheet and the files it names. On failure returns false with a
// message naming the sheet and the line ("disc.cue:7: INDEX before any TRACK").
bool LoadCueSheet(const std::string& path, CueSheet& out, std::string& error);
// The same from text already read; files are looked up relative to folder.
bool ParseCueSheet(const std::string& text, const std::string& folder, const std::string& name,
                   CueSheet& out, std::string& error);

}  // namespace orvane::cdrom
