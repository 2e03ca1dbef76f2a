// The tags of plimo-job's MP3 outputs as independent readers see them: the ID3v2.4 tag before
// the audio with the full texts, the ID3v1 record at the end exactly as without it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

std::string Tone() {
    std::string data;
    for (int i = 0; i < 22050; ++i)
        for (int ch = 0; ch < 2; ++ch)
            PutLe(data, static_cast<std::uint16_t>(8000 * std::sin(i * 0.06)), 2);
    return WaveWithData(2, 44100, 16, data);
}

// What a shell command printed on its standard output.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    ::pclose(pipe);
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string kTitle =
    "\u03a9\u03bc\u03ad\u03b3\u03b1 \u2014 a title well over thirty "
    "characters";
const std::string kArtist = "\u0410\u0440\u0442\u0438\u0441\u0442";
const std::string kAlbum = "\u30a2\u30eb\u30d0\u30e0 Long Album Name Beyond Thirty";

class PlimoJobTagsTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(dir / "in.wav", Tone()); }
    ProgramResult Encode(std::vector<std::string> args, const std::string& out) {
        args.push_back((dir / "in.wav").string());
        args.push_back((dir / out).string());
        return RunDistProgram("plimo-job", args);
    }
    std::vector<std::string> TagArgs() const {
        return {"--title",      kTitle,           "--artist",
                kArtist,        "--album",        kAlbum,
                "--year",       "1999",           "--comment",
                "Remastered",   "--genre",        "17",
                "--track",      "3/12",           "--disc",
                "1/2",          "--album-artist", "Various Artists",
                "--genre-text", "Art Rock"};
    }
    TempDir dir;
};

TEST_F(PlimoJobTagsTest, EveryReaderSeesTheFullTextsAndTheAudioAndId3v1StayAsTheyWere) {
    ProgramResult run = Encode(TagArgs(), "tagged.mp3");
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<std::string> plain = TagArgs();
    plain.insert(plain.begin(), "--no-id3v2");
    ASSERT_EQ(Encode(plain, "plain.mp3").status, 0);

    const std::string tagged = ReadFile(dir / "tagged.mp3");
    const std::string without = ReadFile(dir / "plain.mp3");
    ASSERT_GT(without.size(), 1000u);
    EXPECT_NE(without.substr(0, 3), "ID3");
    // The tag goes before the audio; everything after it, the ID3v1 record included, is the
    // byte-for-byte output of a run without it.
    ASSERT_EQ(tagged.substr(0, 4), std::string("ID3\x04", 4));
    ASSERT_GT(tagged.size(), without.size());
    EXPECT_EQ(tagged.substr(tagged.size() - without.size()), without);
    EXPECT_EQ(without.substr(without.size() - 128, 3), "TAG");

    const std::string path = (dir / "tagged.mp3").string();
    const std::string mutagen = Output(
        "/usr/bin/python3 -c 'import sys, mutagen.id3 as m\n"
        "t = m.ID3(sys.argv[1], translate=False)\n"
        "print(t.version)\n"
        "for k in sorted(t.keys()): print(k, \"=\", t[k].text[0] if hasattr(t[k], \"text\") "
        "else \"\")' " +
        path);
    for (const std::string& line :
         {std::string("(2, 4, 0)"), "TIT2 = " + kTitle, "TPE1 = " + kArtist, "TALB = " + kAlbum,
          std::string("TPE2 = Various Artists"), std::string("TDRC = 1999"),
          std::string("TRCK = 3/12"), std::string("TPOS = 1/2"), std::string("TCON = Art Rock"),
          std::string("COMM::eng = Remastered")})
        EXPECT_TRUE(Contains(mutagen, line + "\n")) << line << "\n" << mutagen;

    const std::string eyed3 = Output("eyeD3 --no-color " + path + " 2>&1");
    EXPECT_TRUE(Contains(eyed3, "ID3 v2.4")) << eyed3;
    EXPECT_TRUE(Contains(eyed3, "title: " + kTitle)) << eyed3;
    EXPECT_TRUE(Contains(eyed3, "track: 3/12")) << eyed3;

    const std::string probe =
        Output("ffprobe -v error -show_entries format_tags -of default=nw=1 " + path);
    for (const std::string& line :
         {"TAG:title=" + kTitle, "TAG:artist=" + kArtist, "TAG:album=" + kAlbum,
          std::string("TAG:album_artist=Various Artists"), std::string("TAG:track=3/12"),
          std::string("TAG:disc=1/2"), std::string("TAG:genre=Art Rock"),
          std::string("TAG:date=1999")})
        EXPECT_TRUE(Contains(probe, line + "\n")) << line << "\n" << probe;
    // The audio still decodes whole.
    ProgramResult back =
        RunDistProgram("plimo-job", {"--decode", path, (dir / "back.wav").string()});
    EXPECT_EQ(back.status, 0) << back.output;
}

TEST_F(PlimoJobTagsTest, Id3v2FieldsFallBackToTheRecordAndBadNumbersAreRefused) {
    // Without --genre-text the genre is the name of the ID3v1 code, so both tags agree.
    ASSERT_EQ(Encode({"--title", "Short", "--genre", "17"}, "a.mp3").status, 0);
    const std::string probe = Output(
        "ffprobe -v error -show_entries format_tags -of "
        "default=nw=1 " +
        (dir / "a.mp3").string());
    EXPECT_TRUE(Contains(probe, "TAG:genre=Rock\n")) << probe;
    EXPECT_TRUE(Contains(probe, "TAG:title=Short\n")) << probe;
    // No tag options: no tag of either kind, as before.
    ASSERT_EQ(Encode({}, "b.mp3").status, 0);
    const std::string untagged = ReadFile(dir / "b.mp3");
    EXPECT_NE(untagged.substr(0, 3), "ID3");
    EXPECT_NE(untagged.substr(untagged.size() - 128, 3), "TAG");

    for (const char* bad : {"0", "3/", "/12", "x", "3/0", "-1", "3/12/1"}) {
        ProgramResult r = Encode({"--track", bad}, "c.mp3");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_FALSE(fs::exists(dir / "c.mp3")) << bad;
    }
}

}  // namespace
}  // namespace orvane::test
