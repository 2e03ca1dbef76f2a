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

void CdSession::ForgetDisc() {
    toc.count = 0;
    disc = {};
}

CdSession& TheCdSession() {
    static CdSession session;
    return session;
}

cdrom::DiscInfo DiscOfToc(const TrackTable& table) {
    cdrom::Toc toc;
    const int n = table.count > 0 ? table.count - 1 : 0;
    for (int i = 0; i < n; ++i) {
        const TocEntry& e = table.entries[static_cast<std::size_t>(i)];
        cdrom::TocTrack t;
        t.number = e.trackNumber;
        t.adr = cdrom::TrackControl::AdrOf(e.adrControl);
        t.control = cdrom::TrackControl::FromAdrControl(e.adrControl).bits;
        t.lba = e.start;
        toc.tracks.push_back(t);
    }
    if (!toc.tracks.empty()) {
        toc.firstTrack = toc.tracks.front().number;
        toc.lastTrack = toc.tracks.back().number;
    }
    if (table.count > 0) toc.leadOut = table.entries[static_cast<std::size_t>(n)].start;
    return cdrom::DiscInfoFromToc(toc);
}

void ComputeTrackArrays(CdSession& s) {
    s.trackSeconds.clear();
    s.trackBytes.clear();
    s.trackStartSeconds.clear();
    s.trackStartFrames.clear();
    s.disc = DiscOfToc(s.toc);
    const int n = s.TrackCount();
    if (s.toc.count > 0) {
        s.leadOut = s.disc.leadOut;
        int lead = static_cast<int>(s.toc.entries[0].start / 75);
        s.leadInSeconds = lead == 0 ? 2 : lead;
    }
    for (int i = 0; i < n; ++i) {
        std::uint32_t start = s.Track(i).start;
        std::uint32_t next = i + 1 < n ? s.Track(i + 1).start : s.disc.leadOut;
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
    r.start = s.Track(track).start;
    r.end = track + 1 < s.TrackCount() ? s.Track(track + 1).start : s.leadOut;
    // On an enhanced disc the audio session ends a session gap (lead-out, lead-in, pregap)
    // before the data session's first track: the gap holds nothing a drive can read.
    const auto isData = [&](int i) { return !s.Track(i).audio; };
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

std::string TrackFlagsText(cdrom::TrackControl control) {
    std::string flags;
    const auto add = [&flags](const char* flag) {
        if (!flags.empty()) flags += ", ";
        flags += flag;
    };
    if (control.PreEmphasis()) add("pre-emphasis");
    if (control.CopyPermitted()) add("copy permitted");
    if (control.FourChannel()) add("four channels");
    return flags;
}

// The control nibble alone: drives differ in the ADR they report for a track.
std::string TrackFlagsText(std::uint8_t adrControl) {
    return TrackFlagsText(cdrom::TrackControl::FromAdrControl(adrControl));
}

std::string TrackTypeText(cdrom::TrackControl control) {
    const std::string flags = TrackFlagsText(control);
    const char* type = control.Data() ? "ROM" : "Audio";
    return flags.empty() ? type : std::string(type) + " (" + flags + ")";
}

std::string TrackTypeText(std::uint8_t adrControl) {
    return TrackTypeText(cdrom::TrackControl::FromAdrControl(adrControl));
}

std::vector<std::string> TrackRowTexts(const CdSession& s, int i, const std::string& artist,
                                       const std::string& genre) {
    char name[32], number[32], length[48], size[48];
    std::snprintf(name, sizeof name, "Track%d", i + 1);
    std::snprintf(number, sizeof number, "%d", i);
    int seconds = s.trackSeconds[static_cast<std::size_t>(i)];
    std::snprintf(length, sizeof length, "%02d:%02d", seconds / 60, seconds % 60);
    std::snprintf(size, sizeof size, "%.1f MB", s.trackBytes[static_cast<std::size_t>(i)] * 1e-6);
    return {name, number, length, size, TrackTypeText(s.Track(i).Control()), artist, genre};
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
