#include "encoder/cdda/eject.h"

#include "platform/aspi/wnaspi32.h"

namespace orvane::cdda {

EjectOutcome EjectAfterRip(const CdDrive& drive, bool asked, bool complete) {
    EjectOutcome out;
    out.asked = asked;
    if (!asked) return out;
    if (!complete) {
        out.reason = "the rip is not complete";
        return out;
    }
    const AspiResult r = drive.OpenTray();
    if (r >= 0 && (r & 0xFF) == SS_COMP) {
        out.ejected = true;
        return out;
    }
    if (r < 0) {
        out.reason = "the drive could not be asked to open its tray";
    } else {
        out.reason = "the drive refused to open its tray (sense key " +
                     std::to_string((r >> 16) & 0x0F) + ")";
    }
    return out;
}

void EjectAtJobEnd(const CdDrive& drive, bool ripComplete, encoder::JobOutcome& outcome) {
    const bool complete =
        ripComplete && outcome.result == encoder::JobResult::Succeeded && outcome.failures.empty();
    const EjectOutcome ejected = EjectAfterRip(drive, true, complete);
    if (complete && !ejected.ejected)
        outcome.message += std::string(outcome.message.empty() ? "" : "\n") +
                           "The tray stays closed: " + ejected.reason;
}

std::string EjectJsonMembers(const EjectOutcome& outcome) {
    if (!outcome.asked) return {};
    if (outcome.ejected) return ", \"ejected\": true";
    // The reason is one of our own texts: no character needs escaping.
    return ", \"ejected\": false, \"eject_reason\": \"" + outcome.reason + "\"";
}

}  // namespace orvane::cdda
