#pragma once
// The track list of the disc in the selected drive: the table of contents as READ TOC gave it,
// the disc it describes (cdrom::DiscInfo, the model every reader of the disc takes), the
// per-track lengths, sizes and start times, the texts of the grabber's list rows, and the
// selection the grabber hands to the jobs. One CdSession lives for the whole process beside the
// application object, so a job can grab the tracks chosen after the grabber has closed.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/cdda/cd_drive.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

struct CdSession {
    std::array<CdDrive, kMaxDrives> drives{};
    int driveCount = 0;
    int selectedDrive = 0;  // index in drives, as in the grabber's drive box

    TrackTable toc;        // descriptors of READ TOC, lead-out included
    cdrom::DiscInfo disc;  // the disc they describe (ComputeTrackArrays)
    std::vector<int> trackSeconds;
    std::vector<std::uint32_t> trackBytes;
    std::vector<int> trackStartSeconds;
    std::vector<int> trackStartFrames;
    int leadInSeconds = 2;
    std::uint32_t leadOut = 0;

    // Handed over when the grabber is confirmed: one flag (1 checked) and one name per row.
    std::vector<std::uint8_t> checked;
    std::vector<std::string> names;

    int TrackCount() const { return static_cast<int>(disc.tracks.size()); }
    // The track of row i (0 to TrackCount() - 1).
    const cdrom::TrackInfo& Track(int i) const { return disc.tracks[static_cast<std::size_t>(i)]; }
    const CdDrive& Drive() const { return drives[static_cast<std::size_t>(selectedDrive)]; }
    // Clears the per-track arrays and the selection.
    void ClearTracks();
    // Forgets the disc: no table of contents, no tracks.
    void ForgetDisc();
};

CdSession& TheCdSession();

// The disc a READ TOC answer describes: its tracks with their control bits, an enhanced disc's
// data session, the lead-out (the last descriptor).
cdrom::DiscInfo DiscOfToc(const TrackTable& toc);
// Fills session.disc, the per-track arrays, lead-out and lead-in from session.toc.
void ComputeTrackArrays(CdSession& session);

// Frames of the track's range: start, and end = the next entry's start (the lead-out for the
// last track); with intro-only, start + seconds x 75. The end never lies past the lead-out.
struct FrameRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t Frames() const { return end > start ? end - start : 0; }
};
FrameRange TrackRange(const CdSession& session, int track, bool introOnly, int introSeconds);

// "%d MBytes" of ((leadOut / 1000) x 2352) / 1000.
std::string DiscSizeText(std::uint32_t leadOut);
// The flags of a track's control nibble as text: "pre-emphasis", "copy permitted", "four
// channels", joined by ", " (pre-emphasis and four channels on audio tracks only); empty
// when none is set.
std::string TrackFlagsText(cdrom::TrackControl control);
std::string TrackFlagsText(std::uint8_t adrControl);
// "Audio" for an audio track, "ROM" for a data track (the control's data bit), with the
// track's flags in parentheses when it has any: 10h "Audio", 14h "ROM", 11h
// "Audio (pre-emphasis)".
std::string TrackTypeText(cdrom::TrackControl control);
std::string TrackTypeText(std::uint8_t adrControl);
// The seven column texts of row i.
std::vector<std::string> TrackRowTexts(const CdSession& session, int i, const std::string& artist,
                                       const std::string& genre);
// The column headers of the track list.
const std::vector<std::string>& TrackColumnHeaders();

struct SelectionTotals {
    int count = 0;
    int seconds = 0;
    double megabytes = 0;
    std::string countText, sizeText, timeText;  // controls 1070, 1072, 1071
};
SelectionTotals ComputeSelectionTotals(const CdSession& session,
                                       const std::vector<bool>& rowChecked);

}  // namespace orvane::cdda
