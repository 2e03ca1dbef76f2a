// The hyperlink label's colours, fitting and failure messages.

#include "encoder/controls/hyperlink_label.h"

#include <gtest/gtest.h>

namespace orvane::controls {
namespace {

TEST(HyperlinkLabelTest, ColourFollowsHoverAndVisit) {
    const Rgb hover{10, 20, 30};
    EXPECT_EQ(HyperlinkColour(false, false, hover), kLinkColour);
    EXPECT_EQ(HyperlinkColour(false, true, hover), kVisitedColour);
    EXPECT_EQ(HyperlinkColour(true, true, hover), hover);
}

TEST(HyperlinkLabelTest, ShrinksTowardsItsAlignment) {
    const Rect r{10, 20, 110, 60};  // 100 x 40
    EXPECT_EQ(FitToText(r, 40, 16, 0), (Rect{10, 20, 50, 36}));
    EXPECT_EQ(FitToText(r, 40, 16, kSsRight), (Rect{70, 20, 110, 36}));
    EXPECT_EQ(FitToText(r, 40, 16, kSsCenter | kSsCenterImage), (Rect{40, 32, 80, 48}));
}

TEST(HyperlinkLabelTest, FailureTexts) {
    EXPECT_EQ(HyperlinkErrorText(26),
              "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(HyperlinkErrorText(33), "Unable to open hyperlink:\n\nUnknown Error (33) occurred.");
    EXPECT_EQ(EffectiveTarget("", "https://example.org/"), "https://example.org/");
    EXPECT_EQ(EffectiveTarget("t", "text"), "t");
}

}  // namespace
}  // namespace orvane::controls
