#include "platform/cdrom/disc_info.h"

#include <algorithm>

namespace orvane::cdrom {

namespace {

// The end of a session: the start of the next session's first track less the gap, or the
// disc's lead-out for the last session.
std::uint32_t SessionEnd(const DiscInfo& disc, int session) {
    for (const TrackInfo& t : disc.tracks) {
        if (t.session > session)
            return t.start >= kSessionGapFrames ? t.start - kSessionGapFrames : 0;
    }
    return disc.leadOut;
}

}  // namespace

std::uint8_t DiscInfo::FirstAudioTrack() const {
    for (const TrackInfo& t : tracks) {
        if (t.audio) return t.number;
    }
    return 0;
}

std::uint32_t DiscInfo::AudioLeadOut() const {
    const TrackInfo* first = Track(FirstAudioTrack());
    return SessionEnd(*this, first ? first->session : sessions);
}

const TrackInfo* DiscInfo::Track(int number) const {
    for (const TrackInfo& t : tracks) {
        if (t.number == number) return &t;
    }
    return nullptr;
}

TrackControl TrackInfo::Control() const {
    return {static_cast<std::uint8_t>(
        (audio ? 0 : kControlData) | (preemphasis ? kControlPreEmphasis : 0) |
        (copyPermitted ? kControlCopyPermitted : 0) | (fourChannel ? kControlFourChannel : 0))};
}

void TrackInfo::SetControl(TrackControl control) {
    audio = control.Audio();
    preemphasis = control.PreEmphasis();
    copyPermitted = control.CopyPermitted();
    fourChannel = control.FourChannel();
}

std::vector<std::uint32_t> DiscInfo::Starts() const {
    std::vector<std::uint32_t> starts;
    for (const TrackInfo& t : tracks)
        starts.push_back(t.start);
    return starts;
}

void FillLengths(DiscInfo& disc) {
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        TrackInfo& t = disc.tracks[i];
        std::uint32_t end = i + 1 < disc.tracks.size() && disc.tracks[i + 1].session == t.session
                                ? disc.tracks[i + 1].start
                                : SessionEnd(disc, t.session);
        t.length = end > t.start ? end - t.start : 0;
    }
}

DiscInfo DiscInfoFromToc(const Toc& toc) {
    DiscInfo disc;
    disc.firstTrack = toc.firstTrack;
    disc.lastTrack = toc.lastTrack;
    disc.leadOut = toc.leadOut;
    int session = 1;
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const TocTrack& e = toc.tracks[i];
        TrackInfo t;
        t.number = e.number;
        t.adr = e.adr;
        t.SetControl(TrackControl{e.control});
        const bool trailingData =
            std::none_of(toc.tracks.begin() + static_cast<std::ptrdiff_t>(i), toc.tracks.end(),
                         [](const TocTrack& x) { return x.IsAudio(); });
        if (i > 0 && trailingData && disc.tracks.back().audio &&
            e.lba >= toc.tracks[i - 1].lba + kSessionGapFrames) {
            ++session;
        }
        t.session = session;
        t.start = e.lba;
        t.indexes.push_back(e.lba);
        // Before the first track only its pregap can lie; other pregaps need the Q sub-channel.
        if (i == 0) t.pregap = e.lba;
        disc.tracks.push_back(t);
    }
    disc.sessions = session;
    FillLengths(disc);
    return disc;
}

}  // namespace orvane::cdrom
