// File names from a pattern: the fields, folders, and values that try to leave the folder.
#include "encoder/tags/name_pattern.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace orvane::encoder {
namespace {

using tags::TagField;

tags::TrackTags Fields(const std::string& artist, const std::string& title) {
    tags::TrackTags t;
    t.Set(TagField::Artist, artist);
    t.Set(TagField::Title, title);
    t.Set(TagField::Album, "Hits");
    t.Set(TagField::Year, "2003");
    t.Set(TagField::Genre, "Synthpop");
    t.Set(TagField::DiscNumber, "2");
    return t;
}

TEST(NamePatternTest, FieldsAndFolders) {
    const tags::TrackTags t = Fields("Band", "Song");
    EXPECT_EQ(ExpandNamePattern("", t, 3), "");
    EXPECT_EQ(ExpandNamePattern("%A - %T", t, 3), "Band - Song");
    EXPECT_EQ(ExpandNamePattern("%a/%B (%Y)/%D-%N %T [%G] 100%%", t, 3),
              "Band/Hits (2003)/2-03 Song [Synthpop] 100%");
    tags::TrackTags various = t;
    various.Set(TagField::AlbumArtist, "Various");
    EXPECT_EQ(ExpandNamePattern("%a/%N %A - %T", various, 12), "Various/12 Band - Song");
    // An unknown field stays as written; a '%' at the end too.
    EXPECT_EQ(ExpandNamePattern("%X %T%", t, 1), "%X Song%");
}

TEST(NamePatternTest, NoValueOrPatternLeavesTheOutputFolder) {
    struct Case {
        const char* name;
        std::string pattern, artist, title, want;
    } cases[] = {
        {"dot artist", "%A/%T", "..", "x", "_/x"},
        {"climbing artist", "%A/%T", "../..", "x", "..-../x"},
        {"slashes in a value", "%A/%T", "a/../../b", "/etc/passwd", "a-..-..-b/-etc-passwd"},
        {"control characters", "%A - %T", "Ba\nnd\x01", "So\tng\x7f", "Band - Song"},
        {"absolute pattern", "/%A//%T", "Band", "Song", "Band/Song"},
        {"dot parts in the pattern", "../%A/./%T", "Band", "Song", "_/Band/_/Song"},
        {"empty name", "%A/%T", "Band", "..", "Band/Track7"},
        {"only cleaned characters", "%T", "", "???", "Track7"},
    };
    for (const Case& c : cases) {
        const std::string got = ExpandNamePattern(c.pattern, Fields(c.artist, c.title), 7);
        EXPECT_EQ(got, c.want) << c.name;
        std::filesystem::path p(got);
        EXPECT_TRUE(p.is_relative()) << c.name;
        for (const auto& part : p)
            EXPECT_TRUE(part != ".." && part != ".") << c.name << ": " << got;
    }
    // Each part keeps at most 65 characters.
    const std::string got = ExpandNamePattern("%A/%T", Fields(std::string(100, 'a'), "t"), 1);
    std::string want(65, 'a');
    want += "/t";
    EXPECT_EQ(got, want);
}

TEST(NamePatternTest, FoldersAreMadeInsideTheOutputFolder) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(MakeNameFolders(dir.path().string(), "A/B/name", error)) << error;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "A/B"));
    EXPECT_FALSE(std::filesystem::exists(dir / "A/B/name"));
    ASSERT_TRUE(MakeNameFolders(dir.path().string(), "A/B/other", error)) << error;
    test::WriteFile(dir / "file", "x");
    EXPECT_FALSE(MakeNameFolders(dir.path().string(), "file/sub/name", error));
    EXPECT_NE(error.find("file"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::encoder
