// A music library as the wizard's source: the check of page 1 that chooses it and the page of
// its choices (dialog 640), shown after page 1 and before the target's options. Its files become
// the target chosen on page 1 (MP3, WMA, FLAC / Opus, or WAVE with "Decode to WAV").
#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/wizard.h"
#include "encoder/job/job_kinds.h"

namespace orvane::encoder {

void MLSheet::OnLibrary() {
    WindowPort& w = *port_;
    library_ = w.Check(IDC_LIBRARY) != 0;
    SetInputText("");
    w.SetText(IDC_OUTPUT, "");
    TakeTexts();
    // A library is a tree of folders: the batch check says so and stays until it is left.
    batch_ = library_;
    w.SetCheck(IDC_BATCH, library_ ? 1 : 0);
    w.Enable(IDC_BATCH, !library_);
    w.SetText(IDC_INPUT_LABEL, library_ ? "&Input Folder:" : "&Input Filename:");
    w.SetText(IDC_OUTPUT_LABEL, library_ ? "&Output Folder:" : "&Output Filename:");
    w.SetText(IDC_SOURCE_CAPTION, library_                     ? "Music Library"
                                  : target_ == JobKind::Decode ? "MP3 File(s)"
                                                               : "WAV File(s)");
    MarkSource(library_ ? Source::Library : Source::WavFiles);
    wizard_->SetWizardButtons(0);
}

void MLSheet::LeaveLibrary() {
    if (!library_) return;
    WindowPort& w = *port_;
    library_ = false;
    w.SetCheck(IDC_LIBRARY, 0);
    w.Enable(IDC_BATCH, true);
    w.SetText(IDC_SOURCE_CAPTION, target_ == JobKind::Decode ? "MP3 File(s)" : "WAV File(s)");
}

void MLSheet::InitLibraryPage() {
    libraryPageCreated_ = true;
    SettingsStore& s = *app_.settings;
    const LibraryChoice defaults;
    libraryChoice_.subfolders = s.GetProfileInt("Library", "Subfolders", defaults.subfolders) != 0;
    libraryChoice_.skipConverted =
        s.GetProfileInt("Library", "SkipConverted", defaults.skipConverted) != 0;
    port_->SetCheck(IDC_LIB_SUBFOLDERS, libraryChoice_.subfolders);
    port_->SetCheck(IDC_LIB_SKIP, libraryChoice_.skipConverted);
}

void MLSheet::ActivateLibraryPage() {
    PageEffect(true);
    // Decode to WAV writes WAVE files: the table names its format so.
    const std::string name = KindEntry(target_).name;
    port_->SetText(IDC_LIB_TARGET,
                   "Its audio files become " + name + " files, with their tags and front covers.");
    wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

void MLSheet::TakeLibraryPage(bool keep) {
    libraryChoice_.subfolders = port_->Check(IDC_LIB_SUBFOLDERS) != 0;
    libraryChoice_.skipConverted = port_->Check(IDC_LIB_SKIP) != 0;
    if (!keep) return;
    SettingsStore& s = *app_.settings;
    s.WriteProfileInt("Library", "Subfolders", libraryChoice_.subfolders ? 1 : 0);
    s.WriteProfileInt("Library", "SkipConverted", libraryChoice_.skipConverted ? 1 : 0);
}

}  // namespace orvane::encoder
