#include "encoder/cdda/track_list.h"

#include <algorithm>
#include <cstdio>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

void CdSession::ClearTracks() {
    trackSeconds.clear();
    trackBytes.clear();
    trackStartSeconds.clear();
    trackStartFrames.clear();
    checked.clear();
    names.clear();
}

CdSession& TheCdSession() {
    static CdSession session;
    return session;
}

void ComputeTrackArrays(CdSession& s) {
    s.trackSeconds.clear();
    s.trackBytes.clear();
    s.trackStartSeconds.clear();
    s.trackStartFrames.clear();
    int n = s.TrackCount();
    if (s.toc.count > 0) {
        s.leadOut = s.toc.entries[s.toc.count - 1].start;
        int lead = static_cast<int>(s.toc.entries[0].start / 75);
        s.leadInSeconds = lead == 0 ? 2 : lead;
    }
    for (int i = 0; i < n; ++i) {
        std::uint32_t start = s.toc.entries[i].start;
        std::uint32_t next = s.toc.entries[i + 1].start;
        // A table whose starts do not ascend gives an empty track, not a wrapped size.
        double bytes = next > start ? double(next - start) * kFrameBytes : 0.0;
        auto size = static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes));
        s.trackBytes.push_back(size);
        s.trackSeconds.push_back(static_cast<int>(double(size) * 5.668934240362812e-06));
        s.trackStartSeconds.push_back(static_cast<int>(start / 75));
        s.trackStartFrames.push_back(static_cast<int>(start % 75));
    }
}

FrameRange TrackRange(const CdSession& s, int track, bool introOnly, int introSeconds) {
    FrameRange r;
    if (track < 0 || track >= s.TrackCount()) return r;
    r.start = s.toc.entries[track].start;
    r.end = track + 1 < s.TrackCount() ? s.toc.entries[track + 1].start : s.leadOut;
    // On an enhanced disc the audio session ends a session gap (lead-out, lead-in, pregap)
    // before the data session's first track: the gap holds nothing a drive can read.
    const auto isData = [&](int i) { return (s.toc.entries[i].adrControl & 0x04) != 0; };
    if (!isData(track) && track + 1 < s.TrackCount() &&
        r.end >= r.start + cdrom::kSessionGapFrames) {
        bool dataToTheEnd = true;
        for (int i = track + 1; i < s.TrackCount(); ++i)
            dataToTheEnd = dataToTheEnd && isData(i);
        if (dataToTheEnd) r.end -= cdrom::kSessionGapFrames;
    }
    if (introOnly) r.end = r.start + static_cast<std::uint32_t>(std::max(introSeconds, 0)) * 75;
    // Nothing on the disc lies past the lead-out: reads there could only fail.
    if (s.leadOut > 0) r.end = std::min(r.end, s.leadOut);
    return r;
}

std::string DiscSizeText(std::uint32_t leadOut) {
    char text[32];
    std::snprintf(text, sizeof text, "%d MBytes",
                  static_cast<int>((leadOut / 1000) * kFrameBytes / 1000));
    return text;
}

std::string TrackFlagsText(std::uint8_t adrControl) {
    // The control nibble alone: drives differ in the ADR they report for a track.
    const std::uint8_t control = adrControl & 0x0F;
    std::string flags;
    const auto add = [&flags](const char* flag) {
        if (!flags.empty()) flags += ", ";
        flags += flag;
    };
    // On a data track bit 0 tells how the track was recorded, not pre-emphasis.
    if ((control & cdrom::kControlData) == 0 && (control & cdrom::kControlPreEmphasis) != 0)
        add("pre-emphasis");
    if ((control & cdrom::kControlCopyPermitted) != 0) add("copy permitted");
    if ((control & cdrom::kControlData) == 0 && (control & cdrom::kControlFourChannel) != 0)
        add("four channels");
    return flags;
}

std::string TrackTypeText(std::uint8_t adrControl) {
    const std::string flags = TrackFlagsText(adrControl);
    const char* type = (adrControl & cdrom::kControlData) != 0 ? "ROM" : "Audio";
    return flags.empty() ? type : std::string(type) + " (" + flags + ")";
}

std::vector<std::string> TrackRowTexts(const CdSession& s, int i, const std::string& artist,
                                       const std::string& genre) {
    char name[32], number[32], length[48], size[48];
    std::snprintf(name, sizeof name, "Track%d", i + 1);
    std::snprintf(number, sizeof number, "%d", i);
    int seconds = s.trackSeconds[static_cast<std::size_t>(i)];
    std::snprintf(length, sizeof length, "%02d:%02d", seconds / 60, seconds % 60);
    std::snprintf(size, sizeof size, "%.1f MB", s.trackBytes[static_cast<std::size_t>(i)] * 1e-6);
    return {name, number, length, size, TrackTypeText(s.toc.entries[i].adrControl), artist, genre};
}

const std::vector<std::string>& TrackColumnHeaders() {
    static const std::vector<std::string> headers = {"Track Name",   "Track No.",  "  Length  ",
                                                     "    Size    ", "Track Type", " Artist Name ",
                                                     "Music Genre"};
    return headers;
}

SelectionTotals ComputeSelectionTotals(const CdSession& s, const std::vector<bool>& rowChecked) {
    SelectionTotals t;
    for (std::size_t i = 0; i < rowChecked.size() && i < s.trackSeconds.size(); ++i) {
        if (!rowChecked[i]) continue;
        ++t.count;
        t.seconds += s.trackSeconds[i];
        t.megabytes += s.trackBytes[i] * 1e-6;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d Track(s) ", t.count);
    t.countText = text;
    std::snprintf(text, sizeof text, "%.1f MB ", t.megabytes);
    t.sizeText = text;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d ", t.seconds / 3600, (t.seconds / 60) % 60,
                  t.seconds % 60);
    t.timeText = text;
    return t;
}

}  // namespace orvane::cdda
