#pragma once
// Plays the window open and close effects. On X11 the outlines are inverted straight on the
// screen, as one-pixel lines over every window, each frame sent to the X server at once (the
// effect blocks the event loop for its whole run). Without an X11 screen (Wayland, the
// offscreen platform) they are drawn on a transparent overlay inside the window's own area.

#include <QWidget>

namespace orvane::controls {

// Runs the opening or closing animation over the window's rectangle on the screen (a child
// widget's own area, a top-level window's frame); blocks for the run (about 0.3 s).
// kind: 0 to 4, or -1 for a shape picked at random.
void PlayWindowEffect(QWidget* window, bool opening, int kind = -1);

}  // namespace orvane::controls
