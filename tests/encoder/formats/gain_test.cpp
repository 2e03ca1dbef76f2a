// The loudness ledger a job keeps, the album the files of a batch share, and the loudness
// values written into MP3 and WMA files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include "encoder/job/album_gain.h"
#include "encoder/loudness/gain_tags.h"
#include "encoder/loudness/replay_gain.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;
using loudness::GainLedger;
using loudness::GainValues;

std::string Tone(std::uint32_t frames, double amplitude) {
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            PutLe(data,
                  static_cast<std::uint32_t>(static_cast<std::int32_t>(
                      std::lround(amplitude * 32767 * std::sin(2 * M_PI * 1000 * i / 44100)))),
                  2);
    return data;
}

class GainLedgerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "loud.wav", WaveWithData(2, 44100, 16, Tone(44100 * 2, 0.8)));
        WriteFile(dir / "quiet.wav", WaveWithData(2, 44100, 16, Tone(44100 * 2, 0.1)));
    }
    TempDir dir;
};

TEST_F(GainLedgerTest, TheAlbumHoldsOnlyTheKeptTracks) {
    GainLedger ledger;
    ASSERT_EQ(ledger.MeasureFile((dir / "loud.wav").string()), "");
    const std::optional<GainValues> loud = ledger.Track();
    ASSERT_TRUE(loud);
    EXPECT_NEAR(loud->peak, 0.8, 0.001);
    ledger.Keep("loud.mp3");
    ASSERT_EQ(ledger.MeasureFile((dir / "quiet.wav").string()), "");
    ASSERT_TRUE(ledger.Track());
    // A tone 18 dB louder measures 18 LU louder (to the meter's histogram steps).
    EXPECT_NEAR(loud->loudness - ledger.Track()->loudness, 20 * std::log10(8.0), 0.1);
    ledger.Drop();  // its file was not written
    ASSERT_TRUE(ledger.Album());
    EXPECT_DOUBLE_EQ(ledger.Album()->loudness, loud->loudness);
    EXPECT_EQ(ledger.Files(), std::vector<std::string>{"loud.mp3"});
    EXPECT_EQ(loudness::ReplayGainText(-23.456), "5.46 dB");
    EXPECT_EQ(loudness::PeakText(0.5), "0.500000");
}

TEST_F(GainLedgerTest, WhatCannotBeMeasuredHasNoValuesAndLeavesTheAlbumAlone) {
    WriteFile(dir / "silence.wav", WaveWithData(2, 44100, 16, std::string(44100 * 4, '\0')));
    WriteFile(dir / "text.wav", "not a wave file at all, only words");
    GainLedger ledger;
    EXPECT_EQ(ledger.MeasureFile((dir / "silence.wav").string()), "");
    EXPECT_FALSE(ledger.Track());  // too quiet to measure: no values, but no failure either
    EXPECT_NE(ledger.MeasureFile((dir / "text.wav").string()), "");
    EXPECT_NE(ledger.MeasureFile((dir / "missing.wav").string()), "");
    EXPECT_NE(ledger.MeasureFile((dir / "loud.wav").string(), [] { return true; }), "");
    EXPECT_FALSE(ledger.Album());
    // Nothing kept: no file is asked to take album values.
    int asked = 0;
    EXPECT_TRUE(ledger
                    .WriteAlbum([&](const std::string&, const loudness::GainTags&, std::string&) {
                        return ++asked > 0;
                    })
                    .empty());
    EXPECT_EQ(asked, 0);
}

TEST_F(GainLedgerTest, FilesHandingOverTheirLedgersInAnyOrderMakeTheAlbumOfOneJob) {
    GainLedger one;  // one job over both files
    ASSERT_EQ(one.MeasureFile((dir / "loud.wav").string()), "");
    one.Keep("a.flac");
    ASSERT_EQ(one.MeasureFile((dir / "quiet.wav").string()), "");
    one.Keep("b.flac");

    auto album = std::make_shared<encoder::SharedAlbum>();
    encoder::JobRequest file;
    file.batch = true;
    file.item.shared = album;
    // The second file ends first; the first still has a track open (its file was not written).
    GainLedger second, first;
    ASSERT_EQ(second.MeasureFile((dir / "quiet.wav").string()), "");
    second.Keep("b.flac");
    file.item.file = "b.wav", file.item.number = 2;
    EXPECT_TRUE(encoder::HandToAlbum(file, second));
    ASSERT_EQ(first.MeasureFile((dir / "loud.wav").string()), "");
    first.Keep("a.flac");
    ASSERT_EQ(first.MeasureFile((dir / "loud.wav").string()), "");
    file.item.file = "a.wav", file.item.number = 1;
    EXPECT_TRUE(encoder::HandToAlbum(file, first));
    EXPECT_TRUE(first.Files().empty());
    EXPECT_FALSE(first.Album());

    const std::unique_ptr<GainLedger> joined = album->Join();
    EXPECT_EQ(joined->Files(), (std::vector<std::string>{"a.flac", "b.flac"}));
    ASSERT_TRUE(joined->Album() && one.Album());
    EXPECT_NEAR(joined->Album()->loudness, one.Album()->loudness, 1e-9);
    EXPECT_DOUBLE_EQ(joined->Album()->peak, one.Album()->peak);
    EXPECT_TRUE(album->Join()->Files().empty());

    // A job that is no file of such a batch keeps its ledger and writes the album itself.
    encoder::JobRequest alone = file;
    alone.item.file.clear();
    EXPECT_FALSE(encoder::HandToAlbum(alone, one));
    file.item.shared.reset();
    EXPECT_FALSE(encoder::HandToAlbum(file, one));
    EXPECT_EQ(one.Files().size(), 2u);
}

// Three frames of an MPEG-1 layer III stream (128 kbit/s, 44.1 kHz, 417 bytes each).
std::string Frames() {
    std::string frame(417, '\0');
    frame[0] = '\xFF', frame[1] = '\xFB', frame[2] = '\x90', frame[3] = '\x64';
    return frame + frame + frame;
}

std::string Id3v1(const std::string& title) {
    std::string v1 = "TAG" + title;
    v1.resize(128, '\0');
    v1[127] = '\xFF';
    return v1;
}

TEST(GainTagsTest, Mp3ValuesReplaceTheirOwnFramesAndKeepEverythingElse) {
    TempDir dir;
    const sfs::path mp3 = dir / "a.mp3";
    WriteFile(mp3, Frames() + Id3v1("Old"));
    std::string error;
    ASSERT_TRUE(loudness::WriteGainTags(mp3.string(), loudness::GainContainer::Mp3,
                                        {{"REPLAYGAIN_TRACK_GAIN", "-1.00 dB"}}, error))
        << error;
    ASSERT_TRUE(loudness::WriteGainTags(
        mp3.string(), loudness::GainContainer::Mp3,
        {{"REPLAYGAIN_TRACK_GAIN", "-2.50 dB"}, {"REPLAYGAIN_ALBUM_GAIN", "-3.00 dB"}}, error))
        << error;
    const std::string bytes = ReadFile(mp3);
    // The audio and the version 1 record follow the new tag unchanged.
    const std::string rest = Frames() + Id3v1("Old");
    ASSERT_GT(bytes.size(), rest.size());
    EXPECT_EQ(bytes.compare(0, 3, "ID3"), 0);
    EXPECT_EQ(bytes.substr(bytes.size() - rest.size()), rest);
    TagLib::MPEG::File file(mp3.c_str());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->frameListMap()["TXXX"].size(), 2u);  // one frame per name
    auto* track = TagLib::ID3v2::UserTextIdentificationFrame::find(tag, "REPLAYGAIN_TRACK_GAIN");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->fieldList().back().to8Bit(), "-2.50 dB");
    EXPECT_EQ(tag->header()->majorVersion(), 4u);
}

TEST(GainTagsTest, AFileThatCannotTakeTheValuesStaysAsItWas) {
    TempDir dir;
    for (auto container : {loudness::GainContainer::Mp3, loudness::GainContainer::Wma}) {
        const sfs::path file = dir / "notes.txt";
        WriteFile(file, "only words, no audio");
        std::string error;
        EXPECT_FALSE(loudness::WriteGainTags(file.string(), container,
                                             {{"REPLAYGAIN_TRACK_GAIN", "1.00 dB"}}, error));
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
        EXPECT_EQ(ReadFile(file), "only words, no audio");
        // No temporary copy is left beside it.
        EXPECT_EQ(std::distance(sfs::directory_iterator(dir.path()), sfs::directory_iterator()), 1);
    }
    std::string error;
    EXPECT_FALSE(loudness::WriteGainTags((dir / "missing.mp3").string(),
                                         loudness::GainContainer::Mp3, {}, error));
}

}  // namespace
}  // namespace orvane::test
