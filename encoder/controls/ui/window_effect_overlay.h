#pragma once
// Plays the window open and close effects: the outlines of each frame are drawn on a
// transparent overlay above the window (X11 offers no screen to draw on directly). Where the
// platform cannot place a free overlay on the screen (Wayland, the offscreen platform), they
// are drawn inside the window's own area.

#include <QWidget>

namespace orvane::controls {

// Runs the opening or closing animation over window's frame; blocks for the run (about 0.3 s).
// kind: 0 to 4, or -1 for a shape picked at random.
void PlayWindowEffect(QWidget* window, bool opening, int kind = -1);

}  // namespace orvane::controls
