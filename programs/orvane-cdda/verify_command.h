#pragma once
// `orvane-cdda verify`: one rip on disk against both databases (a table, or JSON), or, with
// --recursive, every rip under a folder (each folder holding a cue sheet is one album; linked
// folders are not followed): a line per album and a summary.

#include <string>

#include "encoder/cdda/rip_verify.h"

namespace orvane::cdda {

struct VerifyCommand {
    VerifyOptions options;
    std::string path;
    bool json = false;
    bool recursive = false;
};

// The exit status: 0 only when every audio track (with --recursive: of every album found)
// verified.
int RunVerifyCommand(const VerifyCommand& command);

}  // namespace orvane::cdda
