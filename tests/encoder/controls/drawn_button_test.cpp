#include "encoder/controls/drawn_button.h"

#include <gtest/gtest.h>

namespace orvane::controls {
namespace {

TEST(DrawnButtonTest, ImageChoiceFollowsStateAndToggle) {
    ButtonState s;
    EXPECT_EQ(ChooseImage(s, false), 1);  // only one image: always the first
    s.hovering = true;
    EXPECT_EQ(ChooseImage(s, false), 1);
    s.hovering = false;
    EXPECT_EQ(ChooseImage(s, true), 2);
    s.hovering = true;
    EXPECT_EQ(ChooseImage(s, true), 1);
    s.isToggle = true;
    EXPECT_EQ(ChooseImage(s, true), 2);  // a toggle keeps its second image while hovering
    s.pressed = true;
    EXPECT_EQ(ChooseImage(s, true), 1);
}

TEST(DrawnButtonTest, StylesColoursAndSlots) {
    EXPECT_EQ(OwnerDrawStyle(0x50010001u), 0x0Bu);
    EXPECT_EQ(OwnerDrawStyle(0x50010002u), 0x0Bu);
    EXPECT_EQ(OwnerDrawStyle(0x40u), 0x4Bu);
    EXPECT_EQ(ColorIndexResult(0), 0);
    EXPECT_EQ(ColorIndexResult(3), 0);
    EXPECT_EQ(ColorIndexResult(4), 3);
    EXPECT_EQ(ColorIndexResult(-1), 3);
    EXPECT_EQ(IconExtent(16), 32);
    ButtonState s;
    EXPECT_EQ(BackgroundSlot(s), kColorBackOut);
    EXPECT_EQ(CaptionSlot(s), kColorForeOut);
    s.pressed = true;
    EXPECT_EQ(BackgroundSlot(s), kColorBackIn);
    EXPECT_EQ(CaptionSlot(s), kColorForeIn);
}

TEST(DrawnButtonTest, BordersFramesAndFocus) {
    ButtonState flat;
    EXPECT_EQ(ChooseBorder(flat), Border::None);
    flat.hovering = true;
    EXPECT_EQ(ChooseBorder(flat), Border::RaisedEdge);
    flat.drawBorder = false;
    EXPECT_EQ(ChooseBorder(flat), Border::None);
    flat.drawBorder = true;
    flat.pressed = true;
    EXPECT_EQ(ChooseBorder(flat), Border::SunkenEdge);
    flat.focused = true;
    EXPECT_FALSE(HasFocusRect(flat));
    EXPECT_FALSE(HasBlackFrame(flat));
    flat.focusOnFlat = true;
    EXPECT_TRUE(HasFocusRect(flat));

    ButtonState raised;
    raised.flat = false;
    EXPECT_EQ(ChooseBorder(raised), Border::ThreeD);
    EXPECT_FALSE(HasBlackFrame(raised));
    raised.isDefault = true;
    EXPECT_TRUE(HasBlackFrame(raised));
    raised.pressed = true;
    EXPECT_EQ(ChooseBorder(raised), Border::PressedFrame);
}

TEST(DrawnButtonTest, ImagePositions) {
    const Rect client{0, 0, 100, 40};
    ButtonState s;
    // Left of the caption: 3 in, centred vertically; the caption starts w + 3 further right.
    ButtonLayout l = LayoutButton(client, 16, 16, kAlignImageLeft, true, 0, s);
    EXPECT_EQ(l.image, (Rect{3, 12, 19, 28}));
    EXPECT_EQ(l.caption, (Rect{19, 0, 100, 40}));
    l = LayoutButton(client, 16, 16, kAlignImageLeft, false, 0, s);
    EXPECT_EQ(l.image, (Rect{42, 12, 58, 28}));
    // Above the caption: centred horizontally, caption pushed down by h, offset applied.
    l = LayoutButton(client, 16, 10, kAlignImageTop, true, 2, s);
    EXPECT_EQ(l.image, (Rect{42, 2, 58, 12}));
    EXPECT_EQ(l.caption.top, 10);
    l = LayoutButton(client, 16, 10, kAlignImageTop, false, 0, s);
    EXPECT_EQ(l.image, (Rect{42, 15, 58, 25}));
    // Right of the caption.
    l = LayoutButton(Rect{5, 5, 105, 45}, 16, 16, kAlignImageRight, true, 0, s);
    EXPECT_EQ(l.image, (Rect{86, 17, 102, 33}));
    EXPECT_EQ(l.caption.left, 3);
    EXPECT_EQ(l.caption.right, 100 - 16 - 3);
    l = LayoutButton(Rect{5, 5, 105, 45}, 16, 16, kAlignImageRight, false, 0, s);
    EXPECT_EQ(l.image, (Rect{47, 5, 63, 21}));
    // A pressed push button moves image and caption 1 pixel right and down; a toggle does not.
    s.pressed = true;
    l = LayoutButton(client, 16, 16, kAlignImageLeft, true, 0, s);
    EXPECT_EQ(l.image, (Rect{4, 13, 20, 29}));
    EXPECT_EQ(CaptionRect(l.caption, s), (Rect{20, 1, 101, 41}));
    s.isToggle = true;
    EXPECT_EQ(LayoutButton(client, 16, 16, kAlignImageLeft, true, 0, s).image,
              (Rect{3, 12, 19, 28}));
}

}  // namespace
}  // namespace orvane::controls
