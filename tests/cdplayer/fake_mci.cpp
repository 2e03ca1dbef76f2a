#include "fake_mci.h"

#include <cstring>
#include <numeric>

namespace orvane::cdplayer::test {

FakeMci::FakeMci(std::vector<unsigned> trackSeconds) : tracks(std::move(trackSeconds)) {}

unsigned FakeMci::TrackStart(unsigned track) const {
    unsigned frames = kLeadIn;
    for (unsigned k = 1; k < track && k <= tracks.size(); ++k)
        frames += tracks[k - 1] * 75;
    return frames;
}

unsigned FakeMci::End() const { return TrackStart(static_cast<unsigned>(tracks.size()) + 1); }

unsigned FakeMci::CurrentTrack() const {
    unsigned t = 1;
    for (unsigned k = 1; k <= tracks.size(); ++k)
        if (position >= TrackStart(k)) t = k;
    return t;
}

DWORD FakeMci::Encode(unsigned frames) const {
    if (format == MCI_FORMAT_TMSF) {
        const unsigned t = CurrentTrack();
        const unsigned rel = frames - TrackStart(t);
        return MCI_MAKE_TMSF(t, rel / 4500, rel / 75 % 60, rel % 75);
    }
    return MCI_MAKE_MSF(frames / 4500, frames / 75 % 60, frames % 75);
}

bool FakeMci::Decode(DWORD value, unsigned& frames) const {
    if (format == MCI_FORMAT_TMSF) {
        const unsigned t = MCI_TMSF_TRACK(value);
        if (t < 1 || t > tracks.size()) return false;
        frames = TrackStart(t) + MCI_TMSF_MINUTE(value) * 4500 + MCI_TMSF_SECOND(value) * 75 +
                 MCI_TMSF_FRAME(value);
    } else {
        frames = MCI_MSF_MINUTE(value) * 4500 + MCI_MSF_SECOND(value) * 75 + MCI_MSF_FRAME(value);
        if (frames < kLeadIn) return false;
    }
    return frames < End();
}

MCIERROR FakeMci::SendCommand(MCIDEVICEID, UINT message, DWORD_PTR flags, DWORD_PTR param) {
    std::lock_guard g(mutex_);
    switch (message) {
        case MCI_OPEN: {
            auto* p = reinterpret_cast<MCI_OPEN_PARMSA*>(param);
            ++openAttempts;
            log_.push_back("open " + std::to_string(flags) + " " + p->lpstrElementName + " " +
                           p->lpstrAlias + " " +
                           std::to_string(reinterpret_cast<DWORD_PTR>(p->lpstrDeviceType)));
            if (failOpen) return MCIERR_DEVICE_LOCKED;
            p->wDeviceID = 7;
            return 0;
        }
        case MCI_CLOSE:
            log_.push_back("close");
            return 0;
        case MCI_SET: {
            auto* p = reinterpret_cast<MCI_SET_PARMS*>(param);
            if (flags & MCI_SET_TIME_FORMAT) {
                format = p->dwTimeFormat;
                log_.push_back("format " + std::to_string(format));
            }
            if (flags & MCI_SET_DOOR_OPEN) {
                log_.push_back("door open");
                mode = MCI_MODE_OPEN;
            }
            if (flags & MCI_SET_DOOR_CLOSED) {
                log_.push_back("door closed");
                mode = MCI_MODE_STOP;
            }
            return 0;
        }
        case MCI_PLAY: {
            auto* p = reinterpret_cast<MCI_PLAY_PARMS*>(param);
            playFormats.push_back(format);
            std::string text = "play";
            if (flags & MCI_FROM) text += " from " + std::to_string(p->dwFrom);
            if (flags & MCI_TO) text += " to " + std::to_string(p->dwTo);
            log_.push_back(text);
            if (!disc || mode == MCI_MODE_OPEN) return MCIERR_CD_DRIVE_NOT_READY;
            if (flags & MCI_FROM) {
                unsigned frames = 0;
                if (!Decode(p->dwFrom, frames)) return MCIERR_OUTOFRANGE;
                // A drive cannot play the sectors of a data track.
                const unsigned saved = position;
                position = frames;
                if (dataTracks.count(CurrentTrack())) {
                    position = saved;
                    return MCIERR_HARDWARE;
                }
            } else if (dataTracks.count(CurrentTrack())) {
                return MCIERR_HARDWARE;
            }
            mode = MCI_MODE_PLAY;
            return 0;
        }
        case MCI_STOP:
            log_.push_back("stop");
            if (mode != MCI_MODE_OPEN) mode = MCI_MODE_STOP;
            return 0;
        case MCI_PAUSE:
            log_.push_back("pause");
            if (mode == MCI_MODE_PLAY) mode = MCI_MODE_PAUSE;
            return 0;
        case MCI_RESUME:
            log_.push_back("resume");
            if (mode == MCI_MODE_PAUSE) mode = MCI_MODE_PLAY;
            return 0;
        case MCI_SEEK: {
            auto* p = reinterpret_cast<MCI_SEEK_PARMS*>(param);
            if (flags & MCI_SEEK_TO_START) {
                log_.push_back("seek start");
                position = kLeadIn;
            } else if (flags & MCI_SEEK_TO_END) {
                log_.push_back("seek end");
                position = End();
            } else {
                log_.push_back("seek to " + std::to_string(p->dwTo));
            }
            return 0;
        }
        case MCI_INFO: {
            auto* p = reinterpret_cast<MCI_INFO_PARMSA*>(param);
            if (!disc) return MCIERR_CD_DRIVE_NOT_READY;
            std::strncpy(p->lpstrReturn, identity.c_str(), p->dwRetSize - 1);
            return 0;
        }
        case MCI_STATUS: {
            auto* p = reinterpret_cast<MCI_STATUS_PARMS*>(param);
            const bool track = flags & MCI_TRACK;
            if (p->dwItem == MCI_STATUS_MODE) {
                p->dwReturn = mode;
                return 0;
            }
            if (!disc || mode == MCI_MODE_OPEN) return MCIERR_CD_DRIVE_NOT_READY;
            switch (p->dwItem) {
                case MCI_STATUS_NUMBER_OF_TRACKS:
                    p->dwReturn = tracks.size();
                    return 0;
                case MCI_CDA_STATUS_TYPE_TRACK:
                    if (!track || p->dwTrack < 1 || p->dwTrack > tracks.size())
                        return MCIERR_OUTOFRANGE;
                    p->dwReturn =
                        dataTracks.count(p->dwTrack) ? MCI_CDA_TRACK_OTHER : MCI_CDA_TRACK_AUDIO;
                    return 0;
                case MCI_STATUS_CURRENT_TRACK:
                    p->dwReturn = CurrentTrack();
                    return 0;
                case MCI_STATUS_POSITION:
                    if (track) {
                        if (p->dwTrack < 1 || p->dwTrack > tracks.size()) return MCIERR_OUTOFRANGE;
                        const unsigned f = TrackStart(p->dwTrack);
                        p->dwReturn = MCI_MAKE_MSF(f / 4500, f / 75 % 60, f % 75);
                        return 0;
                    }
                    p->dwReturn = Encode(position);
                    return 0;
                case MCI_STATUS_LENGTH:
                    if (track) {
                        if (p->dwTrack < 1 || p->dwTrack > tracks.size()) return MCIERR_OUTOFRANGE;
                        const unsigned s = tracks[p->dwTrack - 1];
                        p->dwReturn = MCI_MAKE_MSF(s / 60, s % 60, 0);
                        return 0;
                    }
                    p->dwReturn = MCI_MAKE_MSF(End() / 4500, End() / 75 % 60, 0);
                    return 0;
            }
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }
    return MCIERR_UNRECOGNIZED_COMMAND;
}

MCIERROR FakeMci::SendString(LPCSTR command, LPSTR returnString, UINT returnLength) {
    std::lock_guard g(mutex_);
    strings.emplace_back(command);
    if (std::string(command) == "set cdaudio door closed") {
        modeText = "stopped";
        mode = MCI_MODE_STOP;
    }
    if (returnString && returnLength > 0) {
        std::strncpy(returnString, modeText.c_str(), returnLength - 1);
        returnString[returnLength - 1] = '\0';
    }
    return 0;
}

BOOL FakeMci::GetErrorString(MCIERROR error, LPSTR text, UINT textLength) {
    if (error == MCIERR_DEVICE_LOCKED) {
        std::strncpy(text, "The device is locked.", textLength - 1);
        return 1;
    }
    return 0;
}

void FakeMci::PlayFor(unsigned seconds) {
    std::lock_guard g(mutex_);
    if (mode != MCI_MODE_PLAY) return;
    position += seconds * 75;
    if (position >= End()) {
        position = End() - 1;
        mode = MCI_MODE_STOP;
    }
}

void FakeMci::PlayingAt(unsigned discSeconds) {
    std::lock_guard g(mutex_);
    position = discSeconds * 75;
    mode = MCI_MODE_PLAY;
}

std::vector<std::string> FakeMci::Log() {
    std::lock_guard g(mutex_);
    return log_;
}

void FakeMci::ClearLog() {
    std::lock_guard g(mutex_);
    log_.clear();
    playFormats.clear();
}

void RecordingDisplay::ShowPoll(const PollDisplay& d) {
    std::lock_guard g(mutex_);
    polls.push_back(d);
    if (d.trackList) trackList = *d.trackList;
}

int RecordingDisplay::MessageBox(const std::string& text, const std::string&, unsigned flags) {
    std::lock_guard g(mutex_);
    messages.emplace_back(text, flags);
    return answer;
}

}  // namespace orvane::cdplayer::test
