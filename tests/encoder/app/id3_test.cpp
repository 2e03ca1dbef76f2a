#include "encoder/tags/id3.h"

#include <gtest/gtest.h>

#include <cstring>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/tag_dialog.h"
#include "fake_window.h"
#include "support/temp_dir.h"

namespace orvane::encoder {
namespace {

std::string Field(const Id3Tag& t, int offset, int n) {
    return std::string(reinterpret_cast<const char*>(t.Bytes().data()) + offset,
                       static_cast<std::size_t>(n));
}

TEST(Id3Tag, FieldsLandAtTheirOffsetsAndNeverRunIntoTheNext) {
    Id3Tag t;
    t.SetMarker();
    std::string title29(29, 'T');
    t.SetTitle(title29);
    t.SetArtist("Artist");
    t.SetComment(std::string(29, 'C'));
    t.SetYear("1999");
    t.SetGenre(17);
    EXPECT_EQ(Field(t, 0, 3), "TAG");
    EXPECT_EQ(Field(t, 3, 29), title29);
    EXPECT_EQ(t.Bytes()[32], 0);  // the 29-character title's NUL
    EXPECT_EQ(Field(t, 33, 7), std::string("Artist\0", 7));
    EXPECT_EQ(Field(t, 93, 4), "1999");
    EXPECT_EQ(t.Comment(), std::string(29, 'C'));  // a full year left the comment alone
    EXPECT_EQ(t.Year(), "1999");
    EXPECT_EQ(t.Bytes()[127], 17);

    // A text longer than its field is cut, the next field is untouched.
    t.SetTitle(std::string(40, 'x'));
    EXPECT_EQ(t.Title(), std::string(29, 'x'));
    EXPECT_EQ(t.Artist(), "Artist");
}

TEST(Id3Tag, RefillingKeepsTheTailOfALongerEarlierText) {
    Id3Tag t;
    t.SetTitle("Long earlier title");
    t.SetTitle("Short");
    EXPECT_EQ(t.Title(), "Short");
    EXPECT_EQ(Field(t, 3, 19), std::string("Short\0arlier title\0", 19));
    t.SetYear("85");
    EXPECT_EQ(Field(t, 93, 3), std::string("85\0", 3));
}

TEST(Id3Tag, TextsAreStoredInWindows1252) {
    Id3Tag t;
    t.SetArtist("Björk – €");
    EXPECT_EQ(Field(t, 33, 9), "Bj\xF6rk \x96 \x80");
    EXPECT_EQ(t.Artist(), "Björk – €");
    t.SetTitle("日本");  // not in the code page
    EXPECT_EQ(t.Title(), "??");
}

TEST(GenreList, HasTheListedNamesAtTheirCodes) {
    GenreList g;
    FillGenreList(g);
    ASSERT_EQ(g.size(), 144u);
    EXPECT_EQ(g[0], "Blues");
    EXPECT_EQ(g[14], "R&B");
    EXPECT_EQ(g[29], "Jazz+Funk");
    EXPECT_EQ(g[40], "Alternative Rock");
    EXPECT_EQ(g[62], "Pop/Funk");
    EXPECT_EQ(g[64], "Native US");
    EXPECT_EQ(g[67], "Psychadelic");
    EXPECT_EQ(g[78], "Rock & Roll");
    EXPECT_EQ(g[79], "Hard Rock");
    EXPECT_EQ(g[85], "Bebob");
    EXPECT_EQ(g[93], "Psychedelic Rock");
    EXPECT_EQ(g[94], "Slow Rock");
    EXPECT_EQ(g[95], "Big Band");
    EXPECT_EQ(g[117], "Rhytmic Soul");
    EXPECT_EQ(g[122], "Acapella");
    EXPECT_EQ(g[126], "Drum & Bass");
    EXPECT_EQ(g[143], "Trash Metal");
    for (const auto& name : g)
        EXPECT_NE(name, "Symphonic Rock");
}

TEST(TagTable, OutOfRangeTracksNeverTouchTheTable) {
    TagTable table;
    table[1].SetTitle("one");
    table[-1].SetTitle("scratch");
    table[1000].SetTitle("scratch");
    EXPECT_EQ(table[1].Title(), "one");
    EXPECT_EQ(table[0].Title(), "");
}

TEST(AppendTag, AppendsToAnExistingFileOnly) {
    test::TempDir dir;
    Id3Tag t;
    t.SetMarker();
    t.SetTitle("x");
    test::WriteFile(dir / "a.mp3", "frames");
    EXPECT_TRUE(AppendTag((dir / "a.mp3").string(), t));
    std::string bytes = test::ReadFile(dir / "a.mp3");
    ASSERT_EQ(bytes.size(), 6u + 128u);
    EXPECT_EQ(bytes.substr(6, 4), std::string("TAGx", 4));
    EXPECT_FALSE(AppendTag((dir / "missing.mp3").string(), t));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.mp3"));
    // A record nobody filled is no tag: the file gets no 128 bytes of nothing.
    test::WriteFile(dir / "b.mp3", "frames");
    EXPECT_TRUE(AppendTag((dir / "b.mp3").string(), TagTable{}[3]));
    EXPECT_EQ(test::ReadFile(dir / "b.mp3"), "frames");
}

TEST(GenreList, NamesGiveTheirCodesAndAnythingElseNoGenre) {
    EXPECT_EQ(GenreCodeOf("Blues"), 0);
    EXPECT_EQ(GenreCodeOf("rock"), 17);
    EXPECT_EQ(GenreCodeOf("Trash Metal"), 143);
    EXPECT_EQ(GenreCodeOf(""), kNoGenre);
    EXPECT_EQ(GenreCodeOf("Art Rock"), kNoGenre);
}

TEST(TagDialog, SortedGenresCarryTheirCodesAndTheTagIsOfferedAgain) {
    EncoderApp app;
    FillGenreList(app.genreList);
    test::FakeWindow w;
    w.Sorted(IDC_TAG_GENRE);
    TagDialog dlg(app);
    dlg.Attach(&w);
    dlg.OnInitDialog();
    ASSERT_EQ(w.Count(IDC_TAG_GENRE), 144);
    for (int i = 0; i < 144; ++i)
        EXPECT_EQ(app.genreList[static_cast<std::size_t>(w.ItemData(IDC_TAG_GENRE, i))],
                  w.ItemText(IDC_TAG_GENRE, i));
    EXPECT_EQ(w.CurSel(IDC_TAG_GENRE), 0);
    // Untouched genre: the code of the alphabetically first name.
    w.SetText(IDC_TAG_TITLE, "Song");
    w.SetText(IDC_TAG_ARTIST, "Band");
    w.SetText(IDC_TAG_YEAR, "2001");
    w.SetText(IDC_TAG_COMMENT, std::string(29, 'c'));
    dlg.OnOK();
    EXPECT_EQ(w.Ended(), std::vector<int>{IDOK});
    EXPECT_EQ(app.singleFileTagSet, 1);
    const Id3Tag& tag = app.tagTable[1];
    EXPECT_EQ(tag.Genre(), 122);  // "Acapella"
    EXPECT_EQ(tag.Year(), "2001");
    EXPECT_EQ(tag.Comment(), std::string(29, 'c'));

    test::FakeWindow again;
    again.Sorted(IDC_TAG_GENRE);
    TagDialog second(app);
    second.Attach(&again);
    second.OnInitDialog();
    EXPECT_EQ(again.Text(IDC_TAG_TITLE), "Song");
    EXPECT_EQ(again.Text(IDC_TAG_ARTIST), "Band");
    EXPECT_EQ(again.Text(IDC_TAG_YEAR), "2001");
    // Choosing "Rock" stores 17.
    for (int i = 0; i < 144; ++i)
        if (again.ItemText(IDC_TAG_GENRE, i) == "Rock") again.SetCurSel(IDC_TAG_GENRE, i);
    second.OnOK();
    EXPECT_EQ(app.tagTable[1].Genre(), 17);

    // Texts outside Windows-1252 reach the full tags as typed, and are offered again so.
    test::FakeWindow third;
    TagDialog cyrillic(app);
    cyrillic.Attach(&third);
    cyrillic.OnInitDialog();
    const std::string title =
        "\u041f\u0435\u0441\u043d\u044f \u043e \u0432\u0435\u0442\u0440\u0435";
    third.SetText(IDC_TAG_TITLE, title);
    cyrillic.OnOK();
    ASSERT_EQ(app.fullTags.size(), 2u);
    EXPECT_EQ(app.fullTags[1].Get(tags::TagField::Title), title);
    EXPECT_EQ(app.fullTags[1].Get(tags::TagField::Artist), "Band");
    EXPECT_NE(app.tagTable[1].Title(), title);  // the record cannot hold it
    test::FakeWindow fourth;
    TagDialog reopened(app);
    reopened.Attach(&fourth);
    reopened.OnInitDialog();
    EXPECT_EQ(fourth.Text(IDC_TAG_TITLE), title);
    EXPECT_EQ(fourth.Text(IDC_TAG_YEAR), "2001");
}

}  // namespace
}  // namespace orvane::encoder
