// The disc database's TOC ids, CRCs and syndromes of a rip against a reference computed in
// Python from the database's definitions (make_ctdb_disc.py), the offset search and the repair
// of damaged audio from its parity.

#include <gtest/gtest.h>

#include <QByteArray>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "encoder/ctdb/ctdb_sums.h"
#include "encoder/ctdb/ctdb_toc.h"
#include "encoder/ctdb/ctdb_verify.h"
#include "encoder/ctdb/rs_decoder.h"
#include "support/temp_dir.h"

namespace {

using namespace orvane::ctdb;
using orvane::cdrom::DiscInfo;
using orvane::cdrom::TrackInfo;

DiscInfo Disc(const std::vector<std::pair<std::uint32_t, bool>>& tracks, std::uint32_t leadOut) {
    DiscInfo d;
    d.firstTrack = 1;
    d.lastTrack = static_cast<std::uint8_t>(tracks.size());
    d.leadOut = leadOut;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = tracks[i].first;
        t.audio = tracks[i].second;
        d.tracks.push_back(t);
    }
    return d;
}

// Published discs: their tables of contents and the TOC ids the database's own client printed.
TEST(CtdbToc, TocIdsOfPublishedDiscs) {
    // An audio CD of 11 tracks (lead-out 249403).
    std::vector<std::pair<std::uint32_t, bool>> audio;
    for (std::uint32_t s : {0u, 25653u, 53706u, 77409u, 103139u, 123509u, 142412u, 162721u, 188974u,
                            210577u, 234880u})
        audio.push_back({s, true});
    CtdbToc toc = CtdbTocOf(Disc(audio, 249403));
    EXPECT_EQ(toc.tocId, "HBFiB3CptZA6LyLN9Kn1aRh7H.Y-");
    EXPECT_EQ(toc.AudioTracks(), 11);
    // Mixed-mode discs, a data track before two audio tracks: three pressings of one game.
    toc = CtdbTocOf(Disc({{0, false}, {266445, true}, {280839, true}}, 294795));
    EXPECT_EQ(toc.tocId, "hUJiDDh7s2IYPP1GpLfGVYpIWxE-");
    EXPECT_EQ(toc.tocString, "-0:266445:280839:294795");
    EXPECT_EQ(toc.firstAudioTrack, 2);
    EXPECT_EQ(CtdbTocOf(Disc({{0, false}, {282656, true}, {296612, true}}, 311156)).tocId,
              "vPmoaaMWAdaLNkVSMLqK2HZxmaE-");
    // Two pressings whose audio lies elsewhere but alike relative to its start share an id.
    EXPECT_EQ(CtdbTocOf(Disc({{0, false}, {266420, true}, {280376, true}}, 294770)).tocId,
              "WJdZLalC42N4VOtU.QQx5GDfvqI-");
    EXPECT_EQ(CtdbTocOf(Disc({{0, false}, {266434, true}, {280390, true}}, 294784)).tocId,
              "WJdZLalC42N4VOtU.QQx5GDfvqI-");
    EXPECT_EQ(CtdbTocOf(Disc({{0, false}, {100361, true}}, 142572)).tocId,
              "Y1qrr8eDEKTsSDhgyfHah6MGKzA-");
    // An enhanced CD: the audio ends a session gap before the data track; the TOC string
    // still lists it, marked, and the lead-out.
    toc = CtdbTocOf(Disc({{0, true}, {21450, true}, {300957, false}}, 355742));
    EXPECT_EQ(toc.tocString, "0:21450:-300957:355742");
    EXPECT_EQ(toc.audioSectors, 300957u - 11400u);
    EXPECT_EQ(toc.AudioTracks(), 2);
    // No audio: nothing to key.
    EXPECT_FALSE(CtdbTocOf(Disc({{0, false}}, 1000)).Valid());
}

std::vector<std::uint16_t> Le16(const std::string& bytes) {
    std::vector<std::uint16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return out;
}

std::vector<std::uint16_t> Base64Words(const std::string& text, int npar) {
    const QByteArray raw = QByteArray::fromBase64(QByteArray::fromStdString(text));
    std::vector<std::uint16_t> w = Le16(raw.toStdString());
    w.resize(static_cast<std::size_t>(npar));
    return w;
}

// The reference disc, made once for all tests.
class CtdbReference : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new orvane::test::TempDir;
        const std::string command = "/usr/bin/python3 '" ORVANE_SOURCE_DIR
                                    "/tests/encoder/ctdb/make_ctdb_disc.py' '" +
                                    dir_->path().string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        audio_ = orvane::test::ReadFile(dir_->path() / "disc.bin");
        parity_ = Le16(orvane::test::ReadFile(dir_->path() / "parity.bin"));
        std::istringstream in(orvane::test::ReadFile(dir_->path() / "facts.txt"));
        std::string key, value;
        while (in >> key && std::getline(in >> std::ws, value))
            facts_[key] = value;
    }
    static void TearDownTestSuite() { delete dir_; }

    static CtdbToc Toc() { return CtdbTocOf(Disc({{0, true}, {120, true}, {215, true}}, 287)); }
    // The sums of audio, given in pieces of an odd size.
    static CtdbSums SumsOf(const std::string& audio, std::size_t piece = 1001) {
        CtdbSums sums(Toc());
        for (std::size_t at = 0; at < audio.size(); at += piece)
            sums.Update(reinterpret_cast<const std::uint8_t*>(audio.data()) + at,
                        std::min(piece, audio.size() - at));
        return sums;
    }
    static std::uint32_t Hex(const std::string& text) {
        return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    }
    static CtdbEntry Entry(int npar, const std::string& suffix = "") {
        CtdbEntry e;
        e.id = "1";
        e.crc32 = Hex(facts_["crc32" + suffix]);
        e.confidence = 3;
        e.npar = npar;
        e.stride = 5880;
        e.syndrome = Base64Words(facts_["syndrome" + suffix], npar);
        std::istringstream crcs(facts_["trackcrcs"]);
        for (std::string c; crcs >> c;)
            e.trackCrcs.push_back(Hex(c));
        return e;
    }
    static std::vector<std::uint16_t> Rows(int npar) {
        return {parity_.begin(), parity_.begin() + npar * static_cast<long>(kStrideWords)};
    }
    // Every word of strides (counted from the range's start) overwritten.
    static std::string Damaged(std::initializer_list<int> strides, std::uint8_t seed) {
        std::string audio = audio_;
        for (int s : strides)
            for (std::uint64_t b = 0; b < 2 * kStrideWords; ++b)
                audio[s * 2 * kStrideWords + b] =
                    static_cast<char>(audio[s * 2 * kStrideWords + b] ^ (seed + b * 7 + 1));
        return audio;
    }
    static std::string Applied(std::string audio, const Repair& r) {
        for (const WordFix& f : r.fixes) {
            audio[2 * f.word] = static_cast<char>(audio[2 * f.word] ^ (f.delta & 0xFF));
            audio[2 * f.word + 1] = static_cast<char>(audio[2 * f.word + 1] ^ (f.delta >> 8));
        }
        return audio;
    }

    static orvane::test::TempDir* dir_;
    static std::string audio_;
    static std::vector<std::uint16_t> parity_;
    static std::map<std::string, std::string> facts_;
};

orvane::test::TempDir* CtdbReference::dir_ = nullptr;
std::string CtdbReference::audio_;
std::vector<std::uint16_t> CtdbReference::parity_;
std::map<std::string, std::string> CtdbReference::facts_;

TEST_F(CtdbReference, StreamedSumsEqualTheReferenceAtEveryOffset) {
    const CtdbToc toc = Toc();
    EXPECT_EQ(toc.tocString, facts_["toc"]);
    EXPECT_EQ(toc.tocId, facts_["tocid"]);
    // The same audio on an enhanced CD keeps its id: its audio ends at the data session.
    EXPECT_EQ(
        CtdbTocOf(Disc({{0, true}, {120, true}, {215, true}, {287 + 11400, false}}, 99999)).tocId,
        facts_["tocid_enhanced"]);
    for (std::size_t piece : {std::size_t{1001}, std::size_t{2352 * 13}}) {
        const CtdbSums sums = SumsOf(audio_, piece);
        ASSERT_TRUE(sums.Complete());
        EXPECT_EQ(sums.Strides(), std::stoi(facts_["strides"]));
        EXPECT_EQ(sums.DiscCrc(), Hex(facts_["crc32"]));
        std::istringstream crcs(facts_["trackcrcs"]);
        std::string c;
        for (int i = 0; crcs >> c; ++i)
            EXPECT_EQ(sums.TrackCrc(i), Hex(c)) << "track " << i + 1;
        EXPECT_EQ(sums.Syndromes(16), parity_);
        for (int offset : {48, -30, 5879, -5879}) {
            const std::string at = "_" + std::to_string(offset);
            EXPECT_EQ(sums.DiscCrc(offset), Hex(facts_["crc32" + at])) << offset;
            EXPECT_EQ(sums.Column(16, 0, offset), Base64Words(facts_["syndrome" + at], 16))
                << offset;
        }
    }
}

TEST_F(CtdbReference, EntriesAreFoundAtTheirOffsetAndCheckedByCrc) {
    const CtdbSums sums = SumsOf(audio_);
    EntryCheck check = CheckEntry(sums, Entry(8));
    EXPECT_TRUE(check.located);
    EXPECT_EQ(check.offset, 0);
    EXPECT_TRUE(check.crcMatch);
    EXPECT_EQ(check.trackMatch, std::vector<bool>(3, true));
    for (int offset : {48, -5879}) {
        check = CheckEntry(sums, Entry(8, "_" + std::to_string(offset)));
        EXPECT_TRUE(check.located && check.crcMatch) << offset;
        EXPECT_EQ(check.offset, offset);
    }
    // A damaged rip: found at its own alignment, its CRC differs, and only track 2 is hurt.
    const CtdbSums damaged = SumsOf(Damaged({15}, 3));
    check = CheckEntry(damaged, Entry(8));
    EXPECT_TRUE(check.located);
    EXPECT_EQ(check.offset, 0);
    EXPECT_FALSE(check.crcMatch);
    EXPECT_EQ(check.trackMatch, (std::vector<bool>{true, false, true}));
}

TEST_F(CtdbReference, DamageWithinTheParityIsMendedBitForBitAndBeyondItRefused) {
    // Four whole strides apart (40 sectors) mend with 8 rows; a fifth needs 16.
    const std::string four = Damaged({2, 9, 17, 26}, 5);
    Repair r = RepairFromParity(SumsOf(four), Entry(8), 0, Rows(8), 8);
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.samples, 4 * kStrideSamples);
    EXPECT_TRUE(Applied(four, r) == audio_);

    const std::string five = Damaged({1, 4, 9, 17, 26}, 9);
    r = RepairFromParity(SumsOf(five), Entry(16), 0, Rows(8), 8);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.why.find("more damage than the parity can mend"), std::string::npos) << r.why;
    EXPECT_TRUE(r.fixes.empty());
    r = RepairFromParity(SumsOf(five), Entry(16), 0, Rows(16), 16);
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_TRUE(Applied(five, r) == audio_);

    // The same at an offset: the entry's audio lies 48 samples later than ours.
    const CtdbSums shifted = SumsOf(four);
    CtdbEntry e = Entry(8, "_48");
    // The parity rows of the shifted audio are what the rip's would be at that offset.
    const std::vector<std::uint16_t> rows = SumsOf(audio_).Syndromes(8, 48);
    r = RepairFromParity(shifted, e, 48, rows, 8);
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_TRUE(Applied(four, r) == audio_);

    // Nine damaged strides are beyond even 16 rows.
    r = RepairFromParity(SumsOf(Damaged({1, 3, 5, 7, 9, 11, 13, 15, 17}, 2)), Entry(16), 0,
                         Rows(16), 16);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.fixes.empty());
    // The first stride and the last laststride words are outside what the database checks.
    EXPECT_TRUE(CheckEntry(SumsOf(Damaged({0, 27}, 2)), Entry(8)).crcMatch);
}

TEST_F(CtdbReference, AWrongCorrectionTheSyndromesAcceptIsRefusedByTheCrc) {
    // Parity served for audio one word away from ours (position 3 of column 77) beside the CRC
    // of our audio: the decoder locates that word exactly, and the CRC refuses the "repair".
    std::string other = audio_;
    const std::uint64_t word = (26 - 3) * kStrideWords + 77;
    other[2 * word] = static_cast<char>(other[2 * word] ^ 0x34);
    other[2 * word + 1] = static_cast<char>(other[2 * word + 1] ^ 0x12);
    const CtdbSums ours = SumsOf(audio_), theirs = SumsOf(other);
    const std::vector<std::uint16_t> a = ours.Column(8, 77), b = theirs.Column(8, 77);
    std::vector<std::uint16_t> error(8);
    for (std::size_t k = 0; k < 8; ++k)
        error[k] = static_cast<std::uint16_t>(a[k] ^ b[k]);
    std::vector<ColumnError> found;
    ASSERT_TRUE(DecodeColumn(error.data(), 8, 26, found));
    EXPECT_EQ(found, (std::vector<ColumnError>{{3, 0x1234}}));

    const Repair r = RepairFromParity(ours, Entry(8), 0, theirs.Syndromes(8), 8);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.why.find("CRC differs"), std::string::npos) << r.why;
    EXPECT_TRUE(r.fixes.empty());
}

}  // namespace
