#include "encoder/app/wizard.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/tags/paths.h"
#include "fake_window.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::encoder {
namespace {

class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        app.settings = &settings;
        FillGenreList(app.genreList);
        sheet.Attach(&w);
    }
    void Type(const std::string& input) {
        w.SetText(IDC_INPUT, input);
        sheet.OnInputChanged();
    }
    MemorySettings settings;
    EncoderApp app;
    test::FakeWindow w;
    MLSheet sheet{app};
};

TEST_F(Wizard, FirstPageShowsTheSplashOnceAndWaitsForInput) {
    sheet.OnInitDialog();
    EXPECT_EQ(w.Splashes(), std::vector<unsigned>{3500});
    EXPECT_EQ(app.splashPending, 0);
    EXPECT_EQ(sheet.ActivePage(), IDD_PAGE1);
    EXPECT_EQ(w.WizardButtons(), 0u);
    EXPECT_EQ(w.Text(IDC_INPUT_LABEL), "&Input Filename:");
    EXPECT_TRUE(w.Shown(IDC_MARK_WAVFILES));
    EXPECT_TRUE(w.Shown(IDC_MARK_TOMP3));
    EXPECT_FALSE(w.IsEnabled(IDC_TO_WMA));
    // Without the library's job in the program, its choice is there but disabled.
    EXPECT_FALSE(w.IsEnabled(IDC_LIBRARY));
    MLSheet second(app);
    test::FakeWindow w2;
    second.Attach(&w2);
    second.OnInitDialog();
    EXPECT_TRUE(w2.Splashes().empty());
}

TEST_F(Wizard, SuggestionsFollowTheTarget) {
    sheet.OnInitDialog();
    Type("/music/song.wav");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/song.mp3");
    EXPECT_EQ(w.WizardButtons(), PSWIZB_NEXT);
    sheet.OnCommand(IDC_TO_WMA);
    Type("/music/song.wav");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/song.wma");
    sheet.OnCommand(IDC_TO_WAV);
    Type("/music/song.mp3");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/song.wav");
    EXPECT_EQ(w.Text(IDC_SOURCE_CAPTION), "MP3 File(s)");
    Type("ab");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "wav");
    Type("");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "");
    Type("cd-audio");
    EXPECT_EQ(w.Text(IDC_OUTPUT), MusicFolder());
}

TEST_F(Wizard, BatchModeSuggestsTheFolderAndChangesTheLabels) {
    sheet.OnInitDialog();
    Type("/music/x.wav");
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    EXPECT_TRUE(sheet.Batch());
    EXPECT_EQ(w.Text(IDC_INPUT), "");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "");
    EXPECT_EQ(w.Text(IDC_INPUT_LABEL), "&Input Folder:");
    EXPECT_EQ(w.Text(IDC_OUTPUT_LABEL), "&Output Folder:");
    Type("/music/wavs");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/wavs/");
    // The ID3 tag cannot be set for a batch.
    sheet.OnCommand(IDC_ID3TAG);
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, LoadString(IDS_ID3_BATCH));
    EXPECT_TRUE(w.Modals().empty());
    w.SetCheck(IDC_BATCH, 0);
    sheet.OnCommand(IDC_BATCH);
    EXPECT_FALSE(sheet.Batch());
    EXPECT_EQ(w.Text(IDC_OUTPUT_LABEL), "&Output Filename:");
}

TEST_F(Wizard, AFreshWizardDoesNotInheritTheLastBatchMode) {
    sheet.OnInitDialog();
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    sheet.OnInitDialog();
    EXPECT_FALSE(sheet.Batch());
    EXPECT_EQ(w.Check(IDC_BATCH), 0);
}

TEST_F(Wizard, PickersUseTheTitlesAndRecordTheirHistory) {
    sheet.OnInitDialog();
    w.PickNext("/music/a.wav");
    sheet.OnCommand(IDC_INPUT_BROWSE);
    EXPECT_EQ(w.Text(IDC_INPUT), "/music/a.wav");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/a.mp3");
    EXPECT_EQ(settings.GetProfileString("FileHistory", "1"), "/music/a.wav");
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    w.PickNext("/music/in");
    sheet.OnCommand(IDC_INPUT_BROWSE);
    w.PickNext("/music/out");
    sheet.OnCommand(IDC_OUTPUT_BROWSE);
    EXPECT_EQ(w.Text(IDC_INPUT), "/music/in/");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/out/");
    EXPECT_EQ(settings.GetProfileString("FolderHistory", "1"), "/music/in/");
    auto calls = w.PickerCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0],
              "open:Open Windows PCM WAVE File|Windows PCM (*.wav)|*.wav|All Files (*.*)|*.*||");
    EXPECT_EQ(calls[1], "folder:Select a Folder with .WAV Files to Compress...");
    EXPECT_EQ(calls[2], "folder:Select a Folder for Output Files...");
    sheet.OnCommand(IDC_TO_WAV);
    sheet.OnCommand(IDC_INPUT_BROWSE);
    EXPECT_EQ(w.PickerCalls().back(), "folder:Select a Folder with .MP3 Files to Decompress...");
}

// A CD's tracks written as other formats beside the FLAC / Opus target: ticked on its page (the
// choice kept in the profile), shown in the summary and handed to the job; another target, or
// files as the source, write their one format whatever was ticked.
TEST_F(Wizard, ACdsOtherFormatsGoWithTheFlacAndOpusTargetOnly) {
    settings.WriteProfileString("Formats", "CdAlso", "wav,nonsense,wav");
    settings.WriteProfileString("Settings", "LastBitrate", "128");
    settings.WriteProfileInt("Settings", "TurboMode", 0);
    sheet.OnInitDialog();
    w.onModal = [](int) { return IDOK; };
    sheet.OnCommand(IDC_SRC_CDAUDIO);
    sheet.OnCommand(IDC_TO_FORMATS);
    w.SetText(IDC_OUTPUT, "/music/cd/");
    EXPECT_EQ(sheet.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(w.Check(IDC_FMT_ALSO_WAV), 1);
    EXPECT_EQ(w.Check(IDC_FMT_ALSO_MP3), 0);
    EXPECT_TRUE(w.IsEnabled(IDC_FMT_ALSO_OPUS));
    w.SetCheck(IDC_FMT_ALSO_OPUS, 1);
    w.SetCheck(IDC_FMT_ALSO_MP3, 1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(w.Text(IDC_SUM_METHOD), "FLAC (lossless), level 5 + Opus, MP3, WAVE");
    EXPECT_EQ(settings.GetProfileString("Formats", "CdAlso"), "opus,mp3,wav");
    sheet.OnFinish();
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeFlac);
    EXPECT_EQ(sheet.Request().formats.cdAlso,
              (std::vector<JobKind>{JobKind::EncodeOpus, JobKind::EncodeMp3, JobKind::Decode}));
    // The MP3 files are made with the stored bitrate and speed choice, page 2 never shown.
    EXPECT_EQ(sheet.Request().settings.bitrate, "128");
    EXPECT_EQ(sheet.Request().settings.quality, 0);
    EXPECT_EQ(sheet.Request().formatFolders, kDefaultFormatFolders);

    MLSheet mp3(app);
    test::FakeWindow w2;
    mp3.Attach(&w2);
    w2.onModal = [](int) { return IDOK; };
    mp3.OnInitDialog();
    mp3.OnCommand(IDC_SRC_CDAUDIO);
    w2.SetText(IDC_OUTPUT, "/music/cd/");
    EXPECT_EQ(mp3.OnNext(), IDD_PAGE2);
    EXPECT_EQ(mp3.OnNext(), IDD_PAGE3);
    EXPECT_EQ(w2.Text(IDC_SUM_METHOD), "MPEG 1, Layer 3");
    mp3.OnFinish();
    EXPECT_TRUE(mp3.Request().formats.cdAlso.empty());
}

TEST_F(Wizard, CdAudioCancelledClearsEverythingConfirmedMakesABatch) {
    sheet.OnInitDialog();
    Type("/music/a.wav");
    w.onModal = [](int) { return IDCANCEL; };
    sheet.OnCommand(IDC_SRC_CDAUDIO);
    EXPECT_EQ(w.Modals(), std::vector<int>{IDD_CDA_GRABBER});
    EXPECT_EQ(w.Text(IDC_INPUT), "");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "");
    EXPECT_EQ(w.WizardButtons(), 0u);
    EXPECT_FALSE(w.Shown(IDC_MARK_CDAUDIO));
    EXPECT_FALSE(w.Shown(IDC_MARK_WAVFILES));
    EXPECT_TRUE(w.IsEnabled(IDC_BATCH));
    w.onModal = [](int) { return IDOK; };
    sheet.OnCommand(IDC_SRC_CDAUDIO);
    EXPECT_EQ(w.Text(IDC_INPUT), "CD-Audio");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "");
    EXPECT_TRUE(sheet.Batch());
    EXPECT_EQ(w.WizardButtons(), PSWIZB_NEXT);
    EXPECT_TRUE(w.Shown(IDC_MARK_CDAUDIO));
    EXPECT_FALSE(w.IsEnabled(IDC_INPUT_BROWSE));
    // The request of a CD job carries the grabber's hand-over and the wizard's own choices.
    app.cdSelection.checked = {0, 1, 1};
    app.cdSelection.trackCount = 2;
    app.introOnly = 1;
    app.introSeconds = 30;
    app.tagTable[2].SetTitle("Second");
    w.SetText(IDC_OUTPUT, "/music/cd/");
    sheet.OnNext();
    sheet.OnFinish();
    const JobRequest& cd = sheet.Request();
    EXPECT_TRUE(cd.CdAudio());
    EXPECT_TRUE(cd.cd.deleteGrabbedWav);
    EXPECT_EQ(cd.cd.checked, (std::vector<std::uint8_t>{0, 1, 1}));
    EXPECT_EQ(cd.cd.trackCount, 2);
    EXPECT_TRUE(cd.cd.introOnly);
    EXPECT_EQ(cd.cd.introSeconds, 30);
    EXPECT_EQ(cd.tags[2].Title(), "Second");
    EXPECT_EQ(cd.output, "/music/cd/");
    sheet.OnCommand(IDC_SRC_WAVFILES);
    EXPECT_TRUE(w.IsEnabled(IDC_INPUT_BROWSE));
    EXPECT_FALSE(sheet.Batch());
    EXPECT_EQ(w.Text(IDC_INPUT), "");
}

TEST_F(Wizard, Mp3FlowWithOptionsAndSummary) {
    settings.WriteProfileString("Settings", "LastBitrate", "128");
    settings.WriteProfileInt("Settings", "TurboMode", 0);
    sheet.OnInitDialog();
    Type("/music/a.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(w.WizardButtons(), PSWIZB_BACK | PSWIZB_NEXT);
    ASSERT_EQ(w.Count(IDC_BITRATE), 13);
    EXPECT_EQ(w.ItemText(IDC_BITRATE, w.CurSel(IDC_BITRATE)), "128");
    EXPECT_EQ(w.Range(IDC_BITRATE_SLIDER), std::make_pair(32, 320));
    EXPECT_EQ(w.Pos(IDC_BITRATE_SLIDER), 128);
    EXPECT_EQ(w.Check(IDC_LAYER3), 1);
    EXPECT_EQ(w.Check(IDC_QUALITY_HIFI), 1);
    // Slider and list in step.
    sheet.OnSliderMoved(33);
    EXPECT_EQ(w.ItemText(IDC_BITRATE, w.CurSel(IDC_BITRATE)), "128");
    sheet.OnSliderMoved(32);
    EXPECT_EQ(w.ItemText(IDC_BITRATE, w.CurSel(IDC_BITRATE)), "32");
    sheet.OnSliderMoved(192);
    EXPECT_EQ(w.ItemText(IDC_BITRATE, w.CurSel(IDC_BITRATE)), "192");
    w.SetCurSel(IDC_BITRATE, 12);
    sheet.OnBitrateChanged();
    EXPECT_EQ(w.Pos(IDC_BITRATE_SLIDER), 320);
    // Choose Layer 2, Mono, CRC, de-emphasis 50/15.
    w.SetCheck(IDC_LAYER3, 0);
    w.SetCheck(IDC_LAYER2, 1);
    w.SetCheck(IDC_MODE_STEREO, 0);
    w.SetCheck(IDC_MODE_MONO, 1);
    w.SetCheck(IDC_CRC, 1);
    w.SetCheck(IDC_EMPH_NONE, 0);
    w.SetCheck(IDC_EMPH_5015, 1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(settings.GetProfileString("Settings", "LastBitrate"), "320");
    EXPECT_EQ(settings.GetProfileInt("Settings", "TurboMode", 9), 0u);
    EXPECT_EQ(w.WizardButtons(), PSWIZB_BACK | PSWIZB_FINISH);
    EXPECT_EQ(w.Text(IDC_SUM_INPUT), "/music/a.wav");
    EXPECT_EQ(w.Text(IDC_SUM_OUTPUT), "/music/a.mp3");
    EXPECT_EQ(w.Text(IDC_SUM_METHOD), "MPEG 1, Layer 2");
    // Layer 2 carries no more than 192 kbit/s in one channel.
    EXPECT_EQ(w.Text(IDC_SUM_BITRATE), "192 Kbps (320 Kbps is not possible)");
    EXPECT_EQ(w.Text(IDC_SUM_MODE), "Mono");
    EXPECT_EQ(w.Text(IDC_SUM_PSYMODEL), "1");
    EXPECT_EQ(w.Text(IDC_SUM_EMPHASIS), "50/15 microseconds");
    EXPECT_EQ(w.Text(IDC_SUM_CRC), "Yes.");
    EXPECT_EQ(w.Text(IDC_SUM_PRIVATE), "No.");
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE2);
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    EXPECT_EQ(sheet.Result(), ID_WIZFINISH);
    EXPECT_EQ(w.Ended(), std::vector<int>{ID_WIZFINISH});
    EXPECT_EQ(sheet.Kind(), JobKind::EncodeMp3);
    EXPECT_EQ(sheet.Settings().layerIndex, 1);
    EXPECT_EQ(sheet.Settings().mode, 3);
    const JobRequest& r = sheet.Request();
    EXPECT_EQ(r.kind, JobKind::EncodeMp3);
    EXPECT_EQ(r.input, "/music/a.wav");
    EXPECT_EQ(r.output, "/music/a.mp3");
    EXPECT_FALSE(r.batch);
    EXPECT_EQ(r.settings.bitrate, "320");
    EXPECT_EQ(r.settings.mode, 3);
    EXPECT_EQ(r.settings.errorProtection, 1);
    EXPECT_FALSE(r.singleFileTag);
    EXPECT_EQ(r.appFolder, app.appFolder);
}

// The summary of a folder batch names the rates its files will get: Layer 3 carries 320 kbit/s
// at 44.1 kHz, at 22.05 kHz (an MPEG-2 stream) no more than 160.
TEST_F(Wizard, TheSummarySaysTheBitRatesTheFilesOfAFolderGet) {
    test::TempDir in;
    test::WriteFile(in / "a.wav", test::WaveWithData(2, 44100, 16, std::string(400, '\0')));
    test::WriteFile(in / "b.wav", test::WaveWithData(2, 22050, 16, std::string(400, '\0')));
    sheet.OnInitDialog();
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    Type(in.path().string());
    w.SetText(IDC_OUTPUT, in.path().string());
    ASSERT_EQ(sheet.OnNext(), IDD_PAGE2);
    ASSERT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(w.Text(IDC_SUM_BITRATE), "160 / 320 Kbps (320 Kbps only for some files)");
}

TEST_F(Wizard, DecodeAndWmaFlowsSkipTheOptionsPage) {
    sheet.OnInitDialog();
    sheet.OnCommand(IDC_TO_WAV);
    Type("/music/a.mp3");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    for (int id : {IDC_SUM_METHOD, IDC_SUM_BITRATE, IDC_SUM_MODE, IDC_SUM_PRIVATE})
        EXPECT_EQ(w.Text(id), "N/A");
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
    sheet.OnCommand(IDC_TO_WMA);
    EXPECT_EQ(sheet.OnNext(), IDD_WMA_SETTINGS);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(w.Text(IDC_SUM_METHOD), "WMA (Windows Media Audio)");
    EXPECT_EQ(sheet.OnBack(), IDD_WMA_SETTINGS);
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
}

// The FLAC / Opus target leads to its own options page; its radios switch the format, the
// output's extension and the options that apply, and Finish hands every choice to the job.
TEST_F(Wizard, FlacAndOpusFlowThroughTheirOptionsPage) {
    sheet.OnInitDialog();
    EXPECT_FALSE(w.Shown(IDC_MARK_TOFORMATS));
    sheet.OnCommand(IDC_TO_FORMATS);
    for (int mark : {IDC_MARK_TOMP3, IDC_MARK_TOWMA, IDC_MARK_TOWAV})
        EXPECT_FALSE(w.Shown(mark));
    // The chosen target is marked as the others are.
    EXPECT_TRUE(w.Shown(IDC_MARK_TOFORMATS));
    EXPECT_TRUE(w.IsEnabled(IDC_ID3TAG));
    Type("/music/song.wav");
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/song.flac");
    EXPECT_EQ(sheet.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(w.Check(IDC_FMT_FLAC), 1);
    EXPECT_EQ(w.CurSel(IDC_FMT_LEVEL), 5);
    EXPECT_TRUE(w.IsEnabled(IDC_FMT_LEVEL));
    EXPECT_FALSE(w.IsEnabled(IDC_FMT_BITRATE));
    EXPECT_EQ(w.ItemText(IDC_FMT_BITRATE, w.CurSel(IDC_FMT_BITRATE)), "160");
    // The other formats a CD's tracks may also be written as rest for files; a tick there
    // changes nothing.
    for (int id : {IDC_FMT_ALSO_FLAC, IDC_FMT_ALSO_OPUS, IDC_FMT_ALSO_MP3, IDC_FMT_ALSO_WAV})
        EXPECT_FALSE(w.IsEnabled(id)) << id;
    w.SetCheck(IDC_FMT_ALSO_MP3, 1);
    // Opus: the output follows, FLAC's options rest.
    w.SetCheck(IDC_FMT_FLAC, 0);
    w.SetCheck(IDC_FMT_OPUS, 1);
    sheet.OnCommand(IDC_FMT_OPUS);
    EXPECT_EQ(sheet.Kind(), JobKind::EncodeOpus);
    EXPECT_EQ(w.Text(IDC_OUTPUT), "/music/song.opus");
    EXPECT_FALSE(w.IsEnabled(IDC_FMT_LEVEL));
    EXPECT_TRUE(w.IsEnabled(IDC_FMT_BITRATE));
    w.SetCurSel(IDC_FMT_BITRATE, 0);
    w.SetCheck(IDC_FMT_REPLAYGAIN, 1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(w.Text(IDC_SUM_METHOD), "Opus, 32 Kbps, ReplayGain");
    EXPECT_EQ(w.Text(IDC_SUM_OUTPUT), "/music/song.opus");
    EXPECT_EQ(sheet.OnBack(), IDD_FORMAT_SETTINGS);
    // Back on page 1 the button keeps the format last chosen.
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
    sheet.OnCommand(IDC_TO_MP3);
    sheet.OnCommand(IDC_TO_FORMATS);
    EXPECT_EQ(sheet.Kind(), JobKind::EncodeOpus);
    EXPECT_EQ(sheet.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    const JobRequest& r = sheet.Request();
    EXPECT_EQ(r.kind, JobKind::EncodeOpus);
    EXPECT_EQ(r.formats.opusKbps, 32);
    EXPECT_TRUE(r.formats.replayGain);
    EXPECT_EQ(r.formats.flacLevel, 5);
    EXPECT_TRUE(r.formats.cdAlso.empty());
    EXPECT_FALSE(settings.HasProfileValue("Formats", "CdAlso"));
}

// The page's choices are settings: Next on the page stores them, the next wizard shows them
// again; values the page does not offer are its defaults.
TEST_F(Wizard, FormatChoicesAreStoredAndComeBackInTheNextWizard) {
    sheet.OnInitDialog();
    sheet.OnCommand(IDC_TO_FORMATS);
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_FORMAT_SETTINGS);
    w.SetCurSel(IDC_FMT_LEVEL, 8);
    w.SetCheck(IDC_FMT_VERIFY, 1);
    w.SetCurSel(IDC_FMT_BITRATE, 0);  // 32
    w.SetCheck(IDC_FMT_REPLAYGAIN, 1);
    w.SetCheck(IDC_FMT_FLAC, 0);
    w.SetCheck(IDC_FMT_OPUS, 1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(settings.GetProfileInt("Formats", "FlacLevel", 99), 8u);
    EXPECT_EQ(settings.GetProfileInt("Formats", "OpusBitrate", 99), 32u);
    EXPECT_EQ(settings.GetProfileInt("Formats", "Format", 99), 1u);

    MLSheet next(app);
    test::FakeWindow w2;
    next.Attach(&w2);
    next.OnInitDialog();
    next.OnCommand(IDC_TO_FORMATS);
    EXPECT_EQ(next.Kind(), JobKind::EncodeOpus);
    w2.SetText(IDC_INPUT, "/music/song.wav");
    next.OnInputChanged();
    EXPECT_EQ(next.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(w2.CurSel(IDC_FMT_LEVEL), 8);
    EXPECT_EQ(w2.ItemText(IDC_FMT_BITRATE, w2.CurSel(IDC_FMT_BITRATE)), "32");
    EXPECT_EQ(w2.Check(IDC_FMT_VERIFY), 1);
    EXPECT_EQ(w2.Check(IDC_FMT_REPLAYGAIN), 1);
    EXPECT_EQ(w2.Check(IDC_FMT_OPUS), 1);

    // Hand-edited values outside what the page offers.
    settings.WriteProfileInt("Formats", "FlacLevel", 12);
    settings.WriteProfileInt("Formats", "OpusBitrate", 100);
    MLSheet third(app);
    test::FakeWindow w3;
    third.Attach(&w3);
    third.OnInitDialog();
    third.OnCommand(IDC_TO_FORMATS);
    w3.SetText(IDC_INPUT, "/music/song.wav");
    third.OnInputChanged();
    EXPECT_EQ(third.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(w3.CurSel(IDC_FMT_LEVEL), 5);
    EXPECT_EQ(w3.ItemText(IDC_FMT_BITRATE, w3.CurSel(IDC_FMT_BITRATE)), "160");
}

// The library check makes a folder source whose own page comes before the target's options;
// its choices are settings once that page is left with Next, and the request asks for the
// library's job with the target of page 1. A wizard that never chose it stores nothing of it.
TEST_F(Wizard, AMusicLibraryIsASourceWithItsOwnPageAndStoredChoices) {
    app.libraryAvailable = true;
    sheet.OnInitDialog();
    EXPECT_TRUE(w.IsEnabled(IDC_LIBRARY));
    EXPECT_EQ(w.Check(IDC_LIBRARY), 0);
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeMp3);
    EXPECT_FALSE(settings.HasProfileValue("Library", "Subfolders"));
    EXPECT_FALSE(settings.HasProfileValue("Library", "SkipConverted"));

    MLSheet lib(app);
    test::FakeWindow l;
    lib.Attach(&l);
    lib.OnInitDialog();
    lib.OnCommand(IDC_TO_FORMATS);
    l.SetCheck(IDC_LIBRARY, 1);
    lib.OnCommand(IDC_LIBRARY);
    EXPECT_TRUE(lib.Library());
    EXPECT_TRUE(lib.Batch());
    EXPECT_EQ(l.Check(IDC_BATCH), 1);
    EXPECT_FALSE(l.IsEnabled(IDC_BATCH));
    EXPECT_EQ(l.Text(IDC_INPUT_LABEL), "&Input Folder:");
    EXPECT_EQ(l.Text(IDC_SOURCE_CAPTION), "Music Library");
    EXPECT_FALSE(l.Shown(IDC_MARK_WAVFILES));
    // Any target keeps the caption: Decode to WAV writes WAVE files of the library.
    lib.OnCommand(IDC_TO_WAV);
    EXPECT_EQ(l.Text(IDC_SOURCE_CAPTION), "Music Library");
    lib.OnCommand(IDC_TO_FORMATS);
    l.SetText(IDC_INPUT, "/music/library/");
    lib.OnInputChanged();
    l.SetText(IDC_OUTPUT, "/music/converted/");
    EXPECT_EQ(lib.OnNext(), IDD_LIBRARY);
    EXPECT_EQ(l.Check(IDC_LIB_SUBFOLDERS), 1);
    EXPECT_EQ(l.Check(IDC_LIB_SKIP), 1);
    EXPECT_NE(l.Text(IDC_LIB_TARGET).find("FLAC files"), std::string::npos);
    l.SetCheck(IDC_LIB_SUBFOLDERS, 0);
    // Back keeps the choice on the page but stores nothing yet.
    EXPECT_EQ(lib.OnBack(), IDD_PAGE1);
    EXPECT_FALSE(settings.HasProfileValue("Library", "Subfolders"));
    EXPECT_EQ(lib.OnNext(), IDD_LIBRARY);
    EXPECT_EQ(lib.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(settings.GetProfileInt("Library", "Subfolders", 9), 0u);
    EXPECT_EQ(settings.GetProfileInt("Library", "SkipConverted", 9), 1u);
    EXPECT_EQ(lib.OnBack(), IDD_LIBRARY);
    EXPECT_EQ(lib.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(lib.OnNext(), IDD_PAGE3);
    lib.OnFinish();
    const JobRequest& r = lib.Request();
    EXPECT_EQ(r.kind, kConvertLibrary);
    EXPECT_EQ(r.library.target, JobKind::EncodeFlac);
    EXPECT_FALSE(r.library.subfolders);
    EXPECT_TRUE(r.library.skipConverted);
    EXPECT_TRUE(r.batch);
    EXPECT_EQ(r.input, "/music/library/");
    EXPECT_EQ(r.output, "/music/converted/");

    // The next wizard shows the stored choices; the WAV files source leaves the library.
    MLSheet next(app);
    test::FakeWindow n;
    next.Attach(&n);
    next.OnInitDialog();
    n.SetCheck(IDC_LIBRARY, 1);
    next.OnCommand(IDC_LIBRARY);
    n.SetText(IDC_INPUT, "/music/library/");
    next.OnInputChanged();
    EXPECT_EQ(next.OnNext(), IDD_LIBRARY);
    EXPECT_EQ(n.Check(IDC_LIB_SUBFOLDERS), 0);
    EXPECT_EQ(next.OnNext(), IDD_PAGE2);
    EXPECT_EQ(next.OnBack(), IDD_LIBRARY);
    EXPECT_EQ(next.OnBack(), IDD_PAGE1);
    // WAVE files have no options page: the summary follows the library's page, and back.
    next.OnCommand(IDC_TO_WAV);
    EXPECT_EQ(next.OnNext(), IDD_LIBRARY);
    EXPECT_NE(n.Text(IDC_LIB_TARGET).find("WAVE files"), std::string::npos);
    EXPECT_EQ(next.OnNext(), IDD_PAGE3);
    EXPECT_EQ(next.OnBack(), IDD_LIBRARY);
    EXPECT_EQ(next.OnBack(), IDD_PAGE1);
    next.OnCommand(IDC_SRC_WAVFILES);
    EXPECT_FALSE(next.Library());
    EXPECT_EQ(n.Check(IDC_LIBRARY), 0);
    EXPECT_TRUE(n.IsEnabled(IDC_BATCH));
    // The caption is the decoding target's again.
    EXPECT_EQ(n.Text(IDC_SOURCE_CAPTION), "MP3 File(s)");
    EXPECT_TRUE(n.Shown(IDC_MARK_WAVFILES));
}

// The loudness setting, once on, reaches an MP3 job, and the MP3 options page shows it: its
// check box and the FLAC / Opus page's are one setting, whichever page changed it last.
TEST_F(Wizard, TheLoudnessSettingIsShownAndChangedOnTheMp3PageToo) {
    settings.WriteProfileInt("Formats", "ReplayGain", 1);
    sheet.OnInitDialog();
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(w.Check(IDC_MP3_REPLAYGAIN), 1);
    w.SetCheck(IDC_MP3_REPLAYGAIN, 0);
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
    sheet.OnCommand(IDC_TO_FORMATS);
    EXPECT_EQ(sheet.OnNext(), IDD_FORMAT_SETTINGS);
    EXPECT_EQ(w.Check(IDC_FMT_REPLAYGAIN), 0);
    w.SetCheck(IDC_FMT_REPLAYGAIN, 1);
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE1);
    sheet.OnCommand(IDC_TO_MP3);
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(w.Check(IDC_MP3_REPLAYGAIN), 1);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeMp3);
    EXPECT_TRUE(sheet.Request().formats.replayGain);

    // Switched off on the MP3 page, it is off for the job and for the next wizard.
    MLSheet next(app);
    test::FakeWindow w2;
    next.Attach(&w2);
    next.OnInitDialog();
    w2.SetText(IDC_INPUT, "/music/song.wav");
    next.OnInputChanged();
    EXPECT_EQ(next.OnNext(), IDD_PAGE2);
    EXPECT_EQ(w2.Check(IDC_MP3_REPLAYGAIN), 1);
    w2.SetCheck(IDC_MP3_REPLAYGAIN, 0);
    EXPECT_EQ(next.OnNext(), IDD_PAGE3);
    EXPECT_EQ(settings.GetProfileInt("Formats", "ReplayGain", 1), 0);
    next.OnFinish();
    EXPECT_FALSE(next.Request().formats.replayGain);
}

// The WMA road's page has no loudness choice: the stored one does not reach its jobs unseen.
TEST_F(Wizard, TheStoredLoudnessSettingDoesNotReachAWmaJob) {
    settings.WriteProfileInt("Formats", "ReplayGain", 1);
    sheet.OnInitDialog();
    sheet.OnCommand(IDC_TO_WMA);
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_WMA_SETTINGS);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeWma);
    EXPECT_FALSE(sheet.Request().formats.replayGain);
}

// Without the new target the MP3 road is as it was: its options page, its summary and no
// format options in its request.
TEST_F(Wizard, TheMp3RoadIgnoresTheFormatPage) {
    sheet.OnInitDialog();
    Type("/music/song.wav");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    EXPECT_EQ(sheet.OnBack(), IDD_PAGE2);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    sheet.OnFinish();
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeMp3);
    EXPECT_FALSE(sheet.Request().formats.replayGain);
}

// The options and the summary animate each time they are shown, the summary once more on
// Finish; page 1 never does. Nothing plays with the effects switched off.
TEST_F(Wizard, OptionsAndSummaryAnimateWhenShownAndOnFinish) {
    using Effects = std::vector<std::string>;
    for (int effects : {1, 0}) {
        SCOPED_TRACE(effects);
        app.windowEffects = effects;
        const auto opened = [&](std::size_t n) { return effects ? Effects(n, "open") : Effects{}; };
        MLSheet wizard(app);
        test::FakeWindow window;
        wizard.Attach(&window);
        wizard.OnInitDialog();
        EXPECT_EQ(window.TakeEffects(), Effects{});
        window.SetText(IDC_INPUT, "/music/a.wav");
        wizard.OnInputChanged();
        EXPECT_EQ(wizard.OnNext(), IDD_PAGE2);
        EXPECT_EQ(window.TakeEffects(), opened(1));
        EXPECT_EQ(wizard.OnNext(), IDD_PAGE3);
        EXPECT_EQ(window.TakeEffects(), opened(1));
        EXPECT_EQ(wizard.OnBack(), IDD_PAGE2);
        EXPECT_EQ(wizard.OnBack(), IDD_PAGE1);
        EXPECT_EQ(window.TakeEffects(), opened(1));
        // Decoding goes straight to the summary.
        wizard.OnCommand(IDC_TO_WAV);
        EXPECT_EQ(wizard.OnNext(), IDD_PAGE3);
        EXPECT_EQ(window.TakeEffects(), opened(1));
        wizard.OnFinish();
        EXPECT_EQ(window.TakeEffects(), opened(1));
        EXPECT_EQ(window.Ended(), std::vector<int>{ID_WIZFINISH});
    }
}

TEST_F(Wizard, CancelRequestsTheExitAndCommandLineFillsTheInput) {
    app.commandLine = "/music/start.wav";
    sheet.OnInitDialog();
    EXPECT_EQ(w.Text(IDC_INPUT), "/music/start.wav");
    EXPECT_EQ(w.Text(IDC_OUTPUT), MusicFolder() + "track.mp3");
    EXPECT_EQ(w.WizardButtons(), PSWIZB_NEXT);
    sheet.OnHelp();
    EXPECT_EQ(w.Help(), app.appFolder + "Plimo.chm");
    sheet.OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(w.Modals(), std::vector<int>{IDD_ABOUTBOX});
    sheet.OnCancel();
    EXPECT_EQ(app.exitRequested, 1);
    EXPECT_EQ(sheet.Result(), IDCANCEL);
}

// Finish never replaces a file without asking: the one file with the save dialog's question,
// several of a batch with one question for all; "No" keeps the summary up and the files as
// they are. An input is never its own suggested output.
TEST_F(Wizard, FinishAsksBeforeReplacingAndNeverSuggestsTheInputItself) {
    test::TempDir dir;
    const std::string original = (dir / "one.wav").string();
    test::WriteFile(original, "the user's own recording");
    sheet.OnInitDialog();
    sheet.OnCommand(IDC_TO_WAV);
    Type((dir / "one.mp3").string());
    EXPECT_EQ(w.Text(IDC_OUTPUT), original);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    w.Answer(IDNO);
    sheet.OnFinish();
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, original + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(w.Boxes()[0].flags, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_TRUE(w.Ended().empty());
    EXPECT_NE(sheet.Result(), ID_WIZFINISH);
    EXPECT_EQ(sheet.ActivePage(), IDD_PAGE3);
    w.Answer(IDYES);
    sheet.OnFinish();
    EXPECT_EQ(w.Boxes().size(), 2u);
    EXPECT_EQ(w.Ended(), std::vector<int>{ID_WIZFINISH});
    EXPECT_EQ(test::ReadFile(original), "the user's own recording");

    // The target's own extension: no suggestion, and an output typed over the input is refused.
    MLSheet again(app);
    test::FakeWindow w2;
    again.Attach(&w2);
    again.OnInitDialog();
    again.OnCommand(IDC_TO_WAV);
    w2.SetText(IDC_INPUT, original);
    again.OnInputChanged();
    EXPECT_EQ(w2.Text(IDC_OUTPUT), "");
    w2.SetText(IDC_OUTPUT, original);
    EXPECT_EQ(again.OnNext(), IDD_PAGE3);
    again.OnFinish();
    ASSERT_EQ(w2.Boxes().size(), 1u);
    EXPECT_EQ(w2.Boxes()[0].text, "Error: The output file cannot be the input file.");
    EXPECT_TRUE(w2.Ended().empty());
}

TEST_F(Wizard, ABatchAsksOnceForAllTheFilesItWouldReplace) {
    test::TempDir in, out;
    for (const char* name : {"a.wav", "B.WAV", "c.wav", "notes.txt"})
        test::WriteFile(in / name, "x");
    test::WriteFile(out / "a.MP3", "older a");
    test::WriteFile(out / "B.MP3", "older b");
    test::WriteFile(out / "c.mp3", "another spelling, another file");
    sheet.OnInitDialog();
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    Type(in.path().string());
    w.SetText(IDC_OUTPUT, out.path().string());
    sheet.OnNext();
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE3);
    w.Answer(IDNO);
    sheet.OnFinish();
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, "These files already exist in " + out.path().string() +
                                     "/:\na.MP3\nB.MP3\nDo you want to replace them?");
    EXPECT_EQ(w.Boxes()[0].flags, kMbYesToAllNo | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_TRUE(w.Ended().empty());
    // Agreed once, not asked again; a file that turns up since is.
    w.Answer(IDYES);
    sheet.OnFinish();
    sheet.OnFinish();
    EXPECT_EQ(w.Boxes().size(), 2u);
    EXPECT_EQ(w.Ended(), (std::vector<int>{ID_WIZFINISH, ID_WIZFINISH}));
    test::WriteFile(in / "d.wav", "x");
    test::WriteFile(out / "d.MP3", "older d");
    w.Answer(IDNO);
    sheet.OnFinish();
    ASSERT_EQ(w.Boxes().size(), 3u);
    EXPECT_EQ(w.Boxes()[2].flags, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_EQ(test::ReadFile(out / "a.MP3"), "older a");

    // The save picker asked already for the file it returned.
    MLSheet single(app);
    test::FakeWindow w2;
    single.Attach(&w2);
    single.OnInitDialog();
    w2.SetText(IDC_INPUT, (in / "a.wav").string());
    single.OnInputChanged();
    w2.PickNext((out / "a.MP3").string());
    single.OnCommand(IDC_OUTPUT_BROWSE);
    single.OnNext();
    single.OnNext();
    single.OnFinish();
    EXPECT_TRUE(w2.Boxes().empty());
    EXPECT_EQ(w2.Ended(), std::vector<int>{ID_WIZFINISH});
}

// Next says what page 1 still lacks and stays, keeping what was chosen (the CD's tracks too).
TEST_F(Wizard, NextSaysWhatIsMissingAndStaysOnThePage) {
    sheet.OnInitDialog();
    w.SetCheck(IDC_BATCH, 1);
    sheet.OnCommand(IDC_BATCH);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE1);
    Type("/music/wavs");
    w.SetText(IDC_OUTPUT, "");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE1);
    sheet.OnCommand(IDC_SRC_WAVFILES);
    Type("/music/a.wav");
    w.SetText(IDC_OUTPUT, "");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE1);
    w.onModal = [](int) { return IDOK; };
    sheet.OnCommand(IDC_SRC_CDAUDIO);
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE1);
    std::vector<std::string> texts;
    for (const auto& box : w.Boxes()) {
        texts.push_back(box.text);
        EXPECT_EQ(box.flags, MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Please specify the input folder.", "Please specify the output folder.",
                         "Please specify the output file.",
                         "Please specify the output folder for the CD-Audio tracks."}));
    EXPECT_EQ(w.Text(IDC_INPUT), "CD-Audio");
    EXPECT_TRUE(sheet.Batch());
    EXPECT_TRUE(w.Shown(IDC_MARK_CDAUDIO));
    w.SetText(IDC_OUTPUT, "/music/cd/");
    EXPECT_EQ(sheet.OnNext(), IDD_PAGE2);
}

TEST(BitrateSlider, FirstItemBeginningWithThePosition) {
    EXPECT_EQ(BitrateItemForSlider(32), 0);
    EXPECT_EQ(BitrateItemForSlider(320), 12);
    EXPECT_EQ(BitrateItemForSlider(33), -1);
    EXPECT_EQ(BitrateItemForSlider(128), 7);
    EXPECT_EQ(BitrateItemForSlider(100), -1);
}

}  // namespace
}  // namespace orvane::encoder
