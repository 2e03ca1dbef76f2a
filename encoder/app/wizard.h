#pragma once
// The wizard MLSheet and its pages MLPage1 (input and output), MLPage2 (MP3 options) and
// MLPage3 (summary). The sheet's window implements one WindowPort for all its pages (their
// control ids do not overlap) and forwards the user's actions to the handlers below.

#include <memory>
#include <string>
#include <vector>

#include "encoder/app/tag_dialog.h"
#include "encoder/job/job.h"
#include "encoder/job/job_request.h"
#include "platform/window/window_port.h"

namespace orvane::encoder {

struct EncoderApp;

enum class Source { None, CdAudio, WavFiles, Library };

// A page that another part of the program adds to the wizard (the WMA settings page 619). It
// has a port of its own for its controls (its ids may repeat another page's) and reaches the
// sheet's buttons through the sheet's wizard port.
class WizardPage {
public:
    virtual ~WizardPage() = default;
    // Created with the sheet; initialised when first shown. batch: the wizard's batch mode.
    virtual void OnInitDialog(WindowPort& page, WizardPort& sheet, bool batch) = 0;
    virtual void OnSetActive(bool batch) = 0;
    // The page to go to; -1 stays on this page.
    virtual int OnWizardBack() = 0;
    virtual int OnWizardNext() = 0;
    // Adds the page's choices to the request the wizard's Finish makes.
    virtual void FillRequest(JobRequest& request) const = 0;
};

class MLSheet {
public:
    explicit MLSheet(EncoderApp& app);

    // The sheet window's ports; set by the view before OnInitDialog, cleared when it goes.
    void Attach(WindowPort* port, WizardPort* wizard) {
        port_ = port;
        wizard_ = wizard;
    }
    // A window that is both (a sheet's view, a test's recorder).
    template <class Window>
    void Attach(Window* window) {
        Attach(static_cast<WindowPort*>(window), static_cast<WizardPort*>(window));
    }
    void Attach(std::nullptr_t) { Attach(nullptr, nullptr); }

    // --- Events from the view (GUI thread) ---
    // The sheet was created: initialises and activates page 1.
    void OnInitDialog();
    // The dialog id of the page shown (104, 105, 106, 619, 630 or 640).
    int ActivePage() const { return activePage_; }
    // A button, check box or radio button of a page was clicked.
    void OnCommand(int controlId);
    // The user edited the input text (1000). Not for texts the program sets itself.
    void OnInputChanged();
    // The bitrate slider (1103) moved to pos; the bitrate list (1014) changed its selection.
    void OnSliderMoved(int pos);
    void OnBitrateChanged();
    // Back and Next: return the page now shown.
    int OnNext();
    int OnBack();
    void OnFinish();
    void OnCancel();
    void OnHelp();
    // Window menu commands (16: the About box).
    void OnSysCommand(int commandId);

    // --- The wizard's outcome, valid once it has ended ---
    int Result() const { return result_; }  // ID_WIZFINISH, or IDCANCEL
    const std::string& InputText() const { return input_; }
    const std::string& OutputText() const { return output_; }
    JobKind Kind() const { return target_; }
    const EncoderSettings& Settings() const { return settings_; }
    Source SourceKind() const { return source_; }
    // Several files (a folder) or the CD's tracks are the source.
    bool Batch() const { return batch_; }
    // A music library is the source (Convert a Music Library on page 1).
    bool Library() const { return library_; }
    // The job the wizard asks for, made by OnFinish.
    const JobRequest& Request() const { return request_; }

    // The pickers' titles and filters as the target buttons set them.
    const std::string& InputPickerTitle() const { return inTitle_; }
    const std::string& InputFilter() const { return inFilter_; }
    const std::string& OutputPickerTitle() const { return outTitle_; }
    const std::string& OutputFilter() const { return outFilter_; }

    // The logic of the tag dialog 162 that the ID3 Tag button runs through DoModal.
    TagDialog& Tag() { return tagDialog_; }

    // The WMA settings page (made by EncoderApp::makeWmaPage; none without WMA encoding) and
    // the port of its controls (the sheet's port when the view gives none).
    WizardPage* WmaPage() { return wmaPage_.get(); }
    void AttachWmaPagePort(WindowPort* port) { wmaPort_ = port; }

    // The output text suggested for an input text with the current target and batch mode.
    std::string Suggestion(const std::string& input) const;

private:
    // Page 1.
    void InitPage1();
    void ActivatePage1();
    void SetInputText(const std::string& text);
    void OnBatch();
    void OnInputBrowse();
    void OnOutputBrowse();
    void OnCdAudio();
    void OnWavFiles();
    // The library check of page 1, and leaving the library for another source.
    void OnLibrary();
    void LeaveLibrary();
    void SelectTarget(JobKind target);
    void OnId3Tag();
    void MarkSource(Source s);
    // Page 2.
    void InitPage2();
    EncoderSettings StoredMp3Settings() const;
    void ActivatePage2();
    void TakePage2();
    // The FLAC and Opus page (format_page.cpp).
    void InitFormatPage();
    void ActivateFormatPage();
    void TakeFormatPage();
    std::string FormatSummary() const;
    // The page's choices as the job gets them: a CD's other formats only for its own targets.
    FormatChoice FormatsForJob() const;
    // The page's choices as the settings hold them ("Formats" section), and back.
    void ReadFormatSettings();
    void WriteFormatSettings();
    // The music library's page (library_page.cpp): its choices as the settings hold them
    // ("Library" section, written once the page was left with Next).
    void InitLibraryPage();
    void ActivateLibraryPage();
    // keep: the choices are written to the settings as well (Next).
    void TakeLibraryPage(bool keep);
    // The page after the library's (or after page 1): the target's options, or the summary.
    int TargetPage() const;
    // What page 1 lacks before the job can be set up ("Please specify ..."); empty: nothing.
    std::string MissingOnPage1() const;
    // Page 3.
    void ActivatePage3();
    // False when the request's job would write its output over its input, or replace files the
    // user does not agree to replace (asked once for all of them).
    bool MayWriteOutputs(const JobRequest& r);
    void Activate(int page);
    void TakeTexts();
    // The window effect over the page's area, when the window effects are on.
    void PageEffect(bool opening);

    EncoderApp& app_;
    WindowPort* port_ = nullptr;
    WizardPort* wizard_ = nullptr;
    TagDialog tagDialog_;
    std::unique_ptr<WizardPage> wmaPage_;
    WindowPort* wmaPort_ = nullptr;
    bool wmaPageCreated_ = false;
    int activePage_ = 0;
    int result_ = 0;
    bool page2Created_ = false;
    bool formatPageCreated_ = false;
    bool libraryPageCreated_ = false;
    bool library_ = false;
    LibraryChoice libraryChoice_;
    FormatChoice formats_;
    // The target the FLAC / Opus button selects: the format last chosen on its page.
    JobKind formatTarget_ = JobKind::EncodeFlac;

    std::string input_, output_;
    Source source_ = Source::WavFiles;
    bool batch_ = false;
    bool deleteGrabbedWav_ = false;
    JobRequest request_;
    JobKind target_ = JobKind::EncodeMp3;
    EncoderSettings settings_;
    std::string inTitle_, inFilter_, outTitle_, outFilter_;
    int fileHistoryCount_ = 0;
    int folderHistoryCount_ = 0;
    // Existing files the user agreed to replace (asked at Finish or by the save picker).
    std::vector<std::string> agreed_;
};

// The item of the bitrate list that the slider position selects: the first item that begins
// with the position written in decimal, or -1.
int BitrateItemForSlider(int pos);
// The 13 bitrates of the list, in order.
extern const char* const kBitrates[13];

}  // namespace orvane::encoder
