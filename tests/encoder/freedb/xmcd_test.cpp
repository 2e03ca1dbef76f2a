// xmcd entries as the database and its dumps really write them.

#include "encoder/freedb/xmcd.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::freedb {
namespace {

std::string Header(const std::string& submitter = "# Submitted via: xmcd 2.0\n") {
    return "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\t18240\n#\n# Disc length: 2403 "
           "seconds\n#\n# Revision: 5\n" +
           submitter + "#\n";
}

FreeDBDiscInfo MustParse(const std::string& entry) {
    FreeDBDiscInfo info;
    std::string reason;
    EXPECT_TRUE(ParseXmcdFile(entry, info, &reason)) << reason;
    return info;
}

TEST(XmcdTest, MinimalEntry) {
    const std::string entry =
        "210 misc 12345678 entry follows\r\n# xmcd\r\n# Track frame offsets:\r\n#\t150\r\n#\r\n"
        "# Disc length: 100 seconds\r\n# Submitted via: prog 1.0\r\nDISCID=12345678\r\n"
        "DTITLE=Title only\r\nTTITLE0=\r\nEXTD=\r\nEXTT0=\r\nPLAYORDER=\r\n";
    FreeDBDiscInfo info;
    ASSERT_TRUE(ParseXmcdEntry(entry, info));
    EXPECT_EQ(info.revision, 0);
    EXPECT_EQ(info.trackOffsets, (std::vector<int>{150}));
    EXPECT_EQ(info.discLength, 100);
    EXPECT_EQ(info.program, "prog");
    EXPECT_EQ(info.version, "1.0");
    EXPECT_EQ(info.discId, 0x12345678u);
    EXPECT_EQ(info.artist, "");
    EXPECT_EQ(info.title, "Title only");
    EXPECT_EQ(info.trackTitles, (std::vector<std::string>{""}));
    EXPECT_TRUE(info.extendedDisc.empty());
    EXPECT_TRUE(info.extendedTrack.empty());
    EXPECT_TRUE(info.playOrder.empty());
}

TEST(XmcdTest, HeaderRules) {
    FreeDBDiscInfo info;
    int error = -1;
    // The status line must carry a 21x code; no error number then.
    EXPECT_FALSE(ParseXmcdEntry("401 no such entry\r\n", info, &error));
    EXPECT_EQ(error, 0);
    // No revision and no submitter.
    EXPECT_FALSE(
        ParseXmcdFile("# xmcd\n# Track frame offsets:\n#\t150\n#\n# Disc length: 100 "
                      "seconds\nDISCID=12345678\nDTITLE=a\n",
                      info));
    EXPECT_FALSE(
        ParseXmcdEntry("210 x\n# xmcd\n# Track frame offsets:\n#\t150\n#\n# Disc "
                       "length: 100 seconds\nDISCID=12345678\n",
                       info, &error));
    EXPECT_EQ(error, 10043);
    // A submitter without a version, a short disc id, no marker.
    EXPECT_FALSE(ParseXmcdFile(Header("# Submitted via: prog\n") + "DISCID=12345678\n", info));
    EXPECT_FALSE(ParseXmcdFile(Header() + "DISCID=1234567\n", info));
    EXPECT_FALSE(ParseXmcdFile("# something\n" + Header().substr(7) + "DISCID=12345678\n", info));
    // Revision numbers.
    EXPECT_EQ(MustParse(Header() + "DISCID=12345678\n").revision, 5);
    // A submitter whose words name "Revision:" keeps the revision read before it.
    EXPECT_EQ(
        MustParse(Header("# Submitted via: tool Revision:9 x\n") + "DISCID=12345678\n").revision,
        5);
    std::string bare = Header();
    bare.replace(bare.find("# Revision: 5"), 13, "# Revision:");
    EXPECT_EQ(MustParse(bare + "DISCID=12345678\n").revision, 0);
    // Several identifiers: the first is taken.
    EXPECT_EQ(MustParse(Header() + "DISCID=0a0b0c0d,1a2b3c4d\n").discId, 0x0a0b0c0du);
}

TEST(XmcdTest, NumbersThatDoNotFitRefuseTheEntry) {
    auto replaced = [](const std::string& from, const std::string& to) {
        std::string entry = Header() + "DISCID=12345678\nPLAYORDER=1,2\n";
        entry.replace(entry.find(from), from.size(), to);
        return entry;
    };
    // The largest numbers that fit are read as they are.
    const FreeDBDiscInfo big = MustParse(replaced("#\t18240", "#\t2147483647"));
    EXPECT_EQ(big.trackOffsets, (std::vector<int>{150, 2147483647}));
    EXPECT_EQ(MustParse(replaced("# Revision: 5", "# Revision: -2147483648")).revision,
              -2147483647 - 1);
    const struct {
        std::string from, to, reason;
    } cases[] = {
        {"#\t18240", "#\t99999999999999999999", "track frame offset"},
        {"#\t18240", "#\t2147483648", "track frame offset"},
        {"#\t18240", "#\t-150", "track frame offset"},
        {"2403 seconds", "4294967296 seconds", "disc length"},
        {"# Revision: 5", "# Revision: 99999999999", "revision"},
        {"PLAYORDER=1,2", "PLAYORDER=1,99999999999", "play order"},
        {"PLAYORDER=1,2", "PLAYORDER=99999999999,2", "play order"},
    };
    for (const auto& c : cases) {
        FreeDBDiscInfo info;
        int error = 0;
        std::string reason;
        EXPECT_FALSE(ParseXmcdEntry(replaced(c.from, c.to), info, &error, &reason, false)) << c.to;
        EXPECT_EQ(error, 10043);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
}

TEST(XmcdTest, ModernKeywordsAndContinuationLines) {
    // A disc title and a track title continued over several lines, and the keywords that
    // newer entries write between the sections.
    const std::string entry = Header() +
                              "DISCID=940aac0b\n"
                              "DTITLE=Some Long Band Name / The First Half of a Very Long Al\n"
                              "DTITLE=bum Title\n"
                              "DYEAR=1998\n"
                              "DGENRE=Progressive Rock\n"
                              "TTITLE0=Opening\n"
                              "TTITLE1=A track whose name is so long that it is con\n"
                              "TTITLE1=tinued on a second line\n"
                              "TTITLE2=\n"
                              "TTITLE3=Closing\n"
                              "EXTD=Recorded live.\\nRemastered\n"
                              "EXTD= 2005.\n"
                              "EXTT0=\n"
                              "EXTT1=part one\n"
                              "EXTT1= and two\n"
                              "EXTT2=\n"
                              "EXTT3=bonus\n"
                              "PLAYORDER=3,,1\n";
    const FreeDBDiscInfo info = MustParse(entry);
    EXPECT_EQ(info.artist, "Some Long Band Name");
    EXPECT_EQ(info.title, "The First Half of a Very Long Album Title");
    EXPECT_EQ(info.trackTitles,
              (std::vector<std::string>{
                  "Opening", "A track whose name is so long that it is continued on a second line",
                  "", "Closing"}));
    EXPECT_EQ(info.extendedDisc, (std::vector<std::string>{"Recorded live.", "Remastered 2005."}));
    EXPECT_EQ(info.extendedTrack, (std::vector<std::string>{"part one and two", "bonus"}));
    EXPECT_EQ(info.playOrder, (std::vector<int>{3, 0, 1}));
    EXPECT_EQ(info.year, "1998");
    EXPECT_EQ(info.genre, "Progressive Rock");
}

TEST(XmcdTest, YearAndGenreWhereverTheyStandOtherKeywordsPassedOver) {
    // After the titles, continued, among unknown keywords; a later entry parsed into the same
    // record does not keep the earlier one's values.
    FreeDBDiscInfo info = MustParse(Header() +
                                    "DISCID=940aac0b\nDTITLE=Band / Album\nTTITLE0=One\n"
                                    "TTITLE1=Two\nDNEW=ignored\nDGENRE=Neo Cl\nDGENRE=assical\n"
                                    "EXTD=\nEXTT0=\nEXTT1=\nDYEAR= 1971 \nPLAYORDER=\n");
    EXPECT_EQ(info.year, "1971");
    EXPECT_EQ(info.genre, "Neo Classical");
    EXPECT_EQ(info.trackTitles, (std::vector<std::string>{"One", "Two"}));
    std::string reason;
    ASSERT_TRUE(ParseXmcdFile(Header() + "DISCID=940aac0b\nDTITLE=X\nTTITLE0=A\nTTITLE1=B\n", info,
                              &reason))
        << reason;
    EXPECT_EQ(info.year, "");
    EXPECT_EQ(info.genre, "");
}

TEST(XmcdTest, CompilationsGiveEachTrackItsArtist) {
    struct Case {
        const char* name;
        std::string discArtist;
        std::vector<std::string> titles, wantTitles, wantArtists;
        bool compilation;
    } cases[] = {
        {"various with a track of no artist",
         "Various",
         {"Singer / Song", "Interlude", "A / B / C"},
         {"Song", "Interlude", "B / C"},
         {"Singer", "", "A"},
         true},
        {"various artists in any case", "VARIOUS ARTISTS", {"X / Y"}, {"Y"}, {"X"}, true},
        {"every title has the form", "Label", {"P / Q", "R / S"}, {"Q", "S"}, {"P", "R"}, true},
        {"one title without the form",
         "Band",
         {"AC / DC tribute", "Plain"},
         {"AC / DC tribute", "Plain"},
         {"", ""},
         false},
        {"a slash without spaces is part of the title",
         "Various",
         {"AC/DC"},
         {"AC/DC"},
         {""},
         true},
        {"an empty side is no artist",
         "Various",
         {" / Title", "Artist / "},
         {" / Title", "Artist / "},
         {"", ""},
         true},
    };
    for (const Case& c : cases) {
        FreeDBDiscInfo info;
        info.artist = c.discArtist;
        info.trackTitles = c.titles;
        TrackNames names = SplitTrackArtists(info);
        EXPECT_EQ(names.titles, c.wantTitles) << c.name;
        EXPECT_EQ(names.artists, c.wantArtists) << c.name;
        EXPECT_EQ(names.compilation, c.compilation) << c.name;
    }
    EXPECT_FALSE(SplitTrackArtists(FreeDBDiscInfo{}).compilation);
}

TEST(XmcdTest, ValuesAreUnescapedOnce) {
    const FreeDBDiscInfo info = MustParse(
        Header() + "DISCID=12345678\nDTITLE=A\\nB\nTTITLE0=back\\\\slash\\\\\\\\two\\t\n");
    EXPECT_EQ(info.title, "A\nB");
    // An escaped backslash is one backslash; two escaped ones stay two.
    EXPECT_EQ(info.trackTitles[0], "back\\slash\\\\two\t");
    EXPECT_EQ(UnescapeValue(EscapeValue("a\\n\tb\\")), "a\\n\tb\\");
}

TEST(XmcdTest, Utf8AndWindows1252Text) {
    // UTF-8 as today's servers send it, Windows-1252 as older entries hold it.
    const FreeDBDiscInfo utf8 =
        MustParse(Header() +
                  "DISCID=12345678\nDTITLE=Sigur R\xc3\xb3s / \xe3\x82\xa2\xe3\x83\xab\n"
                  "TTITLE0=\xe2\x80\x9cQuoted\xe2\x80\x9d\n");
    EXPECT_EQ(utf8.artist, "Sigur R\xc3\xb3s");
    EXPECT_EQ(utf8.title, "\xe3\x82\xa2\xe3\x83\xab");
    EXPECT_EQ(utf8.trackTitles[0], "\xe2\x80\x9cQuoted\xe2\x80\x9d");
    const FreeDBDiscInfo latin =
        MustParse(Header() + "DISCID=12345678\nDTITLE=Mot\xf6rhead / Caf\xe9 \x80 \x93Live\x94\n");
    EXPECT_EQ(latin.artist, "Mot\xc3\xb6rhead");
    EXPECT_EQ(latin.title, "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cLive\xe2\x80\x9d");
    // A character cut in two by the line limit of a continued value is still UTF-8.
    const FreeDBDiscInfo cut =
        MustParse(Header() +
                  "DISCID=12345678\nDTITLE=Band / Caf\xc3\nDTITLE=\xa9 au lait\n"
                  "TTITLE0=\xe2\x80\nTTITLE0=\x9cx\nEXTD=\xc3\nEXTD=\xb6\n");
    EXPECT_EQ(cut.title, "Caf\xc3\xa9 au lait");
    EXPECT_EQ(cut.trackTitles, (std::vector<std::string>{"\xe2\x80\x9cx"}));
    EXPECT_EQ(cut.extendedDisc, (std::vector<std::string>{"\xc3\xb6"}));
    // One Windows-1252 byte anywhere makes the whole entry Windows-1252, lines that happen to
    // be valid UTF-8 on their own included.
    const FreeDBDiscInfo mixed =
        MustParse(Header() + "DISCID=12345678\nDTITLE=A / \xc3\xa9\nTTITLE0=Caf\xe9\n");
    EXPECT_EQ(mixed.title, "\xc3\x83\xc2\xa9");
    EXPECT_EQ(mixed.trackTitles[0], "Caf\xc3\xa9");
    // Lines of different keywords are not joined for the decision.
    const FreeDBDiscInfo apart =
        MustParse(Header() + "DISCID=12345678\nDTITLE=A / x\xc3\nTTITLE0=\xa9\n");
    EXPECT_EQ(apart.title, "x\xc3\x83");
    EXPECT_EQ(apart.trackTitles[0], "\xc2\xa9");
    EXPECT_EQ(DecodeText("\xc3\x28"), "\xc3\x83(");                         // broken UTF-8
    EXPECT_EQ(DecodeText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xe2\x82\xac");  // a surrogate
}

TEST(XmcdTest, EntryFileFormsAndBrokenLines) {
    // A saved reply: status line, CRLF, final ".".
    std::string saved = "210 rock 12345678 CD database entry follows\r\n" + Header() +
                        "DISCID=12345678\r\nDTITLE=A / B\r\nTTITLE0=x\r\n.\r\n";
    EXPECT_EQ(MustParse(saved).trackTitles, (std::vector<std::string>{"x"}));
    EXPECT_EQ(MustParse("\xEF\xBB\xBF" + saved).trackTitles, (std::vector<std::string>{"x"}));
    // Comments and empty lines among the keywords are passed over; a title line that lost its
    // '=' makes the entry unreadable.
    EXPECT_EQ(MustParse(Header() + "DISCID=12345678\n\n# note\nDTITLE=A / B\nTTITLE0=x\n").title,
              "B");
    FreeDBDiscInfo info;
    EXPECT_FALSE(ParseXmcdFile(Header() + "DISCID=12345678\nDTITLE=A\nTTITLE0 x\n", info));
}

TEST(XmcdTest, FormattedEntriesReadBack) {
    FreeDBDiscInfo info;
    info.trackOffsets = {150, 20000};
    info.discLength = 600;
    info.discId = 0x0a0b0c0d;
    info.artist = "K\xc3\xa4the";
    info.title = std::string(300, 'x') + "\xc3\xa9\xc3\xa9";
    // Multi-byte characters and escapes across the line limit.
    info.trackTitles = {"One\\Two", std::string(120, 'a')};
    for (int i = 0; i < 100; ++i)
        info.trackTitles[1] += "\xce\xb1";
    info.playOrder = {2, 1};
    const std::string text = FormatXmcdEntry(info, {"DYEAR=2001", "DGENRE=Folk"});
    for (std::size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        EXPECT_LT(nl - at, 256u);
    const FreeDBDiscInfo back = MustParse(text);
    EXPECT_EQ(back.artist, info.artist);
    EXPECT_EQ(back.title, info.title);
    EXPECT_EQ(back.trackTitles, info.trackTitles);
    EXPECT_EQ(back.trackOffsets, info.trackOffsets);
    EXPECT_EQ(back.playOrder, info.playOrder);
    EXPECT_EQ(ToJson(back).substr(0, 10), "{\"artist\":");
    EXPECT_NE(ToJson(back).find("\"discid\":\"0a0b0c0d\"}"), std::string::npos);
}

}  // namespace
}  // namespace orvane::freedb
