#include "encoder/app/status_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/mp3/child_job.h"
#include "encoder/tags/file_names.h"
#include "fake_window.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/app/job_recorder.h"

namespace orvane::encoder {
namespace {

namespace fs = std::filesystem;

// The file after the ID3v2 tag before its audio (its header gives the tag's size in four 7-bit
// bytes); the whole file when it has none.
std::string WithoutId3v2(const std::string& file) {
    if (file.size() < 10 || file.compare(0, 3, "ID3") != 0) return file;
    std::size_t size = 0;
    for (std::size_t i = 6; i < 10; ++i)
        size = (size << 7) | (static_cast<unsigned char>(file[i]) & 0x7F);
    return file.substr(std::min(file.size(), size + 10));
}

struct Choice {
    std::string input, output;
    JobKind kind = JobKind::EncodeMp3;
    bool batch = false;
    int mode = 0;  // MP3 mode radio 0..3
};

class StatusDialog : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        app.settings = &settings;
        FillGenreList(app.genreList);
        app.splashPending = 0;
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "enc.dll");
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "dec.dll");
        app.appFolder = progDir.path().string() + "/";
        ::setenv("FAKE_MODE", "copy", 1);
        ::setenv("FAKE_ARGS", (work / "args").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("FAKE_ARGS");
        ::unsetenv("FAKE_TEXT");
        clock::Install(nullptr);
    }

    // Runs the wizard with the choice, starts the job and waits for the worker.
    void Run(ProcessingStatusDialog& dlg, const Choice& c, bool wait = true) {
        dlg.Attach(&w);
        w.onModal = [&dlg, c, this](int id) {
            if (id != IDD_SHEET) return IDCANCEL;
            MLSheet& s = dlg.Sheet();
            s.Attach(&sheetWindow);
            s.OnInitDialog();
            if (c.kind == JobKind::Decode) s.OnCommand(IDC_TO_WAV);
            if (c.kind == JobKind::EncodeWma) s.OnCommand(IDC_TO_WMA);
            if (c.batch) {
                sheetWindow.SetCheck(IDC_BATCH, 1);
                s.OnCommand(IDC_BATCH);
            }
            sheetWindow.SetText(IDC_INPUT, c.input);
            s.OnInputChanged();
            sheetWindow.SetText(IDC_OUTPUT, c.output);
            s.OnNext();
            if (s.ActivePage() == IDD_WMA_SETTINGS) s.OnNext();
            if (s.ActivePage() == IDD_PAGE2) {
                sheetWindow.SetCheck(IDC_MODE_STEREO, 0);
                sheetWindow.SetCheck(IDC_MODE_STEREO + c.mode, 1);
                s.OnNext();
            }
            s.OnFinish();
            return ID_WIZFINISH;
        };
        dlg.OnInitDialog();
        if (wait) dlg.WaitForWorker();
    }

    std::vector<std::string> Args() {
        std::vector<std::string> out;
        std::string all = test::ReadFile(work / "args");
        std::size_t start = 0, nl;
        while ((nl = all.find('\n', start)) != std::string::npos) {
            out.push_back(all.substr(start, nl - start));
            start = nl + 1;
        }
        return out;
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> t;
        for (const auto& b : w.Boxes())
            t.push_back(b.text);
        return t;
    }

    clock::VirtualClock clk{true};
    MemorySettings settings;
    EncoderApp app;
    test::TempDir progDir, work;
    test::FakeWindow w, sheetWindow;
};

TEST_F(StatusDialog, SingleFileFeedsTheSamplesAndAppendsTheConfirmedTag) {
    std::string wave = test::CanonicalWave(2, 44100, 16, 100000) + "LIST\2\0\0\0zz";
    test::WriteFile(work / "in.wav", wave);
    app.singleFileTagSet = 1;
    app.tagTable[1].SetMarker();
    app.tagTable[1].SetTitle("Song");
    std::string out = (work / "out.mp3").string();
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), out});

    std::string written = test::ReadFile(out);
    // Before the audio the ID3v2 tag with the same texts.
    ASSERT_EQ(written.substr(0, 4), std::string("ID3\x04", 4));
    EXPECT_NE(written.find("TIT2"), std::string::npos);
    EXPECT_NE(written.find("\x03Song"), std::string::npos);
    written = WithoutId3v2(written);
    ASSERT_EQ(written.size(), 100000u + 128);
    EXPECT_EQ(written.substr(0, 100000), wave.substr(44, 100000));
    EXPECT_EQ(written.substr(written.size() - 128, 7), "TAGSong");
    std::string prog = app.appFolder + "enc.dll";
    EXPECT_EQ(Args(),
              (std::vector<std::string>{prog, "-ms", "-b320", "-s44.10", "-p2", "-l3", "-dn", "",
                                        "", "", "-t", (work / "in.wav").string(), out}));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"MP3 Compression Finished."});
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    EXPECT_EQ(w.Text(IDC_STATUS_INPUT), (work / "in.wav").string());
    EXPECT_EQ(w.Text(IDC_STATUS_OUTPUT), out);
    EXPECT_EQ(w.Text(IDC_STATUS_LOG), dlg.LogText());
    EXPECT_EQ(w.Pos(IDC_STATUS_FILEBAR), 100);
    EXPECT_EQ(w.Pos(IDC_STATUS_OVERALLBAR), 100);
}

TEST_F(StatusDialog, WithTheSettingOffOnlyTheId3v1TagIsWritten) {
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 20000));
    app.singleFileTagSet = 1;
    app.writeId3v2 = 0;
    app.tagTable[1].SetMarker();
    app.tagTable[1].SetTitle("Song");
    std::string out = (work / "out.mp3").string();
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), out});
    std::string written = test::ReadFile(out);
    ASSERT_EQ(written.size(), 20000u + 128);
    EXPECT_EQ(written.substr(written.size() - 128, 7), "TAGSong");
}

TEST_F(StatusDialog, WaveChecksEndTheJobWithTheirMessages) {
    struct Case {
        std::string bytes, message;
    } cases[] = {
        {"ID3 this is not a wave file at all, not even close", "Error: Input file is not a WAV"},
        {"", "Error: Input file is not a WAV"},
        {test::CanonicalWave(2, 44100, 8, 1000), "Error: Input file is not a 16-bit WAV File."},
        {test::CanonicalWave(2, 44100, 24, 1200), "Error: Input file is not a 16-bit WAV File."},
        {"RIFF....WAVE", "Error: Input file is not a 16-bit WAV File."},
    };
    for (const Case& c : cases) {
        w.Reset();
        test::WriteFile(work / "in.wav", c.bytes);
        ProcessingStatusDialog dlg(app);
        Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()});
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
        EXPECT_FALSE(fs::exists(work / "out.mp3"));
        dlg.Detach();
    }
}

TEST_F(StatusDialog, StereoInputWithMonoChosenIsEncodedAsStereo) {
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 22050, 16, 5000));
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in.wav").string(), (work / "out.mp3").string()};
    c.mode = 3;
    Run(dlg, c);
    auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0],
              "A Mono MP3 file cannot be created from a Stereo WAV file.\nThe Stereo MP3 option "
              "was set automatically.");
    EXPECT_EQ(w.Boxes()[0].flags, MB_ICONINFORMATION);
    auto args = Args();
    ASSERT_GE(args.size(), 4u);
    EXPECT_EQ(args[1], "-ms");
    EXPECT_EQ(args[3], "-s22.05");
}

// A missing input is a failed file: the message names it and why, and the job ends by itself
// (in a batch, the other files are still encoded).
TEST_F(StatusDialog, AnInputThatCannotBeOpenedIsNamedAndTheJobEndsByItself) {
    const std::string missing = (work / "missing.wav").string();
    {
        ProcessingStatusDialog dlg(app);
        Run(dlg, {missing, (work / "out.mp3").string()});
        ASSERT_EQ(BoxTexts().size(), 1u);
        EXPECT_NE(BoxTexts()[0].find("Error: Cannot open the input file"), std::string::npos);
        EXPECT_NE(BoxTexts()[0].find(missing), std::string::npos) << BoxTexts()[0];
        EXPECT_NE(BoxTexts()[0].find("No such file or directory"), std::string::npos);
        EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
        EXPECT_EQ(dlg.Outcome().result, JobResult::Failed);
        EXPECT_EQ(test::FailedFiles(dlg.Outcome()), std::vector<std::string>{missing});
    }
    w.Reset();
    ProcessingStatusDialog dlg(app);
    Run(dlg, {missing, (work / "out.wav").string(), JobKind::Decode});
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find(missing), std::string::npos) << BoxTexts()[0];
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
}

TEST_F(StatusDialog, MissingChildAndOutputOverInputAreRefused) {
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 1000));
    std::string before = test::ReadFile(work / "in.wav");
    {
        ProcessingStatusDialog dlg(app);
        Run(dlg, {(work / "in.wav").string(), (work / "in.wav").string()});
        // The wizard refuses it at Finish; no job starts.
        ASSERT_EQ(sheetWindow.Boxes().size(), 1u);
        EXPECT_EQ(sheetWindow.Boxes()[0].text, "Error: The output file cannot be the input file.");
        EXPECT_FALSE(dlg.JobStarted());
        EXPECT_EQ(test::ReadFile(work / "in.wav"), before);
    }
    w.Reset();
    app.appFolder = (work / "nowhere").string() + "/";
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot execute compressor, ENC.DLL"});
}

TEST_F(StatusDialog, FolderBatchMatchesWithoutRegardToCaseAndStopsAtAFailingFile) {
    fs::create_directory(work / "in");
    fs::create_directory(work / "out");
    test::WriteFile(work / "in/a.wav", test::CanonicalWave(2, 44100, 16, 3000));
    test::WriteFile(work / "in/B.WAV", test::CanonicalWave(1, 44100, 16, 2000));
    test::WriteFile(work / "in/notes.txt", "x");
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in").string(), (work / "out").string()};
    c.batch = true;
    Run(dlg, c);
    EXPECT_EQ(test::ReadFile(work / "out/a.MP3").size(), 3000u);
    EXPECT_EQ(test::ReadFile(work / "out/B.MP3").size(), 2000u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"MP3 Compression Finished."});
    EXPECT_EQ(w.Text(IDC_STATUS_FILECOUNT), "2");
    auto titles = w.Titles();
    ASSERT_EQ(titles.size(), 2u);  // the third turn finds no file and stops before its title
    EXPECT_EQ(titles[1], "Orvane Encoder 2001 - (File 2 of 2)");
    EXPECT_EQ(w.Range(IDC_STATUS_OVERALLBAR), std::make_pair(0, 100));
    auto overall = w.PosHistory(IDC_STATUS_OVERALLBAR);
    EXPECT_NE(std::find(overall.begin(), overall.end(), 200), overall.end());

    // A file failing its check ends the batch; the files before it are finished.
    w.Reset();
    fs::remove(work / "out/a.MP3");
    fs::remove(work / "out/B.MP3");
    test::WriteFile(work / "in/B.WAV", test::CanonicalWave(1, 44100, 8, 2000));
    test::WriteFile(work / "in/c.wav", test::CanonicalWave(1, 44100, 16, 2000));
    ProcessingStatusDialog second(app);
    Run(second, c);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error: Input file is not a 16-bit WAV File."});
    EXPECT_TRUE(fs::exists(work / "out/a.MP3"));
    EXPECT_FALSE(fs::exists(work / "out/B.MP3"));
    EXPECT_FALSE(fs::exists(work / "out/c.MP3"));
}

TEST_F(StatusDialog, EmptyFolderEndsAtOnce) {
    fs::create_directory(work / "empty");
    for (JobKind kind : {JobKind::EncodeMp3, JobKind::Decode}) {
        w.Reset();
        ProcessingStatusDialog dlg(app);
        Choice c{(work / "empty").string(), (work / "empty").string()};
        c.kind = kind;
        c.batch = true;
        Run(dlg, c);
        EXPECT_EQ(BoxTexts(),
                  std::vector<std::string>{kind == JobKind::Decode ? "Decoding finished"
                                                                   : "MP3 Compression Finished."});
        EXPECT_TRUE(w.Titles().empty());  // no file turn began
        EXPECT_EQ(dlg.Outcome().result, JobResult::Succeeded);
    }
}

TEST_F(StatusDialog, AChildThatFailsFailsItsFile) {
    ::setenv("FAKE_MODE", "exit", 1);
    ::setenv("FAKE_CODE", "3", 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 400000));
    std::string in = (work / "in.wav").string();
    ProcessingStatusDialog dlg(app);
    Run(dlg, {in, (work / "out.mp3").string()});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error: The file could not be encoded:\n" + in +
                                                   "\nenc.dll ended with status 3"});
    EXPECT_EQ(dlg.Outcome().result, JobResult::Failed);
    EXPECT_EQ(test::FailedFiles(dlg.Outcome()), std::vector<std::string>{in});
    // The child took next to nothing of the file: neither bar says it was done.
    for (int bar : {IDC_STATUS_FILEBAR, IDC_STATUS_OVERALLBAR}) {
        EXPECT_EQ(w.Range(bar), std::make_pair(0, 40004)) << bar;
        EXPECT_LT(w.Pos(bar), 40004 / 2) << bar;
    }

    // A child that ends well but leaves no output (its error line is the reason), or leaves
    // an older file of the output's name as it was: nothing is tagged or called finished.
    app.singleFileTagSet = 1;
    app.tagTable[1].SetTitle("Song");
    test::WriteFile(work / "older.mp3", "older");
    struct Case {
        const char* mode;
        std::string output, reason;
    } cases[] = {
        {"print", "/dev/null/out.mp3", "Error: the disk is full"},
        {"exit", (work / "older.mp3").string(), "The output file was not written"},
    };
    ::setenv("FAKE_TEXT", "Error: the disk is full\\n", 1);
    ::setenv("FAKE_CODE", "0", 1);
    for (const Case& c : cases) {
        w.Reset();
        ::setenv("FAKE_MODE", c.mode, 1);
        ProcessingStatusDialog again(app);
        Run(again, {in, c.output});
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error: The file could not be encoded:\n" +
                                                       in + "\n" + c.reason});
    }
    EXPECT_EQ(test::ReadFile(work / "older.mp3"), "older");
}

TEST_F(StatusDialog, ReaderSplitsLongLinesAndStopsAtTheStopByte) {
    // The job waits on virtual time after the start until the child has spoken, so the lines
    // are read before the job's own stop byte follows them.
    clk.SetAutoAdvance(false);
    ::setenv("FAKE_MODE", "print", 1);
    std::string text = std::string(150, 'x') + "\\nwith cr\r\\nseen\\n\\xffhidden\\n";
    ::setenv("FAKE_TEXT", text.c_str(), 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 1000));
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
    ASSERT_TRUE(clk.WaitForSleepers(1));  // the job waits after starting the child
    for (int i = 0; i < 5000 && dlg.JobBusy(); ++i)
        ::usleep(1000);
    clk.SetAutoAdvance(true);
    clk.Advance(2000);
    dlg.WaitForWorker();
    EXPECT_EQ(dlg.LogText(),
              std::string(101, 'x') + "\r\n" + std::string(49, 'x') + "\r\nwith cr\r\nseen\r\n");
    EXPECT_EQ(w.Text(IDC_STATUS_LOG), dlg.LogText());
}

TEST_F(StatusDialog, LinesOfABurstAreShownOnceTheChildFallsQuiet) {
    // Virtual time stands still: the second line comes "at once" after the first and is held
    // back, and the child then waits for its input. The box must still catch up.
    clk.Advance(1000);
    clk.SetAutoAdvance(false);
    ::setenv("FAKE_MODE", "print", 1);
    ::setenv("FAKE_TEXT", "first\\nsecond\\n", 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 1000));
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
    ASSERT_TRUE(clk.WaitForSleepers(1));
    for (int i = 0; i < 5000 && w.Text(IDC_STATUS_LOG) != "first\r\nsecond\r\n"; ++i)
        ::usleep(1000);
    EXPECT_EQ(w.Text(IDC_STATUS_LOG), "first\r\nsecond\r\n");
    EXPECT_TRUE(dlg.JobBusy());
    clk.SetAutoAdvance(true);
    clk.Advance(2000);
    dlg.WaitForWorker();
}

TEST_F(StatusDialog, OnlyABatchOfSeveralAtOnceShowsTheOtherRunningFiles) {
    fs::create_directory(work / "in");
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        test::WriteFile(work / "in" / name, test::CanonicalWave(2, 44100, 16, 5000));
    for (int jobs : {1, 3}) {
        w.Reset();
        fs::remove_all(work / "out");
        fs::create_directory(work / "out");
        app.parallelJobs = jobs;
        ProcessingStatusDialog dlg(app);
        Run(dlg, {(work / "in").string(), (work / "out").string(), JobKind::EncodeMp3, true});
        dlg.Detach();
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"MP3 Compression Finished."}) << jobs;
        EXPECT_TRUE(fs::exists(work / "out/c.MP3")) << jobs;
        EXPECT_EQ(w.Shown(IDC_STATUS_OTHERS), jobs > 1);
        // Once every file has ended, none is listed.
        EXPECT_EQ(w.Text(IDC_STATUS_OTHERS), "") << jobs;
        EXPECT_EQ(w.Text(IDC_STATUS_FILECOUNT), "3") << jobs;
    }
    app.parallelJobs = 1;
}

TEST_F(StatusDialog, CancelAfterTheLastFileOnlyClosesTheDialog) {
    clk.SetAutoAdvance(false);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 1000));
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
    // Step virtual time through the job's waits until it pauses with both bars full.
    bool closing = false;
    for (int i = 0; i < 50000 && !closing; ++i) {
        closing = clk.Sleepers() >= 1 && w.Range(IDC_STATUS_OVERALLBAR) == std::pair(0, 100) &&
                  w.Pos(IDC_STATUS_OVERALLBAR) == 100;
        if (closing) break;
        if (clk.Sleepers() >= 1) clk.Advance(50);
        ::usleep(200);
    }
    if (!closing) clk.SetAutoAdvance(true);  // lets the job end instead of waiting for ever
    ASSERT_TRUE(closing);
    dlg.OnCancel();
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    EXPECT_FALSE(dlg.CancelRequested());
    clk.SetAutoAdvance(true);
    clk.Advance(1000);
    dlg.WaitForWorker();
    EXPECT_TRUE(w.Boxes().empty());
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    EXPECT_TRUE(fs::exists(work / "out.mp3"));
}

TEST_F(StatusDialog, CancelEndsTheWaitAfterTheStart) {
    // Virtual time stands still: only the cancel itself can end the job's wait after starting
    // the child.
    clk.SetAutoAdvance(false);
    ::setenv("FAKE_MODE", "print", 1);
    ::setenv("FAKE_TEXT", "ready\\n", 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 1000));
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
    ASSERT_TRUE(clk.WaitForSleepers(1));
    std::uint64_t before = clk.NowMs();
    dlg.OnCancel();
    // Time moves on only in small steps while somebody sleeps (the reaping of the child polls
    // the clock): a wait that ignored the cancel would use up its whole 1500 ms.
    for (int i = 0; i < 5000 && dlg.WorkerRunning(); ++i) {
        if (clk.Sleepers() > 0) clk.Advance(5);
        ::usleep(1000);
    }
    clk.SetAutoAdvance(true);
    dlg.WaitForWorker();
    EXPECT_LT(clk.NowMs() - before, 1500u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Current Process was Canceled."});
}

TEST_F(StatusDialog, CancelWhileTheChildIgnoresItsInputShowsOneMessage) {
    ::setenv("FAKE_MODE", "stall", 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 2000000));
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
    // Wait until the child has said its line: the job is feeding (and blocked).
    for (int i = 0; i < 2000 && dlg.LogText().empty(); ++i)
        ::usleep(1000);
    dlg.OnCancel();
    dlg.WaitForWorker();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Current Process was Canceled."});
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    EXPECT_TRUE(dlg.CancelRequested());
    dlg.OnCancel();  // after the end: closes only
    EXPECT_EQ(w.Boxes().size(), 1u);
}

TEST_F(StatusDialog, CancelWhileTheChildLingersAfterItsInputEndsTheChild) {
    ::setenv("FAKE_MODE", "linger", 1);
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 100000));
    std::string out = (work / "out.mp3").string();
    ProcessingStatusDialog dlg(app);
    Run(dlg, {(work / "in.wav").string(), out}, false);
    // The child has taken all its input (its output is complete) but does not end.
    auto complete = [&] { return fs::exists(out) && fs::file_size(out) == 100000u; };
    for (int i = 0; i < 10000 && !complete(); ++i)
        ::usleep(1000);
    ASSERT_TRUE(complete());
    dlg.OnCancel();
    // Virtual time runs on by itself, so the child's grace time passes at once; a wait that
    // no cancel reaches would keep the worker until the child gives up after a minute.
    for (int i = 0; i < 10000 && dlg.WorkerRunning(); ++i)
        ::usleep(1000);
    EXPECT_FALSE(dlg.WorkerRunning());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Current Process was Canceled."});
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
}

TEST_F(StatusDialog, CancelAtAnyMomentNeverShowsASecondMessage) {
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 300000));
    for (int delayUs : {0, 200, 2000, 20000}) {
        w.Reset();
        ProcessingStatusDialog dlg(app);
        Run(dlg, {(work / "in.wav").string(), (work / "out.mp3").string()}, false);
        ::usleep(static_cast<useconds_t>(delayUs));
        dlg.OnCancel();
        dlg.WaitForWorker();
        EXPECT_EQ(w.Boxes().size(), 1u) << delayUs;
        ASSERT_FALSE(w.Ended().empty()) << delayUs;
        EXPECT_EQ(w.Ended()[0], IDCANCEL);
    }
}

TEST_F(StatusDialog, WizardCancelledOrLeftEmptyClosesTheDialog) {
    ProcessingStatusDialog dlg(app);
    dlg.Attach(&w);
    w.onModal = [&](int) {
        dlg.Sheet().Attach(&sheetWindow);
        dlg.Sheet().OnInitDialog();
        dlg.Sheet().OnCancel();
        return IDCANCEL;
    };
    dlg.OnInitDialog();
    EXPECT_EQ(w.Posted(), std::vector<int>{IDCANCEL});
    EXPECT_FALSE(dlg.JobStarted());
    dlg.OnCancel();
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    EXPECT_EQ(app.exitRequested, 1);

    ProcessingStatusDialog empty(app);
    test::FakeWindow w2;
    empty.Attach(&w2);
    w2.onModal = [&](int) {
        empty.Sheet().Attach(&sheetWindow);
        empty.Sheet().OnInitDialog();
        empty.Sheet().OnFinish();
        return ID_WIZFINISH;
    };
    empty.OnInitDialog();
    EXPECT_EQ(w2.Posted(), std::vector<int>{IDCANCEL});
}

TEST_F(StatusDialog, DecodeStreamsTheWholeFileAndFinishes) {
    test::WriteFile(work / "in.mp3", std::string(50000, 'm'));
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in.mp3").string(), (work / "in.wav").string()};
    c.kind = JobKind::Decode;
    Run(dlg, c);
    EXPECT_EQ(test::ReadFile(work / "in.wav"), std::string(50000, 'm'));
    EXPECT_EQ(Args(),
              (std::vector<std::string>{app.appFolder + "dec.dll", (work / "in.mp3").string(),
                                        (work / "in.wav").string()}));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Decoding finished"});
    EXPECT_EQ(w.Text(IDC_STATUS_BITRATE), "N/A");
    // A decode has no compressed sizes to show: not the window's first "0MB Compressed to 0MB".
    EXPECT_EQ(w.Text(IDC_STATUS_COMPRESSION), "-");
}

TEST_F(StatusDialog, DecodeBatchNamesOutputsAfterTheInputs) {
    fs::create_directory(work / "in");
    test::WriteFile(work / "in/one.mp3", "11111");
    test::WriteFile(work / "in/Two.MP3", "22");
    test::WriteFile(work / "in/skip.wav", "x");
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in").string(), (work / "in").string()};
    c.kind = JobKind::Decode;
    c.batch = true;
    Run(dlg, c);
    EXPECT_EQ(test::ReadFile(work / "in/one.WAV"), "11111");
    EXPECT_EQ(test::ReadFile(work / "in/Two.WAV"), "22");
    EXPECT_EQ(w.Text(IDC_STATUS_FILECOUNT), "2");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Decoding finished"});
}

TEST_F(StatusDialog, EncoderProgressArithmeticThroughTheWindow) {
    ProcessingStatusDialog dlg(app);
    dlg.Attach(&w);
    JobRunner runner(JobRequest{}, dlg);
    ProgressMeter meter;
    auto update = [&] { meter.EncoderUpdate(runner, false, "128 Kbps", 128, true, false); };
    meter.ResetStartTime();
    meter.SetInput(1000001, 500000, 500000);
    update();
    EXPECT_EQ(w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 1000));
    EXPECT_EQ(w.Pos(IDC_STATUS_FILEBAR), 500);
    EXPECT_EQ(w.Range(IDC_STATUS_OVERALLBAR), std::make_pair(0, 1000));
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAMES), 217);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAME), 107);
    EXPECT_EQ(w.Text(IDC_STATUS_BITRATE), "128 Kbps");
    EXPECT_EQ(w.Text(IDC_STATUS_ELAPSED), "00:00:00");
    EXPECT_EQ(w.Text(IDC_STATUS_FPS), " [107] Frames / second. ");
    EXPECT_EQ(w.Text(IDC_STATUS_REMAINING), "00:00:02");
    EXPECT_EQ(w.Text(IDC_STATUS_COMPRESSION), "-");

    meter.SetInput(1000000, 999999, 0);
    clk.Advance(3000);
    update();
    EXPECT_EQ(w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 100));  // all frames done
    EXPECT_EQ(w.Pos(IDC_STATUS_FILEBAR), 100);
    EXPECT_EQ(w.Text(IDC_STATUS_ELAPSED), "00:00:03");
    EXPECT_EQ(w.Text(IDC_STATUS_REMAINING), "00:00:00");

    // No input open (the file is done): the bars, the frame counter and the times stay.
    meter.SetInput(1000000, -1, 0);
    clk.Advance(5000);
    update();
    EXPECT_EQ(w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 100));
    EXPECT_EQ(w.Pos(IDC_STATUS_FILEBAR), 100);
    EXPECT_EQ(w.Pos(IDC_STATUS_OVERALLBAR), w.Range(IDC_STATUS_OVERALLBAR).second);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAME), 215);
    EXPECT_EQ(w.Text(IDC_STATUS_ELAPSED), "00:00:03");
}

}  // namespace
}  // namespace orvane::encoder

namespace orvane::encoder {
namespace {

// A CD source as the grabbing code provides one: each Take writes the next track's WAVE file.
class FakeCdTracks : public InputSource {
public:
    FakeCdTracks(std::string folder, const JobRequest& r) : folder_(std::move(folder)), r_(r) {}
    bool Batch() const override { return true; }
    int Count() const override { return r_.cd.trackCount; }
    Next Take(JobRunner&) override {
        if (next_ == r_.cd.trackCount) return {};
        int t = ++next_;
        Next n;
        n.step = Step::Item;
        n.item.input = folder_ + "/Track" + std::to_string(t) + ".WAV";
        test::WriteFile(n.item.input,
                        test::CanonicalWave(2, 44100, 16, 1000 * static_cast<unsigned>(t)));
        n.item.trackNumber = t;
        n.item.tagged = true;
        n.item.tag = r_.tags[t];
        n.item.deleteInput = r_.cd.deleteGrabbedWav;
        std::string final = CdTrackFileName(folder_, r_.tags[t].Artist(), r_.tags[t].Title(), t);
        n.item.finalStem = final.substr(0, final.size() - 4);
        return n;
    }

private:
    std::string folder_;
    JobRequest r_;
    int next_ = 0;
};

TEST_F(StatusDialog, CdAudioTracksAreTaggedRenamedAndTheirWavesDeleted) {
    fs::create_directory(work / "cd");
    app.cdSelection.trackCount = 3;
    const char* titles[3] = {"First: Song", "First: Song", "?"};
    for (int t = 1; t <= 3; ++t) {
        app.tagTable[t].SetMarker();
        app.tagTable[t].SetArtist("Band");
        app.tagTable[t].SetTitle(titles[t - 1]);
    }
    std::string folder = (work / "cd").string();
    SetCdTrackSource(
        [&](const JobRequest& r) { return std::make_unique<FakeCdTracks>(folder, r); });
    ProcessingStatusDialog dlg(app);
    dlg.Attach(&w);
    w.onModal = [&](int) {
        MLSheet& s = dlg.Sheet();
        s.Attach(&sheetWindow);
        s.OnInitDialog();
        sheetWindow.onModal = [](int) { return IDOK; };  // the grabber confirms
        s.OnCommand(IDC_SRC_CDAUDIO);
        sheetWindow.SetText(IDC_OUTPUT, (work / "cd").string() + "/");
        s.OnNext();
        s.OnNext();
        s.OnFinish();
        return ID_WIZFINISH;
    };
    dlg.OnInitDialog();
    dlg.WaitForWorker();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"MP3 Compression Finished."});
    std::string first = test::ReadFile(work / "cd/Band - First- Song.MP3");
    // Tagged before the rename: the final name holds both tags.
    ASSERT_NE(first.find("\x03"
                         "First: Song"),
              std::string::npos)
        << first.substr(0, 40);
    first = WithoutId3v2(first);
    ASSERT_EQ(first.size(), 1000u + 128);
    EXPECT_EQ(first.substr(first.size() - 128, 3), "TAG");
    // The same name again: the earlier file is kept, the second gets the next number and no
    // track stays under the name it was encoded into.
    EXPECT_EQ(WithoutId3v2(test::ReadFile(work / "cd/Band - First- Song (2).MP3")).size(),
              2000u + 128);
    EXPECT_FALSE(fs::exists(work / "cd/Track2.MP3"));
    EXPECT_EQ(WithoutId3v2(test::ReadFile(work / "cd/Band - .MP3")).size(), 3000u + 128);
    for (int t = 1; t <= 3; ++t)
        EXPECT_FALSE(fs::exists(work / ("cd/Track" + std::to_string(t) + ".WAV")));
    EXPECT_EQ(w.Titles().back(), "Orvane Encoder 2001 - (File 3 of 3)");
    SetCdTrackSource(nullptr);
}

TEST_F(StatusDialog, DecoderProgressExtrapolatesFromTheGrowingOutput) {
    ProcessingStatusDialog dlg(app);
    dlg.Attach(&w);
    JobRunner runner(JobRequest{}, dlg);
    ProgressMeter meter;
    meter.SetCurrentOutput((work / "out.wav").string());
    meter.ResetStartTime();
    meter.SetInput(100000, 0, 0);
    meter.DecoderUpdate(runner, false);  // no output yet, no input read
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAMES), 0);
    EXPECT_EQ(w.Text(IDC_STATUS_BITRATE), "N/A");
    EXPECT_EQ(w.Text(IDC_STATUS_FPS), " [1] Frames / second. ");

    test::WriteFile(work / "out.wav", std::string(46080, 'w'));  // 10 frames of output
    meter.SetInput(100000, 24999, 0);                            // a quarter of the input
    clk.Advance(2000);
    meter.DecoderUpdate(runner, false);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAME), 10);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAMES), 40);
    EXPECT_EQ(w.Range(IDC_STATUS_FILEBAR), std::make_pair(0, 10000));
    EXPECT_EQ(w.Pos(IDC_STATUS_FILEBAR), 2500);
    EXPECT_EQ(w.Text(IDC_STATUS_FPS), " [5] Frames / second. ");
    EXPECT_EQ(w.Text(IDC_STATUS_REMAINING), "00:00:06");  // 40 / 5 - 2

    // Past half of the input, and at its end, the total still follows the share read.
    meter.SetInput(100000, 59999, 0);
    meter.DecoderUpdate(runner, false);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAMES), 16);
    test::WriteFile(work / "out.wav", std::string(46080 * 2, 'w'));
    meter.SetInput(100000, 100000, 0);
    meter.DecoderUpdate(runner, false);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAME), 20);
    EXPECT_EQ(w.Pos(IDC_STATUS_FRAMES), 20);
}

}  // namespace
}  // namespace orvane::encoder

namespace orvane::encoder {
namespace {

// A job that drives an engine in this process until it is cancelled.
class EngineJob : public Job {
public:
    void Run(JobRunner& r) override {
        SetBusy(true);
        while (!r.CancelRequested())
            ::usleep(500);
        SetBusy(false);
        r.Finish("WMA Compression Finished.", JobResult::Succeeded);
    }
    unsigned StatisticsPeriodMs() const override { return 1000; }
};

TEST_F(StatusDialog, CancelledWmaJobStopsTheEngineAndSaysSoOnce) {
    RegisterKind(
        JobKind::EncodeWma, [](const JobRequest&) { return std::make_unique<EngineJob>(); },
        KindEntry(JobKind::EncodeWma).batch);
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in.wav").string(), (work / "out.wma").string()};
    c.kind = JobKind::EncodeWma;
    Run(dlg, c, false);
    for (int i = 0; i < 2000 && !dlg.JobBusy(); ++i)
        ::usleep(1000);
    EXPECT_EQ(w.Timers(), std::vector<int>{ID_TIMER_WMA});
    dlg.OnCancel();
    dlg.WaitForWorker();
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, "Current Process was Canceled.");
    EXPECT_EQ(w.Boxes()[0].flags, MB_ICONINFORMATION);
    EXPECT_EQ(w.Text(IDC_STATUS_LOG),
              "Stopping the Encoder Engine...\r\nPlease wait a few seconds...");
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
    RegisterKind(JobKind::EncodeWma, nullptr, KindEntry(JobKind::EncodeWma).batch);
}

TEST_F(StatusDialog, AKindWithoutAJobEndsWithAMessage) {
    ProcessingStatusDialog dlg(app);
    Choice c{(work / "in.wav").string(), (work / "out.wma").string()};
    c.kind = JobKind::EncodeWma;
    Run(dlg, c);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Windows Media Audio encoding is not available."});
    EXPECT_EQ(dlg.Outcome().result, JobResult::Failed);
    EXPECT_EQ(w.Ended(), std::vector<int>{IDCANCEL});
}

}  // namespace
}  // namespace orvane::encoder
