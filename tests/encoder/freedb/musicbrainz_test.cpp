// The MusicBrainz client: replies as the service gives them, read into releases, and the
// service's rules kept, against a loopback server.

#include "encoder/freedb/musicbrainz.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "encoder/freedb/loopback_server.h"
#include "platform/clock/clock.h"

namespace orvane::freedb {
namespace {

constexpr const char* kDisc = "lwHl8fGzJyLXQR33ug60E8jhf4k-";

// A discid reply for kDisc: a two-disc release holding it as its second medium, and a
// single-disc release of another country with a joined credit and a track of a guest.
std::string TwoReleases() {
    return R"({"id":"lwHl8fGzJyLXQR33ug60E8jhf4k-","offset-count":2,"sectors":31650,
 "releases":[
  {"id":"aaaaaaaa-0000-0000-0000-000000000001","title":"Концерт","date":"1999-05-01",
   "country":"GB","artist-credit":[{"name":"Оркестр","joinphrase":"","artist":{"id":"x"}}],
   "label-info":[{"catalog-number":"X1","label":{"id":"l","name":"Hall Records"}}],
   "media":[
    {"position":1,"format":"CD","discs":[{"id":"otherdiscid0000000000000000-"}],
     "tracks":[{"id":"t0","position":1,"number":"1","title":"Other","recording":{"id":"r0"}}]},
    {"position":2,"format":"CD","discs":[{"id":"lwHl8fGzJyLXQR33ug60E8jhf4k-"}],
     "tracks":[
      {"id":"t1","position":1,"number":"1","title":"Overture, a title longer than thirty bytes",
       "artist-credit":[{"name":"Оркестр","joinphrase":""}],
       "recording":{"id":"bbbbbbbb-0000-0000-0000-000000000001","title":"Overture"}},
      {"id":"t2","position":2,"number":"2","title":"Solo",
       "artist-credit":[{"name":"Guest","joinphrase":" feat. "},{"name":"Оркестр","joinphrase":""}],
       "recording":{"id":"bbbbbbbb-0000-0000-0000-000000000002","title":"Solo"}}]}]},
  {"id":"aaaaaaaa-0000-0000-0000-000000000002","title":"Концерт","date":"2001","country":"JP",
   "artist-credit":[{"name":"Оркестр","joinphrase":" & "},{"name":"Choir","joinphrase":""}],
   "media":[{"position":1,"discs":[],"tracks":[
      {"position":1,"title":"Overture","recording":{"id":"r1"}}]}]}]})";
}

TEST(MusicBrainzReply, ReleasesWithTheMediumThatHoldsTheDisc) {
    std::string error;
    std::vector<MbRelease> r = ParseMusicBrainzReply(TwoReleases(), kDisc, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].releaseId, "aaaaaaaa-0000-0000-0000-000000000001");
    EXPECT_EQ(r[0].title, "Концерт");
    EXPECT_EQ(r[0].artist, "Оркестр");
    EXPECT_EQ(r[0].date, "1999-05-01");
    EXPECT_EQ(r[0].country, "GB");
    EXPECT_EQ(r[0].label, "Hall Records");
    EXPECT_EQ(r[0].discNumber, 2);
    EXPECT_EQ(r[0].discCount, 2);
    ASSERT_EQ(r[0].tracks.size(), 2u);
    EXPECT_EQ(r[0].tracks[0].title, "Overture, a title longer than thirty bytes");
    EXPECT_EQ(r[0].tracks[0].recordingId, "bbbbbbbb-0000-0000-0000-000000000001");
    EXPECT_EQ(r[0].tracks[1].number, 2);
    EXPECT_EQ(r[0].tracks[1].artist, "Guest feat. Оркестр");
    // Found by its layout alone: its only medium; a track without a credit of its own has none.
    EXPECT_EQ(r[1].artist, "Оркестр & Choir");
    EXPECT_EQ(r[1].discNumber, 1);
    ASSERT_EQ(r[1].tracks.size(), 1u);
    EXPECT_EQ(r[1].tracks[0].artist, "");
}

TEST(MusicBrainzReply, StubsAndBrokenRepliesAreToldApart) {
    std::string error;
    // A release listed without its tracks.
    auto r = ParseMusicBrainzReply(
        R"({"releases":[{"id":"s","title":"Stub","media":[{"position":1,"track-count":9}]}]})",
        kDisc, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].title, "Stub");
    EXPECT_TRUE(r[0].tracks.empty());
    // A disc known only as a CD stub: no release.
    EXPECT_TRUE(
        ParseMusicBrainzReply(R"({"id":"x","title":"t","tracks":[]})", kDisc, error).empty());
    EXPECT_EQ(error, "");
    // Wrong types where texts and numbers belong are left empty, never thrown.
    r = ParseMusicBrainzReply(
        R"({"releases":[{"id":5,"title":["x"],"media":[{"position":"3","discs":7,"tracks":[1,{"title":null}]}]}]})",
        kDisc, error);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].releaseId, "");
    EXPECT_EQ(r[0].discNumber, 3);
    EXPECT_EQ(r[0].tracks.size(), 2u);
    for (const char* broken :
         {"", "<html>busy</html>", "{\"releases\":[", "[1,2]", "{\"releases\":\"none\"}"}) {
        error.clear();
        EXPECT_TRUE(ParseMusicBrainzReply(broken, kDisc, error).empty()) << broken;
        EXPECT_NE(error, "") << broken;
    }
}

test::LoopbackReply Reply(const std::string& status, const std::string& body,
                          const std::string& headers = {}) {
    return {{"HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body},
            0,
            false};
}

TEST(MusicBrainzLookup, AsksByDiscIdAndKeepsTheServicesRules) {
    std::string next = "200";
    test::LoopbackServer server([&](const std::string&) {
        if (next == "404") return Reply("404 Not Found", R"({"error":"Not Found"})");
        if (next == "503") return Reply("503 Service Unavailable", "{}", "Retry-After: 7\r\n");
        if (next == "bad") return Reply("200 OK", "<html>");
        return Reply("200 OK", TwoReleases());
    });
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    const std::string url = "http://" + server.Address() + "/";
    MbLookup found = LookUpMusicBrainz(url, kDisc);
    const std::uint64_t first = clk.NowMs();
    EXPECT_EQ(found.status, MbLookup::Status::Found) << found.error;
    EXPECT_EQ(found.releases.size(), 2u);
    next = "404";
    EXPECT_EQ(LookUpMusicBrainz(url, kDisc).status, MbLookup::Status::NotFound);
    // At most one request a second.
    EXPECT_GE(clk.NowMs() - first, 1000u);
    next = "503";
    found = LookUpMusicBrainz(url, kDisc);
    EXPECT_EQ(found.status, MbLookup::Status::Failed);
    EXPECT_EQ(found.retryAfterSeconds, 7u);
    EXPECT_EQ(found.error, "the server is busy (503); try again in 7 s");
    next = "bad";
    found = LookUpMusicBrainz(url, kDisc);
    EXPECT_EQ(found.status, MbLookup::Status::Failed);
    EXPECT_EQ(found.error, "the reply is not a JSON object");
    clock::Install(nullptr);

    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
              "GET /ws/2/discid/lwHl8fGzJyLXQR33ug60E8jhf4k-"
              "?inc=recordings+artist-credits+labels&fmt=json HTTP/1.1");
    EXPECT_NE(requests[0].find("\r\nUser-Agent: Plimo/"), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("\r\nAccept: application/json"), std::string::npos);
    // Nothing is sent for an id that is none or a server that is no web address.
    EXPECT_EQ(LookUpMusicBrainz(url, "../../admin?x=").error,
              "not a MusicBrainz disc id: ../../admin?x=");
    EXPECT_EQ(LookUpMusicBrainz("ftp://" + server.Address(), kDisc).status,
              MbLookup::Status::Failed);
    EXPECT_EQ(server.RequestCount(), 4u);
}

// A server that accepts and never answers, or one that trickles its reply, holds the
// look-up no longer than its bound, and a cancel ends the wait.
TEST(MusicBrainzLookup, AStuckServerIsLeftAtTheBoundOrOnCancel) {
    test::LoopbackServer silent([](const std::string&) {
        return test::LoopbackReply{{}, 0, true};
    });
    const std::string url = "http://" + silent.Address();
    std::atomic<bool> cancel{false};
    std::thread user([&] {
        for (int i = 0; i < 1000 && silent.RequestCount() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel = true;
    });
    MbLookup found = LookUpMusicBrainz(url, kDisc, 60000, [&] { return cancel.load(); });
    user.join();
    EXPECT_EQ(silent.RequestCount(), 1u);
    EXPECT_EQ(found.status, MbLookup::Status::Failed);
    EXPECT_EQ(found.error, "cancelled");

    test::LoopbackServer trickle([](const std::string&) {
        test::LoopbackReply reply{{"HTTP/1.1 200 OK\r\n"}, 20, false};
        for (int i = 0; i < 200; ++i)
            reply.pieces.push_back("X-Pad: " + std::to_string(i) + "\r\n");
        return reply;
    });
    found = LookUpMusicBrainz("http://" + trickle.Address(), kDisc, 300);
    EXPECT_EQ(found.status, MbLookup::Status::Failed);
    EXPECT_NE(found.error.find("imeout"), std::string::npos) << found.error;
}

}  // namespace
}  // namespace orvane::freedb
