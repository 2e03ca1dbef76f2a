#pragma once
// The play modes the mode buttons set and the status thread carries out at the end of a track,
// the hold-to-scan buttons and the song-position slider.

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/base/wintypes.h"

namespace orvane::cdplayer {

struct PlayerState;

struct PlayModes {
    static constexpr int kSlots = 40;
    static constexpr int kMaxEntries = 36;  // what the programmed-order dialog allows

    DWORD IntroScanOn = 0;
    DWORD RandomOn = 0;
    DWORD RepeatState = 0;
    DWORD ProgramPosition = 0;  // 1-based entry now playing; 0 = programmed play off
    DWORD RepeatA = 0;          // whole seconds of disc position
    DWORD RepeatB = 0;          // 0 = not set
    std::array<WORD, kSlots> ProgramOrder{};
    DWORD ProgramCount = 0;
    std::atomic<DWORD> Seeking{0};  // a hold-to-scan button is held

    // Switches every mode off; the repeat points stay.
    void AllOff() { IntroScanOn = RandomOn = RepeatState = ProgramPosition = 0; }
};

// Hold-to-scan button logic (IDC_SKIP_FORWARD, IDC_SKIP_BACKWARDS). The window captures the
// mouse and runs the timer; this object keeps the target the status thread shows and plays.
class CSkipButton {
public:
    static constexpr int kTimerId = 0x12345678;
    static constexpr unsigned kTimerPeriodMs = 200;

    explicit CSkipButton(bool forward) : forward_(forward) {}

    // Mouse button down: true when the button was not held and is now (the window then
    // captures the mouse and starts the timer).
    bool OnButtonDown(PlayerState& player);
    // One timer tick while the button is pressed.
    void OnTimer();
    // Mouse button up: true when the button was held (the window then releases the capture and
    // stops the timer). Play continues at the target.
    bool OnButtonUp(PlayerState& player);

    bool Held() const { return held_.load(); }
    // The packed MSF target, -1 when none.
    std::int64_t Target() const { return target_.load(); }
    int Ticks() const { return ticks_; }

    // Seconds one tick moves the target: 2 for ticks 1-5, 4 for 6-8, 6 for 9-12, then 8.
    static int StepSeconds(int tick);
    // The target after one step; backwards never goes below 0:00.
    static DWORD Step(DWORD msf, int seconds, bool forward);

private:
    bool forward_;
    std::atomic<bool> held_{false};
    std::atomic<std::int64_t> target_{-1};
    int ticks_ = 0;
};

// Song-position slider logic (IDC_SEEK_SLIDER). The window reports the mouse and the thumb's
// position; the status thread restarts play there.
class CSeekSlider {
public:
    void OnButtonDown() { dragging_ = true; }
    void OnButtonUp() {
        dragging_ = false;
        released_ = true;
    }
    // The thumb's position in seconds, as the user moved it.
    void SetPosition(int seconds) { position_ = seconds; }

    bool Dragging() const { return dragging_.load(); }
    bool Released() const { return released_.load(); }
    void ClearReleased() { released_ = false; }
    int Position() const { return position_.load(); }

private:
    std::atomic<bool> dragging_{false};
    std::atomic<bool> released_{false};
    std::atomic<int> position_{0};
};

}  // namespace orvane::cdplayer
