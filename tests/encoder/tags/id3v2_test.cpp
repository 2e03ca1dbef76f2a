// The ID3v2 writer on its own: what it puts before a file's content, what it leaves alone, and
// how the full texts and the ID3v1 record combine.
#include "encoder/tags/id3v2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace orvane::encoder {
namespace {

using tags::TagField;
using test::ReadFile;
using test::WriteFile;

// The size the tag's header gives (four 7-bit bytes) plus the header.
std::size_t TagLength(const std::string& tag) {
    std::size_t n = 0;
    for (int i = 6; i < 10; ++i)
        n = (n << 7) | (static_cast<unsigned char>(tag[static_cast<std::size_t>(i)]) & 0x7F);
    return n + 10;
}

TEST(Id3v2Test, TheTagGoesBeforeTheContentWhichStaysWhole) {
    test::TempDir dir;
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    WriteFile(dir / "a.mp3", content);
    tags::TrackTags t;
    t.Set(TagField::Title, "\u6b4c");
    t.Set(TagField::TrackNumber, "7");
    std::string error;
    ASSERT_TRUE(PrependId3v2((dir / "a.mp3").string(), t, error)) << error;
    const std::string file = ReadFile(dir / "a.mp3");
    ASSERT_EQ(file.substr(0, 5), std::string("ID3\x04\x00", 5));
    const std::size_t length = TagLength(file);
    ASSERT_EQ(file.size(), length + content.size());
    EXPECT_EQ(file.substr(length), content);
    // A number without its total is written alone; the title in UTF-8 (encoding byte 3).
    EXPECT_NE(file.find(std::string("TRCK\0\0\0\x02\0\0\x03"
                                    "7",
                                    12)),
              std::string::npos);
    EXPECT_NE(file.find("\x03\xe6\xad\x8c"), std::string::npos);
}

TEST(Id3v2Test, NothingKnownOrNothingToTagChangesNoFile) {
    test::TempDir dir;
    WriteFile(dir / "a.mp3", "audio");
    std::string error;
    EXPECT_TRUE(RenderId3v2({}).empty());
    EXPECT_TRUE(PrependId3v2((dir / "a.mp3").string(), {}, error));
    EXPECT_EQ(ReadFile(dir / "a.mp3"), "audio");

    tags::TrackTags t;
    t.Set(TagField::Title, "x");
    EXPECT_FALSE(PrependId3v2((dir / "missing.mp3").string(), t, error));
    EXPECT_NE(error.find("missing.mp3"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.mp3"));
    std::filesystem::create_directory(dir / "folder.mp3");
    EXPECT_FALSE(PrependId3v2((dir / "folder.mp3").string(), t, error));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.mp3"));
}

TEST(Id3v2Test, FullTextsWinAndTheRecordFillsTheRest) {
    Id3Tag record;
    record.SetMarker();
    record.SetTitle("A title cut at twenty-nine bytes by ID3v1");
    record.SetArtist("Band");
    record.SetYear("2001");
    record.SetGenre(17);
    tags::TrackTags full;
    full.Set(TagField::Title, "A title cut at twenty-nine bytes by ID3v1");
    full.Set(TagField::AlbumArtist, "Various");
    tags::TrackTags t = WithId3v1Fallback(full, record);
    EXPECT_EQ(t.Get(TagField::Title), "A title cut at twenty-nine bytes by ID3v1");
    EXPECT_EQ(t.Get(TagField::Artist), "Band");
    EXPECT_EQ(t.Get(TagField::Year), "2001");
    EXPECT_EQ(t.Get(TagField::Genre), "Rock");
    EXPECT_EQ(t.Get(TagField::AlbumArtist), "Various");
    EXPECT_FALSE(t.Has(TagField::Album));
    // A code past the list names no genre.
    record.SetGenre(255);
    EXPECT_FALSE(WithId3v1Fallback({}, record).Has(TagField::Genre));
    // A record without its marker was never filled: its zero genre byte is no genre either.
    EXPECT_TRUE(WithId3v1Fallback({}, Id3Tag{}).Empty());
}

}  // namespace
}  // namespace orvane::encoder
