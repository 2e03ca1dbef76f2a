#pragma once
// Arithmetic and decisions of the drawn push button: where image and caption go, which image
// and colours are used in which state, and which border is drawn.

#include "encoder/controls/geometry.h"

namespace orvane::controls {

constexpr int kAlignImageLeft = 0;
constexpr int kAlignImageTop = 1;
constexpr int kAlignImageRight = 2;
constexpr unsigned kStyleDefaultBit = 0x1;  // default push button
constexpr unsigned kStyleCheckBit = 0x2;    // check box: the button toggles
constexpr unsigned kStyleOwnerDraw = 0x0B;

// Colour slots: background and caption when hovering or pressed, and otherwise.
constexpr int kColorBackIn = 0;
constexpr int kColorForeIn = 1;
constexpr int kColorBackOut = 2;
constexpr int kColorForeOut = 3;
constexpr int kColorCount = 4;

// The button style after attaching: the low byte of the window style with owner-draw.
unsigned OwnerDrawStyle(unsigned windowStyle);

// Result of SetColor: 0 when the slot exists, 3 when the index is out of range (nothing set).
int ColorIndexResult(int index);

// An icon's size: twice its hotspot coordinates.
int IconExtent(int hotspot);

struct ButtonState {
    bool flat = true;
    bool drawBorder = true;
    bool focusOnFlat = false;
    bool isToggle = false;
    bool isDefault = false;
    bool pressed = false;  // selected state of the paint request
    bool focused = false;
    bool hovering = false;
};

// 1 for the first image, 2 for the second.
int ChooseImage(const ButtonState& s, bool hasSecondImage);
// Colour slot of the background and of the caption.
int BackgroundSlot(const ButtonState& s);
int CaptionSlot(const ButtonState& s);

enum class Border {
    None,
    ThreeD,        // two-pixel 3-D border of a non-flat button at rest
    RaisedEdge,    // one-pixel raised edge of a hovering flat button
    PressedFrame,  // one-pixel shadow frame of a pressed non-flat button
    SunkenEdge,    // one-pixel sunken edge of a pressed flat button
};
Border ChooseBorder(const ButtonState& s);
// A non-flat focused or default button frames itself in black first (and shrinks by 1).
bool HasBlackFrame(const ButtonState& s);
bool HasFocusRect(const ButtonState& s);

struct ButtonLayout {
    Rect image;    // where the image is drawn (its size is the image's)
    Rect caption;  // what is left for the caption
};

// Image and caption rectangles for the button rectangle `client`, an image of w x h, the
// alignment, whether a caption is shown, the image offset (alignment 1) and the state.
ButtonLayout LayoutButton(const Rect& client, int w, int h, int align, bool hasCaption,
                          int imageOffset, const ButtonState& s);

// The caption's text rectangle: a pressed non-toggle button moves it 1 pixel right and down.
Rect CaptionRect(const Rect& caption, const ButtonState& s);

}  // namespace orvane::controls
