#include "encoder/app/wizard.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/mp3/mp3_options.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/wave_info.h"

namespace orvane::encoder {

const char* const kBitrates[13] = {"32",  "48",  "56",  "64",  "80",  "96", "112",
                                   "128", "160", "192", "224", "256", "320"};

namespace {

const char* const kWavFilter = "Windows PCM (*.wav)|*.wav|All Files (*.*)|*.*||";
const char* const kMp3FilterDefault = "MPEG layer 3 audio (*.mp3)|*.mp3|All Files (*.*)|*.*||";
const char* const kMp3Filter = "MPEG Layer 3 Audio (*.mp3)|*.mp3|All Files (*.*)|*.*||";
const char* const kWmaFilter = "Windows Media Audio (*.wma)|*.wma|All Files (*.*)|*.*||";
const char* const kFlacFilter = "FLAC Audio (*.flac)|*.flac|All Files (*.*)|*.*||";
const char* const kOpusFilter = "Opus Audio (*.opus)|*.opus|All Files (*.*)|*.*||";

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const char* YesNo(int v) { return v ? "Yes." : "No."; }

}  // namespace

int BitrateItemForSlider(int pos) {
    std::string text = std::to_string(pos);
    for (int i = 0; i < 13; ++i)
        if (std::string(kBitrates[i]).rfind(text, 0) == 0) return i;
    return -1;
}

MLSheet::MLSheet(EncoderApp& app)
    : app_(app),
      tagDialog_(app),
      inTitle_("Please Specify a Wave File"),
      inFilter_(kWavFilter),
      outTitle_("Please specify a bitstream file"),
      outFilter_(kMp3FilterDefault) {
    if (app_.makeWmaPage) wmaPage_ = app_.makeWmaPage(app_);
}

std::string MLSheet::Suggestion(const std::string& input) const {
    if (input.empty()) return {};
    if (batch_) return WithTrailingSlash(input);
    std::string stem = input.size() >= 3 ? input.substr(0, input.size() - 3) : std::string();
    // The kind's extension in lower case: "song.wav" suggests "song.mp3".
    std::string suggestion = stem;
    for (char c : KindEntry(target_).extension.substr(1))
        suggestion += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // An input that already has the target's extension would be suggested as its own output.
    if (SameFile(suggestion, input)) return {};
    return suggestion;
}

void MLSheet::OnInitDialog() {
    ReadFormatSettings();
    InitPage1();
    Activate(IDD_PAGE1);
}

void MLSheet::Activate(int page) {
    if (page == IDD_PAGE2 && !page2Created_) InitPage2();
    if (page == IDD_FORMAT_SETTINGS && !formatPageCreated_) InitFormatPage();
    if (page == IDD_LIBRARY && !libraryPageCreated_) InitLibraryPage();
    activePage_ = page;
    switch (page) {
        case IDD_PAGE1:
            ActivatePage1();
            break;
        case IDD_PAGE2:
            ActivatePage2();
            break;
        case IDD_PAGE3:
            ActivatePage3();
            break;
        case IDD_FORMAT_SETTINGS:
            ActivateFormatPage();
            break;
        case IDD_LIBRARY:
            ActivateLibraryPage();
            break;
        case IDD_WMA_SETTINGS:
            if (wmaPage_) {
                if (!wmaPageCreated_) {
                    wmaPageCreated_ = true;
                    wmaPage_->OnInitDialog(wmaPort_ ? *wmaPort_ : *port_, *wizard_, batch_);
                }
                wmaPage_->OnSetActive(batch_);
                break;
            }
            wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
            break;
        default:
            wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Page 1

void MLSheet::InitPage1() {
    WindowPort& w = *port_;
    w.SetText(IDC_INPUT_LABEL, "&Input Filename:");
    w.SetText(IDC_OUTPUT_LABEL, "&Output Filename:");
    if (app_.splashPending) {
        wizard_->ShowSplash(3500);
        app_.splashPending = 0;
    }
    wizard_->SetWizardButtons(0);
    MarkSource(Source::WavFiles);
    w.SetText(IDC_SOURCE_CAPTION, "WAV File(s)");
    w.Show(IDC_MARK_TOMP3, true);
    w.Show(IDC_MARK_TOWMA, false);
    w.Show(IDC_MARK_TOWAV, false);
    w.Show(IDC_MARK_TOFORMATS, false);
    // A fresh page starts with the batch box cleared; batch mode follows it, so a job never
    // runs in the batch mode of the previous one.
    batch_ = false;
    w.SetCheck(IDC_BATCH, 0);
    library_ = false;
    w.SetCheck(IDC_LIBRARY, 0);
    // Choices whose dialogs are not part of this build stay visible but disabled.
    w.Enable(IDC_SRC_CDAUDIO, static_cast<bool>(app_.cdAudioAvailable));
    w.Enable(IDC_TO_WMA, static_cast<bool>(app_.wmaAvailable));
    w.Enable(IDC_OPTIONS, static_cast<bool>(app_.optionsAvailable));
    w.Enable(IDC_LIBRARY, static_cast<bool>(app_.libraryAvailable));
    if (!app_.commandLine.empty()) {
        SetInputText(app_.commandLine);
        output_ = MusicFolder() + "track.mp3";
        w.SetText(IDC_OUTPUT, output_);
    }
}

void MLSheet::ActivatePage1() {
    // The first page has no Back; Next once there is an input.
    wizard_->SetWizardButtons(port_->Text(IDC_INPUT).empty() ? 0 : PSWIZB_NEXT);
}

void MLSheet::TakeTexts() {
    input_ = port_->Text(IDC_INPUT);
    output_ = port_->Text(IDC_OUTPUT);
}

void MLSheet::SetInputText(const std::string& text) {
    port_->SetText(IDC_INPUT, text);
    OnInputChanged();  // the edit's change notification
}

void MLSheet::OnInputChanged() {
    TakeTexts();
    std::string suggestion = Suggestion(input_);
    if (EqualsNoCase(input_, "CD-Audio")) {
        output_ = MusicFolder();
    } else {
        output_ = suggestion;
        wizard_->SetWizardButtons(PSWIZB_NEXT);
    }
    port_->SetText(IDC_OUTPUT, output_);
}

void MLSheet::MarkSource(Source s) {
    source_ = s;
    port_->Show(IDC_MARK_CDAUDIO, s == Source::CdAudio);
    port_->Show(IDC_MARK_WAVFILES, s == Source::WavFiles);
}

void MLSheet::OnCommand(int id) {
    switch (id) {
        case IDC_BATCH:
            OnBatch();
            break;
        case IDC_INPUT_BROWSE:
            OnInputBrowse();
            break;
        case IDC_OUTPUT_BROWSE:
            OnOutputBrowse();
            break;
        case IDC_SRC_CDAUDIO:
            OnCdAudio();
            break;
        case IDC_SRC_WAVFILES:
            OnWavFiles();
            break;
        case IDC_LIBRARY:
            OnLibrary();
            break;
        case IDC_TO_MP3:
            SelectTarget(JobKind::EncodeMp3);
            break;
        case IDC_TO_WMA:
            SelectTarget(JobKind::EncodeWma);
            break;
        case IDC_TO_WAV:
            SelectTarget(JobKind::Decode);
            break;
        case IDC_TO_FORMATS:
            SelectTarget(formatTarget_);
            break;
        case IDC_FMT_FLAC:
        case IDC_FMT_OPUS:
            TakeFormatPage();
            break;
        case IDC_ID3TAG:
            OnId3Tag();
            break;
        case IDC_OPTIONS:
            port_->DoModal(IDD_INTERNET_OPTIONS);
            break;
        default:
            break;  // page 2's radios and checks are read on Next
    }
}

void MLSheet::OnBatch() {
    WindowPort& w = *port_;
    w.SetText(IDC_INPUT, "");
    OnInputChanged();
    w.SetText(IDC_OUTPUT, "");
    TakeTexts();
    if (w.Check(IDC_BATCH)) {
        batch_ = true;
        w.SetText(IDC_INPUT_LABEL, "&Input Folder:");
        w.SetText(IDC_OUTPUT_LABEL, "&Output Folder:");
    } else {
        w.SetText(IDC_INPUT_LABEL, "&Input Filename:");
        w.SetText(IDC_OUTPUT_LABEL, "&Output Filename:");
        batch_ = false;
    }
}

void MLSheet::OnInputBrowse() {
    WindowPort& w = *port_;
    std::string choice;
    if (batch_) {
        choice = w.ChooseFolder(library_ ? "Select the Folder of the Music Library..."
                                : target_ == JobKind::Decode
                                    ? "Select a Folder with .MP3 Files to Decompress..."
                                    : "Select a Folder with .WAV Files to Compress...");
        if (choice.empty()) return;
        choice = WithTrailingSlash(choice);
        app_.settings->WriteProfileString("FolderHistory", std::to_string(++folderHistoryCount_),
                                          choice);
    } else {
        choice = w.ChooseOpenFile("Open Windows PCM WAVE File", inFilter_, w.Text(IDC_INPUT));
        if (choice.empty()) return;
        app_.settings->WriteProfileString("FileHistory", std::to_string(++fileHistoryCount_),
                                          choice);
    }
    SetInputText(choice);
}

void MLSheet::OnOutputBrowse() {
    WindowPort& w = *port_;
    std::string choice;
    if (batch_) {
        choice = w.ChooseFolder("Select a Folder for Output Files...");
        // The batch derives its output names from the folder: it must end with '/'.
        if (!choice.empty()) choice = WithTrailingSlash(choice);
    } else {
        const char* filter = target_ == JobKind::EncodeWma    ? kWmaFilter
                             : target_ == JobKind::Decode     ? kWavFilter
                             : target_ == JobKind::EncodeFlac ? kFlacFilter
                             : target_ == JobKind::EncodeOpus ? kOpusFilter
                                                              : kMp3FilterDefault;
        choice = w.ChooseSaveFile(outTitle_, filter, w.Text(IDC_OUTPUT));
        // The save picker asks before it returns a file that exists: Finish does not again.
        if (!choice.empty() && ::access(choice.c_str(), F_OK) == 0) agreed_.push_back(choice);
    }
    if (choice.empty()) return;
    w.SetText(IDC_OUTPUT, choice);
    TakeTexts();
}

void MLSheet::OnCdAudio() {
    WindowPort& w = *port_;
    LeaveLibrary();
    for (int id : {IDC_INPUT, IDC_INPUT_BROWSE, IDC_BATCH})
        w.Enable(id, false);
    int result = w.DoModal(IDD_CDA_GRABBER);
    if (result != IDOK) {
        SetInputText("");
        w.SetText(IDC_OUTPUT, "");
        TakeTexts();
        MarkSource(Source::None);
        for (int id : {IDC_INPUT, IDC_INPUT_BROWSE, IDC_BATCH})
            w.Enable(id, true);
        wizard_->SetWizardButtons(0);
        deleteGrabbedWav_ = false;
        return;
    }
    MarkSource(Source::CdAudio);
    SetInputText("CD-Audio");
    w.SetText(IDC_OUTPUT, "");
    TakeTexts();
    w.SetCheck(IDC_BATCH, 1);
    batch_ = true;
    wizard_->SetWizardButtons(PSWIZB_NEXT);
    deleteGrabbedWav_ = true;
}

void MLSheet::OnWavFiles() {
    WindowPort& w = *port_;
    LeaveLibrary();
    for (int id : {IDC_INPUT, IDC_INPUT_BROWSE, IDC_BATCH})
        w.Enable(id, true);
    SetInputText("");
    w.SetText(IDC_OUTPUT, "");
    TakeTexts();
    batch_ = false;
    w.SetCheck(IDC_BATCH, 0);
    w.SetText(IDC_INPUT_LABEL, "&Input Filename:");
    w.SetText(IDC_OUTPUT_LABEL, "&Output Filename:");
    w.Redraw();
    MarkSource(Source::WavFiles);
}

void MLSheet::SelectTarget(JobKind target) {
    WindowPort& w = *port_;
    target_ = target;
    if (target == JobKind::Decode) {
        inTitle_ = "Please specify a bitstream file";
        inFilter_ = kMp3Filter;
        outTitle_ = "Please specify a wave file";
        outFilter_ = kWavFilter;
        w.SetText(IDC_SOURCE_CAPTION, "MP3 File(s)");
    } else {
        inTitle_ = "Please specify a Wave file";
        inFilter_ = kWavFilter;
        outTitle_ = "Please specify a bitstream file";
        outFilter_ = target == JobKind::EncodeWma    ? kWmaFilter
                     : target == JobKind::EncodeFlac ? kFlacFilter
                     : target == JobKind::EncodeOpus ? kOpusFilter
                                                     : kMp3Filter;
        w.SetText(IDC_SOURCE_CAPTION, "WAV File(s)");
        // FLAC and Opus files carry the tag as their comments.
        w.Enable(IDC_ID3TAG, target == JobKind::EncodeMp3 || target == JobKind::EncodeFlac ||
                                 target == JobKind::EncodeOpus);
    }
    // Any target takes a library's files: its caption stays.
    if (library_) w.SetText(IDC_SOURCE_CAPTION, "Music Library");
    w.Show(IDC_MARK_TOMP3, target == JobKind::EncodeMp3);
    w.Show(IDC_MARK_TOWMA, target == JobKind::EncodeWma);
    w.Show(IDC_MARK_TOWAV, target == JobKind::Decode);
    w.Show(IDC_MARK_TOFORMATS, target == JobKind::EncodeFlac || target == JobKind::EncodeOpus);
}

void MLSheet::OnId3Tag() {
    if (batch_) {
        port_->MessageBox(LoadString(IDS_ID3_BATCH), "", MB_OK);
        return;
    }
    port_->DoModal(IDD_ID3TAG);
}

// ---------------------------------------------------------------------------------------------
// Page 2

// The MP3 settings page 2 starts from: the stored bitrate and speed choice, the rest as new.
EncoderSettings MLSheet::StoredMp3Settings() const {
    EncoderSettings s;
    s.bitrate = app_.settings->GetProfileString("Settings", "LastBitrate", "320");
    if (s.bitrate.size() > 3) s.bitrate.resize(3);
    s.quality = static_cast<int>(app_.settings->GetProfileInt("Settings", "TurboMode", 1));
    return s;
}

void MLSheet::InitPage2() {
    page2Created_ = true;
    WindowPort& w = *port_;
    settings_ = StoredMp3Settings();
    w.ResetContent(IDC_BITRATE);
    int selected = -1;
    for (int i = 0; i < 13; ++i) {
        w.AddString(IDC_BITRATE, kBitrates[i]);
        if (settings_.bitrate == kBitrates[i]) selected = i;
    }
    w.SetCurSel(IDC_BITRATE, selected);
    w.SetRange(IDC_BITRATE_SLIDER, 32, 320);
    w.SetPos(IDC_BITRATE_SLIDER, std::atoi(settings_.bitrate.c_str()));
    for (int i = 0; i < 3; ++i)
        w.SetCheck(IDC_LAYER1 + i, settings_.layerIndex == i);
    for (int i = 0; i < 4; ++i)
        w.SetCheck(IDC_MODE_STEREO + i, settings_.mode == i);
    for (int i = 0; i < 3; ++i)
        w.SetCheck(IDC_EMPH_NONE + i, settings_.deEmphasis == i);
    w.SetCheck(IDC_CRC, settings_.errorProtection);
    w.SetCheck(IDC_PRIVATE, settings_.privateBit);
    w.SetCheck(IDC_COPYRIGHT, settings_.copyrighted);
    w.SetCheck(IDC_ORIGINAL, settings_.original);
    w.SetCheck(IDC_QUALITY_HIFI, settings_.quality == 0);
    w.SetCheck(IDC_QUALITY_SPEED, settings_.quality == 1);
}

void MLSheet::ActivatePage2() {
    PageEffect(true);
    // The loudness setting is shared with the FLAC / Opus page: it shows what was set there.
    port_->SetCheck(IDC_MP3_REPLAYGAIN, formats_.replayGain);
    wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

void MLSheet::OnSliderMoved(int pos) {
    int item = BitrateItemForSlider(pos);
    if (item >= 0) port_->SetCurSel(IDC_BITRATE, item);
}

void MLSheet::OnBitrateChanged() {
    int sel = port_->CurSel(IDC_BITRATE);
    if (sel >= 0 && sel < 13) port_->SetPos(IDC_BITRATE_SLIDER, std::atoi(kBitrates[sel]));
}

void MLSheet::TakePage2() {
    WindowPort& w = *port_;
    for (int i = 0; i < 3; ++i)
        if (w.Check(IDC_LAYER1 + i)) settings_.layerIndex = i;
    for (int i = 0; i < 4; ++i)
        if (w.Check(IDC_MODE_STEREO + i)) settings_.mode = i;
    for (int i = 0; i < 3; ++i)
        if (w.Check(IDC_EMPH_NONE + i)) settings_.deEmphasis = i;
    settings_.errorProtection = w.Check(IDC_CRC) ? 1 : 0;
    settings_.privateBit = w.Check(IDC_PRIVATE) ? 1 : 0;
    settings_.copyrighted = w.Check(IDC_COPYRIGHT) ? 1 : 0;
    settings_.original = w.Check(IDC_ORIGINAL) ? 1 : 0;
    if (w.Check(IDC_QUALITY_HIFI)) settings_.quality = 0;
    if (w.Check(IDC_QUALITY_SPEED)) settings_.quality = 1;
    int sel = w.CurSel(IDC_BITRATE);
    if (sel >= 0 && sel < 13) settings_.bitrate = kBitrates[sel];
    formats_.replayGain = w.Check(IDC_MP3_REPLAYGAIN) != 0;
}

// ---------------------------------------------------------------------------------------------
// Page 3

void MLSheet::ActivatePage3() {
    WindowPort& w = *port_;
    PageEffect(true);
    wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    w.SetText(IDC_SUM_INPUT, input_);
    w.SetText(IDC_SUM_OUTPUT, output_);
    if (target_ != JobKind::EncodeMp3) {
        w.SetText(IDC_SUM_METHOD, target_ == JobKind::EncodeWma ? "WMA (Windows Media Audio)"
                                  : target_ == JobKind::Decode  ? "N/A"
                                                                : FormatSummary());
        for (int id : {IDC_SUM_BITRATE, IDC_SUM_MODE, IDC_SUM_PSYMODEL, IDC_SUM_EMPHASIS,
                       IDC_SUM_COPYRIGHT, IDC_SUM_ORIGINAL, IDC_SUM_CRC, IDC_SUM_PRIVATE})
            w.SetText(id, "N/A");
        return;
    }
    const EncoderSettings& s = settings_;
    w.SetText(IDC_SUM_METHOD, "MPEG 1, Layer " + std::to_string(LayerOf(s)));
    // The rate each file will get, which is not the chosen one where its layer lacks it.
    JobRequest inputs;
    inputs.kind = target_;
    inputs.input = input_;
    inputs.batch = batch_;
    std::vector<int> rates;
    for (const WaveInfo& wave : InputWaveFormats(inputs))
        rates.push_back(WrittenBitrate(s, wave.channels, wave.sampleRate));
    // An input not read yet is taken for what the CD gives.
    if (rates.empty()) rates.push_back(WrittenBitrate(s, s.mode == 3 ? 1 : 2, 44100));
    w.SetText(IDC_SUM_BITRATE, BitrateSummary(s.bitrate, rates));
    static const char* const kModes[4] = {"Stereo", "Dual Channel", "Joint Stereo", "Mono"};
    w.SetText(IDC_SUM_MODE, s.mode >= 0 && s.mode < 4 ? kModes[s.mode] : "unknown");
    w.SetText(IDC_SUM_PSYMODEL, std::to_string(PsychoacousticModelOf(s)));
    static const char* const kEmphasis[3] = {"None.", "50/15 microseconds", "CCITT J.17"};
    w.SetText(IDC_SUM_EMPHASIS,
              s.deEmphasis >= 0 && s.deEmphasis < 3 ? kEmphasis[s.deEmphasis] : "None");
    w.SetText(IDC_SUM_COPYRIGHT, YesNo(s.copyrighted));
    w.SetText(IDC_SUM_ORIGINAL, YesNo(s.original));
    w.SetText(IDC_SUM_CRC, YesNo(s.errorProtection));
    w.SetText(IDC_SUM_PRIVATE, YesNo(s.privateBit));
}

// ---------------------------------------------------------------------------------------------
// Navigation

int MLSheet::OnNext() {
    switch (activePage_) {
        case IDD_PAGE1:
            TakeTexts();
            if (std::string missing = MissingOnPage1(); !missing.empty()) {
                port_->MessageBox(missing, "", MB_ICONEXCLAMATION);
                break;
            }
            Activate(library_ ? IDD_LIBRARY : TargetPage());
            break;
        case IDD_LIBRARY:
            TakeLibraryPage(true);
            Activate(TargetPage());
            break;
        case IDD_FORMAT_SETTINGS:
            TakeFormatPage();
            WriteFormatSettings();
            Activate(IDD_PAGE3);
            break;
        case IDD_PAGE2:
            TakePage2();
            app_.settings->WriteProfileString("Settings", "LastBitrate", settings_.bitrate);
            app_.settings->WriteProfileInt("Settings", "TurboMode", settings_.quality);
            app_.settings->WriteProfileInt("Formats", "ReplayGain", formats_.replayGain ? 1 : 0);
            Activate(IDD_PAGE3);
            break;
        case IDD_WMA_SETTINGS: {
            int next = wmaPage_ ? wmaPage_->OnWizardNext() : IDD_PAGE3;
            if (next >= 0) Activate(next);
            break;
        }
        default:
            break;
    }
    return activePage_;
}

int MLSheet::OnBack() {
    switch (activePage_) {
        case IDD_PAGE2:
            formats_.replayGain = port_->Check(IDC_MP3_REPLAYGAIN) != 0;
            Activate(library_ ? IDD_LIBRARY : IDD_PAGE1);
            break;
        case IDD_WMA_SETTINGS: {
            int back = wmaPage_ ? wmaPage_->OnWizardBack() : IDD_PAGE1;
            // A library's options come before the target's.
            if (back == IDD_PAGE1 && library_) back = IDD_LIBRARY;
            if (back >= 0) Activate(back);
            break;
        }
        case IDD_FORMAT_SETTINGS:
            TakeFormatPage();
            Activate(library_ ? IDD_LIBRARY : IDD_PAGE1);
            break;
        case IDD_LIBRARY:
            TakeLibraryPage(false);
            Activate(IDD_PAGE1);
            break;
        case IDD_PAGE3: {
            const int page = TargetPage();
            Activate(page == IDD_PAGE3 ? (library_ ? IDD_LIBRARY : IDD_PAGE1) : page);
            break;
        }
        default:
            break;
    }
    return activePage_;
}

void MLSheet::PageEffect(bool opening) {
    if (app_.windowEffects == 1) wizard_->PlayPageEffect(opening);
}

int MLSheet::TargetPage() const {
    return target_ == JobKind::Decode      ? IDD_PAGE3
           : target_ == JobKind::EncodeWma ? IDD_WMA_SETTINGS
           : target_ == JobKind::EncodeMp3 ? IDD_PAGE2
                                           : IDD_FORMAT_SETTINGS;
}

std::string MLSheet::MissingOnPage1() const {
    if (input_.empty())
        return batch_ ? "Please specify the input folder." : "Please specify the input file.";
    if (output_.empty()) {
        if (source_ == Source::CdAudio)
            return "Please specify the output folder for the CD-Audio tracks.";
        return batch_ ? "Please specify the output folder." : "Please specify the output file.";
    }
    return {};
}

bool MLSheet::MayWriteOutputs(const JobRequest& r) {
    if (!r.batch && SameFile(r.input, r.output)) {
        port_->MessageBox("Error: The output file cannot be the input file.", "", MB_ICONSTOP);
        return false;
    }
    std::vector<std::string> existing = ExistingOutputs(r);
    std::erase_if(existing, [this](const std::string& path) {
        return std::find(agreed_.begin(), agreed_.end(), path) != agreed_.end();
    });
    if (existing.empty()) return true;
    std::string text;
    unsigned buttons = MB_YESNO;
    if (existing.size() == 1) {
        // The question the save dialog asks.
        text = existing[0] + " already exists.\nDo you want to replace it?";
    } else {
        constexpr std::size_t kNamed = 10;
        text = "These files already exist in " + OutputFolderOf(r.output) + ":";
        for (std::size_t i = 0; i < existing.size() && i < kNamed; ++i)
            text += "\n" + existing[i].substr(existing[i].rfind('/') + 1);
        if (existing.size() > kNamed)
            text += "\n... and " + std::to_string(existing.size() - kNamed) + " more";
        text += "\nDo you want to replace them?";
        buttons = kMbYesToAllNo;
    }
    if (port_->MessageBox(text, "", buttons | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return false;
    agreed_.insert(agreed_.end(), existing.begin(), existing.end());
    return true;
}

void MLSheet::OnFinish() {
    JobRequest r;
    r.kind = target_;
    r.input = input_;
    r.output = output_;
    r.batch = batch_;
    r.settings = settings_;
    r.tags = app_.tagTable;
    r.singleFileTag = app_.singleFileTagSet != 0;
    r.fullTags = app_.fullTags;
    r.id3v2 = app_.writeId3v2 != 0;
    r.namePattern = app_.namePattern;
    r.formatFolders = app_.formatFolders;
    r.cd = app_.cdSelection;
    r.cd.introOnly = app_.introOnly != 0;
    r.cd.introSeconds = app_.introSeconds;
    r.cd.readBufferSize = app_.cdaReadBufferSize;
    r.cd.deemphasis = app_.cdaDeemphasis != 0;
    r.cd.deleteGrabbedWav = deleteGrabbedWav_;
    r.appFolder = app_.appFolder;
    r.parallelJobs = app_.parallelJobs;
    if (target_ == JobKind::EncodeWma && wmaPage_) wmaPage_->FillRequest(r);
    r.formats = FormatsForJob();
    // A CD's MP3 files beside another target: page 2 was never shown, so its stored choices.
    if (!page2Created_ && std::ranges::count(r.formats.cdAlso, JobKind::EncodeMp3) != 0)
        r.settings = StoredMp3Settings();
    // The WMA road's page shows no loudness choice, so its jobs write no loudness values.
    if (target_ == JobKind::EncodeWma) r.formats.replayGain = false;
    if (library_) {
        // The files of the library become the target's; the library's job writes each output
        // whole under its name, and replaces only what its choices ask it to.
        r.kind = kConvertLibrary;
        r.library = libraryChoice_;
        r.library.target = target_;
    }
    // A file of the user's is replaced only once the user agreed; else the summary stays. A
    // library's outputs are its mirror: what is up to date stays unless the user chose to
    // convert it again.
    if (!library_ && !MayWriteOutputs(r)) return;
    // The summary animates once more while it is still on show.
    PageEffect(true);
    result_ = ID_WIZFINISH;
    request_ = std::move(r);
    port_->EndDialog(ID_WIZFINISH);
}

void MLSheet::OnCancel() {
    app_.exitRequested = 1;
    result_ = IDCANCEL;
    port_->EndDialog(IDCANCEL);
}

void MLSheet::OnHelp() { wizard_->ShowHelp(app_.appFolder + "Plimo.chm"); }

void MLSheet::OnSysCommand(int commandId) {
    if (commandId == IDM_ABOUTBOX) port_->DoModal(IDD_ABOUTBOX);
}

}  // namespace orvane::encoder
