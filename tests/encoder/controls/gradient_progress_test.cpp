#include "encoder/controls/gradient_progress.h"

#include <gtest/gtest.h>

namespace orvane::controls {
namespace {

const Rgb kBlue{0, 0, 255};
const Rgb kRed{255, 0, 0};

TEST(GradientProgressTest, DefaultColoursGive255BandsOfTwoPixelsOn510) {
    EXPECT_EQ(GradientSteps(kBlue, kRed), 255);
    const GradientPlan full = PlanGradient(0, 100, 100, 510, kBlue, kRed, false);
    ASSERT_TRUE(full.inRange);
    ASSERT_EQ(full.bands.size(), 255u);
    for (int v = 0; v < 255; ++v) {
        EXPECT_EQ(full.bands[v].left, 2 * v);
        EXPECT_EQ(full.bands[v].right, 2 * v + 2);
        EXPECT_EQ(full.bands[v].color, (Rgb{v, 0, 255 - v}));
    }
    EXPECT_EQ(full.backgroundFrom, -1);
    EXPECT_TRUE(full.text.empty());
}

TEST(GradientProgressTest, HalfFilledEndsOnTheFirstBandEdgePastTheMiddle) {
    const GradientPlan half = PlanGradient(0, 100, 50, 510, kBlue, kRed, true);
    ASSERT_FALSE(half.bands.empty());
    // Filled width 255 lies inside band 127 (254..256); it is painted whole.
    EXPECT_EQ(half.bands.back().right, 256);
    EXPECT_EQ(half.bands.size(), 128u);
    EXPECT_EQ(half.backgroundFrom, 256);
    EXPECT_EQ(half.text, "50%");
    // A filled width exactly on a band edge (4, the end of band 1) goes on into band 2.
    const GradientPlan edge = PlanGradient(0, 255, 2, 510, kBlue, kRed, false);
    EXPECT_EQ(edge.bands.size(), 3u);
    EXPECT_EQ(edge.backgroundFrom, 6);
    // Position 0 still paints the first band.
    EXPECT_EQ(PlanGradient(0, 100, 0, 510, kBlue, kRed, false).bands.size(), 1u);
}

TEST(GradientProgressTest, OutOfRangeShowsNothingAndOnlyMaximumScales) {
    EXPECT_FALSE(PlanGradient(0, 100, 101, 200, kBlue, kRed, true).inRange);
    EXPECT_TRUE(PlanGradient(0, 100, 101, 200, kBlue, kRed, true).text.empty());
    EXPECT_FALSE(PlanGradient(10, 100, 9, 200, kBlue, kRed, true).inRange);
    // Range 50..100 at position 50 is half filled.
    EXPECT_EQ(FilledWidth(50, 100, 200), 100);
    EXPECT_EQ(PlanGradient(50, 100, 50, 510, kBlue, kRed, true).backgroundFrom, 256);
}

TEST(GradientProgressTest, PercentTextRoundsAndEmptyRangeIsSafe) {
    EXPECT_EQ(PercentText(1, 3), "33%");
    EXPECT_EQ(PercentText(2, 3), "67%");
    EXPECT_EQ(PercentText(1000, 1000), "100%");
    EXPECT_EQ(PercentText(0, 0), "0%");
    EXPECT_EQ(FilledWidth(0, 0, 300), 0);
    const GradientPlan empty = PlanGradient(0, 0, 0, 300, kBlue, kRed, true);
    EXPECT_TRUE(empty.inRange);
    EXPECT_EQ(empty.text, "0%");
}

TEST(GradientProgressTest, EqualColoursFillThePartWithTheStartColour) {
    const Rgb green{0, 200, 0};
    const GradientPlan plan = PlanGradient(0, 100, 25, 400, green, green, false);
    ASSERT_EQ(plan.bands.size(), 1u);
    EXPECT_EQ(plan.bands[0], (GradientBand{0, 100, green}));
    EXPECT_EQ(plan.backgroundFrom, 100);
}

TEST(GradientProgressTest, FractionalStepsAndDescendingComponents) {
    // Three bands over 100 pixels: edges 0, 33, 66, 100; components truncated.
    const GradientPlan plan = PlanGradient(0, 1, 1, 100, Rgb{10, 0, 0}, Rgb{13, 2, 0}, false);
    ASSERT_EQ(plan.bands.size(), 3u);
    EXPECT_EQ(plan.bands[1], (GradientBand{33, 66, Rgb{11, 0, 0}}));
    EXPECT_EQ(plan.bands[2], (GradientBand{66, 100, Rgb{12, 1, 0}}));
    const GradientPlan down = PlanGradient(0, 1, 1, 4, Rgb{0, 0, 4}, Rgb{0, 0, 0}, false);
    EXPECT_EQ(down.bands[3].color, (Rgb{0, 0, 1}));
}

}  // namespace
}  // namespace orvane::controls
