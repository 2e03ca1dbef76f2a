#pragma once
// A scripted cdaudio device for the engine's unit tests: a disc of given track lengths whose
// position moves only when the test says so, and a log of every command.

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cdplayer/display.h"
#include "cdplayer/mci_cd_audio.h"

namespace orvane::cdplayer::test {

class FakeMci : public MciApi {
public:
    static constexpr unsigned kLeadIn = 150;  // track 1 starts at 0:02:00

    explicit FakeMci(std::vector<unsigned> trackSeconds = {200, 240, 180, 300});

    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override;
    MCIERROR SendString(LPCSTR command, LPSTR returnString, UINT returnLength) override;
    BOOL GetErrorString(MCIERROR error, LPSTR text, UINT textLength) override;

    // Moves the position on by seconds of playing (stops at the end of the disc).
    void PlayFor(unsigned seconds);
    // Puts the position at a disc time (whole seconds) and the mode to playing.
    void PlayingAt(unsigned discSeconds);
    unsigned TrackStart(unsigned track) const;  // in frames
    unsigned DiscSeconds() const { return position / 75; }
    unsigned CurrentTrack() const;

    // Commands sent, as text ("play from 3 to -", "set format 10", "stop" ...).
    std::vector<std::string> Log();
    void ClearLog();

    std::vector<unsigned> tracks;
    std::set<unsigned> dataTracks;  // numbers of the data tracks (play refuses them)
    std::string identity = "00A1B2C3";
    unsigned position = kLeadIn;  // frames
    DWORD mode = MCI_MODE_STOP;
    DWORD format = MCI_FORMAT_MSF;
    bool disc = true;
    bool failOpen = false;
    int openAttempts = 0;
    std::string modeText = "stopped";
    std::vector<std::string> strings;
    // Format in force when each play command was sent.
    std::vector<DWORD> playFormats;

private:
    DWORD Encode(unsigned frames) const;
    bool Decode(DWORD value, unsigned& frames) const;
    unsigned End() const;

    std::recursive_mutex mutex_;
    std::vector<std::string> log_;
};

// Records what the status thread hands over and answers message boxes with IDOK.
class RecordingDisplay : public PlayerDisplay {
public:
    void ShowPoll(const PollDisplay& d) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    std::vector<PollDisplay> polls;
    std::vector<std::pair<std::string, unsigned>> messages;
    int answer = IDOK;
    std::vector<std::string> trackList;

private:
    std::mutex mutex_;
};

}  // namespace orvane::cdplayer::test
