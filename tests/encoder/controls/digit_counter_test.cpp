#include "encoder/controls/digit_counter.h"

#include <gtest/gtest.h>

namespace orvane::controls {
namespace {

using Cells = std::vector<int>;
constexpr int B = kCellBlank;

TEST(DigitCounterTest, CellsOfValues) {
    EXPECT_EQ(DigitCells(1234567, 6, false), (Cells{2, 3, 4, 5, 6, 7}));  // lowest digits kept
    EXPECT_EQ(DigitCells(42, 6, false), (Cells{B, B, B, B, 4, 2}));
    EXPECT_EQ(DigitCells(42, 6, true), (Cells{0, 0, 0, 0, 4, 2}));
    EXPECT_EQ(DigitCells(0, 2, false), (Cells{B, 0}));
    // A negative value keeps blank leading cells even with leading zeros.
    EXPECT_EQ(DigitCells(-42, 6, true), (Cells{B, B, B, kCellMinus, 4, 2}));
    EXPECT_EQ(DigitCells(-42, 2, false), (Cells{4, 2}));  // the sign falls off the front
    EXPECT_EQ(DigitCells(INT32_MIN, 10, false), (Cells{2, 1, 4, 7, 4, 8, 3, 6, 4, 8}));
    EXPECT_TRUE(DigitCells(5, 0, false).empty());
}

TEST(DigitCounterTest, DigitCountLimits) {
    EXPECT_FALSE(ValidDigitCount(0));
    EXPECT_TRUE(ValidDigitCount(1));
    EXPECT_TRUE(ValidDigitCount(10));
    EXPECT_FALSE(ValidDigitCount(11));
}

TEST(DigitCounterTest, ResizeKeepsTheAnchoredEdges) {
    const Rect r{100, 50, 120, 60};
    // 96-pixel strip: cells of 8 x 13; six digits make a 54 x 19 control.
    EXPECT_EQ(ResizeCounter(r, 6, 96 / kDigitCells, 13, 12), (Rect{100, 50, 154, 69}));
    // Flags 3: right and bottom edges stay (the "Current Frame" counter grows to the left).
    EXPECT_EQ(ResizeCounter(r, 6, 8, 13, 3), (Rect{66, 41, 120, 60}));
    // Flags 6: left and bottom edges stay.
    EXPECT_EQ(ResizeCounter(r, 6, 8, 13, 6), (Rect{100, 41, 154, 60}));
}

}  // namespace
}  // namespace orvane::controls
