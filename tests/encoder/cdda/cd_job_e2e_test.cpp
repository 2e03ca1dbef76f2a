// A whole CD job through the shipped programs: an image drive read through libwnaspi32.so,
// each track encoded by enc.dll, tagged and renamed; the MP3 files decoded again by dec.dll
// must carry the tones of the disc.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "encoder/cdda/cd_job.h"
#include "encoder/formats/flac_job.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "platform/dynlib/dynlib.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/encoder/freedb/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_util.h"

namespace orvane::cdda {
namespace {

constexpr double kTones[] = {440, 880, 660, 550};
constexpr std::uint32_t kFrames[] = {225, 150, 150, 150};  // 3, 2, 2 and 2 seconds

// Samples of the left channel of a decoded WAVE file (data from byte 44).
std::vector<double> LeftChannel(const std::string& wave) {
    std::vector<double> out;
    for (std::size_t at = 44; at + 4 <= wave.size(); at += 4)
        out.push_back(
            static_cast<std::int16_t>(std::uint8_t(wave[at]) | std::uint8_t(wave[at + 1]) << 8));
    return out;
}

// Share of the signal's power at hz over one second from the middle of the samples.
double PowerShare(const std::vector<double>& s, double hz) {
    std::size_t start = s.size() / 4, n = 44100;
    if (start + n > s.size()) n = s.size() - start;
    double re = 0, im = 0, total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double x = s[start + i];
        re += x * std::cos(2 * M_PI * hz * double(i) / 44100);
        im += x * std::sin(2 * M_PI * hz * double(i) / 44100);
        total += x * x;
    }
    return total > 0 ? 2 * (re * re + im * im) / (double(n) * total) : 0;
}

// The disc of kTones as an image drive (with the faults given), and an MP3 request for it into
// its own folder.
class CdJobEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::string image, cue = "FILE \"tones.bin\" BINARY\n";
        std::uint32_t at = 0;
        for (int t = 0; t < 4; ++t) {
            char line[64];
            std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n",
                          t + 1, at / 75 / 60, at / 75 % 60, at % 75);
            cue += line;
            image += test::CdToneFrames(kTones[t], kFrames[t], 0);
            at += kFrames[t];
        }
        test::WriteFile(dir / "tones.bin", image);
        test::WriteFile(dir / "tones.cue", cue);

        request.kind = encoder::JobKind::EncodeMp3;
        request.input = encoder::kCdAudioInput;
        request.batch = true;
        request.output = out.path().string() + "/";
        request.settings.layerIndex = 2;
        request.settings.mode = 0;
        request.settings.bitrate = "128";
        request.appFolder = test::DistDir().string() + "/";
        request.cd.driveIndex = 0;
        request.cd.names = {"First", "Second", "Third", "Last"};
        request.cd.trackCount = 4;
        request.cd.readBufferSize = 16;
        request.cd.deleteGrabbedWav = true;
    }
    void Drive(const std::string& faults) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(config);
        std::filesystem::create_directories(std::string(config) + "/orvane");
        test::WriteFile(std::string(config) + "/orvane/drives.conf",
                        "real_drives = no\nimage = " + (dir / "tones.cue").string() +
                            (faults.empty() ? "" : "\nfaults = " + faults) + "\n");
        // The transport library discovers its drives again at the job's first command: each
        // test reads its own drive, with its own faults and tray, whatever ran before it.
        const auto rescan = reinterpret_cast<void (*)()>(
            GetProcAddress(LoadLibraryA("wnaspi32.dll"), "OrvaneAspiRescan"));
        ASSERT_TRUE(rescan);
        rescan();
    }
    void Titles(const std::vector<std::string>& titles) {
        for (std::size_t t = 1; t <= titles.size(); ++t) {
            request.tags[t].SetMarker();
            request.tags[t].SetArtist("Orvane Players");
            request.tags[t].SetTitle(titles[t - 1]);
            request.tags[t].SetAlbum("Tones");
        }
    }
    void Run() {
        InstallCdTrackSource(nullptr);
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        ASSERT_TRUE(recorder.WaitEnd());
        runner.Stop();
        encoder::SetCdTrackSource(nullptr);
        ASSERT_TRUE(recorder.Outcome().has_value());
    }
    // The MP3 file decoded again holds the track's tone for the track's length.
    void ExpectTrackAudio(const std::string& name, int track) {
        std::filesystem::path mp3 = out / name;
        std::filesystem::path wav = dir / ("decoded" + std::to_string(track) + ".wav");
        std::string command = "'" + (test::DistDir() / "dec.dll").string() + "' '" + mp3.string() +
                              "' '" + wav.string() + "' < '" + mp3.string() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << name;
        std::vector<double> samples = LeftChannel(test::ReadFile(wav));
        double seconds = double(samples.size()) / 44100;
        EXPECT_NEAR(seconds, kFrames[track] / 75.0, 0.1) << name;
        EXPECT_GT(PowerShare(samples, kTones[track]), 0.9) << name;
        for (double other : kTones) {
            if (other == kTones[track]) continue;
            EXPECT_LT(PowerShare(samples, other), 0.05) << name;
        }
    }
    // Runs the job with the shipped encoder, except for the second track: script runs then,
    // with $last the output file.
    void SecondTrackEncoder(const std::string& script) {
        std::filesystem::create_symlink(test::DistDir() / "libwnaspi32.so",
                                        programs / "libwnaspi32.so");
        test::WriteFile(programs / "enc.dll",
                        "#!/bin/sh\nfor last; do :; done\n"
                        "case \"$last\" in *track2.MP3)\n" +
                            script + ";;\nesac\nexec '" + (test::DistDir() / "enc.dll").string() +
                            "' \"$@\"\n");
        std::filesystem::permissions(programs / "enc.dll", std::filesystem::perms::owner_all);
        request.appFolder = programs.path().string() + "/";
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir, out, programs;
    encoder::JobRequest request;
    test::JobRecorder recorder;
};

TEST_F(CdJobEndToEnd, TracksBecomeTaggedRenamedMp3FilesWithTheDiscsAudio) {
    // The third track has a sector that never reads.
    Drive("fail=" + std::to_string(225 + 150 + 70));
    const char* titles[] = {"First Light", "Second: Wind", "Third", "Last/Call"};
    Titles({titles[0], titles[1], titles[2], titles[3]});
    request.cd.checked = {1, 1, 1, 1};
    Run();
    EXPECT_EQ(recorder.Outcome()->message,
              "Error: 1 of 4 files could not be encoded:\n"
              "Track3 (Third): Error: Can't read RAW Audio Data.");
    const std::pair<int, const char*> expected[] = {{0, "Orvane Players - First Light.MP3"},
                                                    {1, "Orvane Players - Second- Wind.MP3"},
                                                    {3, "Orvane Players - Last-Call.MP3"}};
    for (const auto& [track, name] : expected) {
        std::string bytes = test::ReadFile(out / name);
        ASSERT_GT(bytes.size(), 128u) << name;
        std::string tag = bytes.substr(bytes.size() - 128);
        EXPECT_EQ(tag.substr(0, 3), "TAG");
        EXPECT_EQ(tag.substr(3, std::string(titles[track]).size()), titles[track]);
        ExpectTrackAudio(name, track);
    }
    // Nothing else is left: the grabbed WAVE files were removed after encoding, the partial one
    // at once, and no track stays under a name of the job's.
    EXPECT_EQ(Files(), (std::vector<std::string>{"Orvane Players - First Light.MP3",
                                                 "Orvane Players - Last-Call.MP3",
                                                 "Orvane Players - Second- Wind.MP3"}));
    // The status window names the track by its own number and name.
    EXPECT_EQ(recorder.Text(encoder::JobText::Input), "Track4 (Last)");
    EXPECT_EQ(recorder.Text(encoder::JobText::Output), (out / expected[2].second).string());
}

// The database's v1 sum of a track from its definition (words k < 2940 left out on the first
// track, k > N - 2940 on the last).
std::uint32_t ReferenceV1(const std::string& pcm, bool first, bool last) {
    const std::uint64_t n = pcm.size() / 4;
    std::uint64_t sum = 0;
    for (std::uint64_t k = 1; k <= n; ++k) {
        if ((first && k < 2940) || (last && k > n - 2940)) continue;
        const auto* p = reinterpret_cast<const unsigned char*>(pcm.data() + (k - 1) * 4);
        sum += k * (p[0] | p[1] << 8 | p[2] << 16 | std::uint64_t{p[3]} << 24);
    }
    return static_cast<std::uint32_t>(sum);
}

// Secure reading and the database check on: the final message adds the tracks not
// accurately ripped, the unreadable one among them, and a log and cue sheet lie beside the
// files.
TEST_F(CdJobEndToEnd, AVerifiedRipChecksEveryTrackAndLeavesItsLogAndCueSheet) {
    Drive("fail=" + std::to_string(225 + 150 + 70));
    Titles({"First Light", "Second", "Third", "Last"});
    request.cd.checked = {1, 1, 1, 1};
    request.cd.rip.read.mode = ReadMode::Secure;
    request.cd.rip.accurateRip = true;
    request.cd.ripLog = true;
    // One pressing in the database: the first two tracks as the disc holds them.
    std::string body = std::string(1, '\x04') + std::string(12, '\0');
    for (int t = 0; t < 4; ++t) {
        const std::string pcm = test::CdToneFrames(kTones[t], kFrames[t], 0);
        std::uint32_t sum = t < 2 ? ReferenceV1(pcm, t == 0, t == 3) : 0x12345678;
        body += '\x05';
        for (int i = 0; i < 4; ++i)
            body += static_cast<char>((sum >> (8 * i)) & 0xFF);
        body += std::string(4, '\0');
    }
    test::LoopbackServer server([&](const std::string&) {
        return test::LoopbackReply{{"HTTP/1.0 200 OK\r\n\r\n" + body}};
    });
    request.cd.rip.accurateRipServer = "http://" + server.Address();
    Run();
    EXPECT_EQ(server.RequestCount(), 1u);
    // The sector that never reads is silence in the track, which is kept and named by it.
    EXPECT_EQ(recorder.Outcome()->message,
              "MP3 Compression Finished.\n"
              "Track 3: not accurately ripped (checksum differs from the AccurateRip database; "
              "suspicious sectors at LBA 445 (track 3, 00:00.70))\n"
              "Track 4: not accurately ripped (checksum differs from the AccurateRip database)");
    const std::string log = test::ReadFile(out / "Orvane Players - Tones.log");
    EXPECT_NE(log.find("Read mode: secure"), std::string::npos) << log;
    EXPECT_NE(log.find("File: " + (out / "Orvane Players - First Light.MP3").string()),
              std::string::npos)
        << log;
    const std::string cue = test::ReadFile(out / "Orvane Players - Tones.cue");
    EXPECT_NE(cue.find("FILE \"Orvane Players - Second.MP3\" MP3"), std::string::npos) << cue;
    ExpectTrackAudio("Orvane Players - Second.MP3", 1);
}

// Two tracks of one title: the second file takes a numbered name, and the log and cue sheet
// name the files as written, not as planned.
TEST_F(CdJobEndToEnd, TheRipLogNamesTheNumberedFileOfASameTitledTrack) {
    Drive("");
    Titles({"Dawn", "Dawn", "Dusk", "Dawn"});
    request.cd.checked = {1, 1, 0, 0};
    request.cd.ripLog = true;
    Run();
    EXPECT_EQ(recorder.Outcome()->message, "MP3 Compression Finished.");
    const std::string log = test::ReadFile(out / "Orvane Players - Tones.log");
    const std::string cue = test::ReadFile(out / "Orvane Players - Tones.cue");
    for (const std::string name : {"Orvane Players - Dawn.MP3", "Orvane Players - Dawn (2).MP3"}) {
        EXPECT_TRUE(std::filesystem::exists(out / name)) << name;
        EXPECT_NE(log.find("File: " + (out / name).string() + "\n"), std::string::npos) << log;
        EXPECT_NE(cue.find("FILE \"" + name + "\" MP3"), std::string::npos) << cue;
    }
}

// With several jobs allowed the next tracks are grabbed while one is encoded; a grab that fails
// in the middle of it leaves the files and the report of a one-track-at-a-time job.
TEST_F(CdJobEndToEnd, GrabbingAheadWritesWhatOneTrackAtATimeWrites) {
    Drive("fail=" + std::to_string(225 + 150 + 70));
    Titles({"First Light", "Second: Wind", "Third", "Last/Call"});
    request.cd.checked = {1, 1, 1, 1};
    Run();
    std::map<std::string, std::string> sequential;
    for (const std::string& name : Files())
        sequential[name] = test::ReadFile(out / name);
    std::filesystem::remove_all(out.path());
    std::filesystem::create_directory(out.path());
    request.parallelJobs = 3;
    test::JobRecorder ahead;
    InstallCdTrackSource(nullptr);
    {
        encoder::JobRunner runner(request, ahead);
        runner.Start();
        ASSERT_TRUE(ahead.WaitEnd());
        runner.Stop();
    }
    encoder::SetCdTrackSource(nullptr);
    ASSERT_TRUE(ahead.Outcome().has_value());
    EXPECT_EQ(ahead.Outcome()->message, recorder.Outcome()->message);
    EXPECT_EQ(test::FailedFiles(*ahead.Outcome()), std::vector<std::string>{"Track3 (Third)"});
    std::map<std::string, std::string> grabbedAhead;
    for (const std::string& name : Files())
        grabbedAhead[name] = test::ReadFile(out / name);
    EXPECT_EQ(grabbedAhead.size(), 3u);
    EXPECT_TRUE(grabbedAhead == sequential);
}

// Four encoders at once: tracks of the same title take their numbered names in the disc's
// order however their encodes end. The first track's encode ends only after the last one's
// (the encoder of track 1 waits on a pipe that the encoder of track 4 writes when it is done).
TEST_F(CdJobEndToEnd, SeveralEncodersNameSameTitledTracksInTheDiscsOrder) {
    Drive("");
    Titles({"Dawn", "Dawn", "Dusk", "Dawn"});
    request.cd.checked = {1, 1, 0, 1};
    request.cd.deleteGrabbedWav = false;
    const std::vector<std::string> users = {"Orvane Players - Dawn.MP3", "Track9.WAV"};
    for (const std::string& name : users)
        test::WriteFile(out / name, "the user's " + name);
    Run();
    std::map<std::string, std::string> sequential;
    for (const std::string& name : Files())
        sequential[name] = test::ReadFile(out / name);
    const std::string message = recorder.Outcome()->message;
    EXPECT_EQ(message, "MP3 Compression Finished.");
    std::filesystem::remove_all(out.path());
    std::filesystem::create_directory(out.path());
    for (const std::string& name : users)
        test::WriteFile(out / name, "the user's " + name);

    const std::string real = (test::DistDir() / "enc.dll").string();
    const std::string pipe = (dir / "first-waits").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_symlink(test::DistDir() / "libwnaspi32.so",
                                    programs / "libwnaspi32.so");
    test::WriteFile(programs / "enc.dll",
                    "#!/bin/sh\nfor last; do :; done\ncase \"$last\" in\n"
                    "*track1.MP3) read go < '" +
                        pipe + "'; exec '" + real +
                        "' \"$@\";;\n"
                        "*track4.MP3) '" +
                        real + "' \"$@\"; s=$?; echo go > '" + pipe +
                        "'; exit $s;;\n"
                        "esac\nexec '" +
                        real + "' \"$@\"\n");
    std::filesystem::permissions(programs / "enc.dll", std::filesystem::perms::owner_all);
    request.appFolder = programs.path().string() + "/";
    request.parallelJobs = 4;
    test::JobRecorder four;
    InstallCdTrackSource(nullptr);
    {
        encoder::JobRunner runner(request, four);
        runner.Start();
        ASSERT_TRUE(four.WaitEnd());
        runner.Stop();
    }
    encoder::SetCdTrackSource(nullptr);
    ASSERT_TRUE(four.Outcome().has_value());
    EXPECT_EQ(four.Outcome()->message, message);
    std::map<std::string, std::string> parallel;
    for (const std::string& name : Files())
        parallel[name] = test::ReadFile(out / name);
    EXPECT_EQ(parallel.size(), sequential.size());
    for (const auto& [name, bytes] : sequential)
        EXPECT_TRUE(parallel.count(name) && parallel.at(name) == bytes) << name;
    // Track 1 had the first free name although its encode ended last.
    ExpectTrackAudio("Orvane Players - Dawn (2).MP3", 0);
    ExpectTrackAudio("Orvane Players - Dawn (4).MP3", 3);
}

// A cancel while several tracks are encoded and the next ones grabbed: every encoder ends and
// nothing is left but the user's file and what had its final name before.
TEST_F(CdJobEndToEnd, ACancelAmongSeveralEncodersLeavesNoScratchFile) {
    Drive("");
    Titles({"Dawn", "Noon", "Dusk", "Night"});
    request.cd.checked = {1, 1, 0, 1};
    test::WriteFile(out / "Track9.WAV", "the user's");
    // The second track's encoder says so and then never ends by itself.
    SecondTrackEncoder("echo \"Encoding the second track\"\nexec cat > /dev/null");
    request.parallelJobs = 3;
    InstallCdTrackSource(nullptr);
    encoder::JobRunner runner(request, recorder);
    runner.Start();
    ASSERT_TRUE(recorder.WaitLog("Encoding the second track"));
    runner.Cancel();
    ASSERT_TRUE(recorder.WaitEnd());
    runner.Stop();
    encoder::SetCdTrackSource(nullptr);
    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Cancelled);
    EXPECT_EQ(recorder.Outcome()->message, "Current Process was Canceled.");
    for (const std::string& name : Files()) {
        EXPECT_NE(name[0], '.') << name;
        EXPECT_TRUE(name == "Track9.WAV" || name.find("Orvane Players - ") == 0) << name;
        // The second track never got its name.
        EXPECT_EQ(name.find("Noon"), std::string::npos) << name;
    }
}

// A rip into a folder that holds the user's files, among them what an earlier rip of the disc
// made, with two rows of the same title and the grabbed WAVE files kept.
TEST_F(CdJobEndToEnd, APatternFilesACompilationIntoFoldersWithBothTags) {
    Drive("");
    const std::string title = "\u66f2\u540d \u2014 a title longer than thirty bytes";
    Titles({"cut", "Dawn"});
    request.cd.checked = {1, 1, 0, 0};
    request.namePattern = "%a/%B/%N %A - %T";
    request.fullTags.resize(3);
    for (int t = 1; t <= 2; ++t) {
        tags::TrackTags& f = request.fullTags[static_cast<std::size_t>(t)];
        f.Set(tags::TagField::AlbumArtist, "Various");
        f.Set(tags::TagField::TrackNumber, std::to_string(t));
        f.Set(tags::TagField::TrackTotal, "4");
    }
    request.fullTags[1].Set(tags::TagField::Title, title);
    request.fullTags[1].Set(tags::TagField::Artist, "\u0410\u043b\u0438\u0441\u0430");
    request.fullTags[1].Set(tags::TagField::Isrc, "XXA019900010");
    request.fullTags[1].Set(tags::TagField::MusicBrainzDiscId, "lwHl8fGzJyLXQR33ug60E8jhf4k-");
    Run();
    EXPECT_EQ(recorder.Outcome()->message, "MP3 Compression Finished.");
    EXPECT_EQ(Files(), std::vector<std::string>{"Various"});
    const std::string first = "Various/Tones/01 \u0410\u043b\u0438\u0441\u0430 - " + title + ".MP3";
    const std::string second = "Various/Tones/02 Orvane Players - Dawn.MP3";
    ExpectTrackAudio(first, 0);
    ExpectTrackAudio(second, 1);
    const std::string bytes = test::ReadFile(out / first);
    ASSERT_GT(bytes.size(), 128u);
    EXPECT_EQ(bytes.substr(bytes.size() - 128, 6), "TAGcut");
    // An independent reader sees the full texts before the audio.
    const std::string command =
        "/usr/bin/python3 -c 'import sys, mutagen.id3 as m\n"
        "t = m.ID3(sys.argv[1])\n"
        "print(t[\"TIT2\"].text[0], t[\"TPE1\"].text[0], "
        "t[\"TPE2\"].text[0], t[\"TRCK\"].text[0], t[\"TSRC\"].text[0], "
        "t[\"TXXX:MusicBrainz Disc Id\"].text[0], sep=\"|\")' '" +
        (out / first).string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(line), title +
                                     "|\u0410\u043b\u0438\u0441\u0430|Various|1/4|XXA019900010|"
                                     "lwHl8fGzJyLXQR33ug60E8jhf4k-\n");
}

TEST_F(CdJobEndToEnd, TheUsersFilesStayAndTakenNamesGetTheNextNumber) {
    Drive("");
    Titles({"Dawn", "Dawn"});
    request.cd.checked = {1, 1, 0, 0};
    request.cd.deleteGrabbedWav = false;
    test::WriteFile(out / "Track0.WAV", "the user's wave");
    test::WriteFile(out / "Track0.MP3", "the user's mp3");
    test::WriteFile(out / "Track1.MP3", "another of the user's");
    test::WriteFile(out / "Orvane Players - Dawn.MP3", "an earlier rip");
    Run();
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Succeeded);
    EXPECT_EQ(recorder.Outcome()->message, "MP3 Compression Finished.");
    EXPECT_EQ(Files(), (std::vector<std::string>{
                           "Orvane Players - Dawn (2).MP3", "Orvane Players - Dawn (2).WAV",
                           "Orvane Players - Dawn (3).MP3", "Orvane Players - Dawn.MP3",
                           "Orvane Players - Dawn.WAV", "Track0.MP3", "Track0.WAV", "Track1.MP3"}));
    EXPECT_EQ(test::ReadFile(out / "Track0.WAV"), "the user's wave");
    EXPECT_EQ(test::ReadFile(out / "Track0.MP3"), "the user's mp3");
    EXPECT_EQ(test::ReadFile(out / "Track1.MP3"), "another of the user's");
    EXPECT_EQ(test::ReadFile(out / "Orvane Players - Dawn.MP3"), "an earlier rip");
    ExpectTrackAudio("Orvane Players - Dawn (2).MP3", 0);
    ExpectTrackAudio("Orvane Players - Dawn (3).MP3", 1);
    // The kept WAVE files hold their tracks whole.
    EXPECT_EQ(std::filesystem::file_size(out / "Orvane Players - Dawn.WAV"),
              44 + kFrames[0] * 2352u);
    EXPECT_EQ(std::filesystem::file_size(out / "Orvane Players - Dawn (2).WAV"),
              44 + kFrames[1] * 2352u);
    EXPECT_EQ(recorder.Text(encoder::JobText::Input), "Track2 (Second)");
    EXPECT_EQ(recorder.Text(encoder::JobText::Output),
              (out / "Orvane Players - Dawn (3).MP3").string());
}

// The encoder finds the disk full on the second track: the job names the track, says why and
// where its grabbed WAVE file is, and goes on.
TEST_F(CdJobEndToEnd, ATrackOnAFullDiskIsNamedWithTheReasonAndItsWaveFileKept) {
    Drive("");
    Titles({"Dawn", "Noon", "Unread", "Dusk"});
    request.cd.checked = {1, 1, 0, 1};
    // The encoder program as shipped, except that the disk is full for the second track.
    SecondTrackEncoder(
        "cat > /dev/null\n"
        "echo \"Error: Cannot write $last: No space left on device\"\n"
        "exit 1");
    Run();
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Failed);
    EXPECT_EQ(recorder.Outcome()->message,
              "Error: 1 of 3 files could not be encoded:\n"
              "Track2 (Second): Error: Cannot write " +
                  (out / "Orvane Players - Noon.MP3").string() +
                  ": No space left on device; the grabbed WAVE file was kept as " +
                  (out / "Orvane Players - Noon.WAV").string());
    EXPECT_EQ(test::FailedFiles(*recorder.Outcome()), std::vector<std::string>{"Track2 (Second)"});
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"Orvane Players - Dawn.MP3", "Orvane Players - Dusk.MP3",
                                        "Orvane Players - Noon.WAV"}));
    EXPECT_EQ(std::filesystem::file_size(out / "Orvane Players - Noon.WAV"),
              44 + kFrames[1] * 2352u);
    EXPECT_EQ(recorder.Text(encoder::JobText::Input), "Track4 (Last)");
    ExpectTrackAudio("Orvane Players - Dusk.MP3", 3);
}

// A job cancelled while a track is being encoded leaves the tracks done before and nothing of
// the one it stopped, not even under a hidden name.
TEST_F(CdJobEndToEnd, ACancelLeavesNothingOfTheTrackItStopped) {
    Drive("");
    Titles({"Dawn", "Noon"});
    request.cd.checked = {1, 1, 0, 0};
    request.cd.deleteGrabbedWav = false;
    SecondTrackEncoder("echo \"Encoding the second track\"\nexec cat > /dev/null");
    InstallCdTrackSource(nullptr);
    encoder::JobRunner runner(request, recorder);
    runner.Start();
    ASSERT_TRUE(recorder.WaitLog("Encoding the second track"));
    runner.Cancel();
    ASSERT_TRUE(recorder.WaitEnd());
    runner.Stop();
    encoder::SetCdTrackSource(nullptr);
    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Cancelled);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"Orvane Players - Dawn.MP3", "Orvane Players - Dawn.WAV"}));
}

// The tracks become FLAC files under their tagged names holding the disc's samples exactly,
// with the tag, the track number and one album gain over all of them, also with several
// tracks encoded at once.
TEST_F(CdJobEndToEnd, FlacFilesHoldTheTracksSamplesAndTags) {
    Drive("");
    Titles({"Dawn", "Noon", "Dusk", "Night"});
    request.cd.checked = {1, 1, 0, 1};
    request.kind = encoder::JobKind::EncodeFlac;
    request.formats.replayGain = true;
    request.parallelJobs = 3;
    // What the grabber hands over beyond the records: the full title and the drive's ids.
    request.fullTags.resize(5);
    request.fullTags[4].Set(tags::TagField::Title, "Night");
    request.fullTags[4].Set(tags::TagField::Isrc, "XXA019900040");
    request.fullTags[4].Set(tags::TagField::MusicBrainzDiscId, "lwHl8fGzJyLXQR33ug60E8jhf4k-");
    formats::RegisterFlacJob();
    Run();
    encoder::RegisterKind(encoder::JobKind::EncodeFlac, nullptr,
                          encoder::KindEntry(encoder::JobKind::EncodeFlac).batch);
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Succeeded);
    EXPECT_EQ(recorder.Outcome()->message, "FLAC Compression Finished.");
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"Orvane Players - Dawn.FLAC", "Orvane Players - Night.FLAC",
                                        "Orvane Players - Noon.FLAC"}));
    auto sh = [](const std::string& command) {
        std::string output;
        FILE* p = ::popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t got; p && (got = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            output.append(buffer, got);
        if (p) ::pclose(p);
        return output;
    };
    std::string album;
    const std::pair<const char*, int> files[] = {{"Dawn", 0}, {"Noon", 1}, {"Night", 3}};
    for (const auto& [title, track] : files) {
        const std::string flac =
            (out / ("Orvane Players - " + std::string(title) + ".FLAC")).string();
        const std::string wav = (dir / "back.wav").string();
        ASSERT_EQ(std::system(("flac -s -d -f '" + flac + "' -o '" + wav + "'").c_str()), 0);
        const std::string back = test::ReadFile(wav);
        EXPECT_TRUE(back.substr(44) == test::CdToneFrames(kTones[track], kFrames[track], 0))
            << title;
        EXPECT_EQ(sh("metaflac --show-tag=TITLE --show-tag=ARTIST --show-tag=ALBUM "
                     "--show-tag=TRACKNUMBER '" +
                     flac + "'"),
                  "TITLE=" + std::string(title) + "\nARTIST=Orvane Players\nALBUM=Tones\n" +
                      "TRACKNUMBER=" + std::to_string(track + 1) + "\n");
        EXPECT_EQ(sh("metaflac --show-tag=ISRC --show-tag=MUSICBRAINZ_DISCID '" + flac + "'"),
                  track == 3
                      ? "ISRC=XXA019900040\nMUSICBRAINZ_DISCID=lwHl8fGzJyLXQR33ug60E8jhf4k-\n"
                      : "")
            << title;
        const std::string gain = sh("metaflac --show-tag=REPLAYGAIN_ALBUM_GAIN '" + flac + "'");
        EXPECT_NE(gain, "") << title;
        if (album.empty()) album = gain;
        EXPECT_EQ(gain, album) << title;
    }
}

// Rip\Eject on: the tray of the job's drive opens after a complete rip (its log and cue sheet
// written first), never after one with a track that could not be read. The drive's tray and
// reads are its own (Drive discovers it again), told in the test's own state file.
TEST_F(CdJobEndToEnd, TheTrayOpensOnlyAfterACompleteRip) {
    const std::string state = (dir / "drive.state").string();
    const auto run = [&](test::JobRecorder& job) {
        InstallCdTrackSource(nullptr);
        encoder::JobRunner runner(request, job);
        runner.Start();
        ASSERT_TRUE(job.WaitEnd());
        runner.Stop();
        encoder::SetCdTrackSource(nullptr);
        ASSERT_TRUE(job.Outcome().has_value());
    };
    Titles({"Dawn", "Noon"});
    request.cd.checked = {1, 1, 0, 0};
    request.cd.rip.eject = true;

    // The second track has a sector that never reads.
    Drive("fail=" + std::to_string(225 + 70) + " state_file=" + state);
    test::JobRecorder failed;
    run(failed);
    EXPECT_EQ(failed.Outcome()->result, encoder::JobResult::Failed);
    EXPECT_EQ(failed.Outcome()->message.find("tray"), std::string::npos);
    EXPECT_EQ(test::ReadFile(state).find("tray_open=1"), std::string::npos);

    std::filesystem::remove_all(out.path());
    std::filesystem::create_directory(out.path());
    Drive("state_file=" + state);
    request.cd.ripLog = true;
    test::JobRecorder complete;
    run(complete);
    EXPECT_EQ(complete.Outcome()->result, encoder::JobResult::Succeeded);
    EXPECT_EQ(complete.Outcome()->message, "MP3 Compression Finished.");
    EXPECT_NE(test::ReadFile(state).find("tray_open=1"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(out / "Orvane Players - Tones.log"));
    ExpectTrackAudio("Orvane Players - Noon.MP3", 1);
}

}  // namespace
}  // namespace orvane::cdda
