#pragma once
// The status thread: polls the device twice a second (ten times while a hold-to-scan button is
// held), hands the display of each poll to the window, notices new discs and loads their names,
// and carries out the play modes at the end of each track.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cdplayer/display.h"
#include "cdplayer/names.h"
#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

class CStatusThread {
public:
    static constexpr unsigned kPollMs = 500;
    static constexpr unsigned kSeekingPollMs = 100;
    static constexpr const char* kNoDiscLine = "NO DISC LOADED...      ";
    static constexpr const char* kUnknownTrackName = "        UNKNOWN TRACK NAME ";

    CStatusThread(PlayerState& player, PlayerDisplay& display);
    ~CStatusThread();
    CStatusThread(const CStatusThread&) = delete;
    CStatusThread& operator=(const CStatusThread&) = delete;

    // Starts the thread: it fills the track list, then polls until Stop.
    void Start();
    // Ends the loop (the main window is going) and waits for the thread; the current sleep
    // ends first.
    void Stop();
    // A paused thread neither polls nor draws (size switch, credits).
    void Pause();
    void Continue();

    // One poll; returns the milliseconds to sleep before the next. The thread's loop calls it;
    // tests call it directly.
    unsigned Poll();
    // The track list the thread shows before its first poll.
    void ShowInitialTrackList();

    // The name text of track t: "        UNKNOWN TRACK NAME " when there is no name for it,
    // otherwise eight blanks, the name and one blank.
    static std::string NameText(const std::vector<std::string>& names, DWORD track);
    // The 8-character window of a name text from offset, completed from its start.
    static std::string VisiblePart(const std::string& nameText, std::size_t offset);

    // Thread fields, readable by tests.
    bool ReloadNames() const { return reloadNames_; }
    bool SliderReset() const { return sliderReset_; }
    std::size_t ScrollOffset() const { return scrollOffset_; }

private:
    void Run();
    // The names of a newly detected disc, read from the database without holding the player
    // lock; nothing while the door is open.
    std::optional<NamesLoad> PrepareNames();
    void PlayModesAtTrackEnd(DWORD now, DWORD elapsed, DWORD lenSec, DWORD track);

    PlayerState& player_;
    PlayerDisplay& display_;

    bool reloadNames_ = true;
    bool sliderReset_ = true;
    bool resumeAfterSeek_ = false;
    DWORD lastTrackSeen_ = 0;
    std::size_t scrollOffset_ = 0;
    int indicatorPhase_ = 0;

    std::thread thread_;
    std::mutex runMutex_;
    std::condition_variable runChanged_;
    bool stop_ = false;
    bool paused_ = false;
};

}  // namespace orvane::cdplayer
