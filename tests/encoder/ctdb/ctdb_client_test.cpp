// The disc database's replies: the lookup's XML read field by field, hostile replies refused
// with their reason, the parity's Range answers checked, all through a loopback server.

#include <gtest/gtest.h>

#include "encoder/ctdb/ctdb_client.h"
#include "tests/encoder/freedb/loopback_server.h"

namespace {

using namespace orvane::ctdb;
using orvane::test::LoopbackReply;
using orvane::test::LoopbackServer;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ctdb xmlns=\"http://db.cuetools.net/ns/"
    "mmd-1.0#\" xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">";
// Column 0's syndromes 1..8.
const std::string kSyndrome = "AQACAAMABAAFAAYABwAIAA==";

std::string Entry(const std::string& extra = "") {
    return "<entry confidence=\"12\" crc32=\"0a1b2c3d\" id=\"1234\" npar=\"8\" stride=\"5880\" "
           "syndrome=\"" +
           kSyndrome +
           "\" hasparity=\"/parity/1234\" "
           "trackcrcs=\"00000001 00000002 0000000a\" toc=\"0:120:215:287\" " +
           extra + "/>";
}

TEST(CtdbReply, EntriesAreReadFieldByFieldAndHostileRepliesRefused) {
    CtdbReply r = ParseCtdbReply(
        kHead + Entry() + "<entry />" + "<metadata source=\"musicbrainz\" /></ctdb>", 3);
    ASSERT_EQ(r.status, CtdbStatus::Found) << r.message;
    ASSERT_EQ(r.entries.size(), 1u);
    const CtdbEntry& e = r.entries[0];
    EXPECT_EQ(e.id, "1234");
    EXPECT_EQ(e.crc32, 0x0a1b2c3du);
    EXPECT_EQ(e.confidence, 12);
    EXPECT_EQ(e.npar, 8);
    EXPECT_EQ(e.syndrome, (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(e.parityUrl, "/parity/1234");
    EXPECT_EQ(e.trackCrcs, (std::vector<std::uint32_t>{1, 2, 10}));
    // Track CRCs of another count are no track CRCs of this disc.
    EXPECT_TRUE(ParseCtdbReply(kHead + Entry() + "</ctdb>", 4).entries.at(0).trackCrcs.empty());
    // An old entry: parity in place of a syndrome.
    r = ParseCtdbReply(kHead +
                           "<entry confidence=\"2\" crc32=\"ffffffff\" id=\"9\" npar=\"8\" "
                           "stride=\"5880\" parity=\"AAAA\" /></ctdb>",
                       3);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_TRUE(r.entries[0].syndrome.empty());
    // Nothing but metadata: no entry.
    EXPECT_EQ(ParseCtdbReply(kHead + "<metadata /></ctdb>", 3).status, CtdbStatus::NotFound);

    const std::pair<std::string, std::string> hostile[] = {
        {kHead + Entry(), "no well-formed XML"},  // cut short
        {"<ctdb xmlns=\"urn:other\">" + Entry() + "</ctdb>", "namespace"},
        {kHead + std::string(40, ' ') +
             [] {
                 std::string deep;
                 for (int i = 0; i < 40; ++i)
                     deep += "<a>";
                 for (int i = 0; i < 40; ++i)
                     deep += "</a>";
                 return deep;
             }() +
             "</ctdb>",
         "nest too deep"},
        {"<!DOCTYPE ctdb [<!ENTITY a \"aaaa\">]>" + kHead + "</ctdb>", "document type"},
        {kHead + "<entry confidence=\"1\" crc32=\"0a1b2c3\" id=\"1\" npar=\"8\" stride=\"5880\"/>"
                 "</ctdb>",
         "crc32"},
        {kHead + "<entry confidence=\"-1\" crc32=\"0a1b2c3d\" id=\"1\" npar=\"8\" stride=\"5880\"/>"
                 "</ctdb>",
         "confidence"},
        {kHead + "<entry confidence=\"1\" crc32=\"0a1b2c3d\" id=\"1\" npar=\"8\" stride=\"588\"/>"
                 "</ctdb>",
         "stride"},
        {kHead + "<entry confidence=\"1\" crc32=\"0a1b2c3d\" id=\"1\" npar=\"8\" stride=\"5880\" "
                 "syndrome=\"AQAC\"/></ctdb>",
         "syndrome"},
        {kHead + "<entry confidence=\"1\" crc32=\"0a1b2c3d\" id=\"1\" npar=\"8\" stride=\"5880\" "
                 "hasparity=\"/p\"/></ctdb>",
         "hasparity"},
        {kHead + std::string(kMaxCtdbReplyBytes, ' ') + "</ctdb>", "longer than 1 MB"},
        {"", "empty"},
    };
    for (const auto& [body, why] : hostile) {
        r = ParseCtdbReply(body, 3);
        EXPECT_EQ(r.status, CtdbStatus::Unavailable) << why;
        EXPECT_TRUE(r.entries.empty()) << why;
        EXPECT_NE(r.message.find(why), std::string::npos) << r.message;
    }
}

// A release as the database's metadata element holds it.
std::string Release(const std::string& attributes, const std::vector<std::string>& tracks) {
    std::string xml = "<metadata " + attributes + ">";
    for (const std::string& t : tracks)
        xml += "<track " + t + "/>";
    return xml + "</metadata>";
}

TEST(CtdbReply, ReleasesAreReadCheckedAndOnlyThoseOfTheDiscKept) {
    const std::string album = Release(
        "source=\"musicbrainz\" id=\"0b1c2d3e-aaaa-bbbb-cccc-000011112222\" "
        "artist=\"Kv&#228;llen\" album=\"Blue &amp; Grey\" year=\"1998-03-02\" "
        "genre=\"Jazz\" discnumber=\"2\" disccount=\"3\" relevance=\"90\"",
        {"name=\"One\"", "name=\"Two\" artist=\"Guest\"", "name=\"  Three \""});
    CtdbReply r = ParseCtdbReply(
        kHead + Entry() + album +
            // Another count of tracks, and one without attributes.
            Release("source=\"freedb\" album=\"Short\"", {"name=\"A\""}) + "<metadata/>" +
            Release("source=\"discogs\" id=\"77\"", {"", "", ""}) + "</ctdb>",
        3);
    ASSERT_EQ(r.status, CtdbStatus::Found) << r.message;
    EXPECT_EQ(r.entries.size(), 1u);
    ASSERT_EQ(r.releases.size(), 2u);
    const CtdbRelease& a = r.releases[0];
    EXPECT_EQ(a.source, "musicbrainz");
    EXPECT_EQ(a.id, "0b1c2d3e-aaaa-bbbb-cccc-000011112222");
    EXPECT_EQ(a.artist, "Kv\xC3\xA4llen");
    EXPECT_EQ(a.album, "Blue & Grey");
    EXPECT_EQ(a.year, "1998");
    EXPECT_EQ(a.genre, "Jazz");
    EXPECT_EQ(a.discNumber, 2);
    EXPECT_EQ(a.discCount, 3);
    EXPECT_EQ(a.trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(a.trackArtists, (std::vector<std::string>{"", "Guest", ""}));
    EXPECT_EQ(r.releases[1].id, "77");
    // Releases without entries: the disc is not found, its names are still told.
    r = ParseCtdbReply(kHead + album + "</ctdb>", 3);
    EXPECT_EQ(r.status, CtdbStatus::NotFound);
    EXPECT_EQ(r.releases.size(), 1u);

    const std::pair<std::string, std::string> hostile[] = {
        {Release("album=\"a&#9;b\"", {}), "album is malformed"},
        {Release("artist=\"" + std::string(kMaxCtdbText + 1, 'x') + "\"", {}),
         "artist is malformed"},
        {Release("year=\"98\"", {}), "year is malformed"},
        {Release("year=\"1998x\"", {}), "year is malformed"},
        {Release("discnumber=\"3\" disccount=\"2\"", {}), "discnumber is malformed"},
        {Release("disccount=\"-1\"", {}), "disccount is malformed"},
        {Release("id=\"../../etc passwd\"", {}), "id is malformed"},
        {Release("source=\"a b\"", {}), "source is malformed"},
        {Release("album=\"x\"", {"name=\"bell&#127;\""}), "track name is malformed"},
        {Release("album=\"x\"", std::vector<std::string>(100, "name=\"t\"")), "over 99 tracks"},
        {[] {
             std::string many;
             for (int i = 0; i <= kMaxCtdbReleases; ++i)
                 many += Release("album=\"x\"", {});
             return many;
         }(),
         "more than 100 releases"},
    };
    for (const auto& [body, why] : hostile) {
        r = ParseCtdbReply(kHead + Entry() + body + "</ctdb>", 3);
        EXPECT_EQ(r.status, CtdbStatus::Unavailable) << why;
        EXPECT_TRUE(r.releases.empty()) << why;
        EXPECT_NE(r.message.find(why), std::string::npos) << r.message;
    }
    // Cut short inside a release.
    r = ParseCtdbReply(kHead + "<metadata album=\"x\"><track name=\"a\"/>", 1);
    EXPECT_EQ(r.status, CtdbStatus::Unavailable);
}

std::string Http(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A parity file of npar rows whose column 0 holds the syndrome 1..8 (and more for 16).
std::string ParityFile(int npar) {
    std::string file(static_cast<std::size_t>(npar) * kParityRowBytes, '\x07');
    for (int k = 0; k < npar; ++k) {
        file[static_cast<std::size_t>(k) * kParityRowBytes] = static_cast<char>(k + 1);
        file[static_cast<std::size_t>(k) * kParityRowBytes + 1] = 0;
    }
    return file;
}

TEST(CtdbClient, LookupAndParityOverHttpAreCheckedAndNeverTrustedBlindly) {
    std::string answer;
    LoopbackServer server([&](const std::string&) { return LoopbackReply{{answer}, 0, false}; });
    const std::string base = "http://" + server.Address();
    CtdbToc toc = CtdbTocOf([] {
        orvane::cdrom::DiscInfo d;
        d.leadOut = 287;
        for (std::uint32_t s : {0u, 120u, 215u}) {
            orvane::cdrom::TrackInfo t;
            t.number = static_cast<std::uint8_t>(d.tracks.size() + 1);
            t.start = s;
            d.tracks.push_back(t);
        }
        return d;
    }());

    answer = Http("200 OK", "text/xml; charset=utf-8", kHead + Entry() + "</ctdb>");
    CtdbReply r = LookupCtdb(base, toc, {});
    ASSERT_EQ(r.status, CtdbStatus::Found) << r.message;
    const std::string request = server.Requests().at(0);
    EXPECT_NE(request.find("GET /lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc="
                           "0:120:215:287 "),
              std::string::npos)
        << request;
    EXPECT_NE(request.find("User-Agent: Plimo/"), std::string::npos) << request;

    answer = Http("404 Not Found", "text/html", "no");
    r = LookupCtdb(base, toc, {});
    EXPECT_EQ(r.status, CtdbStatus::NotFound);
    EXPECT_EQ(r.message, "not present in database");
    answer = Http("200 OK", "text/html", kHead + Entry() + "</ctdb>");
    EXPECT_EQ(LookupCtdb(base, toc, {}).status, CtdbStatus::Unavailable);
    answer = Http("500 Oops", "text/xml", "");
    EXPECT_EQ(LookupCtdb(base, toc, {}).message, "database unavailable (HTTP 500)");
    EXPECT_EQ(LookupCtdb("http://127.0.0.1:1", toc, {}).status, CtdbStatus::Unavailable);
    EXPECT_EQ(LookupCtdb(base, toc, [] { return true; }).status, CtdbStatus::Unavailable);

    CtdbEntry entry = ParseCtdbReply(kHead + Entry() + "</ctdb>", 3).entries.at(0);
    EXPECT_EQ(ParityUrl(base, entry), base + "/parity/1234");
    // 206 with the rows asked for; the request names the bytes of 8 rows.
    const std::size_t before = server.RequestCount();
    answer = Http("206 Partial Content", "application/octet-stream", ParityFile(8));
    ParityFetch p = FetchParity(base, entry, 8, {});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_EQ(p.rows.size(), 8 * kStrideWords);
    EXPECT_NE(server.Requests().at(before).find("Range: bytes=0-188159\r\n"), std::string::npos);
    EXPECT_NE(server.Requests().at(before).find("GET /parity/1234 "), std::string::npos);
    // 200 with the whole file: fine; 200 or 206 with any other length, or another entry's
    // parity: refused.
    EXPECT_TRUE(ParityOfAnswer(200, ParityFile(8), entry, 4).ok);
    EXPECT_FALSE(ParityOfAnswer(200, ParityFile(4), entry, 4).ok);
    EXPECT_FALSE(ParityOfAnswer(206, ParityFile(8), entry, 4).ok);
    EXPECT_FALSE(ParityOfAnswer(206, ParityFile(8).substr(1), entry, 8).ok);
    EXPECT_FALSE(ParityOfAnswer(416, "", entry, 8).ok);
    std::string foreign = ParityFile(8);
    foreign[kParityRowBytes * 2] = 9;
    p = ParityOfAnswer(206, foreign, entry, 8);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.why.find("column 0 differs"), std::string::npos) << p.why;
    // A body larger than the whole file ends the transfer.
    answer = Http("200 OK", "application/octet-stream", ParityFile(8) + ParityFile(8));
    p = FetchParity(base, entry, 8, {});
    EXPECT_FALSE(p.ok);
    EXPECT_TRUE(p.rows.empty());
}

}  // namespace
