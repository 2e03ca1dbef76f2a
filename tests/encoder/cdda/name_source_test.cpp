// Where a disc's names come from: the sources asked in turn, the CD-Text and the CD database
// as sources.

#include "encoder/cdda/name_source.h"

#include <gtest/gtest.h>

#include "encoder/cdda/disc_set.h"
#include "encoder/freedb/freedb_dialogs.h"
#include "tests/encoder/freedb/loopback_server.h"

namespace orvane::cdda {
namespace {

class FakeSource final : public NameSource {
public:
    FakeSource(std::string name, std::string album, std::string why = {})
        : name_(std::move(name)), album_(std::move(album)), why_(std::move(why)) {}
    std::string Name() const override { return name_; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel&, std::vector<CdInfoChoice>& albums,
                std::string& why) override {
        ++asked;
        tracks = disc.tracks.size();
        if (album_.empty()) {
            why = why_;
            return false;
        }
        CdInfoChoice c;
        c.source = name_;
        c.info.album = album_;
        albums.push_back(c);
        return true;
    }
    int asked = 0;
    std::size_t tracks = 0;

private:
    std::string name_, album_, why_;
};

cdrom::DiscInfo ThreeTracks() {
    cdrom::Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    toc.tracks = {{1, 1, 0, 0}, {2, 1, 0, 300}, {3, 1, 0, 450}};
    toc.leadOut = 600;
    return cdrom::DiscInfoFromToc(toc);
}

// The first source that knows the disc answers, later ones are not asked; when none knows
// it, the last one's reason is told; a cancel asks nobody.
TEST(NameSources, AskedInTurnUntilOneAnswers) {
    const cdrom::DiscInfo disc = ThreeTracks();
    FakeSource none("MusicBrainz", "", "no release"), some("CD database", "Record"),
        later("CD-Text", "Other");
    NameAnswer answer;
    ASSERT_TRUE(AskNameSources({&none, &some, &later}, disc, {}, answer));
    EXPECT_EQ(answer.source, &some);
    ASSERT_EQ(answer.albums.size(), 1u);
    EXPECT_EQ(answer.albums[0].info.album, "Record");
    EXPECT_EQ(none.asked, 1);
    EXPECT_EQ(some.tracks, 3u);
    EXPECT_EQ(later.asked, 0);

    FakeSource silent("CD database", "", "");
    EXPECT_FALSE(AskNameSources({&silent, &none}, disc, {}, answer));
    EXPECT_EQ(answer.source, &none);
    EXPECT_EQ(answer.why, "no release");
    EXPECT_TRUE(answer.albums.empty());

    EXPECT_FALSE(AskNameSources(
        {&some}, disc, [] { return true; }, answer));
    EXPECT_EQ(some.asked, 1);
}

// CD-Text answers only with titles; track artists of their own make a compilation.
TEST(NameSources, CdText) {
    const cdrom::DiscInfo disc = ThreeTracks();
    std::vector<CdInfoChoice> albums;
    std::string why;
    CdTextSource empty(CdInfo{});
    EXPECT_FALSE(empty.LookUp(disc, {}, albums, why));
    EXPECT_EQ(why, "the disc has no CD-Text");

    CdInfo names{"Band", "Record", "", {"One", "Two", "Three"}};
    names.trackArtists = {"", "Guest", ""};
    CdTextSource text(names);
    ASSERT_TRUE(text.LookUp(disc, {}, albums, why));
    ASSERT_EQ(albums.size(), 1u);
    EXPECT_EQ(albums[0].source, "CD-Text");
    EXPECT_EQ(albums[0].info.trackTitles, names.trackTitles);
    EXPECT_TRUE(albums[0].compilation);
}

// The CD database is asked with the disc's id and offsets, and its first match read whole; a
// disc it does not know tells why, with the client's error.
TEST(NameSources, CddbFirstMatchReadWhole) {
    test::LoopbackServer server([](const std::string& request) {
        if (request.find("cddb+query+") != std::string::npos) {
            if (request.find("+3+150+450+600+10&") == std::string::npos)
                return test::HttpReply("202 No match\r\n");
            return test::HttpReply("200 misc 10000803 Various / Mix\r\n");
        }
        return test::HttpReply(
            "210 misc 10000803 CD database entry follows (until terminating `.')\r\n"
            "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t450\r\n#\t600\r\n"
            "#\r\n# Disc length: 10 seconds\r\n#\r\n# Revision: 1\r\n"
            "# Submitted via: test 1.0\r\n#\r\nDISCID=10000803\r\nDTITLE=Various / "
            "Mix\r\nDYEAR=2001\r\n"
            "DGENRE=Pop\r\nTTITLE0=A / One\r\nTTITLE1=B / Two\r\nTTITLE2=C / Three\r\n"
            "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n");
    });
    freedb::CFreeDBClient client;
    CddbSource cddb(client, freedb::SiteFromSetting(server.Address()));
    std::vector<CdInfoChoice> albums;
    std::string why;
    ASSERT_TRUE(cddb.LookUp(ThreeTracks(), {}, albums, why)) << why;
    ASSERT_EQ(albums.size(), 1u);
    EXPECT_EQ(albums[0].info.artist, "Various");
    EXPECT_EQ(albums[0].info.album, "Mix");
    EXPECT_EQ(albums[0].info.year, "2001");
    EXPECT_EQ(albums[0].info.trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(albums[0].info.trackArtists, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(albums[0].compilation);
    EXPECT_NE(server.Requests()[0].find("cddb+query+10000803+3+"), std::string::npos);

    cdrom::DiscInfo other = ThreeTracks();
    other.leadOut = 900;
    cdrom::FillLengths(other);
    EXPECT_FALSE(cddb.LookUp(other, {}, albums, why));
    EXPECT_EQ(why, "the CD database has no entry for the disc (error 0)");
}

// An enhanced CD: the service knows the disc by its first session, the audio, and not by the
// data session after it.
TEST(NameSources, MusicBrainzAsksForTheAudioSessionOfAnEnhancedDisc) {
    cdrom::DiscInfo disc;
    disc.firstTrack = 1;
    disc.lastTrack = 3;
    disc.sessions = 2;
    for (std::uint8_t n = 1; n <= 2; ++n) {
        cdrom::TrackInfo t;
        t.number = n;
        t.start = (n - 1) * 4500u;
        t.length = 4500;
        disc.tracks.push_back(t);
    }
    cdrom::TrackInfo data;
    data.number = 3;
    data.audio = false;
    data.session = 2;
    data.start = 9000 + cdrom::kSessionGapFrames;
    data.length = 3000;
    disc.tracks.push_back(data);
    disc.leadOut = data.start + data.length;
    test::LoopbackServer server([](const std::string&) {
        const std::string body = R"({"releases":[]})";
        return test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
    });
    MusicBrainzSource source("http://" + server.Address());
    std::vector<CdInfoChoice> albums;
    std::string why;
    EXPECT_FALSE(source.LookUp(disc, {}, albums, why));
    const std::string id = MusicBrainzIdOf({0, 4500}, 9000);
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("/discid/" + id), std::string::npos)
        << server.Requests()[0];
    EXPECT_NE(why.find(id), std::string::npos) << why;
}

// A title tells the disc's place only at its end and as a word of its own; the album keeps the
// rest of the title.
// The CUETools database's releases as albums: its names on the disc's audio tracks (a data
// track first stays unnamed), the release id only MusicBrainz's, the disc's place told; kept,
// its reply answers the rip's check without a second request.
TEST(NameSources, CtdbReleasesNameTheAudioTracksAndTheReplyServesTheCheck) {
    cdrom::Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    toc.tracks = {{1, 1, 4, 0}, {2, 1, 0, 11400}, {3, 1, 0, 13000}};
    toc.leadOut = 15000;
    const cdrom::DiscInfo disc = cdrom::DiscInfoFromToc(toc);
    const std::string xml =
        "<?xml version=\"1.0\"?><ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">"
        "<metadata source=\"musicbrainz\" id=\"abc-1\" artist=\"Band\" album=\"Live\" "
        "year=\"2001\" discnumber=\"1\" disccount=\"2\"><track name=\"Intro\" "
        "artist=\"Band\"/><track name=\"Duet\" artist=\"Guest\"/></metadata>"
        "<metadata source=\"freedb\" id=\"rock/12345678\" artist=\"Band\" album=\"Live!\">"
        "<track name=\"A\"/><track name=\"B\"/></metadata></ctdb>";
    std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + xml;
    test::LoopbackServer server([&](const std::string&) { return test::LoopbackReply{{answer}}; });
    const std::string base = "http://" + server.Address();
    CtdbSource source(base, ctdb::CtdbMetadata::Fast, false);
    std::vector<CdInfoChoice> albums;
    std::string why;
    ASSERT_TRUE(source.LookUp(disc, {}, albums, why)) << why;
    ASSERT_EQ(albums.size(), 2u);
    const CdInfoChoice& first = albums[0];
    EXPECT_EQ(first.source, "CTDB (musicbrainz)");
    EXPECT_EQ(first.info.album, "Live");
    EXPECT_EQ(first.info.year, "2001");
    EXPECT_EQ(first.info.releaseId, "abc-1");
    EXPECT_EQ(first.info.discNumber, "1");
    EXPECT_EQ(first.info.discTotal, "2");
    EXPECT_EQ(first.info.trackTitles, (std::vector<std::string>{"", "Intro", "Duet"}));
    EXPECT_EQ(first.info.trackArtists, (std::vector<std::string>{"", "", "Guest"}));
    EXPECT_TRUE(first.compilation);
    EXPECT_EQ(albums[1].info.releaseId, "");
    EXPECT_FALSE(albums[1].compilation);
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("&metadata=fast&toc=-0:11400:13000:15000 "),
              std::string::npos)
        << server.Requests()[0];

    // Unkept, the check asks again; kept, it does not.
    const ctdb::CtdbToc key = ctdb::CtdbTocOf(disc);
    EXPECT_EQ(ctdb::LookupCtdb(base, key, {}).status, ctdb::CtdbStatus::NotFound);
    EXPECT_EQ(server.RequestCount(), 2u);
    CtdbSource keeping(base + "/", ctdb::CtdbMetadata::Default, true);
    ASSERT_TRUE(keeping.LookUp(disc, {}, albums, why)) << why;
    EXPECT_EQ(server.RequestCount(), 3u);
    answer = "HTTP/1.0 500 Oops\r\n\r\n";
    const ctdb::CtdbReply kept = ctdb::LookupCtdb(base, key, {});
    EXPECT_EQ(kept.releases.size(), 2u);
    EXPECT_EQ(server.RequestCount(), 3u);

    // No release, or a database out of reach: the reason.
    test::LoopbackServer none(
        [](const std::string&) { return test::LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}}; });
    CtdbSource absent("http://" + none.Address(), ctdb::CtdbMetadata::Default, false);
    EXPECT_FALSE(absent.LookUp(disc, {}, albums, why));
    EXPECT_EQ(why, "the CUETools database names no release of the disc");
    CtdbSource down("http://127.0.0.1:1", ctdb::CtdbMetadata::Default, false);
    EXPECT_FALSE(down.LookUp(disc, {}, albums, why));
    EXPECT_EQ(why.rfind("the CUETools database: database unavailable", 0), 0u) << why;
}

TEST(DiscOfAlbumTitle, ReadsTheDiscsPlaceAtTheTitlesEndOnly) {
    struct Case {
        const char* title;
        bool found;
        int number, total;
        const char* album;
    };
    const Case cases[] = {
        {"Greatest Hits (Disc 2)", true, 2, 0, "Greatest Hits"},
        {"Greatest Hits [CD 1]", true, 1, 0, "Greatest Hits"},
        {"Greatest Hits CD2", true, 2, 0, "Greatest Hits"},
        {"Greatest Hits - Disc 3 of 4", true, 3, 4, "Greatest Hits"},
        {"Greatest Hits (disc 1/2)", true, 1, 2, "Greatest Hits"},
        {"ABCD 2", false, 0, 0, ""},              // not a word of its own
        {"CD 2", false, 0, 0, ""},                // nothing left for the album
        {"Disc 2 Live", false, 0, 0, ""},         // not at the end
        {"Hits (Disc 3 of 2)", false, 0, 0, ""},  // more than the discs there are
        {"Hits (Disc 0)", false, 0, 0, ""},
        {"Hits (Disc 123)", false, 0, 0, ""},
        {"Hits (Disc 2", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        int number = 0, total = 0;
        std::string album;
        EXPECT_EQ(DiscOfAlbumTitle(c.title, number, total, album), c.found) << c.title;
        if (!c.found) continue;
        EXPECT_EQ(number, c.number) << c.title;
        EXPECT_EQ(total, c.total) << c.title;
        EXPECT_EQ(album, c.album) << c.title;
    }
}

}  // namespace
}  // namespace orvane::cdda
