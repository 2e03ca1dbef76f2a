// Library conversion end to end: a small library of every kind of input, made by FFmpeg's tool
// and tagged by metaflac, converted by plimo-job --library and read back with ffprobe, metaflac
// and mutagen.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "encoder/library/pcm_stream.h"
#include "encoder/library/source_tags.h"
#include "support/temp_dir.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;

ProgramResult Sh(const std::string& command) { return RunShell(command); }

std::string Q(const sfs::path& p) { return test::ShellQuote(p.string()); }

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The tracks a disc image and its cue sheet split into, and their lengths in samples.
constexpr const char* kImageTracks[] = {"Image/01 - First - One", "Image/02 - Second",
                                        "Image/03 - Third"};
constexpr std::size_t kImageFrames[] = {15 * 588, 16 * 588, 26460 - 31 * 588};

constexpr const char* kTitle =
    "T\xC3\xAF"
    "tle \xE2\x98\x83 \xE6\x9D\xB1\xE4\xBA\xAC";  // "Tïtle ☃ 東京"

// What mutagen reads of a file: "length", "channels", "pictures" and every tag as
// "tag:<lower-case name>".
std::map<std::string, std::string> Mutagen(const sfs::path& file) {
    static const char* kScript =
        "import sys, mutagen\n"
        "p = sys.argv[1]\n"
        "f = mutagen.File(p, easy=True)\n"
        "print('length=%.6f' % f.info.length)\n"
        "print('channels=%d' % f.info.channels)\n"
        "for k in sorted((f.tags or {}).keys()):\n"
        "    print('tag:%s=%s' % (k.lower(), '|'.join(str(v) for v in f.tags[k])))\n"
        "g = mutagen.File(p)\n"
        "n = len(getattr(g, 'pictures', []))\n"
        "if g.tags is not None and hasattr(g.tags, 'getall'): n += len(g.tags.getall('APIC'))\n"
        "elif g.tags is not None and 'metadata_block_picture' in g.tags:\n"
        "    n += len(g.tags['metadata_block_picture'])\n"
        "elif g.tags is not None and 'WM/Picture' in g.tags:\n"
        "    n += len(g.tags['WM/Picture'])\n"
        "    import hashlib\n"
        "    b = g.tags['WM/Picture'][0].value\n"
        "    at, mime = 5, b''\n"
        "    while b[at:at + 2] != b'\\0\\0': mime += b[at:at + 2]; at += 2\n"
        "    at += 2\n"
        "    while b[at:at + 2] != b'\\0\\0': at += 2\n"
        "    print('wma_picture=%d %s %s' % (b[0], mime.decode('utf-16-le'),\n"
        "          hashlib.md5(b[at + 2:]).hexdigest()))\n"
        "print('pictures=%d' % n)\n";
    ProgramResult r = Sh("/usr/bin/python3 -c \"$(printf '%s' " + Q(kScript) + ")\" " + Q(file));
    std::map<std::string, std::string> values;
    std::size_t at = 0;
    while (at < r.output.size()) {
        std::size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(at, end - at);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    EXPECT_EQ(r.status, 0) << file << r.output;
    return values;
}

// The samples FFmpeg's tool decodes from a file, as 32-bit integers (or 64-bit floats).
std::string Decoded(const sfs::path& file, const char* format = "s32le") {
    return Sh("ffmpeg -v quiet -i " + Q(file) + " -f " + format + " -").output;
}

std::string Metaflac(const sfs::path& file, const std::string& what) {
    return Sh("metaflac --show-" + what + " " + Q(file)).output;
}

// Inode and modification time of every file below root: what a rewrite changes.
std::map<std::string, std::pair<ino_t, long long>> Stamps(const sfs::path& root) {
    std::map<std::string, std::pair<ino_t, long long>> stamps;
    for (const std::string& rel : test::FilesBelow(root)) {
        struct stat info {};
        ::stat((root / rel).c_str(), &info);
        stamps[rel] = {info.st_ino, info.st_mtim.tv_sec * 1000000000ll + info.st_mtim.tv_nsec};
    }
    return stamps;
}

// The library: its good files, how long each is (seconds) and at which rate, made once.
struct Source {
    std::string rel;
    double seconds;
    int channels;
    bool lossless;
};

class LibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const sfs::path in = dir_->path() / "in";
        sfs::create_directories(in / "Album" / "Disc 2");
        sfs::create_directories(in / "Other");
        sfs::create_directories(in / "Image");
        auto make = [&](const std::string& lavfi, const std::string& args, const std::string& rel) {
            ProgramResult r =
                Sh("ffmpeg -v error -y -f lavfi -i '" + lavfi + "' " + args + " " + Q(in / rel));
            ASSERT_EQ(r.status, 0) << rel << r.output;
        };
        make("color=c=red:s=8x8:d=1", "-frames:v 1", "Album/cover.png");
        // A picture kept beside files that hold none of their own.
        make("color=c=green:s=12x10:d=1", "-frames:v 1", "Album/Disc 2/Front.PNG");
        make("sine=f=440:r=44100:d=0.5", "-ac 2 -c:a flac", "Album/01 one.flac");
        make("anoisesrc=d=0.25:c=white:r=96000:a=0.5", "-ac 2 -c:a flac -sample_fmt s32",
             "Album/Disc 2/hi.flac");
        make("anoisesrc=d=0.2:c=pink:r=48000:a=0.5", "-ac 6 -c:a pcm_f32le",
             "Album/Disc 2/surround.wav");
        make("sine=f=330:r=44100:d=0.3", "-ac 2 -c:a alac", "Other/alac.m4a");
        make("sine=f=330:r=44100:d=0.3", "-ac 1 -c:a libmp3lame -b:a 96k", "Other/lossy.mp3");
        make("sine=f=330:r=44100:d=0.3", "-ac 2 -c:a wavpack", "Other/wv.wv");
        make("sine=f=330:r=44100:d=0.3", "-ac 2 -c:a tta", "Other/t.tta");
        make("sine=f=330:r=32000:d=0.3", "-ac 2 -c:a pcm_s24be", "Other/w.aiff");
        make("sine=f=330:r=48000:d=0.3", "-ac 2 -c:a libopus", "Other/o.opus");
        make("color=c=black:s=16x16:d=0.1", "-c:v mpeg4", "Other/noaudio.m4a");
        make("anoisesrc=d=0.6:c=white:r=44100:a=0.3", "-ac 2 -c:a flac", "Image/image.flac");
        // A sheet as other rippers write them: Windows-1252 text, CR LF, a pregap (INDEX 00).
        WriteFile(in / "Image" / "image.cue",
                  "REM GENRE Jazz\r\nREM DATE 1999\r\nPERFORMER \"Band\"\r\n"
                  "TITLE \"Live \xe9t\xe9\"\r\nFILE \"image.flac\" WAVE\r\n"
                  "  TRACK 01 AUDIO\r\n    TITLE \"First / One\"\r\n    INDEX 01 00:00:00\r\n"
                  "  TRACK 02 AUDIO\r\n    TITLE \"Second\"\r\n    PERFORMER \"Guest\"\r\n"
                  "    INDEX 00 00:00:10\r\n    INDEX 01 00:00:15\r\n"
                  "  TRACK 03 AUDIO\r\n    TITLE \"Third\"\r\n    INDEX 01 00:00:31\r\n");
        WriteFile(in / "Other" / "broken.flac", "fLaC" + std::string(3000, '\x5a'));
        sfs::copy_file(in / "Album" / "01 one.flac", in / ".hidden.flac");
        sfs::create_directory_symlink(in / "Album", in / "Linked");
        // The tags are another program's, with a field nobody knows and a loudness value.
        const std::string tags[] = {std::string("TITLE=") + kTitle,
                                    "ARTIST=The Artist",
                                    "ALBUM=The Album",
                                    "ALBUMARTIST=Various",
                                    "TRACKNUMBER=3",
                                    "TRACKTOTAL=12",
                                    "DISCNUMBER=1",
                                    "DISCTOTAL=2",
                                    "DATE=2001-05-06",
                                    "GENRE=Rock",
                                    "COMPOSER=Some Composer",
                                    "ISRC=USRC17607839",
                                    "MUSICBRAINZ_ALBUMID=9e8b4bb4-2a9c-4d26-9f0b-6b0f1a1b4e11",
                                    "MUSICBRAINZ_TRACKID=0b6a6a1c-0f54-4b70-8f6c-2c7f1f7e3a22",
                                    "REPLAYGAIN_TRACK_GAIN=-3.00 dB",
                                    "SOMETHINGELSE=x"};
        std::string cmd = "metaflac --remove-all-tags";
        for (const std::string& t : tags)
            cmd += " --set-tag=" + Q(t);
        cmd += " --import-picture-from=" + Q("3||||" + (in / "Album" / "cover.png").string());
        ASSERT_EQ(Sh(cmd + " " + Q(in / "Album" / "01 one.flac")).status, 0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static sfs::path In() { return dir_->path() / "in"; }

    static const std::vector<Source>& Sources() {
        static const std::vector<Source> sources = {
            {"Album/01 one.flac", 0.5, 2, true},
            {"Album/Disc 2/hi.flac", 0.25, 2, true},
            {"Album/Disc 2/surround.wav", 0.2, 6, true},
            {"Other/alac.m4a", 0.3, 2, true},
            {"Other/lossy.mp3", 0.3, 1, false},
            {"Other/wv.wv", 0.3, 2, true},
            {"Other/t.tta", 0.3, 2, true},
            {"Other/w.aiff", 0.3, 2, true},
            {"Other/o.opus", 0.3, 2, false},
        };
        return sources;
    }

    static std::string WithExtension(const std::string& rel, const std::string& ext) {
        return rel.substr(0, rel.rfind('.')) + ext;
    }

    ProgramResult Convert(const std::vector<std::string>& args, const sfs::path& out,
                          const sfs::path& in = In(), const std::string& shellSetup = {}) {
        std::vector<std::string> all = {"--library"};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(in.string());
        all.push_back(out.string());
        return RunDistProgram("plimo-job", all, shellSetup);
    }

    // The bad files are named with FFmpeg's reasons, the run fails, and exactly the good files
    // are in the mirrored tree under their new extension.
    void ExpectTree(const ProgramResult& r, const sfs::path& out, const std::string& ext,
                    const std::set<std::string>& extra = {}) {
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(Contains(r.output,
                             "Other/broken.flac: Error: FFmpeg cannot open it: Invalid "
                             "data found when processing input"))
            << r.output;
        EXPECT_TRUE(Contains(r.output, "Other/noaudio.m4a: Error: FFmpeg finds no audio stream"))
            << r.output;
        std::set<std::string> expected = extra;
        for (const Source& s : Sources())
            expected.insert(WithExtension(s.rel, ext));
        for (const char* track : kImageTracks)
            expected.insert(std::string(track) + ext);
        EXPECT_EQ(test::FilesBelow(out), expected);
    }

    TempDir work_;
    static TempDir* dir_;
};

TempDir* LibraryTest::dir_ = nullptr;

TEST_F(LibraryTest, OpusAndMp3KeepTheTreeTheTagsAndTheLengthsAndRunAgainOnlyForChanges) {
    struct Target {
        const char* option;
        const char* ext;
        double frameSeconds;  // how far a length may be off: one frame of the format
        int maxChannels;
    } targets[] = {{"--opus", ".opus", 0.02, 8}, {"--mp3", ".mp3", 1152.0 / 32000, 2}};
    for (const Target& t : targets) {
        SCOPED_TRACE(t.option);
        const sfs::path out = work_ / (std::string("out") + t.ext);
        ProgramResult r = Convert({t.option, "--jobs", "3"}, out);
        ExpectTree(r, out, t.ext);
        EXPECT_TRUE(Contains(r.output, "Converted 10, skipped 0, copied 0, failed 2")) << r.output;
        EXPECT_TRUE(Contains(r.output, "Other/lossy.mp3 -> Other/lossy"));
        EXPECT_TRUE(Contains(r.output, "(lossy to lossy: ")) << r.output;
        for (const Source& s : Sources()) {
            const std::map<std::string, std::string> m = Mutagen(out / WithExtension(s.rel, t.ext));
            EXPECT_NEAR(std::atof(m.at("length").c_str()), s.seconds, t.frameSeconds) << s.rel;
            if (s.channels > 2) {
                EXPECT_EQ(m.at("channels"), std::to_string(std::min(s.channels, t.maxChannels)));
            }
        }
        for (std::size_t i = 0; i < 3; ++i) {
            const std::map<std::string, std::string> m =
                Mutagen(out / (kImageTracks[i] + std::string(t.ext)));
            EXPECT_NEAR(std::atof(m.at("length").c_str()), kImageFrames[i] / 44100.0,
                        t.frameSeconds)
                << kImageTracks[i];
        }
        std::map<std::string, std::string> second = Mutagen(out / "Image/02 - Second" += t.ext);
        EXPECT_EQ(second["tag:title"], "Second");
        EXPECT_EQ(second["tag:artist"], "Guest");
        EXPECT_EQ(second["tag:album"], "Live \xC3\xA9t\xC3\xA9");
        EXPECT_EQ(second["tag:genre"], "Jazz");
        EXPECT_EQ(second["tag:tracknumber"], std::string(t.ext) == ".mp3" ? "2/3" : "2");
        std::map<std::string, std::string> one = Mutagen(out / "Album/01 one" += t.ext);
        EXPECT_EQ(one["tag:title"], kTitle);
        EXPECT_EQ(one["tag:artist"], "The Artist");
        EXPECT_EQ(one["tag:album"], "The Album");
        EXPECT_EQ(one["tag:composer"], "Some Composer");
        EXPECT_EQ(one["tag:date"], "2001-05-06");
        EXPECT_EQ(one["tag:genre"], "Rock");
        EXPECT_EQ(one["tag:isrc"], "USRC17607839");
        EXPECT_EQ(one["tag:musicbrainz_albumid"], "9e8b4bb4-2a9c-4d26-9f0b-6b0f1a1b4e11");
        EXPECT_EQ(one["tag:musicbrainz_trackid"], "0b6a6a1c-0f54-4b70-8f6c-2c7f1f7e3a22");
        // The source's own front picture; else the one beside it; else none.
        EXPECT_EQ(one["pictures"], "1");
        EXPECT_EQ(Mutagen(out / "Album/Disc 2/hi" += t.ext)["pictures"], "1");
        EXPECT_EQ(Mutagen(out / "Other/t" += t.ext)["pictures"], "0");
        if (std::string(t.ext) == ".mp3") {
            EXPECT_EQ(one["tag:tracknumber"], "3/12");
            EXPECT_EQ(one["tag:discnumber"], "1/2");
        } else {
            EXPECT_EQ(one["tag:tracknumber"], "3");
            EXPECT_EQ(one["tag:tracktotal"], "12");
            EXPECT_EQ(one["tag:discnumber"], "1");
        }
        // Loudness values would be wrong after the encode; unknown fields are not guessed at.
        for (const auto& [key, value] : one) {
            EXPECT_FALSE(Contains(key, "replaygain")) << key;
            EXPECT_FALSE(Contains(key, "somethingelse")) << key;
        }

        // Nothing changed: nothing is written (the bad files are tried again and fail again).
        const auto before = Stamps(out);
        r = Convert({t.option}, out);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(Contains(r.output, "Converted 0, skipped 10, copied 0, failed 2")) << r.output;
        EXPECT_EQ(Stamps(out), before);
        // A source that changed is converted again, alone; --force converts every file.
        ::utimensat(AT_FDCWD, (In() / "Other/t.tta").c_str(), nullptr, 0);
        r = Convert({t.option}, out);
        EXPECT_TRUE(Contains(r.output, "Converted 1, skipped 9, copied 0, failed 2")) << r.output;
        r = Convert({t.option, "--force", "--jobs", "2"}, out);
        EXPECT_TRUE(Contains(r.output, "Converted 10, skipped 0, copied 0, failed 2")) << r.output;
        const auto after = Stamps(out);
        ASSERT_EQ(after.size(), before.size());
        // A file written anew has another inode or another time (a freed inode may be reused).
        for (const auto& [rel, stamp] : before)
            EXPECT_NE(after.at(rel), stamp) << rel << " was not written anew";
    }
}

TEST_F(LibraryTest, FlacKeepsDepthRateAndSamplesAndCopiesTheCompanionsAskedFor) {
    const sfs::path out = work_ / "flac";
    // A dry run reads no audio: it lists, and writes nothing.
    ProgramResult r = Convert({"--flac", "--dry-run", "--copy-files", "default"}, out);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Contains(r.output, "would convert Album/Disc 2/hi.flac -> Album/Disc 2/hi.flac"))
        << r.output;
    EXPECT_TRUE(Contains(r.output, "would copy Album/cover.png -> Album/cover.png")) << r.output;
    EXPECT_FALSE(sfs::exists(out));

    r = Convert({"--flac", "--copy-files", "default"}, out);
    ExpectTree(r, out, ".flac", {"Album/cover.png"});
    EXPECT_EQ(ReadFile(out / "Album/cover.png"), ReadFile(In() / "Album/cover.png"));
    // 24-bit at 96 kHz stays so, sample for sample.
    const sfs::path hi = out / "Album/Disc 2/hi.flac";
    EXPECT_EQ(Metaflac(hi, "bps"), "24\n");
    EXPECT_EQ(Metaflac(hi, "sample-rate"), "96000\n");
    EXPECT_EQ(Metaflac(In() / "Album/Disc 2/hi.flac", "md5sum"), Metaflac(hi, "md5sum"));
    EXPECT_TRUE(Decoded(hi) == Decoded(In() / "Album/Disc 2/hi.flac"));
    // Every source decodes to as many samples as FFmpeg's tool finds in it: the MP3 and the
    // Opus file without their encoders' delay and padding.
    for (const Source& s : Sources()) {
        const sfs::path flac = out / WithExtension(s.rel, ".flac");
        const std::string ours = Decoded(flac), theirs = Decoded(In() / s.rel);
        EXPECT_EQ(ours.size(), theirs.size()) << s.rel;
        if (s.lossless && s.rel.find("surround") == std::string::npos) {
            EXPECT_TRUE(ours == theirs) << s.rel << " is not bit-exact";
        }
        if (!s.lossless) {
            EXPECT_EQ(Metaflac(flac, "bps"), "24\n") << s.rel;
        }
    }
    EXPECT_EQ(Metaflac(out / "Other/w.flac", "bps"), "24\n");
    EXPECT_EQ(Metaflac(out / "Other/w.flac", "sample-rate"), "32000\n");
    // The image's tracks hold its samples, cut at the sheet's INDEX 01 lines.
    std::string joined;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string track = Decoded(out / (kImageTracks[i] + std::string(".flac")));
        EXPECT_EQ(track.size(), kImageFrames[i] * 2 * 4) << kImageTracks[i];
        joined += track;
    }
    EXPECT_TRUE(joined == Decoded(In() / "Image/image.flac"));
    // Into the library itself: a file whose output is itself is left alone.
    r = RunDistProgram("plimo-job",
                       {"--library", "--flac", "--dry-run", In().string(), In().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.output, "failed Album/01 one.flac: Error: its output would replace it"))
        << r.output;
    EXPECT_TRUE(Contains(r.output, "would convert Other/t.tta -> Other/t.flac")) << r.output;
    r = Convert({"--flac", "--dry-run", "--no-split"}, out);
    EXPECT_TRUE(Contains(r.output, "would convert Image/image.flac -> Image/image.flac"))
        << r.output;
    // Float samples become 24-bit ones within the dither's error, in all six channels.
    const sfs::path surround = out / "Album/Disc 2/surround.flac";
    EXPECT_EQ(Metaflac(surround, "bps"), "24\n");
    EXPECT_EQ(Metaflac(surround, "channels"), "6\n");
    const std::string a = Decoded(surround, "f64le"),
                      b = Decoded(In() / "Album/Disc 2/surround.wav", "f64le");
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 0u);
    double worst = 0, sum = 0;
    for (std::size_t i = 0; i < a.size(); i += 8) {
        double x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        worst = std::max(worst, std::fabs(x - y));
        sum += x - y;
    }
    EXPECT_LE(worst, 1.5 / (1 << 23));
    EXPECT_LT(std::fabs(sum / static_cast<double>(a.size() / 8)), 0.05 / (1 << 23));
    EXPECT_GT(worst, 0.0) << "no dither";
}

TEST_F(LibraryTest, WmaFilesGetTheWholeTagAndTheFrontPicture) {
    // The encoder's components, installed into this test's own folders.
    const std::string setup = "export XDG_DATA_HOME=" + Q(work_ / "data") +
                              " XDG_STATE_HOME=" + Q(work_ / "state") +
                              " XDG_CONFIG_HOME=" + Q(work_ / "config") + ";";
    ASSERT_EQ(RunDistProgram("plimo-job", {"--wma", "--list-profiles"}, setup).status, 0);
    const sfs::path out = work_ / "wma";
    ProgramResult r = Convert({"--wma", "--jobs", "2"}, out, In() / "Album", setup);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(test::FilesBelow(out),
              (std::set<std::string>{"01 one.wma", "Disc 2/hi.wma", "Disc 2/surround.wma"}));
    std::map<std::string, std::string> one = Mutagen(out / "01 one.wma");
    EXPECT_NEAR(std::atof(one["length"].c_str()), 0.5, 0.05);
    EXPECT_EQ(one["tag:title"], kTitle);
    EXPECT_EQ(one["tag:author"], "The Artist");
    EXPECT_EQ(one["tag:wm/albumtitle"], "The Album");
    EXPECT_EQ(one["tag:wm/albumartist"], "Various");
    EXPECT_EQ(one["tag:wm/tracknumber"], "3");
    EXPECT_EQ(one["tag:wm/partofset"], "1/2");
    EXPECT_EQ(one["tag:wm/year"], "2001-05-06");
    EXPECT_EQ(one["tag:wm/genre"], "Rock");
    EXPECT_EQ(one["tag:wm/composer"], "Some Composer");
    EXPECT_EQ(one["tag:wm/isrc"], "USRC17607839");
    EXPECT_EQ(one["tag:musicbrainz/album id"], "9e8b4bb4-2a9c-4d26-9f0b-6b0f1a1b4e11");
    EXPECT_EQ(one["tag:musicbrainz/track id"], "0b6a6a1c-0f54-4b70-8f6c-2c7f1f7e3a22");
    for (const auto& [key, value] : one) {
        EXPECT_FALSE(Contains(key, "replaygain")) << key;
        EXPECT_FALSE(Contains(key, "somethingelse")) << key;
    }
    // The source's own front cover, byte for byte; the one beside a file without its own.
    const std::string md5 = Sh("md5sum < " + Q(In() / "Album/cover.png")).output.substr(0, 32);
    EXPECT_EQ(one["pictures"], "1");
    EXPECT_EQ(one["wma_picture"], "3 image/png " + md5);
    std::map<std::string, std::string> hi = Mutagen(out / "Disc 2/hi.wma");
    EXPECT_EQ(hi["pictures"], "1");
    EXPECT_EQ(hi.count("tag:wm/albumtitle"), 0u);
}

TEST_F(LibraryTest, ResamplingAndDownMixingKeepTheLengthAndTheLevel) {
    // 0.25 s of 96 kHz noise at half scale into what an MP3 file takes: 48 kHz stereo, 16-bit.
    library::PcmTarget mp3;
    mp3.maxChannels = 2;
    mp3.fixedBits = 16;
    mp3.rates = {32000, 44100, 48000};
    for (const char* rel : {"Album/Disc 2/hi.flac", "Album/Disc 2/surround.wav"}) {
        library::PcmStream stream;
        std::string error;
        ASSERT_TRUE(stream.Open((In() / rel).string(), mp3, error)) << error;
        EXPECT_EQ(stream.Layout().sampleRate, 48000);
        EXPECT_EQ(stream.Layout().channels, 2);
        EXPECT_EQ(stream.Layout().bits, 16);
        std::vector<std::int32_t> chunk;
        std::int64_t frames = 0;
        std::int32_t peak = 0;
        long got;
        while ((got = stream.Read(chunk, error)) > 0) {
            frames += got;
            for (std::int32_t v : chunk)
                peak = std::max(peak, v < 0 ? -v : v);
        }
        EXPECT_EQ(got, 0) << error;
        const std::int64_t expected =
            std::string(rel).find("hi") != std::string::npos ? 12000 : 9600;
        EXPECT_EQ(frames, expected) << rel;
        // Neither silence nor clipping: the down-mix keeps every sum within full scale.
        EXPECT_GT(peak, 1000) << rel;
        EXPECT_LT(peak, 32767) << rel;
    }

    // What Opus takes: 48 kHz floats in every channel, neither rounded nor dithered, the same
    // length; the integer read is refused.
    library::PcmTarget opus;
    opus.rates = {48000};
    opus.floats = true;
    for (const char* rel : {"Album/Disc 2/hi.flac", "Album/Disc 2/surround.wav"}) {
        library::PcmStream stream;
        std::string error;
        ASSERT_TRUE(stream.Open((In() / rel).string(), opus, error)) << error;
        const library::PcmLayout& l = stream.Layout();
        EXPECT_TRUE(l.floats);
        EXPECT_EQ(l.bits, 32);
        EXPECT_EQ(l.sampleRate, 48000);
        for (const std::string& note : l.notes)
            EXPECT_FALSE(Contains(note, "dither")) << note;
        std::vector<std::int32_t> integers;
        EXPECT_EQ(stream.Read(integers, error), -1);
        std::vector<float> chunk;
        std::int64_t frames = 0;
        float peak = 0;
        long got;
        while ((got = stream.Read(chunk, error)) > 0) {
            ASSERT_EQ(chunk.size(), static_cast<std::size_t>(got * l.channels));
            frames += got;
            for (float v : chunk)
                peak = std::max(peak, std::fabs(v));
        }
        EXPECT_EQ(got, 0) << error;
        EXPECT_EQ(frames, std::string(rel).find("hi") != std::string::npos ? 12000 : 9600) << rel;
        EXPECT_GT(peak, 0.03f) << rel;
        EXPECT_LE(peak, 1.0f) << rel;
    }
}

TEST_F(LibraryTest, TheSourceTagAndItsFrontPictureAreRead) {
    const tags::TrackTags t = library::ReadSourceTags((In() / "Album/01 one.flac").string());
    EXPECT_EQ(t.Get(tags::TagField::Title), kTitle);
    EXPECT_EQ(t.Get(tags::TagField::TrackTotal), "12");
    EXPECT_EQ(t.Get(tags::TagField::Composer), "Some Composer");
    ASSERT_NE(t.FrontPicture(), nullptr);
    EXPECT_EQ(t.FrontPicture()->mime, "image/png");
    EXPECT_EQ(t.FrontPicture()->width, 8);
    EXPECT_EQ(t.FrontPicture()->height, 8);
    const std::string png = ReadFile(In() / "Album/cover.png");
    EXPECT_TRUE(std::string(t.FrontPicture()->bytes.begin(), t.FrontPicture()->bytes.end()) == png);
    // An ID3v2 front cover in an MP3 file; a JPEG's size from its frame header.
    const sfs::path jpeg = work_ / "front.jpg", mp3 = work_ / "pic.mp3";
    ASSERT_EQ(
        Sh("ffmpeg -v error -f lavfi -i color=c=blue:s=24x16:d=1 -frames:v 1 " + Q(jpeg)).status,
        0);
    ASSERT_EQ(Sh("ffmpeg -v error -i " + Q(In() / "Other/lossy.mp3") + " -i " + Q(jpeg) +
                 " -map 0 -map 1 -c copy -id3v2_version 3 -metadata:s:v comment='Cover (front)' " +
                 Q(mp3))
                  .status,
              0);
    const tags::TrackTags m = library::ReadSourceTags(mp3.string());
    ASSERT_NE(m.FrontPicture(), nullptr);
    EXPECT_EQ(m.FrontPicture()->mime, "image/jpeg");
    EXPECT_EQ(m.FrontPicture()->width, 24);
    EXPECT_EQ(m.FrontPicture()->height, 16);
    // Not a picture: nothing.
    EXPECT_EQ(library::PictureOf("GIF89a........"), nullptr);
}

// The frames FFmpeg's probe decodes from a file and its channels.
std::pair<long, int> Probed(const sfs::path& file) {
    const std::string frames = Sh("ffprobe -v error -select_streams a -show_frames -show_entries "
                                  "frame=nb_samples -of csv=p=0 " +
                                  Q(file))
                                   .output;
    long total = 0;
    for (std::size_t at = 0; at < frames.size();) {
        total += std::atol(frames.c_str() + at);
        at = frames.find('\n', at);
        at = at == std::string::npos ? frames.size() : at + 1;
    }
    const std::string channels =
        Sh("ffprobe -v error -select_streams a -show_entries stream=channels -of csv=p=0 " +
           Q(file))
            .output;
    return {total, std::atoi(channels.c_str())};
}

// The loudness values a file holds, as mutagen reads them: "name=value" lines of its ID3v2 user
// texts or its Vorbis comments, names in upper case.
std::string GainValues(const sfs::path& file) {
    static const char* kScript =
        "import sys, mutagen\n"
        "g = mutagen.File(sys.argv[1])\n"
        "if hasattr(g.tags, 'getall'):\n"
        "    pairs = [(t.desc, t.text[0]) for t in g.tags.getall('TXXX')]\n"
        "else:\n"
        "    pairs = [(k, v) for k, v in g.tags]\n"
        "for k, v in sorted(pairs):\n"
        "    if 'GAIN' in k.upper() or 'PEAK' in k.upper(): print('%s=%s' % (k.upper(), v))\n";
    ProgramResult r = Sh("/usr/bin/python3 -c \"$(printf '%s' " + Q(kScript) + ")\" " + Q(file));
    EXPECT_EQ(r.status, 0) << file << r.output;
    return r.output;
}

std::string Value(const std::string& lines, const std::string& name) {
    const std::size_t at = lines.find(name + "=");
    if (at == std::string::npos) return {};
    const std::size_t end = lines.find('\n', at);
    return lines.substr(at + name.size() + 1, end - at - name.size() - 1);
}

TEST_F(LibraryTest, Mp3KeepsAMonoSourceMonoUnlessAModeIsChosen) {
    const sfs::path in = work_ / "mono", out = work_ / "mono.out";
    sfs::create_directories(in);
    ASSERT_EQ(Sh("ffmpeg -v error -f lavfi -i sine=f=440:r=44100:d=1.3 -ac 1 -c:a flac " +
                 Q(in / "m.flac"))
                  .status,
              0);
    ProgramResult r = Convert({"--mp3"}, out, in);
    ASSERT_EQ(r.status, 0) << r.output;
    auto [frames, channels] = Probed(out / "m.mp3");
    EXPECT_EQ(channels, 1);
    EXPECT_NEAR(frames, 57330, 1152);
    // A mode chosen is every file's: Stereo makes two channels of one.
    r = Convert({"--mp3", "--mode", "0", "--force"}, out, in);
    ASSERT_EQ(r.status, 0) << r.output;
    std::tie(frames, channels) = Probed(out / "m.mp3");
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(frames, 57330, 1152);
}

TEST_F(LibraryTest, EachOutputFolderIsAnAlbumOfTheFilesConvertedIntoIt) {
    const sfs::path in = work_ / "rg";
    sfs::create_directories(in / "A");
    sfs::create_directories(in / "B");
    auto make = [&](const std::string& lavfi, const std::string& rel) {
        ASSERT_EQ(
            Sh("ffmpeg -v error -f lavfi -i '" + lavfi + "' -ac 2 -c:a flac " + Q(in / rel)).status,
            0);
    };
    make("sine=f=440:r=48000:d=1,volume=2", "A/1 loud.flac");
    make("sine=f=660:r=48000:d=1.5,volume=1", "A/2 quiet.flac");
    make("anoisesrc=d=1:c=pink:r=48000:a=0.3", "B/3.flac");
    // What FFmpeg's own meter finds in the two files of A played one after the other (6 dB
    // apart, so that neither is gated out).
    const std::string meter =
        Sh("ffmpeg -nostats -i " + Q(in / "A/1 loud.flac") + " -i " + Q(in / "A/2 quiet.flac") +
           " -filter_complex '[0:a][1:a]concat=n=2:v=0:a=1,ebur128' -f null "
           "- 2>&1 | grep -A1 'Integrated loudness:' | tail -1")
            .output;
    const double lufs = std::atof(meter.substr(meter.find("I:") + 2).c_str());
    ASSERT_LT(lufs, -5) << meter;

    struct Target {
        const char* option;
        const char* ext;
        const char* albumName;
        double dbPerUnit;  // how a value becomes dB to -18 LUFS
    } targets[] = {{"--flac", ".flac", "REPLAYGAIN_ALBUM_GAIN", 1},
                   {"--mp3", ".mp3", "REPLAYGAIN_ALBUM_GAIN", 1},
                   {"--opus", ".opus", "R128_ALBUM_GAIN", 1.0 / 256}};
    for (const Target& t : targets) {
        SCOPED_TRACE(t.option);
        const sfs::path out = work_ / (std::string("rg") + t.ext);
        ProgramResult r = Convert({t.option, "--replaygain", "--jobs", "2"}, out, in);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(Contains(r.output, "album A: gain ")) << r.output;
        EXPECT_TRUE(Contains(r.output, "album B: gain ")) << r.output;
        const std::string one = GainValues(out / (std::string("A/1 loud") + t.ext)),
                          two = GainValues(out / (std::string("A/2 quiet") + t.ext)),
                          three = GainValues(out / (std::string("B/3") + t.ext));
        const std::string album = Value(one, t.albumName);
        ASSERT_FALSE(album.empty()) << one;
        EXPECT_EQ(Value(two, t.albumName), album);
        // Opus gains are to -23 LUFS.
        const double reference = std::string(t.ext) == ".opus" ? -23 : -18;
        EXPECT_NEAR(std::atof(album.c_str()) * t.dbPerUnit, reference - lufs, 0.3) << meter;
        const std::string track =
            std::string(t.albumName).replace(std::string(t.albumName).find("ALBUM"), 5, "TRACK");
        EXPECT_LT(std::atof(Value(one, track).c_str()), std::atof(album.c_str())) << one;
        EXPECT_GT(std::atof(Value(two, track).c_str()), std::atof(album.c_str())) << two;
        // A folder of one file: its album is its track.
        EXPECT_EQ(Value(three, t.albumName), Value(three, track)) << three;
        EXPECT_NE(Value(three, t.albumName), album);
        if (std::string(t.ext) != ".opus") {
            EXPECT_FALSE(Value(one, "REPLAYGAIN_ALBUM_PEAK").empty()) << one;
        }
    }

    // A folder converted in part: its album covers only that part, and the run says so.
    const sfs::path out = work_ / "rg.flac";
    ::utimensat(AT_FDCWD, (in / "A/2 quiet.flac").c_str(), nullptr, 0);
    ProgramResult r = Convert({"--flac", "--replaygain"}, out, in);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Contains(r.output, "Converted 1, skipped 2, copied 0, failed 0")) << r.output;
    EXPECT_TRUE(Contains(r.output, "album A (only 1 of its 2 audio files): gain ")) << r.output;
    EXPECT_TRUE(Contains(r.output,
                         "  album A: only 1 of its 2 audio files were converted in this "
                         "run; --force measures them all"))
        << r.output;
    const std::string quiet = GainValues(out / "A/2 quiet.flac");
    EXPECT_EQ(Value(quiet, "REPLAYGAIN_ALBUM_GAIN"), Value(quiet, "REPLAYGAIN_TRACK_GAIN"));
    // Without the option: no values at all.
    r = Convert({"--flac", "--force"}, out, in);
    EXPECT_EQ(GainValues(out / "A/1 loud.flac"), "");
}

TEST_F(LibraryTest, OpusTracksOfAnImageAreSampleExactWithTheirPreSkip) {
    // The samples go to the encoder as they are decoded, a track after the other.
    const sfs::path out = work_ / "image.opus";
    ProgramResult r = Convert({"--opus"}, out, In() / "Image");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::size_t frames48[] = {15 * 640, 16 * 640, 28800 - 31 * 640};
    for (std::size_t i = 0; i < 3; ++i) {
        const sfs::path file = out / (std::string(kImageTracks[i]).substr(6) + ".opus");
        EXPECT_EQ(Decoded(file, "s16le").size(), frames48[i] * 2 * 2) << file;
        const std::string info = Sh("opusinfo " + Q(file)).output;
        EXPECT_TRUE(Contains(info, "Pre-skip: 312")) << info;
        EXPECT_TRUE(Contains(info, "Channels: 2")) << info;
    }
}

}  // namespace
}  // namespace orvane::test
