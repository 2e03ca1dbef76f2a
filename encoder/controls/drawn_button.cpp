#include "encoder/controls/drawn_button.h"

namespace orvane::controls {

unsigned OwnerDrawStyle(unsigned windowStyle) { return (windowStyle & 0xFF) | kStyleOwnerDraw; }

int ColorIndexResult(int index) { return index >= 0 && index < kColorCount ? 0 : 3; }

int IconExtent(int hotspot) { return hotspot * 2; }

int ChooseImage(const ButtonState& s, bool hasSecondImage) {
    return hasSecondImage && !s.pressed && (s.isToggle || !s.hovering) ? 2 : 1;
}

int BackgroundSlot(const ButtonState& s) {
    return s.hovering || s.pressed ? kColorBackIn : kColorBackOut;
}

int CaptionSlot(const ButtonState& s) {
    return s.hovering || s.pressed ? kColorForeIn : kColorForeOut;
}

Border ChooseBorder(const ButtonState& s) {
    if (s.pressed) {
        if (!s.flat) return Border::PressedFrame;
        return s.drawBorder ? Border::SunkenEdge : Border::None;
    }
    if (!s.flat) return Border::ThreeD;
    return s.hovering && s.drawBorder ? Border::RaisedEdge : Border::None;
}

bool HasBlackFrame(const ButtonState& s) { return !s.flat && (s.focused || s.isDefault); }

bool HasFocusRect(const ButtonState& s) { return s.focused && (!s.flat || s.focusOnFlat); }

ButtonLayout LayoutButton(const Rect& client, int w, int h, int align, bool hasCaption,
                          int imageOffset, const ButtonState& s) {
    ButtonLayout out;
    out.caption = client;
    const int centredX = client.left + (client.Width() - w) / 2;
    const int centredY = client.top + (client.Height() - h) / 2;
    int x = client.left;
    int y = client.top;
    switch (align) {
        case kAlignImageTop:
            x = centredX;
            if (hasCaption) {
                out.caption.top += h;
            } else {
                y = centredY;
            }
            y += imageOffset;
            break;
        case kAlignImageRight:
            if (hasCaption) {
                const Rect former = out.caption;
                out.caption.left = 3;
                out.caption.right = former.right - former.left - w - 3;
                x = client.right - w - 3;
                y = centredY;
            } else {
                x = centredX;
            }
            break;
        default:  // image left of the caption
            if (hasCaption) {
                x = client.left + 3;
                out.caption.left += w + 3;
            } else {
                x = centredX;
            }
            y = centredY;
            break;
    }
    if (s.pressed && !s.isToggle) {
        ++x;
        ++y;
    }
    out.image = {x, y, x + w, y + h};
    return out;
}

Rect CaptionRect(const Rect& caption, const ButtonState& s) {
    Rect r = caption;
    if (s.pressed && !s.isToggle) {
        r.left += 1;
        r.right += 1;
        r.top += 1;
        r.bottom += 1;
    }
    return r;
}

}  // namespace orvane::controls
