#include "platform/cdrom/cue_sheet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/cdrom/image_drive.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::cdrom {
namespace {

using test::PatternByte;
using test::PatternFrames;
using test::TempDir;
using test::WriteFile;

std::string Wave(const std::string& samples, int channels = 2, int rate = 44100) {
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return s;
    };
    std::string out =
        "RIFF" + le(static_cast<std::uint32_t>(4 + 26 + 8 + 8 + samples.size()), 4) + "WAVE";
    out += "fmt " + le(18, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * 4, 4) +
           le(4, 2) + le(16, 2) + le(0, 2);
    out += "LIST" + le(4, 4) + "INFO";  // an extra chunk before the data
    out += "data" + le(static_cast<std::uint32_t>(samples.size()), 4) + samples;
    return out;
}

std::string Swapped(std::string bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TEST(CueSheet, LaysOutFilesIndexesAndGaps) {
    TempDir dir;
    // a.bin: tracks 1 and 2 (track 2 with an index 00 stretch of 10 frames);
    // B.RAW (named in other case in the sheet), big-endian: track 3 with a PREGAP of 20 frames;
    // c.wav: track 4, and a data track 5 in MODE1/2048 sectors after a POSTGAP on track 4.
    WriteFile(dir / "a.bin", PatternFrames(0, 300));
    WriteFile(dir / "B.RAW", Swapped(PatternFrames(1000, 100)));
    WriteFile(dir / "c.wav", Wave(PatternFrames(2000, 50)));
    WriteFile(dir / "d.iso", std::string(2048 * 40, 'x'));
    std::string cue =
        "REM GENRE Test\r\n"
        "TITLE \"The Disc\"\r\n"
        "FILE \"a.bin\" BINARY\r\n"
        "  TRACK 01 AUDIO\r\n"
        "    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    INDEX 00 00:02:00\r\n"
        "    INDEX 01 00:02:10\r\n"
        "FILE \"b.raw\" MOTOROLA\r\n"
        "  TRACK 03 AUDIO\r\n"
        "    PREGAP 00:00:20\r\n"
        "    INDEX 01 00:00:00\r\n"
        "FILE \"c.wav\" WAVE\r\n"
        "  TRACK 04 AUDIO\r\n"
        "    INDEX 01 00:00:00\r\n"
        "    POSTGAP 00:00:05\r\n"
        "FILE \"d.iso\" BINARY\r\n"
        "  TRACK 05 MODE1/2048\r\n"
        "    INDEX 01 00:00:00\r\n";
    WriteFile(dir / "disc.cue", cue);
    CueSheet sheet;
    std::string error;
    ASSERT_TRUE(LoadCueSheet((dir / "disc.cue").string(), sheet, error)) << error;
    EXPECT_EQ(sheet.title, "The Disc");
    ASSERT_EQ(sheet.remarks.size(), 1u);
    EXPECT_EQ(sheet.remarks[0], "GENRE Test");

    const Toc& toc = sheet.toc;
    EXPECT_EQ(toc.firstTrack, 1);
    EXPECT_EQ(toc.lastTrack, 5);
    ASSERT_EQ(toc.tracks.size(), 5u);
    EXPECT_EQ(toc.tracks[0].lba, 0u);
    EXPECT_EQ(toc.tracks[1].lba, 160u);        // index 01 at 2 s 10 frames
    EXPECT_EQ(toc.tracks[2].lba, 300u + 20u);  // after a.bin and the pregap
    EXPECT_EQ(toc.tracks[3].lba, 420u);
    EXPECT_EQ(toc.tracks[4].lba, 420u + 50u + 5u);
    EXPECT_TRUE(toc.tracks[3].IsAudio());
    EXPECT_FALSE(toc.tracks[4].IsAudio());
    EXPECT_EQ(toc.leadOut, 475u + 40u);

    ImageDrive drive(sheet);
    std::vector<std::uint8_t> buf(4 * 2352);
    // Across the end of a.bin into the generated pregap and on into track 3.
    ASSERT_TRUE(drive.ReadCdda(298, 4, buf.data()).ok);
    EXPECT_EQ(buf[0], PatternByte(298, 0));
    EXPECT_EQ(buf[2352 + 100], PatternByte(299, 100));
    EXPECT_EQ(buf[2 * 2352 + 5], 0);  // silence of the pregap
    ASSERT_TRUE(drive.ReadCdda(320, 1, buf.data()).ok);
    for (std::uint32_t i : {0u, 1u, 2350u, 2351u})
        EXPECT_EQ(buf[i], PatternByte(1000, i)) << i;
    // WAVE samples start after the header and the extra chunk; the postgap is silent.
    ASSERT_TRUE(drive.ReadCdda(469, 2, buf.data()).ok);
    EXPECT_EQ(buf[7], PatternByte(2049, 7));
    EXPECT_EQ(buf[2352 + 7], 0);
    // Cooked data sectors have no audio form.
    DriveResult data = drive.ReadCdda(480, 1, buf.data());
    EXPECT_FALSE(data.ok);
    EXPECT_EQ(data.senseKey, kSenseIllegalRequest);
    // Past the lead-out.
    EXPECT_EQ(drive.ReadCdda(toc.leadOut - 1, 2, buf.data()).asc, 0x21);
}

TEST(CueSheet, PadsAShortLastSectorWithSilence) {
    TempDir dir;
    std::string bytes = PatternFrames(0, 3);
    bytes.resize(2 * 2352 + 1000);
    WriteFile(dir / "x.bin", bytes);
    WriteFile(dir / "x.cue", "FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    std::string error;
    auto drive = ImageDrive::Open((dir / "x.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    EXPECT_EQ(drive->Sheet().toc.leadOut, 3u);
    std::vector<std::uint8_t> buf(2352, 0xEE);
    ASSERT_TRUE(drive->ReadCdda(2, 1, buf.data()).ok);
    EXPECT_EQ(buf[999], PatternByte(2, 999));
    EXPECT_EQ(buf[1000], 0);
    EXPECT_EQ(buf[2351], 0);

    // A WAVE file that ends inside a sample frame: the partial frame is silence too, not half
    // a sample.
    for (std::size_t cut = 1; cut < 4; ++cut) {
        std::string samples = PatternFrames(0, 3);
        samples.resize(2 * 2352 + 1000 + cut);
        WriteFile(dir / "w.wav", Wave(samples));
        WriteFile(dir / "w.cue", "FILE w.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
        auto wave = ImageDrive::Open((dir / "w.cue").string(), error);
        ASSERT_TRUE(wave) << error;
        std::fill(buf.begin(), buf.end(), 0xEE);
        ASSERT_TRUE(wave->ReadCdda(2, 1, buf.data()).ok);
        EXPECT_EQ(buf[999], PatternByte(2, 999)) << cut;
        for (std::size_t i = 1000; i < 1004; ++i)
            EXPECT_EQ(buf[i], 0) << cut << " " << i;
    }
}

TEST(CueSheet, TrackSpanningTwoFiles) {
    TempDir dir;
    WriteFile(dir / "1.bin", PatternFrames(0, 100));
    WriteFile(dir / "2.bin", PatternFrames(500, 80));
    WriteFile(dir / "s.cue",
              "FILE 1.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
              " TRACK 02 AUDIO\n  INDEX 00 00:01:00\n"
              "FILE 2.bin BINARY\n  INDEX 01 00:00:00\n");
    CueSheet sheet;
    std::string error;
    ASSERT_TRUE(LoadCueSheet((dir / "s.cue").string(), sheet, error)) << error;
    ASSERT_EQ(sheet.toc.tracks.size(), 2u);
    EXPECT_EQ(sheet.toc.TrackFrames(0), 100u);  // the index 00 stretch counts with track 1
    EXPECT_EQ(sheet.toc.tracks[1].lba, 100u);
    EXPECT_EQ(sheet.toc.leadOut, 180u);
}

struct BadSheet {
    const char* text;
    const char* expect;  // part of the message, with the line
};

TEST(CueSheet, RefusesMalformedSheetsNamingTheLine) {
    TempDir dir;
    WriteFile(dir / "a.bin", PatternFrames(0, 200));
    // Names that are there but hold no sectors to read: a folder, a pipe, a device.
    std::filesystem::create_directory(dir / "folder.bin");
    ASSERT_EQ(::mkfifo((dir / "pipe.bin").c_str(), 0600), 0);
    const BadSheet cases[] = {
        {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "bad.cue:1: TRACK before any FILE"},
        {"FILE a.bin BINARY\nINDEX 01 00:00:00\n", ":2: INDEX before any TRACK"},
        {"FILE a.bin BINARY\nFILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         ":2: FILE follows a FILE that holds no INDEX"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 100 00:00:00\n",
         ":3: index number out of range"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX -1 00:00:00\n", ":3: index number out of range"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", ":3: bad time"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:75\n", ":3: bad time"},
        {"FILE missing.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", ":1: file not found"},
        {"FILE folder.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         ":1: a folder, not a file: folder.bin"},
        {"FILE PIPE.BIN BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         ":1: a pipe, not a file: PIPE.BIN"},
        {"FILE /dev/zero BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         ":1: a device, not a file: /dev/zero"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:01:00\nTRACK 02 AUDIO\n"
         "INDEX 01 00:00:50\n",
         ":5: INDEX 01 goes backwards (line 3)"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:01:00\nTRACK 02 AUDIO\n"
         "INDEX 01 00:01:00\n",
         ":5: INDEX 01 overlaps line 3"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:01:00\nINDEX 01 00:00:10\n",
         ":4: INDEX 01 goes backwards"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 03 00:01:00\n",
         ":4: INDEX 03 out of order"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", ":2: track 1 has no INDEX 01"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n",
         ":4: track 3 does not follow track 1"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
         "INDEX 01 01:00:00\n",
         ":5: INDEX beyond the end of its file"},
        {"FILE a.bin MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", ":1: unsupported file type"},
        {"FILE \"a.bin BINARY\n", ":1: missing closing quote"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPREGAP 00:02:00\n",
         ":4: PREGAP after an INDEX"},
        {"FILE a.bin BINARY\nTRACK 01 AUDIO\nWIBBLE\n", ":3: unknown command WIBBLE"},
        {"REM nothing here\n", "no TRACK"},
    };
    for (const BadSheet& c : cases) {
        WriteFile(dir / "bad.cue", c.text);
        CueSheet sheet;
        std::string error;
        EXPECT_FALSE(LoadCueSheet((dir / "bad.cue").string(), sheet, error)) << c.text;
        EXPECT_NE(error.find(c.expect), std::string::npos) << "got: " << error;
    }
}

TEST(CueSheet, RefusesImagesLongerThanACdCanAddress) {
    TempDir dir;
    // Sparse files: the lengths cost no disc space.
    const auto sized = [&](const std::string& name, std::uint64_t frames) {
        WriteFile(dir / name, "");
        std::filesystem::resize_file(dir / name, frames * kFrameBytes);
    };
    const std::string sheet = "FILE long.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    CueSheet out;
    std::string error;
    // 99:57:74 of audio ends at the address 99:59:74: the longest image there can be.
    sized("long.bin", (99 * 60 + 57) * 75 + 74);
    ASSERT_TRUE(ParseCueSheet(sheet, dir.path().string(), "long.cue", out, error)) << error;
    EXPECT_EQ(out.toc.leadOut, (99u * 60 + 57) * 75 + 74);

    sized("long.bin", (99 * 60 + 57) * 75 + 75);
    EXPECT_FALSE(ParseCueSheet(sheet, dir.path().string(), "long.cue", out, error));
    EXPECT_EQ(error,
              "long.cue: the disc image lasts 99:58:00, longer than a CD can hold (99:57:74, as "
              "its times end at 99:59:74)");
    // 2000 minutes would show as 208 minutes in the 8 bits of a CD time.
    sized("long.bin", 2000ull * 60 * 75);
    EXPECT_FALSE(ParseCueSheet(sheet, dir.path().string(), "long.cue", out, error));
    EXPECT_EQ(error.substr(0, 40), "long.cue: the disc image lasts 2000:00:0");
}

TEST(CueSheet, OnlyARegularFileIsReadAsASheet) {
    TempDir dir;
    const std::string fifo = (dir / "disc.cue").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CueSheet out;
    std::string error;
    EXPECT_FALSE(LoadCueSheet(fifo, out, error));  // returns at once: no writer is waited for
    EXPECT_EQ(error, fifo + ": the cue sheet is not a regular file");
    EXPECT_FALSE(LoadCueSheet((dir / "none.cue").string(), out, error));
    EXPECT_EQ(error, (dir / "none.cue").string() + ": cannot open the cue sheet");
}

TEST(CueSheet, RefusesWaveFilesThatAreNotCdAudio) {
    TempDir dir;
    WriteFile(dir / "mono.wav", Wave(std::string(4704, '\0'), 1));
    WriteFile(dir / "fake.wav", "RIFX nonsense");
    for (const char* name : {"mono.wav", "fake.wav"}) {
        WriteFile(dir / "w.cue",
                  std::string("FILE ") + name + " WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
        CueSheet sheet;
        std::string error;
        EXPECT_FALSE(LoadCueSheet((dir / "w.cue").string(), sheet, error));
        EXPECT_NE(error.find("w.cue:1:"), std::string::npos) << error;
    }
}

// A sheet is read only when it is a regular file of a sheet's size: a FIFO, a device or a huge
// file is refused at once rather than waited on or read without end.
TEST(CueSheet, ReadsOnlyRegularFilesOfASheetsSize) {
    TempDir dir;
    const std::string fifo = (dir / "fifo.cue").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteFile(dir / "huge.cue", "REM " + std::string(2 << 20, 'x') + "\n");
    CueSheet sheet;
    std::string error;
    EXPECT_FALSE(LoadCueSheet(fifo, sheet, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(LoadCueSheet("/dev/zero", sheet, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(LoadCueSheet((dir / "huge.cue").string(), sheet, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    // Nor is a FIFO named as the sheet's audio file waited on.
    ASSERT_EQ(::mkfifo((dir / "audio.wav").c_str(), 0600), 0);
    WriteFile(dir / "w.cue", "FILE audio.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    EXPECT_FALSE(LoadCueSheet((dir / "w.cue").string(), sheet, error));
    EXPECT_NE(error.find("w.cue:1:"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::cdrom

namespace orvane::cdrom {
namespace {

// Damaged sheets (words dropped, doubled, swapped or garbled) are either refused with a line
// or give a layout whose every sector can be read back; none crashes.
TEST(CueSheet, SurvivesDamagedSheets) {
    TempDir dir;
    WriteFile(dir / "a.bin", PatternFrames(0, 300));
    WriteFile(dir / "b.bin", PatternFrames(0, 100));
    const std::vector<std::string> lines = {"REM x",
                                            "FILE a.bin BINARY",
                                            "TRACK 01 AUDIO",
                                            "INDEX 01 00:00:00",
                                            "TRACK 02 AUDIO",
                                            "PREGAP 00:01:00",
                                            "INDEX 00 00:01:00",
                                            "INDEX 01 00:02:00",
                                            "FILE b.bin MOTOROLA",
                                            "TRACK 03 MODE1/2352",
                                            "INDEX 01 00:00:00",
                                            "POSTGAP 00:00:10"};
    const std::vector<std::string> junk = {"INDEX 99 99:59:74",
                                           "TRACK 00 AUDIO",
                                           "FILE \"\" WAVE",
                                           "INDEX 01 -1:00:00",
                                           "PREGAP",
                                           "TRACK 99 AUDIO",
                                           "INDEX 1 4294967295:00:00",
                                           "\"",
                                           "FILE / BINARY"};
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::string> sheet = lines;
        for (int edits = 1 + next() % 3; edits > 0; --edits) {
            std::size_t at = next() % sheet.size();
            switch (next() % 4) {
                case 0:
                    sheet.erase(sheet.begin() + static_cast<long>(at));
                    break;
                case 1:
                    sheet.insert(sheet.begin() + static_cast<long>(at), sheet[at]);
                    break;
                case 2:
                    std::swap(sheet[at], sheet[next() % sheet.size()]);
                    break;
                default:
                    sheet[at] = junk[next() % junk.size()];
                    break;
            }
            if (sheet.empty()) sheet.push_back("REM");
        }
        std::string text;
        for (const std::string& l : sheet)
            text += l + "\n";
        CueSheet parsed;
        std::string error;
        if (!ParseCueSheet(text, dir.path().string(), "f.cue", parsed, error)) {
            EXPECT_EQ(error.rfind("f.cue:", 0), 0u) << error;
            continue;
        }
        ++accepted;
        ImageDrive drive(parsed);
        std::vector<std::uint8_t> buf(kFrameBytes);
        for (std::uint32_t lba = 0; lba < parsed.toc.leadOut; ++lba) {
            DriveResult r = drive.ReadCdda(lba, 1, buf.data());
            ASSERT_TRUE(r.ok || r.senseKey == kSenseIllegalRequest) << text << r.Describe();
        }
    }
    EXPECT_GT(accepted, 10);
}

}  // namespace
}  // namespace orvane::cdrom
