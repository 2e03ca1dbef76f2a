#pragma once
// What one poll of the status thread shows, and the port through which the window receives it.
// The status thread never paints: the window draws each poll's display on the GUI thread.

#include <optional>
#include <string>
#include <vector>

#include "cdplayer/messenger.h"
#include "cdplayer/resource.h"

namespace orvane::cdplayer {

// Bitmaps of the play-state mark, drawn at (160, 55).
constexpr int kPlayMark = IDB_PLAY_MARK;
constexpr int kBlankMark = IDB_BLANK_MARK;
constexpr int kPauseMark = IDB_PAUSE_MARK;

// Where the LCD line starts on the main window.
constexpr int kLcdX = 65;
constexpr int kLcdY = 20;

struct PollDisplay {
    // Repaint the whole main window (without erasing) before drawing the rest.
    bool invalidate = false;
    // New contents of the track list (IDC_TRACK_LIST), when the names were (re)loaded.
    std::optional<std::vector<std::string>> trackList;
    // The LCD line drawn at (kLcdX, kLcdY); nothing when empty. UTF-8: the window draws one
    // cell per character of its Windows-1252 form (cp1252::FromUtf8), at LcdCellX of the byte.
    std::string lcdText;
    // The progress bar, in whole seconds of the current track.
    bool progress = false;
    unsigned elapsed = 0;
    unsigned length = 0;
    // Item of the track list to select, -1 for no change.
    int selectTrack = -1;
    // Slider (IDC_SEEK_SLIDER): a new range 0..sliderMax with ticks every 30 and one tick at 30.
    std::optional<int> sliderMax;
    // Slider thumb position.
    std::optional<int> sliderPos;
    // Bitmap of the play-state mark, 0 for none.
    int mark = 0;
};

class PlayerDisplay : public Messenger {
public:
    // Hands over one poll's display. Called from the status thread; an implementation queues
    // it to the GUI thread and must not wait for the GUI thread (the UI thread may be waiting
    // for the poll to end).
    virtual void ShowPoll(const PollDisplay& display) = 0;
};

// Right edge of the blue part of the progress bar drawn from (30, 87) to (130, 91): 30 (no blue
// part) for a length of 0, never beyond 130.
int ProgressBarRight(unsigned elapsed, unsigned length);

// x offset of a character's 16 x 20 cell in the LCD font bitmap (characters 32 to 95). Lower-case
// letters use their capitals; every other character outside the font shows as a blank.
int LcdCellX(unsigned char c);

}  // namespace orvane::cdplayer
