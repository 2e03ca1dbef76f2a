#include "encoder/controls/window_effect.h"

#include <gtest/gtest.h>

#include <map>

namespace orvane::controls {
namespace {

TEST(WindowEffect, FixedPointArithmetic) {
    EXPECT_EQ(MulDiv(10, 3, 4), 8);  // 7.5 rounds away from zero
    EXPECT_EQ(MulDiv(-10, 3, 4), -8);
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
    EXPECT_EQ(Ratio16(1, 2), 32768);
    EXPECT_EQ(Ratio16(0, 5), 0);
    EXPECT_EQ(Ratio16(5, 0), 0);
    // A quarter turn about (10, 10) takes (20, 10) to (10, 20).
    EXPECT_EQ(Apply16(Rotate16(90 * 65536, {10, 10}), {20, 10}), (Point{10, 20}));
    EXPECT_EQ(Apply16(Scale16(2 * 65536, 32768, {10, 10}), {20, 30}), (Point{30, 20}));
    EXPECT_EQ(Apply16(Multiply16(Translate16(1, 2), Translate16(3, 4)), {0, 0}), (Point{4, 6}));
}

TEST(WindowEffect, EveryFrameIsDrawnOnceAndErasedOnce) {
    for (bool opening : {true, false}) {
        std::map<int, int> drawn, erased;
        int pauses = 0;
        bool erasedBeforeDrawn = false;
        for (const EffectAction& a : EffectSchedule(opening)) {
            if (a.kind == EffectAction::Draw) ++drawn[a.frame];
            if (a.kind == EffectAction::Erase) {
                erasedBeforeDrawn |= drawn[a.frame] == 0;
                ++erased[a.frame];
            }
            pauses += a.kind == EffectAction::Pause;
        }
        EXPECT_EQ(pauses, kEffectSteps + kEffectTrail);
        EXPECT_EQ(drawn.size(), std::size_t{kEffectSteps});
        EXPECT_EQ(drawn, erased);
        for (auto [frame, n] : drawn)
            EXPECT_EQ(n, 1) << frame;
        EXPECT_FALSE(erasedBeforeDrawn);
    }
    // Opening grows: frame 0 first; closing shrinks: the full frame first.
    EXPECT_EQ(EffectSchedule(true).front(), (EffectAction{EffectAction::Draw, 0}));
    EXPECT_EQ(EffectSchedule(false).front(), (EffectAction{EffectAction::Draw, kEffectSteps - 1}));
}

TEST(WindowEffect, ShapesEndOnTheWindowRectangle) {
    const Rect w{100, 50, 500, 350};  // centre (300, 200), half extents 200 x 150
    auto last = [&](int kind) {
        return EffectOutlines(kind, EffectParameter(kind), w, kEffectSteps);
    };
    auto spin = last(0);
    ASSERT_EQ(spin.size(), 1u);
    EXPECT_EQ(spin[0], (Outline{{100, 50}, {100, 350}, {500, 350}, {500, 50}}));
    auto grid = last(2);
    ASSERT_EQ(grid.size(), 16u);
    // Integer halves: the cell centre lies at y 88 with a half height of 37.
    EXPECT_EQ(grid[0], (Outline{{100, 51}, {100, 125}, {200, 125}, {200, 51}}));
    auto triangles = last(3);
    ASSERT_EQ(triangles.size(), 16u);
    EXPECT_EQ(triangles[0], (Outline{{300, 200}, {100, 350}, {200, 350}}));
    auto swarm = last(4);
    ASSERT_EQ(swarm.size(), 10u);
    for (const Outline& o : swarm)
        EXPECT_EQ(o, (Outline{{100, 350}, {500, 350}, {500, 50}, {100, 50}}));
    auto ring = last(1);
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring[0].size(), 4u);
    // The first frame starts at the centre or away from it, never larger than the end.
    EXPECT_TRUE(EffectOutlines(0, 360, w, 0).empty());
}

TEST(WindowEffect, ZeroSizedWindowsDrawNoRectangles) {
    const Rect w{40, 40, 40, 40};
    for (int b = 0; b <= kEffectSteps; ++b) {
        EXPECT_TRUE(EffectOutlines(1, 180, w, b).empty()) << b;
        EXPECT_TRUE(EffectOutlines(2, 4, w, b).empty()) << b;
        EXPECT_TRUE(EffectOutlines(0, 360, w, b).empty()) << b;
    }
}

}  // namespace
}  // namespace orvane::controls
