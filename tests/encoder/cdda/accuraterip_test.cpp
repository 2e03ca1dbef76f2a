// Track checksums against a plain reference computation written apart from the code (one word
// at a time, 64-bit sums reduced at the end), disc ids against fingerprints published for real
// discs (an enhanced and a mixed-mode one), and the lookup against a loopback server that
// serves replies built here.

#include "encoder/cdda/accuraterip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

#include "encoder/freedb/loopback_server.h"
#include "platform/clock/clock.h"

namespace orvane::cdda {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Reference {
    std::uint32_t v1, v2;
};

// The sums by their definition: word k from 1, the skips tested word by word.
Reference ReferenceSums(const Bytes& data, bool first, bool last) {
    const std::uint64_t n = data.size() / 4;
    std::uint64_t v1 = 0, v2 = 0;
    for (std::uint64_t k = 1; k <= n; ++k) {
        if (first && k < 2940) continue;
        if (last && k + 2940 > n) continue;
        const std::uint8_t* p = &data[4 * (k - 1)];
        const std::uint64_t left = p[0] | p[1] << 8, right = p[2] | p[3] << 8;
        const std::uint64_t word = left | right << 16;
        const std::uint64_t product = k * word;
        v1 += product & 0xFFFFFFFF;
        v2 += (product & 0xFFFFFFFF) + (product >> 32);
    }
    return {static_cast<std::uint32_t>(v1), static_cast<std::uint32_t>(v2)};
}

Bytes Noise(std::size_t words, unsigned seed) {
    std::mt19937 random(seed);
    Bytes data(words * 4);
    for (std::uint8_t& b : data)
        b = static_cast<std::uint8_t>(random());
    return data;
}

TrackChecksums Sums(const Bytes& data, bool first, bool last, std::size_t piece = 0) {
    TrackChecksummer sums(first, last, data.size() / 4);
    if (piece == 0) piece = data.size();
    for (std::size_t at = 0; at < data.size(); at += piece)
        sums.Update(data.data() + at, std::min(piece, data.size() - at));
    return sums.Finish();
}

TEST(TrackChecksummer, MatchesTheReferenceForEveryPlaceOnTheDisc) {
    const Bytes data = Noise(30000, 1);
    for (bool first : {false, true}) {
        for (bool last : {false, true}) {
            const Reference want = ReferenceSums(data, first, last);
            const TrackChecksums got = Sums(data, first, last);
            EXPECT_EQ(got.arV1, want.v1) << first << last;
            EXPECT_EQ(got.arV2, want.v2) << first << last;
        }
    }
}

TEST(TrackChecksummer, AnySplitOfTheBytesGivesTheSameSums) {
    const Bytes data = Noise(7001, 2);
    const TrackChecksums whole = Sums(data, true, true);
    for (std::size_t piece : {1u, 2u, 3u, 5u, 7u, 4095u, 2352u * 3 + 1})
        EXPECT_EQ(Sums(data, true, true, piece), whole) << piece;
    // Irregular pieces, as a read loop with retries hands them over.
    std::mt19937 random(3);
    TrackChecksummer sums(true, true, data.size() / 4);
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t n = std::min<std::size_t>(random() % 9000, data.size() - at);
        sums.Update(data.data() + at, n);
        at += n;
    }
    EXPECT_EQ(sums.Finish(), whole);
}

TEST(TrackChecksummer, WordsAndSumsByHand) {
    // Left sample in the low half, right in the high half.
    Bytes left = {1, 0, 0, 0}, right = {0, 0, 1, 0};
    EXPECT_EQ(Sums(left, false, false).arV1, 1u);
    EXPECT_EQ(Sums(right, false, false).arV1, 0x10000u);
    // 2 * 0xFFFFFFFF = 0x1'FFFFFFFE: v1 keeps the low half, v2 adds the carry.
    Bytes two = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Sums(two, false, false).arV1, 0xFFFFFFFEu);
    EXPECT_EQ(Sums(two, false, false).arV2, 0xFFFFFFFFu);
    // CRC-32 check value of "123456789"; a word cut in the middle does not disturb it.
    const std::string digits = "123456789";
    TrackChecksummer crc(false, false, 2);
    crc.Update(reinterpret_cast<const std::uint8_t*>(digits.data()), 3);
    crc.Update(reinterpret_cast<const std::uint8_t*>(digits.data()) + 3, 6);
    EXPECT_EQ(crc.Finish().crc32, 0xCBF43926u);
    EXPECT_EQ(crc.Words(), 2u);
}

TEST(TrackChecksummer, TracksShorterThanTheSkips) {
    // First track shorter than its skip: nothing counts.
    const Bytes shortTrack = Noise(100, 4);
    EXPECT_EQ(Sums(shortTrack, true, false).arV1, 0u);
    EXPECT_EQ(Sums(shortTrack, false, true).arV2, 0u);
    EXPECT_NE(Sums(shortTrack, false, false).arV1, 0u);
    // A single-track disc between one and two skips long: the skips overlap.
    const Bytes overlap = Noise(4000, 5);
    EXPECT_EQ(Sums(overlap, true, true).arV1, 0u);
    // Exactly two skips: word 2940 alone counts.
    const Bytes exact = Noise(5880, 6);
    const Reference want = ReferenceSums(exact, true, true);
    EXPECT_NE(want.v1, 0u);
    EXPECT_EQ(Sums(exact, true, true).arV1, want.v1);
    EXPECT_EQ(Sums(exact, true, true).arV2, want.v2);
}

// ---------------------------------------------------------------------------------------------

cdrom::DiscInfo Disc(const std::vector<std::uint32_t>& starts, std::uint32_t leadOut,
                     int dataTrack = 0, int dataSession = 1) {
    cdrom::DiscInfo disc;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = starts[i];
        t.audio = t.number != dataTrack;
        t.session = t.audio ? 1 : dataSession;
        disc.sessions = std::max(disc.sessions, t.session);
        disc.tracks.push_back(t);
    }
    disc.firstTrack = 1;
    disc.lastTrack = static_cast<std::uint8_t>(starts.size());
    disc.leadOut = leadOut;
    cdrom::FillLengths(disc);
    return disc;
}

TEST(AccurateRipId, PublishedFingerprintsOfRealDiscs) {
    // An enhanced disc: ten audio tracks, then a data session; the ids take the real lead-out
    // and the CDDB id counts the data track.
    const cdrom::DiscInfo enhanced =
        Disc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585},
             333651, 11, 2);
    const AccurateRipId id = ComputeAccurateRipId(enhanced);
    EXPECT_EQ(id.Fingerprint(), "010-00164419-00b9f6e2-9e11600b");
    EXPECT_EQ(id.leadingDataTracks, 0);
    EXPECT_EQ(id.Url(kDefaultAccurateRipServer),
              "http://www.accuraterip.com/accuraterip/9/1/4/"
              "dBAR-010-00164419-00b9f6e2-9e11600b.bin");
    EXPECT_EQ(id.Url("http://mirror.example/ar/"),
              "http://mirror.example/ar/accuraterip/9/1/4/"
              "dBAR-010-00164419-00b9f6e2-9e11600b.bin");

    // A mixed-mode disc: a data track, then 28 audio tracks; the data track is left out of
    // the sums but keeps the CDDB id's count.
    std::vector<std::uint32_t> starts;
    for (std::uint32_t frame :
         {150u,    66728u,  76502u,  85963u,  93760u,  104048u, 116066u, 124743u, 134206u, 142916u,
          151852u, 160720u, 169425u, 178731u, 188459u, 196711u, 206354u, 214845u, 223686u, 225746u,
          226384u, 232668u, 239447u, 239931u, 244989u, 254264u, 260066u, 261222u, 261674u})
        starts.push_back(frame - 150);
    const AccurateRipId mixed = ComputeAccurateRipId(Disc(starts, 261976 - 150, 1));
    EXPECT_EQ(mixed.Fingerprint(), "028-00517a54-05a845d2-af0da31d");
    EXPECT_EQ(mixed.leadingDataTracks, 1);
}

TEST(AccurateRipId, TrackAtBlockZeroCountsAsOneInTheSecondId) {
    // id1 = 0 + 1000 + 2000, id2 = max(0,1)*1 + 1000*2 + 2000*3.
    const AccurateRipId id = ComputeAccurateRipId(Disc({0, 1000}, 2000));
    EXPECT_EQ(id.audioTracks, 2);
    EXPECT_EQ(id.id1, 3000u);
    EXPECT_EQ(id.id2, 8001u);
}

// ---------------------------------------------------------------------------------------------

void Put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
}

// One block of a reply: the ids, then (confidence, checksum) per track.
std::string Block(const AccurateRipId& id,
                  const std::vector<std::pair<int, std::uint32_t>>& tracks) {
    std::string out(1, static_cast<char>(tracks.size()));
    Put32(out, id.id1);
    Put32(out, id.id2);
    Put32(out, id.freedbId);
    for (const auto& [confidence, checksum] : tracks) {
        out += static_cast<char>(confidence);
        Put32(out, checksum);
        Put32(out, 0);
    }
    return out;
}

AccurateRipReply Parse(const std::string& body) {
    return ParseAccurateRipReply(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
}

const AccurateRipId kId{2, 0x3000, 0x8001, 0x0a001402};

TEST(AccurateRipReplyParser, BlocksWholeCutOrNone) {
    const std::string two = Block(kId, {{5, 0x11}, {7, 0x22}}) + Block(kId, {{1, 0x33}, {0, 0}});
    AccurateRipReply reply = Parse(two);
    ASSERT_EQ(reply.status, AccurateRipStatus::Found);
    ASSERT_EQ(reply.blocks.size(), 2u);
    EXPECT_EQ(reply.blocks[0].id1, 0x3000u);
    EXPECT_EQ(reply.blocks[0].freedbId, 0x0a001402u);
    EXPECT_EQ(reply.blocks[1].tracks[0], std::make_pair(1, 0x33u));

    // Cut anywhere in the last block, or a count the length cannot hold.
    for (std::size_t cut : {1u, 9u, 14u})
        EXPECT_EQ(Parse(two.substr(0, two.size() - cut)).status, AccurateRipStatus::Unavailable);
    std::string lying = Block(kId, {{1, 1}});
    lying[0] = static_cast<char>(255);
    reply = Parse(lying);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_NE(reply.message.find("truncated"), std::string::npos);

    EXPECT_EQ(Parse("").status, AccurateRipStatus::NotFound);
    const std::string huge(kMaxAccurateRipReplyBytes + 1, '\0');
    EXPECT_EQ(Parse(huge).status, AccurateRipStatus::Unavailable);
}

TEST(MatchTrack, BestConfidenceAndTheVersionThatMatched) {
    const TrackChecksums sums{0, 0xAAAA, 0xBBBB};
    AccurateRipReply reply =
        Parse(Block(kId, {{3, 0xAAAA}, {4, 0x1}}) + Block(kId, {{9, 0xBBBB}, {0, 0x2}}) +
              Block(kId, {{20, 0x5555}, {0, 0}}));
    AccurateRipVerdict v = MatchTrack(reply, 0, sums);
    EXPECT_EQ(v.result, AccurateRipResult::Match);
    EXPECT_EQ(v.confidence, 9);
    EXPECT_EQ(v.version, 2);
    v = MatchTrack(Parse(Block(kId, {{3, 0xAAAA}})), 0, sums);
    EXPECT_EQ(v.version, 1);
    EXPECT_EQ(v.confidence, 3);
    // Entries that disagree; none at all (confidence 0 or no slot).
    EXPECT_EQ(MatchTrack(reply, 1, sums).result, AccurateRipResult::Mismatch);
    EXPECT_EQ(MatchTrack(reply, 1, sums).confidence, 0);
    const AccurateRipReply silent = Parse(Block(kId, {{0, 0}, {0, 0}}));
    EXPECT_EQ(MatchTrack(silent, 0, {0, 0, 0}).result, AccurateRipResult::NotFound);
    EXPECT_EQ(MatchTrack(reply, 5, sums).result, AccurateRipResult::NotFound);
    EXPECT_STREQ(ToString(MatchTrack(Parse(""), 0, sums).result), "not-found");
    EXPECT_STREQ(ToString(MatchTrack(AccurateRipReply{}, 0, sums).result), "unavailable");
    // A mixed-mode disc: the data track holds the first slot.
    reply = Parse(Block(kId, {{0, 0}, {2, 0xAAAA}}));
    reply.slotOffset = 1;
    EXPECT_EQ(MatchTrack(reply, 0, sums).result, AccurateRipResult::Match);
}

// ---------------------------------------------------------------------------------------------

std::string Server(const test::LoopbackServer& server) { return "http://" + server.Address(); }

test::LoopbackReply BinaryReply(const std::string& body) {
    return {{"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body}};
}

TEST(LookupAccurateRip, FetchesTheDiscsFileAndComparesItsEntries) {
    const AccurateRipId id{2, 0x00000bb8, 0x00001f41, 0x0a001402};
    test::LoopbackServer server([&](const std::string&) {
        return BinaryReply(Block(id, {{12, 0x1111}, {4, 0x2222}}) +
                           Block(id, {{2, 0x3333}, {6, 0x4444}}));
    });
    const AccurateRipReply reply = LookupAccurateRip(Server(server) + "/", id, nullptr);
    ASSERT_EQ(reply.status, AccurateRipStatus::Found) << reply.message;
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Requests()[0].rfind(
                  "GET /accuraterip/8/b/b/dBAR-002-00000bb8-00001f41-0a001402.bin HTTP/1.0\r\n", 0),
              0u)
        << server.Requests()[0];
    EXPECT_EQ(MatchTrack(reply, 0, {0, 0x1111, 0x9999}).version, 1);
    EXPECT_EQ(MatchTrack(reply, 1, {0, 0x9999, 0x4444}).confidence, 6);
    EXPECT_EQ(MatchTrack(reply, 1, {0, 0x9999, 0x4444}).version, 2);
    EXPECT_EQ(MatchTrack(reply, 1, {0, 0x1, 0x2}).result, AccurateRipResult::Mismatch);
}

TEST(LookupAccurateRip, AMixedModeDiscsDataTrackKeepsItsSlotInTheReply) {
    // The published disc of a data track and 28 audio tracks. Its offsets weighed by track
    // number (2 to 29) instead of by place among the audio tracks (1 to 28) give a second id
    // the database does not know.
    std::vector<std::uint32_t> starts;
    for (std::uint32_t frame :
         {150u,    66728u,  76502u,  85963u,  93760u,  104048u, 116066u, 124743u, 134206u, 142916u,
          151852u, 160720u, 169425u, 178731u, 188459u, 196711u, 206354u, 214845u, 223686u, 225746u,
          226384u, 232668u, 239447u, 239931u, 244989u, 254264u, 260066u, 261222u, 261674u})
        starts.push_back(frame - 150);
    const AccurateRipId id = ComputeAccurateRipId(Disc(starts, 261976 - 150, 1));
    std::uint32_t byNumber = (261976 - 150) * 30;
    for (std::size_t i = 1; i < starts.size(); ++i)
        byNumber += std::max<std::uint32_t>(starts[i], 1) * static_cast<std::uint32_t>(i + 1);
    EXPECT_EQ(byNumber, 0x05f9c026u);
    EXPECT_EQ(id.id2, 0x05a845d2u);
    // Its published reply: 28 entries, the first of them the data track's (checksum 0,
    // confidence 0); the last audio track has none.
    std::vector<std::pair<int, std::uint32_t>> entries(28, {1, 0x11111111});
    entries[0] = {0, 0};
    entries[1] = {1, 0xf7372315};
    entries[2] = {1, 0x953b5f00};
    test::LoopbackServer server(
        [&](const std::string&) { return BinaryReply(Block(id, entries)); });
    const AccurateRipReply reply = LookupAccurateRip(Server(server), id, nullptr);
    ASSERT_EQ(reply.status, AccurateRipStatus::Found) << reply.message;
    EXPECT_EQ(MatchTrack(reply, 0, {0, 0, 0xf7372315}).result, AccurateRipResult::Match);
    EXPECT_EQ(MatchTrack(reply, 1, {0, 0x953b5f00, 0}).result, AccurateRipResult::Match);
    EXPECT_EQ(MatchTrack(reply, 27, {0, 0x11111111, 0}).result, AccurateRipResult::NotFound);
}

TEST(LookupAccurateRip, ManyBlocksAndAServerUnderAPath) {
    std::string body;
    for (int i = 0; i < 400; ++i)
        body += Block(kId, {{1 + i % 200, static_cast<std::uint32_t>(i)}});
    test::LoopbackServer server([&](const std::string&) {
        test::LoopbackReply reply = BinaryReply(body);
        // In pieces, as a slow link delivers it.
        const std::string whole = reply.pieces[0];
        reply.pieces = {whole.substr(0, 100), whole.substr(100, 5000), whole.substr(5100)};
        return reply;
    });
    const AccurateRipReply reply = LookupAccurateRip(Server(server) + "/mirror", kId, nullptr);
    ASSERT_EQ(reply.status, AccurateRipStatus::Found) << reply.message;
    EXPECT_EQ(reply.blocks.size(), 400u);
    EXPECT_EQ(server.Requests()[0].rfind("GET /mirror/accuraterip/0/0/0/dBAR-002-", 0), 0u);
    const AccurateRipVerdict v = MatchTrack(reply, 0, {0, 399, 0});
    EXPECT_EQ(v.result, AccurateRipResult::Match);
    EXPECT_EQ(v.confidence, 200);
}

TEST(LookupAccurateRip, FailuresAreReportedNeverMatched) {
    test::LoopbackServer missing(
        [](const std::string&) { return test::LoopbackReply{{"HTTP/1.1 404 Not Found\r\n\r\n"}}; });
    AccurateRipReply reply = LookupAccurateRip(Server(missing), kId, nullptr);
    EXPECT_EQ(reply.status, AccurateRipStatus::NotFound);
    EXPECT_EQ(MatchTrack(reply, 0, {}).result, AccurateRipResult::NotFound);

    test::LoopbackServer cut([](const std::string&) {
        return BinaryReply(Block(kId, {{1, 2}, {3, 4}}).substr(0, 20));
    });
    reply = LookupAccurateRip(Server(cut), kId, nullptr);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_NE(reply.message.find("truncated"), std::string::npos) << reply.message;

    test::LoopbackServer refusing([](const std::string&) {
        return test::LoopbackReply{{"HTTP/1.1 503 Service Unavailable\r\n\r\nbusy"}};
    });
    reply = LookupAccurateRip(Server(refusing), kId, nullptr);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_NE(reply.message.find("503"), std::string::npos) << reply.message;

    EXPECT_EQ(LookupAccurateRip("https://www.example.org", kId, nullptr).status,
              AccurateRipStatus::Unavailable);
    EXPECT_EQ(LookupAccurateRip("http://host:99999", kId, nullptr).status,
              AccurateRipStatus::Unavailable);
}

TEST(LookupAccurateRip, AServerThatNeverAnswersIsCancelled) {
    test::LoopbackServer silent([](const std::string&) {
        test::LoopbackReply reply;
        reply.holdOpen = true;
        return reply;
    });
    std::atomic<int> polls{0};
    const AccurateRipReply reply = LookupAccurateRip(
        Server(silent), kId, [&] { return ++polls >= 5; }, 600);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_EQ(reply.message, "lookup cancelled");
    EXPECT_EQ(polls.load(), 5);
}

TEST(LookupAccurateRip, SilenceAndTricklesEndAtTheTimeOut) {
    // Virtual time: the waits move the clock instead of taking real time.
    clock::VirtualClock vclock(true);
    clock::Install(&vclock);
    test::LoopbackServer silent([](const std::string&) {
        test::LoopbackReply reply;
        reply.holdOpen = true;
        return reply;
    });
    const std::uint64_t start = vclock.NowMs();
    AccurateRipReply reply = LookupAccurateRip(Server(silent), kId, nullptr, 20);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_EQ(reply.message, "no answer within 20 s");
    EXPECT_LE(vclock.NowMs() - start, 21000u);
    clock::Install(nullptr);
}

TEST(LookupAccurateRip, AReplyBeyondTheCapIsRefused) {
    const std::string huge(kMaxAccurateRipReplyBytes + 20000, '\1');
    test::LoopbackServer server([&](const std::string&) { return BinaryReply(huge); });
    const AccurateRipReply reply = LookupAccurateRip(Server(server), kId, nullptr);
    EXPECT_EQ(reply.status, AccurateRipStatus::Unavailable);
    EXPECT_EQ(reply.message, "reply too large");
}

}  // namespace
}  // namespace orvane::cdda
