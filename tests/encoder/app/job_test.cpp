#include "encoder/job/job.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "encoder/mp3/mp3_options.h"
#include "encoder/tags/file_names.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/wave_info.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::encoder {
namespace {

TEST(EncoderOptions, VectorKeepsEveryArgumentInPlace) {
    EncoderSettings s;
    s.mode = 2;
    s.bitrate = "128";
    s.quality = 1;
    EncoderCommandLine c = BuildEncoderCommandLine(s);
    c.sampleRate = SampleRateOption(44100);
    auto args = EncoderArguments("/opt/p/enc.dll", c, "/in/a b.wav", "/out/a.mp3");
    std::vector<std::string> want = {
        "/opt/p/enc.dll", "-mj",       "-b128", "-s44.10", "-p2", "-l3", "-dn", "", "", "", "-t",
        "/in/a b.wav",    "/out/a.mp3"};
    EXPECT_EQ(args, want);
    EXPECT_EQ(QuotedCommandLine(args),
              "\"/opt/p/enc.dll\" -mj -b128 -s44.10 -p2 -l3 -dn    -t \"/in/a b.wav\" "
              "\"/out/a.mp3\"");

    s = EncoderSettings{};
    s.layerIndex = 0;
    s.mode = 7;
    s.deEmphasis = 2;
    s.copyrighted = s.original = s.errorProtection = 1;
    s.quality = 0;
    s.bitrate = "32";
    c = BuildEncoderCommandLine(s);
    EXPECT_EQ(c.mode, "-ms");
    EXPECT_EQ(c.layer, "-l1");
    EXPECT_EQ(c.psyModel, "-p1");
    EXPECT_EQ(c.deEmphasis, "-dc");
    EXPECT_EQ(c.copyrighted + c.original + c.errorProtection, "-c-o-e");
    EXPECT_EQ(c.speed, "");
    EXPECT_EQ(DeEmphasisOption(1), "-d5");
    EXPECT_EQ(DeEmphasisOption(9), "-dn");
    EXPECT_EQ(ModeOption(1), "-md");
    EXPECT_EQ(ModeOption(3), "-mm");
    EXPECT_EQ(DecoderArguments("dec.dll", "a.mp3", "a.wav"),
              (std::vector<std::string>{"dec.dll", "a.mp3", "a.wav"}));
}

TEST(EncoderOptions, SampleRatesInKilohertz) {
    EXPECT_EQ(SampleRateOption(44100), "-s44.10");
    EXPECT_EQ(SampleRateOption(22050), "-s22.05");
    EXPECT_EQ(SampleRateOption(8000), "-s8.00");
    EXPECT_EQ(SampleRateOption(48000), "-s48.00");
}

TEST(EncoderOptions, ChildProgramIsInTheProgramFolder) {
    EXPECT_EQ(ChildProgram("/opt/orvane/", "enc.dll"), "/opt/orvane/enc.dll");
    EXPECT_EQ(ChildProgram("", "enc.dll"), "enc.dll");
}

class WaveFile : public ::testing::Test {
protected:
    WaveInfo Read(const std::string& bytes) {
        test::WriteFile(dir / "w.wav", bytes);
        int fd = ::open((dir / "w.wav").c_str(), O_RDONLY);
        WaveInfo info = ReadWaveInfo(fd, static_cast<std::int64_t>(bytes.size()));
        ::close(fd);
        return info;
    }
    test::TempDir dir;
};

TEST_F(WaveFile, CanonicalHeaderFeedsFromItsFirstSampleToTheEndOfTheData) {
    WaveInfo w = Read(test::CanonicalWave(2, 44100, 16, 1000) + "LIST\4\0\0\0junk");
    EXPECT_TRUE(w.isWave);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 44100u);
    EXPECT_EQ(w.bitsPerSample, 16);
    EXPECT_TRUE(w.formatBeforeData);
    EXPECT_TRUE(w.pcm);
    EXPECT_EQ(w.dataStart, 44);  // no sample is left out
    EXPECT_EQ(w.dataEnd, 1044);  // the trailing chunk is not sound
}

TEST_F(WaveFile, ExtraChunksFeedExactlyTheDataChunk) {
    std::string canonical = test::CanonicalWave(1, 22050, 16, 400);
    // Insert a LIST chunk between "fmt " and "data".
    std::string list = "LIST";
    test::PutLe(list, 10, 4);
    list += "0123456789";
    std::string bytes = canonical.substr(0, 36) + list + canonical.substr(36);
    WaveInfo w = Read(bytes);
    EXPECT_TRUE(w.isWave);
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(w.dataStart, 36 + 18 + 8);
    EXPECT_EQ(w.dataEnd, 36 + 18 + 8 + 400);

    // A data size beyond the file ends at the file's end.
    WaveInfo big = Read(test::CanonicalWave(2, 44100, 16, 100, 5000));
    EXPECT_EQ(big.dataEnd, 144);

    // A size of 0, as a recorder that never finished leaves it, means the rest of the file,
    // in the canonical header and behind other chunks.
    WaveInfo unfinished = Read(test::CanonicalWave(2, 44100, 16, 1000, 0));
    EXPECT_EQ(unfinished.dataStart, 44);
    EXPECT_EQ(unfinished.dataEnd, 1044);
    std::string zero = bytes;
    zero[36 + 18 + 4] = zero[36 + 18 + 5] = 0;  // the data chunk's size, 400 = 0x190
    WaveInfo behind = Read(zero);
    EXPECT_EQ(behind.dataEnd, static_cast<std::int64_t>(zero.size()));
}

TEST_F(WaveFile, TellsSamplesThatAreNoIntegerPcmBehindAWholeFormatChunk) {
    const std::string canonical = test::CanonicalWave(2, 44100, 16, 400);
    std::string floats = canonical;
    floats[20] = 3;
    EXPECT_FALSE(Read(floats).pcm);
    // The extensible format: PCM only when its sub-format says so.
    auto extensible = [&](int subTag) {
        std::string fmt = canonical.substr(20, 16);
        fmt.replace(0, 2, "\xFE\xFF");
        fmt += std::string("\x16\0\x10\0\x03\0\0\0", 8);
        test::PutLe(fmt, static_cast<std::uint32_t>(subTag), 2);
        fmt += std::string(14, '\x01');
        return canonical.substr(0, 16) + std::string("\x28\0\0\0", 4) + fmt + canonical.substr(36);
    };
    WaveInfo pcm = Read(extensible(1));
    EXPECT_TRUE(pcm.pcm && pcm.formatBeforeData);
    EXPECT_EQ(pcm.dataStart, 12 + 8 + 40 + 8);
    EXPECT_FALSE(Read(extensible(3)).pcm);
    // A format chunk of 14 bytes, and samples before the format.
    std::string shortFormat = canonical.substr(0, 16) + std::string("\x0E\0\0\0", 4) +
                              canonical.substr(20, 14) + canonical.substr(36);
    EXPECT_FALSE(Read(shortFormat).formatBeforeData);
    std::string dataFirst =
        canonical.substr(0, 12) + canonical.substr(36) + canonical.substr(12, 24);
    EXPECT_FALSE(Read(dataFirst).formatBeforeData);

    // What the encoders cannot take from a PCM file, said with the figures.
    WaveInfo w = Read(canonical);
    EXPECT_EQ(WaveSampleProblem(w), "");
    w.sampleRate = 1;
    EXPECT_EQ(WaveSampleProblem(w),
              "Error: The WAV file's sample rate of 1 Hz cannot be encoded; 1000 to 192000 Hz "
              "can.");
    w.sampleRate = 4294967295u;
    EXPECT_NE(WaveSampleProblem(w).find("of 4294967295 Hz"), std::string::npos);
    w.sampleRate = 192000;
    w.channels = 6;
    EXPECT_EQ(WaveSampleProblem(w), "Error: The WAV file has 6 channels; 1 or 2 can be encoded.");
}

TEST(Paths, TooLongPathsAreNamedWithTheLimit) {
    std::string name(255, 'a');
    EXPECT_EQ(PathLengthProblem("/music/" + name), "");
    EXPECT_NE(PathLengthProblem("/music/" + name + ".wav")
                  .find("is 259 bytes long; the system allows 255 bytes for a name"),
              std::string::npos);
    // The name in the message is cut between characters, never inside one.
    std::string song = "a";
    for (int i = 0; i < 100; ++i)
        song += "\u6b4c";
    std::string shown = "a";
    for (int i = 0; i < 19; ++i)
        shown += "\u6b4c";
    EXPECT_NE(PathLengthProblem("/x/" + song).find("The name " + shown + "... is 301 bytes"),
              std::string::npos);
    std::string deep;
    while (deep.size() <= kMaxPathBytes)
        deep += "/folder";
    EXPECT_NE(PathLengthProblem(deep).find("the system allows 4095 bytes"), std::string::npos);
}

TEST_F(WaveFile, ChecksLookOnlyAtTheTwoLettersAndTheZeroedHeader) {
    EXPECT_FALSE(Read("").isWave);
    EXPECT_FALSE(Read("ID3 garbage that is long enough to fill a header, really").isWave);
    // "R" at 0 and "W" at 8 in a short file: a WAVE with 0 bits per sample.
    WaveInfo shortOne = Read("RIFF....WAVE");
    EXPECT_TRUE(shortOne.isWave);
    EXPECT_EQ(shortOne.bitsPerSample, 0);
    EXPECT_EQ(Read(test::CanonicalWave(2, 44100, 8, 100)).bitsPerSample, 8);
    EXPECT_EQ(Read(test::CanonicalWave(2, 44100, 24, 120)).bitsPerSample, 24);
}

TEST(CdTrackName, JoinsArtistAndTitleAndCleansTheName) {
    EXPECT_EQ(CdTrackFileName("/m", "Band", "Song", 1), "/m/Band - Song.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "X", "Song", 1), "/m/XSong.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "", "Song", 1), "/m/Song.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "A:B", "c\\d/e*f?g\"h<i>j|k", 1),
              "/m/A-B - c-d-efg'h-i-j-k.MP3");
    std::string longTitle(100, 't');
    std::string name = CdTrackFileName("/m/", "AB", longTitle, 1);
    EXPECT_EQ(name, "/m/AB - " + std::string(60, 't') + ".MP3");
    // Characters, not bytes, are counted.
    std::string accented;
    for (int i = 0; i < 70; ++i)
        accented += "é";
    std::string cut = CdTrackFileName("/m/", "", accented, 1);
    EXPECT_EQ(cut.size(), 3 + 65 * 2 + 4);
}

TEST(CdTrackName, NamesThatWouldLeaveTheFolderGetASafeName) {
    EXPECT_EQ(CdTrackFileName("/m/", "", "", 3), "/m/Track3.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "", "..", 4), "/m/Track4.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "", "*?", 5), "/m/Track5.MP3");
    EXPECT_EQ(CdTrackFileName("/m/", "..", "/etc/passwd", 6), "/m/.. - -etc-passwd.MP3");
}

TEST(Paths, SplitAndMatch) {
    EXPECT_EQ(DriveAndDirectory("/a/b/c.wav"), "/a/b/");
    EXPECT_EQ(DriveAndDirectory("c.wav"), "");
    EXPECT_EQ(BaseName("/a/b/song.test.wav"), "song.test");
    EXPECT_EQ(BaseName("/a/.hidden"), ".hidden");
    EXPECT_EQ(WithTrailingSlash("/a/"), "/a/");
    EXPECT_TRUE(WildcardMatch("*.WAV", "song.wav"));
    EXPECT_TRUE(WildcardMatch("*.WAV", "Song.Wav"));
    EXPECT_FALSE(WildcardMatch("*.WAV", "song.wave"));
    EXPECT_FALSE(WildcardMatch("*.WAV", "song.mp3"));
    EXPECT_TRUE(WildcardMatch("a?c*", "abcdef"));
}

TEST(Paths, FindFilesIsCaseInsensitiveAndSkipsFolders) {
    test::TempDir dir;
    test::WriteFile(dir / "b.WAV", "x");
    test::WriteFile(dir / "a.wav", "x");
    test::WriteFile(dir / "C.Wav", "x");
    test::WriteFile(dir / "d.mp3", "x");
    std::filesystem::create_directory(dir / "e.wav");
    EXPECT_EQ(FindFiles(dir.path().string(), "*.WAV"),
              (std::vector<std::string>{"a.wav", "b.WAV", "C.Wav"}));
    EXPECT_TRUE(FindFiles((dir / "none").string(), "*.WAV").empty());
}

TEST(Paths, OutputFolderAndSameFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "out");
    EXPECT_EQ(OutputFolderOf((dir / "out").string()), (dir / "out").string() + "/");
    EXPECT_EQ(OutputFolderOf("/x/y/"), "/x/y/");
    // A folder that is not there yet is still the folder, never the one above it.
    EXPECT_EQ(OutputFolderOf("/x/y/NewAlbum"), "/x/y/NewAlbum/");
    EXPECT_EQ(OutputFolderOf(""), "");
    test::WriteFile(dir / "f.wav", "x");
    EXPECT_TRUE(SameFile((dir / "f.wav").string(), (dir / "out/../f.wav").string()));
    EXPECT_FALSE(SameFile((dir / "f.wav").string(), (dir / "g.wav").string()));
    test::WriteFile(dir / "g.wav", "y");
    EXPECT_FALSE(RenameNoReplace((dir / "f.wav").string(), (dir / "g.wav").string()));
    EXPECT_EQ(test::ReadFile(dir / "g.wav"), "y");
    EXPECT_TRUE(RenameNoReplace((dir / "f.wav").string(), (dir / "h.wav").string()));
}

TEST(Paths, AFileMovedToATakenNameGetsTheNextNumberAndReplacesNothing) {
    test::TempDir dir;
    const std::string stem = (dir / "Band - Song").string();
    EXPECT_EQ(NumberedName(stem, ".MP3", 1), stem + ".MP3");
    EXPECT_EQ(NumberedName(stem, ".MP3", 3), stem + " (3).MP3");
    test::WriteFile(dir / "Band - Song.MP3", "the user's");
    test::WriteFile(dir / "Band - Song (2).MP3", "an earlier rip");
    test::WriteFile(dir / "a", "new audio");
    test::WriteFile(dir / "b", "more audio");
    std::string error;
    EXPECT_EQ(MoveToFreeName((dir / "a").string(), stem, ".MP3", error), stem + " (3).MP3");
    EXPECT_EQ(MoveToFreeName((dir / "b").string(), (dir / "Other").string(), ".MP3", error),
              (dir / "Other.MP3").string());
    EXPECT_EQ(test::ReadFile(dir / "Band - Song.MP3"), "the user's");
    EXPECT_EQ(test::ReadFile(dir / "Band - Song (2).MP3"), "an earlier rip");
    EXPECT_EQ(test::ReadFile(dir / "Band - Song (3).MP3"), "new audio");
    EXPECT_EQ(test::ReadFile(dir / "Other.MP3"), "more audio");
    // A file that cannot be moved stays, and the reason is told.
    EXPECT_EQ(MoveToFreeName((dir / "gone").string(), stem, ".MP3", error), "");
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::encoder
