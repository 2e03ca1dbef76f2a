#include "encoder/wma/wma_job.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "encoder/app/resource.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_runner.h"
#include "encoder/tags/paths.h"
#include "platform/clock/clock.h"
#include "support/pause_log.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"
#include "tests/encoder/app/job_recorder.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;
using namespace orvane::wmenc;
using encoder::JobBar;
using encoder::JobResult;
using encoder::JobRunner;
using encoder::JobText;

TEST(WmaJobRules, DurationNeedsChannelsRateAndWholeBytes) {
    std::string h = test::SineWave(2, 44100, 3.0, {440}).substr(0, 44);
    auto header = [&] { return reinterpret_cast<const unsigned char*>(h.data()); };
    EXPECT_EQ(WaveDurationSeconds(header()), 3);
    for (int offset : {22, 24, 34}) {
        std::string saved = h;
        h[offset] = 0, h[offset + 1] = 0;
        if (offset == 34) h[34] = 4;  // 4 bits: no whole byte per sample
        EXPECT_FALSE(WaveDurationSeconds(header())) << offset;
        h = saved;
    }
    EXPECT_EQ(DurationFromSize(176400 * 5 + 10), 5);
    EXPECT_EQ(DurationFromSize(100), 1);
}

TEST(WmaJobRules, OutputNames) {
    EXPECT_EQ(BatchOutputName("/out/", "/in/Song one.wav"), "/out/Song one.WMA");
    // An artist of one character names the track by its title alone.
    EXPECT_EQ(CdTrackOutputName("/out/", "X", "Title", 3), "/out/Title.WMA");
    EXPECT_EQ(CdTrackOutputName("/out/", "AB", "a:b/c?", 3), "/out/AB - a-b-c.WMA");
}

TEST(WmaJobRules, RemainingTime) {
    EXPECT_EQ(RemainingText(3725, 5), "01:02:00");
    EXPECT_EQ(RemainingText(99 * 3600 + 59, 0), "00:00:59");  // hours modulo 99
    EXPECT_EQ(RemainingText(100 * 3600, 0), "00:00:00");
    EXPECT_EQ(RemainingText(10, 30), "00:00:00");
}

using Recorder = test::JobRecorder;

// While it lives, no file of this process grows past a limit, as on a disk that fills up: a
// write beyond it fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

// A stereo 16-bit sine whose data ends cut bytes into a sample frame; the header's data size
// says what the file holds, or (declaredWhole) the size the recording was meant to have.
std::string CutShortWave(double seconds, int cut, bool declaredWhole) {
    std::string wave = test::SineWave(2, 44100, seconds, {440, 660});
    const auto whole = static_cast<std::uint32_t>(wave.size() - 44);
    wave += std::string(static_cast<std::size_t>(cut), '\x5A');
    std::string size;
    test::PutLe(size, declaredWhole ? whole + 4096 : whole + static_cast<std::uint32_t>(cut), 4);
    wave.replace(40, 4, size);
    return wave;
}

// CD tracks already read into WAVE files, as the grabber hands them over.
class Tracks : public encoder::InputSource {
public:
    explicit Tracks(std::vector<encoder::SourceItem> items) : items_(std::move(items)) {}
    bool Batch() const override { return true; }
    Next Take(JobRunner&) override {
        if (next_ >= items_.size()) return {};
        return {Step::Item, items_[next_++], {}};
    }
    int Count() const override { return static_cast<int>(items_.size()); }

private:
    std::vector<encoder::SourceItem> items_;
    std::size_t next_ = 0;
};

class WmaJob : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        fs::create_directory(profiles.path() / "p");
        test::CopyShippedProfiles(profiles.path() / "p");
        test::RegisterProfileFolder((profiles.path() / "p").string());
        RegisterWmaJob();
    }
    void TearDown() override {
        SetCallHook(nullptr);
        encoder::SetCdTrackSource(nullptr);
        clock::Install(nullptr);
    }
    fs::path Wave(const std::string& name, double seconds) {
        fs::path file = work / name;
        test::WriteFile(file, test::SineWave(2, 44100, seconds, {440, 660}));
        return file;
    }
    encoder::JobRequest Single(const fs::path& in, const fs::path& out) {
        encoder::JobRequest r;
        r.kind = encoder::JobKind::EncodeWma;
        r.input = in.string();
        r.output = out.string();
        return r;
    }
    // Runs the request to its end in a fresh window.
    void Run(const encoder::JobRequest& request) {
        rec = std::make_unique<Recorder>();
        JobRunner runner(request, *rec);
        runner.Start();
        runner.Wait();
        outcome = runner.Outcome();
    }
    std::vector<std::string> Files(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Files() { return Files(work.path()); }

    clock::VirtualClock clk{true};
    test::TempDir profiles, work;
    std::unique_ptr<Recorder> rec;
    encoder::JobOutcome outcome;
};

TEST_F(WmaJob, SingleFileWithItsTextsInTheDescribedOrder) {
    std::vector<std::string> calls;
    std::mutex callsMutex;
    SetCallHook([&](std::string_view call) {
        std::lock_guard l(callsMutex);
        if (call.rfind("Statistics", 0) != 0 && call != "Encoder.get_RunState" &&
            call != "Encoder.get_Statistics")
            calls.emplace_back(call);
        return S_OK;
    });
    fs::path in = Wave("in.wav", 2.0), out = work / "out.wma";
    encoder::JobRequest c = Single(in, out);
    c.wma.profileIndex = 1;
    c.wma.title = "Titel – ä", c.wma.author = "Autor", c.wma.copyright = "© 2001";
    c.wma.rating = "5", c.wma.description = "Beschreibung";
    Run(c);

    EXPECT_TRUE(rec->Messages().empty());
    ASSERT_EQ(rec->Finished().size(), 1u);
    EXPECT_EQ(rec->Finished()[0].message, "Compression Finished.");
    EXPECT_EQ(outcome.result, JobResult::Succeeded);
    // The statistics timer runs with the job and stops before the end.
    EXPECT_EQ(rec->Timers(), (std::vector<unsigned>{1000, 0}));
    EXPECT_EQ(rec->Text(JobText::Log),
              "Preparing to Start the Encoder...\r\nEncoder was started successfully...\r\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.wav", "out.wma"}));
    auto probe = test::Probe(out);
    EXPECT_EQ(probe["codec_name"], "wmav2");
    EXPECT_EQ(probe["bit_rate"], "192000");  // the second profile
    EXPECT_EQ(probe["TAG:title"], "Titel – ä");
    EXPECT_EQ(probe["TAG:artist"], "Autor");
    EXPECT_EQ(probe["TAG:copyright"], "© 2001");
    EXPECT_EQ(probe["TAG:rating"], "5");
    EXPECT_EQ(probe["TAG:comment"], "Beschreibung");
    EXPECT_EQ(rec->Range(JobBar::CurrentFile), std::make_pair(0, 2));
    EXPECT_EQ(rec->Pos(JobBar::CurrentFile), 2);
    EXPECT_EQ(rec->Pos(JobBar::Overall), 2);
    std::vector<std::string> expected = {"CoInitialize",
                                         "CoCreateInstance",
                                         "Encoder.get_SourceGroupCollection",
                                         "SourceGroups.Add",
                                         "SourceGroup.AddSource",
                                         "Encoder.get_ProfileCollection",
                                         "Profiles.Item",
                                         "SourceGroup.put_Profile",
                                         "Encoder.get_DisplayInfo",
                                         "Encoder.get_File",
                                         "Source.SetInput",
                                         "SourceGroups.put_Active",
                                         "DisplayInfo.put_Title",
                                         "DisplayInfo.put_Author",
                                         "DisplayInfo.put_Copyright",
                                         "DisplayInfo.put_Rating",
                                         "DisplayInfo.put_Description",
                                         "File.put_LocalFileName",
                                         "Encoder.put_AutoStop",
                                         "Encoder.put_AutoArchive",
                                         "Encoder.put_EnableStatistics",
                                         "Encoder.PrepareToEncode",
                                         "Encoder.Start",
                                         "CoUninitialize"};
    std::lock_guard l(callsMutex);
    EXPECT_EQ(calls, expected);
}

// The window's message passes before the file and at the end, and the pause before the
// objects go, in a paced job; an unpaced one only waits for the encoder.
TEST_F(WmaJob, OnlyAPacedJobMakesTheWindowsPauses) {
    fs::path in = Wave("in.wav", 1.0);
    for (bool paced : {true, false}) {
        test::PauseLog log;
        clock::Install(&log);
        encoder::JobRequest request = Single(in, work / "out.wma");
        request.paced = paced;
        Run(request);
        clock::Install(&clk);
        EXPECT_EQ(outcome.result, JobResult::Succeeded);
        const std::vector<std::uint32_t> pauses =
            paced ? std::vector<std::uint32_t>{7000, 7000, 2500} : std::vector<std::uint32_t>{};
        EXPECT_EQ(log.Pauses(), pauses) << paced;
        EXPECT_GT(fs::file_size(work / "out.wma"), 1000u);
        fs::remove(work / "out.wma");
    }
}

// Every set-up and per-file call that fails shows its message and ends the job without an
// output file.
TEST_F(WmaJob, EachFailingCallEndsTheJobWithItsMessage) {
    const std::pair<const char*, const char*> cases[] = {
        {"CoCreateInstance", "Error creating IWMEncoder object"},
        {"Encoder.get_SourceGroupCollection",
         "Error geting the IWMEncSourceGroupCollection interface"},
        {"SourceGroups.Add", "Error geting the IWMEncSourceGroup interface"},
        {"SourceGroup.AddSource", "Error geting the IWMEncSourceGroup interface"},
        {"Encoder.get_ProfileCollection", "Could not get the profile collection"},
        {"Profiles.Item", "Could not get the specific profile"},
        {"SourceGroup.put_Profile", "Could not set the profile"},
        {"Encoder.get_DisplayInfo", "Error geting the IWMEncDisplayInfo interface"},
        {"Encoder.get_File", "Error getting IWMEncFile interface"},
        {"Source.SetInput", "Error setting the input file"},
        {"SourceGroups.put_Active", "Error setting the active source group"},
        {"DisplayInfo.put_Rating", "Error setting File Information"},
        {"File.put_LocalFileName", "Error setting output file name"},
    };
    fs::path in = Wave("in.wav", 0.5), out = work / "out.wma";
    for (const auto& [call, message] : cases) {
        std::string failing = call;
        SetCallHook([failing](std::string_view c) { return c == failing ? E_FAIL : S_OK; });
        Run(Single(in, out));
        auto boxes = rec->Boxes();
        ASSERT_EQ(boxes.size(), 1u) << call;
        EXPECT_EQ(boxes[0].text, message);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(Files(), std::vector<std::string>{"in.wav"}) << call;
        // Only a failed creation closes the window; otherwise it waits for the user.
        EXPECT_EQ(rec->Closes(),
                  failing == "CoCreateInstance" ? std::vector<int>{IDOK} : std::vector<int>{})
            << call;
        EXPECT_TRUE(rec->Finished().empty());
        EXPECT_EQ(outcome.result, JobResult::Failed);
    }
}

TEST_F(WmaJob, MissingProfileFailsWithoutOutput) {
    fs::path in = Wave("in.wav", 0.5), out = work / "out.wma";
    encoder::JobRequest c = Single(in, out);
    c.wma.profileIndex = 7;
    Run(c);
    EXPECT_EQ(rec->Messages(), std::vector<std::string>{"Could not get the specific profile"});
    c.wma.profileIndex = -1;  // no entry chosen on the page
    Run(c);
    EXPECT_EQ(rec->Messages(), std::vector<std::string>{"Could not get the specific profile"});
    EXPECT_EQ(Files(), std::vector<std::string>{"in.wav"});
}

TEST_F(WmaJob, InputsThatAreNoWaveOrTheOutputItself) {
    std::vector<std::string> texts;
    test::WriteFile(work / "text.wav", "XIFF....WAVE");
    Run(Single(work / "text.wav", work / "a.wma"));
    texts.push_back(rec->Messages().at(0));
    Run(Single(work / "missing.wav", work / "b.wma"));
    texts.push_back(rec->Messages().at(0));
    // Named as its own output the input is never touched.
    fs::path in = Wave("same.wav", 0.5);
    std::string before = test::ReadFile(in);
    Run(Single(in, work / "." / "same.wav"));
    texts.push_back(rec->Messages().at(0));
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Error: Input file is not a Windows PCM WAVE File.",
                                        "Error: Cannot open the Input File",
                                        "Error: The output file cannot be the input file."}));
    EXPECT_EQ(test::ReadFile(in), before);
    EXPECT_EQ(Files(), (std::vector<std::string>{"same.wav", "text.wav"}));
}

// Samples the encoder cannot take are refused before it starts: no output, the reason said.
TEST_F(WmaJob, InputsThatAreNoSixteenBitPcmAreRefusedBeforeTheEncoderStarts) {
    const std::string wave = test::SineWave(2, 44100, 1.0, {440});
    auto patched = [&](std::size_t offset, std::uint32_t value, int bytes) {
        std::string w = wave;
        for (int i = 0; i < bytes; ++i)
            w[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return w;
    };
    const std::string shortFormat =
        wave.substr(0, 16) + std::string("\x0E\0\0\0", 4) + wave.substr(20, 14) + wave.substr(36);
    const std::string dataFirst = wave.substr(0, 12) + wave.substr(36) + wave.substr(12, 24);
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"12 bits", patched(34, 12, 2), "Error: Input file is not a 16-bit WAV File."},
        {"64 bits", patched(34, 64, 2), "Error: Input file is not a 16-bit WAV File."},
        {"floats", patched(20, 3, 2), "Error: Input file is not a Windows PCM WAVE File."},
        {"14-byte format", shortFormat, "Error: Input file is not a Windows PCM WAVE File."},
        {"data first", dataFirst, "Error: Input file is not a Windows PCM WAVE File."},
        {"1 Hz", patched(24, 1, 4),
         "Error: The WAV file's sample rate of 1 Hz cannot be encoded; 1000 to 192000 Hz can."},
    };
    for (const auto& c : cases) {
        test::WriteFile(work / "in.wav", c.bytes);
        Run(Single(work / "in.wav", work / "out.wma"));
        EXPECT_EQ(rec->Messages(), std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(Files(), std::vector<std::string>{"in.wav"}) << c.name;
    }
}

// A header without channels gives no duration: the job still runs with a range from the
// file's size, the encoder cannot take the input, and the user's older file stays as it was.
TEST_F(WmaJob, HeaderWithoutChannelsRunsAndFailsWithoutTouchingTheOldOutput) {
    std::string wave = test::SineWave(2, 44100, 6.0, {440});
    wave[22] = 0;
    test::WriteFile(work / "zero.wav", wave);
    test::WriteFile(work / "out.wma", "older file");
    Run(Single(work / "zero.wav", work / "out.wma"));
    EXPECT_EQ(rec->Range(JobBar::CurrentFile), std::make_pair(0, 6));
    // Nothing was encoded: the bars do not say otherwise.
    EXPECT_EQ(rec->Pos(JobBar::CurrentFile), 0);
    EXPECT_EQ(rec->Pos(JobBar::Overall), 0);
    auto texts = rec->Messages();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find("no channels"), std::string::npos);  // the encoder's description
    EXPECT_EQ(rec->Boxes()[0].caption, "error");
    EXPECT_EQ(texts[1], "Error: Prepare to encode failed.");
    EXPECT_EQ(texts[2], "Error encoding the file");
    EXPECT_EQ(test::ReadFile(work / "out.wma"), "older file");
    EXPECT_EQ(Files(), (std::vector<std::string>{"out.wma", "zero.wav"}));
    // Nothing was written: the job does not say it finished, it names the file and why.
    ASSERT_EQ(rec->Finished().size(), 1u);
    EXPECT_EQ(rec->Finished()[0].message, "Error: The file could not be encoded:\n" +
                                              (work / "zero.wav").string() + "\n" + texts[0]);
    EXPECT_EQ(outcome.result, JobResult::Failed);
}

// The disk fills up after the encoder started: the final message lists each file that failed
// with the encoder's reason, the outcome lists them, and no partial output is left.
TEST_F(WmaJob, FolderBatchNamesTheFilesThatFailedAfterTheStart) {
    fs::create_directory(work / "in");
    fs::create_directory(work / "out");
    test::WriteFile(work / "in" / "a.wav", test::SineWave(2, 44100, 0.5, {440}));
    test::WriteFile(work / "in" / "b.wav", test::SineWave(2, 44100, 10.0, {440}));
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = (work / "in").string() + "/";
    c.output = (work / "out").string() + "/";
    {
        FileSizeLimit full(48 * 1024);
        Run(c);
    }
    ASSERT_EQ(rec->Finished().size(), 1u);
    const std::string message = rec->Finished()[0].message;
    EXPECT_EQ(message.rfind("Error: 1 of 2 files could not be encoded:\nb.wav: ", 0), 0u)
        << message;
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(test::FailedFiles(outcome),
              std::vector<std::string>{(work / "in" / "b.wav").string()});
    EXPECT_EQ(Files(work / "out"), std::vector<std::string>{"a.WMA"});
}

// Three files at once: the files and the report of one file after the other (a file too large
// for the disk fails in both), and a file that is no WAVE file, which would stop the batch of
// one file after the other, fails alone.
TEST_F(WmaJob, SeveralFilesAtOnceWriteWhatOneAtATimeWritesAndFailAlone) {
    fs::create_directory(work / "in");
    test::WriteFile(work / "in" / "a.wav", test::SineWave(2, 44100, 0.5, {440}));
    test::WriteFile(work / "in" / "b.wav", test::SineWave(2, 44100, 10.0, {440}));
    test::WriteFile(work / "in" / "c.wav", test::SineWave(1, 22050, 1.0, {660}));
    std::string messages[2];
    std::vector<std::string> failed[2], written[2];
    std::string durations[2], titles[2];
    for (int jobs : {1, 3}) {
        const int i = jobs == 1 ? 0 : 1;
        const fs::path out = work / ("out" + std::to_string(jobs));
        fs::create_directory(out);
        encoder::JobRequest c;
        c.kind = encoder::JobKind::EncodeWma;
        c.batch = true;
        c.input = (work / "in").string() + "/";
        c.output = out.string() + "/";
        c.parallelJobs = jobs;
        {
            FileSizeLimit full(48 * 1024);
            Run(c);
        }
        ASSERT_EQ(rec->Finished().size(), 1u);
        messages[i] = rec->Finished()[0].message;
        failed[i] = test::FailedFiles(outcome);
        titles[i] = rec->Text(JobText::Title);
        written[i] = Files(out);
        for (const std::string& name : written[i])
            durations[i] += name + "=" + test::Probe(out / name)["duration"] + " ";
    }
    EXPECT_EQ(messages[1], messages[0]);
    EXPECT_EQ(messages[0].rfind("Error: 1 of 3 files could not be encoded:\nb.wav: ", 0), 0u)
        << messages[0];
    EXPECT_EQ(failed[1], failed[0]);
    EXPECT_EQ(written[1], written[0]);
    EXPECT_EQ(written[0], (std::vector<std::string>{"a.WMA", "c.WMA"}));
    EXPECT_EQ(durations[1], durations[0]);
    // Both end on the batch's last file, numbered in the whole batch.
    EXPECT_EQ(titles[0], "Orvane Encoder 2001 - (File 3 of 3)");
    EXPECT_EQ(titles[1], titles[0]);

    test::WriteFile(work / "in" / "b.wav", "no wave");
    fs::remove_all(work / "out3");
    fs::create_directory(work / "out3");
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = (work / "in").string() + "/";
    c.output = (work / "out3").string() + "/";
    c.parallelJobs = 3;
    Run(c);
    EXPECT_TRUE(rec->Messages().empty());
    EXPECT_EQ(rec->Finished().at(0).message,
              "Error: 1 of 3 files could not be encoded:\nb.wav: Error: Input file is not a "
              "Windows PCM WAVE File.");
    EXPECT_EQ(test::FailedFiles(outcome),
              std::vector<std::string>{(work / "in" / "b.wav").string()});
    EXPECT_EQ(Files(work / "out3"), (std::vector<std::string>{"a.WMA", "c.WMA"}));
}

// A cancel while three files are encoded: each encoder stops at once, the batch ends as
// cancelled once, and no temporary file is left.
TEST_F(WmaJob, CancelDuringSeveralFilesEndsThemAll) {
    fs::create_directory(work / "in");
    fs::create_directory(work / "out");
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        test::WriteFile(work / "in" / name, test::SineWave(2, 44100, 120.0, {440}));
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = (work / "in").string() + "/";
    c.output = (work / "out").string() + "/";
    c.parallelJobs = 3;
    rec = std::make_unique<Recorder>();
    {
        JobRunner runner(c, *rec);
        runner.Start();
        ASSERT_TRUE(rec->WaitLog("started"));
        runner.Cancel();
        runner.Wait();
        outcome = runner.Outcome();
    }
    EXPECT_EQ(outcome.result, JobResult::Cancelled);
    ASSERT_EQ(rec->Finished().size(), 1u);
    EXPECT_EQ(rec->Finished()[0].message, "Current Process was Canceled.");
    EXPECT_TRUE(rec->Messages().empty());
    // No file waits seconds for its engine as a window's whole job does.
    EXPECT_EQ(rec->Text(JobText::Log).find("Stopping the Encoder Engine"), std::string::npos);
    for (const std::string& name : Files(work / "out")) {
        EXPECT_NE(name[0], '.') << name;
        EXPECT_NE(name, "d.WMA");  // never started
    }
}

// A recording cut short inside a sample frame (any of the three cut points of 16-bit stereo,
// with the header telling the truth or the size it was meant to have): its whole frames are
// encoded.
TEST_F(WmaJob, WaveEndingInsideASampleFrameIsEncoded) {
    for (bool declaredWhole : {false, true})
        for (int cut = 1; cut < 4; ++cut) {
            const std::string name = "cut" + std::to_string(cut) + (declaredWhole ? "w" : "");
            test::WriteFile(work / (name + ".wav"), CutShortWave(1.0, cut, declaredWhole));
            Run(Single(work / (name + ".wav"), work / (name + ".wma")));
            EXPECT_TRUE(rec->Messages().empty()) << name;
            ASSERT_EQ(rec->Finished().size(), 1u) << name;
            EXPECT_EQ(rec->Finished()[0].message, "Compression Finished.") << name;
            EXPECT_EQ(outcome.result, JobResult::Succeeded) << name;
            auto probe = test::Probe(work / (name + ".wma"));
            EXPECT_NEAR(std::stod(probe["duration"]), 1.0, 2048.0 / 44100) << name;
        }
}

TEST_F(WmaJob, CancelWhileEncodingKeepsAValidShorterFile) {
    fs::path in = Wave("long.wav", 120.0), out = work / "out.wma";
    rec = std::make_unique<Recorder>();
    {
        JobRunner runner(Single(in, out), *rec);
        runner.Start();
        ASSERT_TRUE(rec->WaitLog("started"));
        runner.Cancel();  // the user's Cancel
        runner.Wait();
        outcome = runner.Outcome();
    }
    EXPECT_EQ(rec->Messages(), std::vector<std::string>{"Current Process was Canceled."});
    EXPECT_EQ(rec->Closes(), std::vector<int>{IDCANCEL});
    EXPECT_TRUE(rec->Finished().empty());
    auto probe = test::Probe(out);
    EXPECT_EQ(probe["codec_name"], "wmav2");
    EXPECT_LT(std::stod(probe["duration"]), 120.0);
    EXPECT_EQ(Files(), (std::vector<std::string>{"long.wav", "out.wma"}));
}

TEST_F(WmaJob, FolderBatchWritesOneFileEachWithoutTexts) {
    fs::create_directory(work / "in");
    fs::create_directory(work / "out");
    test::WriteFile(work / "in" / "a.wav", test::SineWave(2, 44100, 0.5, {440}));
    test::WriteFile(work / "in" / "B.WAV", test::SineWave(1, 22050, 0.5, {440}));
    test::WriteFile(work / "in" / "notes.txt", "x");
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = (work / "in").string() + "/";
    c.output = (work / "out").string() + "/";
    c.wma.title = "not used in a batch";
    Run(c);
    EXPECT_TRUE(rec->Messages().empty());
    EXPECT_EQ(rec->Finished().at(0).message, "Compression Finished.");
    EXPECT_EQ(Files(work / "out"), (std::vector<std::string>{"B.WMA", "a.WMA"}));
    EXPECT_EQ(test::Probe(work / "out" / "a.WMA").count("TAG:title"), 0u);
    EXPECT_EQ(rec->Text(JobText::FileCount), "2");
    EXPECT_EQ(rec->Text(JobText::FileNumber), "2");
    EXPECT_EQ(rec->Range(JobBar::Overall), std::make_pair(0, 200));
    // The overall bar counts the files done; the title ends on the last file taken.
    EXPECT_EQ(rec->Percents(JobBar::Overall), (std::vector<int>{0, 50, 100}));
    EXPECT_EQ(rec->Text(JobText::Title), "Orvane Encoder 2001 - (File 2 of 2)");
    EXPECT_TRUE(fs::exists(work / "in" / "a.wav"));  // only grabbed tracks are deleted
}

TEST_F(WmaJob, CdTracksAreNamedAndDescribedByTheirTags) {
    fs::create_directory(work / "cd");
    std::vector<encoder::SourceItem> items(2);
    for (int n : {1, 2}) {
        encoder::SourceItem& item = items[static_cast<std::size_t>(n - 1)];
        item.input = (work / "cd" / ("Track" + std::to_string(n) + ".WAV")).string();
        test::WriteFile(item.input, test::SineWave(2, 44100, 0.5, {440}));
        item.trackNumber = n;
        item.deleteInput = true;
    }
    items[0].tag.SetTitle("Erste: Spur?");
    items[0].tag.SetArtist("Band");
    items[0].tag.SetAlbum("Album");
    items[1].tag.SetTitle("Second");
    items[1].tag.SetArtist("Z");
    encoder::SetCdTrackSource([items](const encoder::JobRequest&) {
        return std::unique_ptr<encoder::InputSource>(std::make_unique<Tracks>(items));
    });
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = encoder::kCdAudioInput;
    c.output = (work / "cd").string() + "/";
    Run(c);
    EXPECT_EQ(rec->Finished().at(0).message, "Compression Finished.");
    // Each grabbed WAVE file goes once encoded; an artist of one character is left out.
    EXPECT_EQ(Files(work / "cd"),
              (std::vector<std::string>{"Band - Erste- Spur.WMA", "Second.WMA"}));
    auto probe = test::Probe(work / "cd" / "Band - Erste- Spur.WMA");
    EXPECT_EQ(probe["TAG:title"], "Erste: Spur?");
    EXPECT_EQ(probe["TAG:artist"], "Band");
    EXPECT_EQ(probe["TAG:copyright"], "Band");
    EXPECT_EQ(probe["TAG:comment"], "Album");
    EXPECT_EQ(probe.count("TAG:rating"), 0u);
}

// A track the encoder could not write keeps its grabbed WAVE file and is named, with why, in
// the final message.
TEST_F(WmaJob, CdTrackThatFailsToEncodeKeepsItsWaveFile) {
    fs::create_directory(work / "cd");
    encoder::SourceItem item;
    item.input = (work / "cd" / "Track1.WAV").string();
    test::WriteFile(item.input, test::SineWave(2, 44100, 0.5, {440}));
    item.trackNumber = 1;
    item.deleteInput = true;
    item.tag.SetTitle("Only");
    item.tag.SetArtist("Band");
    encoder::SetCdTrackSource([item](const encoder::JobRequest&) {
        return std::unique_ptr<encoder::InputSource>(
            std::make_unique<Tracks>(std::vector<encoder::SourceItem>{item}));
    });
    SetCallHook([](std::string_view c) { return c == "Encoder.Start" ? E_FAIL : S_OK; });
    encoder::JobRequest c;
    c.kind = encoder::JobKind::EncodeWma;
    c.batch = true;
    c.input = encoder::kCdAudioInput;
    c.output = (work / "cd").string() + "/";
    Run(c);
    EXPECT_EQ(rec->Messages(), std::vector<std::string>{"Error encoding the file"});
    EXPECT_EQ(rec->Finished().at(0).message,
              "Error: 1 of 1 files could not be encoded:\n"
              "Track1.WAV: Error encoding the file");
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(Files(work / "cd"), std::vector<std::string>{"Track1.WAV"});
}

// A statistics tick while the job prepares its first file shows the time since the job began,
// not the time of day.
TEST_F(WmaJob, TheElapsedTimeWhilePreparingCountsFromTheJobsStart) {
    clk.SetAutoAdvance(false);
    fs::path in = Wave("in.wav", 1.0);
    Recorder window;
    JobRunner runner(Single(in, work / "out.wma"), window);
    runner.Start();
    // The job waits in its message pass after saying it prepares.
    ASSERT_TRUE(window.WaitLog("Preparing to Start the Encoder..."));
    ASSERT_TRUE(clk.WaitForSleepers(1));
    clk.Advance(3000);
    runner.Tick(encoder::ID_TIMER_WMA);
    const std::string elapsed = window.Text(JobText::Elapsed);
    clk.SetAutoAdvance(true);
    clk.Advance(10000);
    runner.Wait();
    EXPECT_EQ(elapsed, "00:00:03");
    EXPECT_EQ(runner.Outcome().result, JobResult::Succeeded);
}

// The statistics of a running encoder reach the status window.
TEST_F(WmaJob, StatisticsUpdateShowsRateTimesAndBitrate) {
    Recorder window;
    JobRunner runner(encoder::JobRequest{}, window);
    WmaJobShared shared;
    UpdateWmaStatistics(runner, shared);  // no encoder: nothing
    EXPECT_EQ(window.Text(JobText::Rate), "");
    fs::path in = Wave("in.wav", 3.0);
    CoInitialize(nullptr);
    {
        std::shared_ptr<IUnknown> u;
        ASSERT_EQ(
            CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWMEncoder, &u),
            S_OK);
        auto e = As<IWMEncoder>(u);
        std::shared_ptr<IWMEncSourceGroupCollection> groups;
        std::shared_ptr<IWMEncSourceGroup> group;
        std::shared_ptr<IWMEncSource> source;
        std::shared_ptr<IWMEncProfileCollection> list;
        std::shared_ptr<IWMEncProfile> profile;
        std::shared_ptr<IWMEncFile> file;
        e->get_SourceGroupCollection(&groups);
        groups->Add("Convert", &group);
        group->AddSource(kSourceAudio, &source);
        e->get_ProfileCollection(&list);
        list->Item(0, &profile);
        VARIANT v;
        v.vt = VT_DISPATCH;
        v.pdispVal = profile;
        group->put_Profile(v);
        source->SetInput(in.string(), "", "");
        groups->put_Active(group);
        e->get_File(&file);
        file->put_LocalFileName((work / "out.wma").string());
        e->put_AutoArchive(VARIANT_TRUE);
        shared.encoder = e;
        shared.durationSeconds = 2;  // shorter than the input: the bar stops at 2
        shared.startTime = clock::Time() - 3725;
        UpdateWmaStatistics(runner, shared);  // statistics off: nothing
        EXPECT_EQ(window.Text(JobText::Rate), "");
        e->put_EnableStatistics(VARIANT_TRUE);
        ASSERT_EQ(e->Start(), S_OK);
        // Without AutoStop the encoder stays running once the whole input is encoded; its
        // end of input wakes the clock's sleepers.
        std::shared_ptr<IWMEncStatistics> stats;
        e->get_Statistics(&stats);
        clock::SystemClock real;
        clock::Install(&real);
        real.SleepMsUnless(60000, [&] {
            std::int64_t ms = 0;
            stats->get_EncodingTime(&ms);
            return ms >= 3000;
        });
        clock::Install(&clk);
        UpdateWmaStatistics(runner, shared);
        EXPECT_EQ(window.Text(JobText::Rate), "  44100 Samples/sec.  ");
        EXPECT_EQ(window.Text(JobText::Compression), "                    -                    ");
        EXPECT_EQ(window.Pos(JobBar::CurrentFile), 2);
        EXPECT_EQ(window.Pos(JobBar::Overall), 2);
        EXPECT_EQ(window.Text(JobText::Elapsed), "01:02:05");
        EXPECT_EQ(window.Text(JobText::Remaining), "00:00:00");
        // Encoded faster than it plays: with the whole input done nothing remains, though
        // less time has passed than the input lasts.
        shared.startTime = clock::Time();
        UpdateWmaStatistics(runner, shared);
        EXPECT_EQ(window.Text(JobText::Elapsed), "00:00:00");
        EXPECT_EQ(window.Text(JobText::Remaining), "00:00:00");
        int kbps = std::atoi(window.Text(JobText::Bitrate).c_str());
        EXPECT_NEAR(kbps, 160, 16);
        EXPECT_EQ(window.Text(JobText::Bitrate), std::to_string(kbps) + "kbps");
        e->Stop();
        shared.encoder.reset();
    }
    CoUninitialize();
}

}  // namespace
}  // namespace orvane::wma
