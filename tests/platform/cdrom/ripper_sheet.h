#pragma once
// A cue sheet as rippers write it (CRLF, one file per track with the gap appended to the file
// before, INDEX 00/01/02, PREGAP, ISRC, CATALOG, FLAGS, CD-Text lines, REM SESSION 02 before a
// data track), with the files it names. Its layout:
//   track 1: INDEX 00 at 0, INDEX 01 at 33, INDEX 02 at 150 (01.bin)
//   track 2: INDEX 00 at 225 (the last 75 frames of 01.bin), INDEX 01 at 300 (02.bin)
//   track 3: PREGAP of 10 silent frames from 375, INDEX 01 at 385; the first session ends at 460
//   track 4: data, in session 2 at 460 + 11400 = 11860; the lead-out at 11910

#include <string>

#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::test {

inline std::string WriteRipperSheet(const TempDir& dir) {
    WriteFile(dir / "01.bin", PatternFrames(0, 300));
    WriteFile(dir / "02.bin", PatternFrames(300, 150));
    WriteFile(dir / "data.bin", std::string(50 * 2352, '\x5A'));
    const std::string cue =
        "REM GENRE Pop\r\n"
        "REM SESSION 01\r\n"
        "CATALOG 0724384260521\r\n"
        "PERFORMER \"The Band\"\r\n"
        "TITLE \"The Album\"\r\n"
        "FILE \"01.bin\" BINARY\r\n"
        "  TRACK 01 AUDIO\r\n"
        "    TITLE \"One\\Back\"\r\n"
        "    PERFORMER \"Singer\"\r\n"
        "    SONGWRITER \"Writer\"\r\n"
        "    ISRC usabc0000001\r\n"
        "    FLAGS DCP PRE\r\n"
        "    INDEX 00 00:00:00\r\n"
        "    INDEX 01 00:00:33\r\n"
        "    INDEX 02 00:02:00\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    TITLE \"Two\"\r\n"
        "    ISRC TOO-SHORT\r\n"
        "    INDEX 00 00:03:00\r\n"
        "FILE \"02.bin\" BINARY\r\n"
        "    INDEX 01 00:00:00\r\n"
        "  TRACK 03 AUDIO\r\n"
        "    FLAGS SCMS\r\n"
        "    PREGAP 00:00:10\r\n"
        "    INDEX 01 00:01:00\r\n"
        "REM SESSION 02\r\n"
        "FILE \"data.bin\" BINARY\r\n"
        "  TRACK 04 MODE1/2352\r\n"
        "    INDEX 01 00:00:00\r\n";
    WriteFile(dir / "ripped.cue", cue);
    return (dir / "ripped.cue").string();
}

}  // namespace orvane::test
