#include <gtest/gtest.h>

#include <string>

#include "common/cp1252.h"

namespace cp = orvane::cp1252;

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = cp::ToUtf8(all);
    EXPECT_EQ(cp::FromUtf8(utf8), all);
}

TEST(Cp1252, MapsTheSpecialRangeAndLatin1) {
    EXPECT_EQ(cp::ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(cp::ToUtf8("\x9F"), "\u0178");
    EXPECT_EQ(cp::ToUtf8("Caf\xE9"), "Caf\u00E9");
    EXPECT_EQ(cp::FromUtf8("\u2019n \u00FC"), "\x92n \xFC");
}

TEST(Cp1252, UnmappableAndMalformedInputBecomesQuestionMarks) {
    EXPECT_EQ(cp::FromUtf8("a\u4E2Db"), "a?b");      // a CJK character
    EXPECT_EQ(cp::FromUtf8("a\xC3"), "a?");          // truncated sequence
    EXPECT_EQ(cp::FromUtf8("\xC0\xAF"), "??");       // overlong form
    EXPECT_EQ(cp::FromUtf8("\xED\xA0\x80"), "???");  // encoded surrogate
}

TEST(Cp1252, Utf16TextIsNarrowedToTheCodePage) {
    const std::string units("A\0\xAC\x20\x3D\xD8\x00\xDE\x00\xD8", 10);  // A, euro, U+1F600, lone
    EXPECT_EQ(cp::FromUtf16Le(units), "A\x80??");
}
