#include "encoder/cdda/cd_job.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <vector>

#include "encoder/app/fake_window.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/job/job_runner.h"
#include "platform/clock/clock.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

using Step = encoder::InputSource::Step;

class CdSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        request_.kind = encoder::JobKind::EncodeMp3;
        request_.input = encoder::kCdAudioInput;
        request_.batch = true;
        request_.output = out_.path().string() + "/";
        request_.cd.driveIndex = 0;
        request_.cd.names = {"Intro", "Second", "Track3", "Last"};
        request_.cd.readBufferSize = 16;
        request_.cd.deleteGrabbedWav = true;
        request_.tags[2].SetMarker();
        request_.tags[2].SetArtist("A/B");
        request_.tags[2].SetTitle("Song: One?");
    }
    void Load(const std::string& faults) {
        transport_ =
            std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
                test::ImageOf(dir_, {30, 40, 50, 60}, faults)});
    }
    test::TempDir dir_, out_;
    std::unique_ptr<test::Transport> transport_;
    encoder::JobRequest request_;
    test::JobRecorder recorder_;
};

// The names of out_'s files.
std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The read window of the job's grabs: what it was told to show as the file.
struct ReadWindows {
    struct Window : ProgressWindow {
        WindowPort& Port() override { return port; }
        ~Window() override { shown->push_back(port.Text(IDC_GRAB_FILE)); }
        test::FakeWindow port;
        std::vector<std::string>* shown = nullptr;
    };
    OpenProgressFn Fn() {
        return [this](GrabProgress&) {
            auto w = std::make_unique<Window>();
            w->shown = &files;
            return w;
        };
    }
    std::vector<std::string> files;
};

TEST_F(CdSourceTest, TracksBecomeTaggedItemsWithTheirFinalNames) {
    Load("");
    request_.cd.checked = {0, 1, 0, 0};
    CdSession empty;  // no disc read before: the source reads it itself
    ReadWindows windows;
    CdTrackSource source(request_, empty, windows.Fn());
    encoder::JobRunner runner(request_, recorder_);
    EXPECT_EQ(source.Count(), 1);
    auto next = source.Take(runner);
    ASSERT_EQ(next.step, Step::Item);
    // The read window names the track, not the job's scratch file.
    EXPECT_EQ(windows.files, (std::vector<std::string>{"Track2 (Second)"}));
    EXPECT_EQ(next.item.finalStem, (out_ / "A-B - Song- One").string());
    EXPECT_EQ(next.item.label, "Track2 (Second)");
    EXPECT_TRUE(next.item.tagged);
    EXPECT_EQ(next.item.tag.Artist(), "A/B");
    EXPECT_EQ(next.item.trackNumber, 2);
    EXPECT_TRUE(next.item.deleteInput);
    EXPECT_EQ(source.Take(runner).step, Step::End);
}

TEST_F(CdSourceTest, ANamePatternPutsTracksIntoFoldersOfTheOutputFolder) {
    Load("");
    request_.cd.checked = {0, 1, 0, 0};
    request_.namePattern = "%a/%B/%N %T";
    request_.fullTags.resize(3);
    request_.fullTags[2].Set(tags::TagField::Title, "Song: One? (a title longer than thirty)");
    request_.fullTags[2].Set(tags::TagField::AlbumArtist, "../Various");
    request_.tags[2].SetAlbum("Hits");
    CdSession empty;
    CdTrackSource source(request_, empty, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    auto next = source.Take(runner);
    ASSERT_EQ(next.step, Step::Item);
    // The album comes from the ID3v1 record when the full tags have none.
    EXPECT_EQ(next.item.finalStem,
              (out_ / "..-Various/Hits/02 Song- One (a title longer than thirty)").string());
    EXPECT_TRUE(std::filesystem::is_directory(out_ / "..-Various"));
}

TEST_F(CdSourceTest, TheJobsFilesHaveNamesNoUsersFileCanHaveAndGoWithTheirItems) {
    Load("");
    request_.cd.checked = {1, 1, 0, 0};
    test::WriteFile(out_ / "Track0.WAV", "the user's wave");
    test::WriteFile(out_ / "Track0.MP3", "the user's mp3");
    test::WriteFile(out_ / "Track1.MP3", "another of the user's");
    const std::vector<std::string> before = Names(out_.path());
    CdTrackSource source(request_, CdSession{}, nullptr), again(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    auto first = source.Take(runner);
    auto second = source.Take(runner);
    auto other = again.Take(runner);  // another job into the same folder
    std::set<std::string> paths;
    for (const auto* next : {&first, &second, &other}) {
        ASSERT_EQ(next->step, Step::Item);
        for (const std::string& path : {next->item.input, next->item.output}) {
            // Hidden, in the output folder (the final move is a rename), held by the item.
            EXPECT_EQ(std::filesystem::path(path).parent_path(), out_.path());
            EXPECT_EQ(std::filesystem::path(path).filename().string()[0], '.') << path;
            EXPECT_TRUE(next->item.InScratch(path));
            EXPECT_TRUE(std::filesystem::exists(path));
            paths.insert(path);
        }
    }
    EXPECT_EQ(paths.size(), 6u);  // each track and each job its own
    EXPECT_EQ(std::filesystem::file_size(first.item.input), 44 + 30 * kFrameBytes);
    EXPECT_EQ(test::ReadFile(out_ / "Track0.WAV"), "the user's wave");
    EXPECT_EQ(test::ReadFile(out_ / "Track0.MP3"), "the user's mp3");
    EXPECT_EQ(test::ReadFile(out_ / "Track1.MP3"), "another of the user's");
    first = {};
    second = {};
    other = {};
    EXPECT_EQ(Names(out_.path()), before);
}

TEST_F(CdSourceTest, ScratchFilesOfJobsThatDiedAreSweptOnlyWhenOld) {
    // A process number of nobody: a child that has ended.
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    auto scratch = [&](pid_t pid, const std::string& rest, bool old) {
        const std::string path = (out_ / (".cdjob-" + std::to_string(pid) + "-" + rest)).string();
        test::WriteFile(path, "x");
        if (old) {
            const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
        return std::filesystem::path(path).filename().string();
    };
    scratch(dead, "0-track1.WAV", true);
    scratch(dead, "1-track1.MP3", true);
    const std::string young = scratch(dead, "2-track2.WAV", false);
    const std::string mine = scratch(::getpid(), "0-track1.WAV", true);
    const std::string running = scratch(::getppid(), "0-track1.WAV", true);
    test::WriteFile(out_ / ".cdjob-notes", "x");
    test::WriteFile(out_ / "Track0.WAV", "the user's");
    EXPECT_EQ(SweepStaleScratch(out_.path().string()), 2);
    std::vector<std::string> left = {young, mine, running, ".cdjob-notes", "Track0.WAV"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Names(out_.path()), left);
}

TEST_F(CdSourceTest, UnreadableTracksFailAloneAndLeaveNoFile) {
    Load("fail=75");  // inside the third track
    request_.cd.checked = {1, 0, 1, 1};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    auto first = source.Take(runner);
    EXPECT_EQ(first.step, Step::Item);
    // The pause that keeps the failure readable passes at once.
    clock::VirtualClock virtualClock(true);
    clock::Install(&virtualClock);
    auto failed = source.Take(runner);
    clock::Install(nullptr);
    EXPECT_EQ(failed.step, Step::Failed);
    EXPECT_EQ(failed.item.input, "Track3");
    EXPECT_EQ(failed.message, "Error: Can't read RAW Audio Data.");
    auto last = source.Take(runner);
    EXPECT_EQ(last.step, Step::Item);
    EXPECT_EQ(last.item.trackNumber, 4);
    EXPECT_EQ(source.Take(runner).step, Step::End);
    EXPECT_TRUE(recorder_.Messages().empty());
    EXPECT_EQ(TrackLabel(request_.cd, 1), "Track2 (Second)");
    EXPECT_EQ(TrackLabel(request_.cd, 2), "Track3");
    // Only the two tracks read stay, as long as their items do.
    EXPECT_EQ(Names(out_.path()).size(), 4u);
    last = {};
    EXPECT_EQ(Names(out_.path()).size(), 2u);
}

TEST_F(CdSourceTest, ACancelledJobStopsTheGrabQuietly) {
    Load("slow=0-10 slow_ms=1");
    request_.cd.checked = {1, 1, 0, 0};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    runner.RequestCancel();
    auto next = source.Take(runner);
    EXPECT_EQ(next.step, Step::Cancelled);
    EXPECT_EQ(next.message, "Current Process was Canceled.");
    EXPECT_TRUE(recorder_.Messages().empty());  // no second message of its own
    EXPECT_TRUE(Names(out_.path()).empty());    // the frames read so far went
}

TEST_F(CdSourceTest, NoDriveMakesEveryTrackFail) {
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{});
    request_.cd.checked = {1, 0, 1, 0};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    EXPECT_EQ(source.Take(runner).step, Step::Failed);
    EXPECT_EQ(source.Take(runner).step, Step::Failed);
    EXPECT_EQ(source.Take(runner).step, Step::End);
}

}  // namespace
}  // namespace orvane::cdda
