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
#include "tests/encoder/coverart/test_images.h"

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

// An Ogg file with its stream's serial number (random in every run) and the pages' checksums
// that cover it zeroed; any other file as it is.
std::string WithoutSerials(std::string bytes) {
    for (std::size_t at = 0; at + 27 <= bytes.size() && bytes.compare(at, 4, "OggS") == 0;) {
        const std::size_t segments = static_cast<unsigned char>(bytes[at + 26]);
        if (at + 27 + segments > bytes.size()) break;
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i)
            body += static_cast<unsigned char>(bytes[at + 27 + i]);
        bytes.replace(at + 14, 4, 4, '\0');
        bytes.replace(at + 22, 4, 4, '\0');
        at += 27 + segments + body;
    }
    return bytes;
}

// The front picture each format's readers find: what --cover names, its bytes unchanged, as a
// front cover (type 3) with its MIME type (and for FLAC and Opus its size and depth). Read by
// mutagen, metaflac, opusinfo and ffprobe, not by our own code.
TEST_F(PlimoJobTagsTest, EveryFormatCarriesTheCoverAsItsOwnReadersSeeIt) {
    const std::string jpeg = TestJpeg(40, 30), png = TestPng(20, 10);
    WriteFile(dir / "front.jpg", jpeg);
    WriteFile(dir / "front.png", png);
    // The picture as mutagen reads it: "count type mime width x height x depth", its bytes
    // into picture.out.
    const std::string out = (dir / "picture.out").string();
    auto mutagen = [&](const std::string& file) {
        return Output(
            "/usr/bin/python3 -c 'import sys, base64, struct, mutagen\n"
            "from mutagen.flac import Picture\n"
            "p = sys.argv[1]; f = mutagen.File(p)\n"
            "if p.endswith(\".mp3\"):\n"
            "    a = f.tags.getall(\"APIC\"); n = len(a); t, m, d, s = a[0].type, a[0].mime, "
            "a[0].data, \"\"\n"
            "elif p.endswith(\".wma\"):\n"
            "    v = f.tags[\"WM/Picture\"]; n = len(v); b = v[0].value; t = b[0]\n"
            "    size = struct.unpack(\"<I\", b[1:5])[0]; r = b[5:].decode(\"latin-1\")\n"
            "    end = r.find(\"\\0\\0\\0\", 0) + 1; m = b[5:5 + end].decode(\"utf-16-le\")\n"
            "    d = b[-size:]; s = \"\"\n"
            "else:\n"
            "    pics = f.pictures if p.endswith(\".flac\") else [Picture(base64.b64decode(x)) "
            "for x in f[\"metadata_block_picture\"]]\n"
            "    n = len(pics); q = pics[0]; t, m, d = q.type, q.mime, q.data\n"
            "    s = \" %dx%dx%d\" % (q.width, q.height, q.depth)\n"
            "open(sys.argv[2], \"wb\").write(d)\n"
            "print(n, int(t), m + s)' " +
            (dir / file).string() + " " + out);
    };
    struct Case {
        std::vector<std::string> kind;
        std::string file, cover, seen;
    };
    const Case cases[] = {
        {{}, "a.mp3", "front.jpg", "1 3 image/jpeg\n"},
        {{"--flac"}, "a.flac", "front.png", "1 3 image/png 20x10x32\n"},
        {{"--opus"}, "a.opus", "front.jpg", "1 3 image/jpeg 40x30x24\n"},
        {{"--wma"}, "a.wma", "front.jpg", "1 3 image/jpeg\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.kind;
        for (const char* a : {"--title", "Covered", "--cover"})
            args.push_back(a);
        args.push_back((dir / c.cover).string());
        ProgramResult run = Encode(args, c.file);
        ASSERT_EQ(run.status, 0) << c.file << "\n" << run.output;
        EXPECT_EQ(mutagen(c.file), c.seen) << c.file;
        EXPECT_TRUE(ReadFile(out) == ReadFile(dir / c.cover)) << c.file;
        // FFmpeg shows it as an attached picture stream (Ogg Opus pictures it does not map).
        if (c.file != "a.opus") {
            const std::string probe = Output(
                "ffprobe -v error -show_entries stream=codec_name:stream_disposition=attached_pic "
                "-of csv=p=0 " +
                (dir / c.file).string());
            EXPECT_TRUE(Contains(probe, c.cover == "front.png" ? "png,1" : "mjpeg,1"))
                << c.file << "\n"
                << probe;
        }
    }
    const std::string flac = (dir / "a.flac").string();
    Output("metaflac --export-picture-to=" + (dir / "exported").string() + " " + flac);
    EXPECT_TRUE(ReadFile(dir / "exported") == png);
    const std::string listed = Output("metaflac --list --block-type=PICTURE " + flac);
    for (const char* line : {"type: 3 (Cover (front))", "MIME type: image/png", "width: 20",
                             "height: 10", "depth: 32"})
        EXPECT_TRUE(Contains(listed, line)) << line << "\n" << listed;
    const std::string opus = Output("opusinfo " + (dir / "a.opus").string());
    EXPECT_TRUE(Contains(opus, "METADATA_BLOCK_PICTURE=3|image/jpeg||40x30x24|<" +
                                   std::to_string(jpeg.size()) + " bytes of image data>"))
        << opus;

    // Without ID3v2 an MP3 carries no picture; a refused image is said and changes nothing:
    // the files are those of a run without --cover, byte for byte.
    ASSERT_EQ(
        Encode({"--no-id3v2", "--title", "T", "--cover", (dir / "front.jpg").string()}, "v1.mp3")
            .status,
        0);
    EXPECT_NE(ReadFile(dir / "v1.mp3").substr(0, 3), "ID3");
    WriteFile(dir / "page.jpg", "<html><body>not an image</body></html>");
    for (const std::vector<std::string>& kind :
         {std::vector<std::string>{}, {"--flac"}, {"--opus"}, {"--wma"}}) {
        std::vector<std::string> plain = kind;
        plain.push_back("--title");
        plain.push_back("T");
        std::vector<std::string> refused = plain;
        refused.push_back("--cover");
        refused.push_back((dir / "page.jpg").string());
        ASSERT_EQ(Encode(plain, "plain.out").status, 0);
        ProgramResult run = Encode(refused, "refused.out");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(Contains(run.output, "no front picture: " + (dir / "page.jpg").string() +
                                             ": not a JPEG or PNG image"))
            << run.output;
        EXPECT_TRUE(WithoutSerials(ReadFile(dir / "refused.out")) ==
                    WithoutSerials(ReadFile(dir / "plain.out")))
            << (kind.empty() ? "mp3" : kind[0]);
    }
}

}  // namespace
}  // namespace orvane::test
