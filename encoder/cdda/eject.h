#pragma once
// Opening the drive's tray once a rip is complete ("Eject the disc when the rip is complete",
// Rip\Eject): only after a rip that read every track well, so a disc that still needs another
// try stays in the drive.

#include <string>

#include "encoder/cdda/cd_drive.h"
#include "encoder/job/job_runner.h"

namespace orvane::cdda {

struct EjectOutcome {
    bool asked = false;
    bool ejected = false;
    std::string reason;  // why the tray stayed closed when it was asked to open
};

// Opens the tray of drive when asked and the rip is complete; says why not otherwise.
EjectOutcome EjectAfterRip(const CdDrive& drive, bool asked, bool complete);

// The end of a CD job that asked for the tray to open (Rip\Eject): it opens when the job
// succeeded with every file and its rip was complete (ripComplete); when the drive would not,
// the final message says so.
void EjectAtJobEnd(const CdDrive& drive, bool ripComplete, encoder::JobOutcome& outcome);

// The outcome as the members a rip's JSON object ends with: `, "ejected": true`, or `,
// "ejected": false, "eject_reason": "..."`; nothing when it was not asked.
std::string EjectJsonMembers(const EjectOutcome& outcome);

}  // namespace orvane::cdda
