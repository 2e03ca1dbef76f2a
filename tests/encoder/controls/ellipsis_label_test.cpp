#include "encoder/controls/ellipsis_label.h"

#include <gtest/gtest.h>

namespace orvane::controls {
namespace {

// Every character is 5 pixels wide (UTF-8 continuation bytes add nothing).
int Measure(const std::string& s) {
    int n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n * 5;
}

TEST(EllipsisLabelTest, FlagsOfTheUses) {
    EXPECT_EQ(EllipsisFlags(kEllipsisLabelFormat, false), 0x8804u);
    EXPECT_EQ(EllipsisFlags(kEllipsisLabelFormat, true), 0x4804u);
}

TEST(EllipsisLabelTest, EndStyleCutsAtTheEnd) {
    const std::string path = "/home/user/Music/a very long folder name/track.wav";
    EXPECT_EQ(Elide(path, 1000, false, Measure), path);
    EXPECT_EQ(Elide(path, 50, false, Measure), "/home/u...");
    EXPECT_EQ(Elide(path, 52, false, Measure), "/home/u...");
    EXPECT_EQ(Elide(path, 10, false, Measure), "...");
    EXPECT_EQ(Elide("abc", 0, false, Measure), "...");
    // Cuts never split a multi-byte character.
    EXPECT_EQ(Elide("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 20, false, Measure), "\xC3\xA9...");
}

TEST(EllipsisLabelTest, PathStyleKeepsTheLastComponent) {
    const std::string path = "/home/user/Music/album/track.wav";
    EXPECT_EQ(Elide(path, 100, true, Measure), "/home/u.../track.wav");
    EXPECT_EQ(Elide(path, 95, true, Measure), "/home/.../track.wav");
    EXPECT_EQ(Elide(path, 30, true, Measure), "/tr...");
}

}  // namespace
}  // namespace orvane::controls
