#pragma once
// The shapes of the player's windows: rounded rectangles with elliptic corners, as the window
// regions of the player are described (right and bottom edges excluded).

#include <QRegion>

namespace orvane::cdplayer::ui {

// The rectangle (left, top)-(right, bottom), right and bottom excluded, with corners cut by
// ellipses of cornerW x cornerH.
QRegion RoundRectRegion(int left, int top, int right, int bottom, int cornerW, int cornerH);

// Region 1: (2, 2)-(402, 202) with 80 x 80 corners; region 2: (2, 2)-(402, 152) with 15 x 15.
QRegion PlayerRegion1();
QRegion PlayerRegion2();
// The compact shape (2, 2)-(402, 132) with 15 x 15 corners.
QRegion CompactRegion();
// The full shape: region 1 united with region 2.
QRegion FullRegion();
// The slide panel: (2, 2)-(400, 100) with 80 x 80 corners united with (2, 2)-(400, 50) with
// 15 x 15 corners.
QRegion SlidePanelRegion();

}  // namespace orvane::cdplayer::ui
