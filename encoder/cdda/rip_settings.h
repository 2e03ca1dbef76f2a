#pragma once
// The verified-rip settings kept in the profile: the read mode and its limits, AccurateRip,
// and each drive model's read offset.

#include <string>

#include "encoder/app/settings_store.h"
#include "encoder/cdda/cd_drive.h"
#include "encoder/cdda/reading.h"
#include "encoder/job/job_request.h"
#include "encoder/rip/rip_settings.h"

namespace orvane::cdda {

using rip::RipSettings;

// Hands the settings (all of them) to a CD job; a log and cue sheet of the rip come with any of
// them on. An image of the disc takes the audio before track 1 and keeps each pregap at the end
// of the track before, where the disc has it.
void ApplyRipSettings(const RipSettings& settings, encoder::CdHandOver& cd);

// A drive model's name for its settings: vendor and product, trimmed. Drives of one model
// share their read offset, so the model is what it is stored under.
std::string DriveIdentity(const CdDrive& drive);

// Reads the settings (section "Rip"; the drive's offset from section "ReadOffsets"), every
// number bounded to its range.
RipSettings LoadRipSettings(encoder::SettingsStore& store, const CdDrive& drive);
// Writes them back; false when the profile cannot be written.
bool StoreRipSettings(encoder::SettingsStore& store, const CdDrive& drive,
                      const RipSettings& settings);
// The read speed of a drive, a multiple of the audio rate (0: the drive keeps its own), from
// section "ReadSpeeds": the drive's own entry (its model and bus address, "ACME CD-ROM (0:1)"),
// else its model's ("ACME CD-ROM"). A drive with neither, or with no name, reads fallback: the
// "CDAReadSpeed" value every drive shared before.
int LoadReadSpeed(encoder::SettingsStore& store, const CdDrive& drive, int fallback);
// Stores it as the drive's own entry; for a drive with no name it becomes the shared
// "CDAReadSpeed". False when the profile cannot be written.
bool StoreReadSpeed(encoder::SettingsStore& store, const CdDrive& drive, int speed);
// Parses the pregaps' choice as Rip\Pregaps and --pregaps name it: "previous", "own", "drop";
// false (choice unchanged) for anything else.
bool ParsePregapChoice(const std::string& text, rip::PregapChoice& choice);
// Parses a read offset in samples ("-48", "+667", "0"); false outside -kMaxReadOffset ..
// kMaxReadOffset or when it is no number.
bool ParseReadOffset(const std::string& text, int& offset);

}  // namespace orvane::cdda
