#include "encoder/wma/wma_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "../app/fake_window.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/paths.h"
#include "encoder/app/resource.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;
using namespace orvane::wmenc;

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

// A status dialog for the job: a recording window, the application object, the virtual
// clock (the job's fixed waits take no time) and a folder batch.
class Host : public WmaJobHost {
public:
    explicit Host(encoder::EncoderApp& app) : app_(app) {}
    WindowPort& Window() override { return w; }
    encoder::EncoderApp& App() override { return app_; }
    bool CancelRequested() override {
        if (cancelWhenStarted && w.Text(IDC_STATUS_LOG).find("started") != std::string::npos)
            cancel = true;
        return cancel;
    }
    void Wait(unsigned ms, const std::function<bool()>& until) override {
        waits.push_back(ms);
        clock::Current().SleepMsUnless(ms, [&] { return CancelRequested() || until(); });
    }
    std::string NextBatchFile() override {
        auto all = encoder::FindFiles(folder, "*.WAV");
        app_.batchCount = static_cast<int>(all.size());
        return next < all.size() ? folder + all[next++] : std::string();
    }
    std::string GrabNextTrack(int& trackNumber) override {
        if (tracks.empty()) return {};
        auto [number, path] = tracks.front();
        tracks.erase(tracks.begin());
        trackNumber = number;
        return path;
    }
    void SetJobRunning(bool on) override { running.push_back(on); }
    bool ReplaceFile(const std::string& temp, const std::string& target) override {
        return std::rename(temp.c_str(), target.c_str()) == 0;
    }
    WmaJobShared& Shared() override { return shared; }

    test::FakeWindow w;
    std::atomic<bool> cancel{false};
    bool cancelWhenStarted = false;
    std::vector<unsigned> waits;
    std::vector<bool> running;
    std::string folder;
    std::size_t next = 0;
    std::vector<std::pair<int, std::string>> tracks;
    WmaJobShared shared;

private:
    encoder::EncoderApp& app_;
};

class WmaJob : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        fs::create_directory(profiles.path() / "p");
        test::CopyShippedProfiles(profiles.path() / "p");
        test::RegisterProfileFolder((profiles.path() / "p").string());
        app.settings = &settings;
    }
    void TearDown() override {
        SetCallHook(nullptr);
        clock::Install(nullptr);
    }
    fs::path Wave(const std::string& name, double seconds) {
        fs::path file = work / name;
        test::WriteFile(file, test::SineWave(2, 44100, seconds, {440, 660}));
        return file;
    }
    WmaJobChoice Single(const fs::path& in, const fs::path& out) {
        WmaJobChoice c;
        c.input = in.string();
        c.output = out.string();
        return c;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> t;
        for (const auto& b : host.w.Boxes())
            t.push_back(b.text);
        return t;
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(work.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    clock::VirtualClock clk{true};
    test::TempDir profiles, work;
    encoder::MemorySettings settings;
    encoder::EncoderApp app;
    Host host{app};
};

TEST_F(WmaJob, SingleFileWithItsTextsInTheDescribedOrder) {
    std::vector<std::string> calls;
    SetCallHook([&](std::string_view call) {
        if (call.rfind("Statistics", 0) != 0 && call != "Encoder.get_RunState")
            calls.emplace_back(call);
        return S_OK;
    });
    fs::path in = Wave("in.wav", 2.0), out = work / "out.wma";
    WmaJobChoice c = Single(in, out);
    c.profileIndex = 1;
    c.title = "Titel – ä", c.author = "Autor", c.copyright = "© 2001", c.rating = "5";
    c.description = "Beschreibung";
    RunWmaJob(host, c);

    EXPECT_EQ(Texts(), std::vector<std::string>{"Compression Finished."});
    EXPECT_EQ(host.w.Text(IDC_STATUS_LOG),
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
    EXPECT_EQ(host.w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 2));
    EXPECT_EQ(host.w.Pos(IDC_STATUS_FILEBAR), 2);
    EXPECT_EQ(host.w.Pos(IDC_STATUS_OVERALLBAR), 2);
    EXPECT_EQ(host.running, (std::vector<bool>{true, false}));
    EXPECT_FALSE(host.shared.encoder);
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
    EXPECT_EQ(calls, expected);
    // 7 s before preparing, polls of 7 s (each ends once the encoder stops), 7 s at the end.
    ASSERT_GE(host.waits.size(), 3u);
    for (unsigned ms : host.waits)
        EXPECT_EQ(ms, 7000u);
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
        SetCallHook([&](std::string_view c) { return c == failing ? E_FAIL : S_OK; });
        host.w.Reset();
        host.running.clear();
        RunWmaJob(host, Single(in, out));
        auto boxes = host.w.Boxes();
        ASSERT_EQ(boxes.size(), 1u) << call;
        EXPECT_EQ(boxes[0].text, message);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(Files(), std::vector<std::string>{"in.wav"}) << call;
        EXPECT_FALSE(host.shared.encoder);
        // Only a failed creation closes the window; otherwise it waits for the user.
        EXPECT_EQ(host.w.Ended(),
                  failing == "CoCreateInstance" ? std::vector<int>{IDOK} : std::vector<int>{})
            << call;
        EXPECT_TRUE(host.running.empty() || !host.running.back()) << call;
    }
}

TEST_F(WmaJob, MissingProfileFailsWithoutOutput) {
    fs::path in = Wave("in.wav", 0.5), out = work / "out.wma";
    WmaJobChoice c = Single(in, out);
    c.profileIndex = 7;
    RunWmaJob(host, c);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Could not get the specific profile"});
    c.profileIndex = -1;  // no entry chosen on the page
    RunWmaJob(host, c);
    EXPECT_EQ(Files(), std::vector<std::string>{"in.wav"});
}

TEST_F(WmaJob, InputsThatAreNoWaveOrTheOutputItself) {
    test::WriteFile(work / "text.wav", "XIFF....WAVE");
    RunWmaJob(host, Single(work / "text.wav", work / "a.wma"));
    RunWmaJob(host, Single(work / "missing.wav", work / "b.wma"));
    // Named as its own output the input is never touched.
    fs::path in = Wave("same.wav", 0.5);
    std::string before = test::ReadFile(in);
    RunWmaJob(host, Single(in, work / "." / "same.wav"));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Error: Input file is not a Windows PCM WAVE File.",
                                        "Error: Cannot open the Input File",
                                        "Error: The output file cannot be the input file."}));
    EXPECT_EQ(test::ReadFile(in), before);
    EXPECT_EQ(Files(), (std::vector<std::string>{"same.wav", "text.wav"}));
}

// A header without channels gives no duration: the job still runs with a range from the
// file's size, the encoder cannot take the input, and the user's older file stays as it was.
TEST_F(WmaJob, HeaderWithoutChannelsRunsAndFailsWithoutTouchingTheOldOutput) {
    std::string wave = test::SineWave(2, 44100, 6.0, {440});
    wave[22] = 0;
    test::WriteFile(work / "zero.wav", wave);
    test::WriteFile(work / "out.wma", "older file");
    RunWmaJob(host, Single(work / "zero.wav", work / "out.wma"));
    EXPECT_EQ(host.w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 6));
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find("no channels"), std::string::npos);  // the encoder's description
    EXPECT_EQ(host.w.Boxes()[0].caption, "error");
    EXPECT_EQ(texts[1], "Error: Prepare to encode failed.");
    EXPECT_EQ(texts[2], "Error encoding the file");
    EXPECT_EQ(test::ReadFile(work / "out.wma"), "older file");
    EXPECT_EQ(Files(), (std::vector<std::string>{"out.wma", "zero.wav"}));
}

TEST_F(WmaJob, CancelWhileEncodingKeepsAValidShorterFile) {
    fs::path in = Wave("long.wav", 120.0), out = work / "out.wma";
    host.cancelWhenStarted = true;
    RunWmaJob(host, Single(in, out));
    EXPECT_TRUE(Texts().empty());
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
    host.folder = (work / "in").string() + "/";
    WmaJobChoice c;
    c.batch = true;
    c.input = host.folder;
    c.output = (work / "out").string() + "/";
    c.title = "not used in a batch";
    RunWmaJob(host, c);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Compression Finished."});
    EXPECT_TRUE(fs::exists(work / "out" / "a.WMA"));
    EXPECT_TRUE(fs::exists(work / "out" / "B.WMA"));
    EXPECT_EQ(test::Probe(work / "out" / "a.WMA").count("TAG:title"), 0u);
    EXPECT_EQ(host.w.Text(IDC_STATUS_FILECOUNT), "2");
    EXPECT_EQ(host.w.Text(IDC_STATUS_FILENO), "2");
    EXPECT_EQ(host.w.Range(IDC_STATUS_OVERALLBAR), std::make_pair(0, 200));
    EXPECT_TRUE(fs::exists(work / "in" / "a.wav"));  // only grabbed tracks are deleted
}

TEST_F(WmaJob, CdTracksAreNamedAndDescribedByTheirTags) {
    fs::create_directory(work / "cd");
    for (int n : {1, 2}) {
        std::string path = (work / "cd" / ("Track" + std::to_string(n) + ".WAV")).string();
        test::WriteFile(path, test::SineWave(2, 44100, 0.5, {440}));
        host.tracks.emplace_back(n, path);
    }
    app.tagTable[1].SetTitle("Erste: Spur?");
    app.tagTable[1].SetArtist("Band");
    app.tagTable[1].SetAlbum("Album");
    app.tagTable[2].SetTitle("Second");
    app.tagTable[2].SetArtist("Z");
    app.batchCount = 2;
    app.deleteGrabbedWav = 1;
    WmaJobChoice c;
    c.batch = true;
    c.input = "CD-Audio";
    c.output = (work / "cd").string() + "/";
    RunWmaJob(host, c);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Compression Finished."});
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work / "cd"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Band - Erste- Spur.WMA", "Second.WMA"}));
    auto probe = test::Probe(work / "cd" / "Band - Erste- Spur.WMA");
    EXPECT_EQ(probe["TAG:title"], "Erste: Spur?");
    EXPECT_EQ(probe["TAG:artist"], "Band");
    EXPECT_EQ(probe["TAG:copyright"], "Band");
    EXPECT_EQ(probe["TAG:comment"], "Album");
    EXPECT_EQ(probe.count("TAG:rating"), 0u);
}

// The statistics of a running encoder reach the status window.
TEST_F(WmaJob, StatisticsUpdateShowsRateTimesAndBitrate) {
    UpdateWmaStatistics(host);  // no encoder: nothing
    EXPECT_EQ(host.w.Text(IDC_STATUS_FPS), "");
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
        std::shared_ptr<IWMEncProfileCollection> profiles;
        std::shared_ptr<IWMEncProfile> profile;
        std::shared_ptr<IWMEncFile> file;
        e->get_SourceGroupCollection(&groups);
        groups->Add("Convert", &group);
        group->AddSource(kSourceAudio, &source);
        e->get_ProfileCollection(&profiles);
        profiles->Item(0, &profile);
        VARIANT v;
        v.vt = VT_DISPATCH;
        v.pdispVal = profile;
        group->put_Profile(v);
        source->SetInput(in.string(), "", "");
        groups->put_Active(group);
        e->get_File(&file);
        file->put_LocalFileName((work / "out.wma").string());
        e->put_AutoArchive(VARIANT_TRUE);
        {
            std::lock_guard lock(host.shared.mutex);
            host.shared.encoder = e;
            host.shared.durationSeconds = 2;  // shorter than the input: the bar stops at 2
            host.shared.startTime = clock::Time() - 3725;
        }
        UpdateWmaStatistics(host);  // statistics off: nothing
        EXPECT_EQ(host.w.Text(IDC_STATUS_FPS), "");
        e->put_EnableStatistics(VARIANT_TRUE);
        ASSERT_EQ(e->Start(), S_OK);
        // Without AutoStop the encoder stays running once the whole input is encoded.
        std::shared_ptr<IWMEncStatistics> stats;
        e->get_Statistics(&stats);
        clock::SystemClock real;
        while (true) {
            std::int64_t ms = 0;
            stats->get_EncodingTime(&ms);
            if (ms >= 3000) break;
            real.SleepMs(5);
        }
        UpdateWmaStatistics(host);
        EXPECT_EQ(host.w.Text(IDC_STATUS_FPS), "  44100 Samples/sec.  ");
        EXPECT_EQ(host.w.Text(IDC_STATUS_COMPRESSION), "                    -                    ");
        EXPECT_EQ(host.w.Pos(IDC_STATUS_FILEBAR), 2);
        EXPECT_EQ(host.w.Text(IDC_STATUS_ELAPSED), "01:02:05");
        EXPECT_EQ(host.w.Text(IDC_STATUS_REMAINING), "00:00:00");
        int kbps = std::atoi(host.w.Text(IDC_STATUS_BITRATE).c_str());
        EXPECT_NEAR(kbps, 160, 16);
        EXPECT_EQ(host.w.Text(IDC_STATUS_BITRATE), std::to_string(kbps) + "kbps");
        e->Stop();
        host.shared.encoder.reset();
    }
    CoUninitialize();
}

}  // namespace
}  // namespace orvane::wma
