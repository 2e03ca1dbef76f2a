#pragma once
// CWMASettingsPage (dialog 619): the wizard page of WMA encoding. It offers the installed
// audio profiles and five optional texts the WMA job writes into the output file; the job
// reads the members below.

#include <string>
#include <utility>
#include <vector>

#include "encoder/app/wizard.h"

namespace orvane::encoder {
struct EncoderApp;
}

namespace orvane::wma {

// Control ids of the page.
constexpr int IDC_WMA_PROFILE = 1014;
constexpr int IDC_WMA_TITLE = 1122;
constexpr int IDC_WMA_AUTHOR = 1123;
constexpr int IDC_WMA_COPYRIGHT = 1124;
constexpr int IDC_WMA_RATING = 1125;
constexpr int IDC_WMA_DESCRIPTION = 1126;

// Limits of the texts, in characters.
constexpr int kWmaTextLimit = 255;
constexpr int kWmaDescriptionLimit = 4096;

constexpr const char* kNotInBatch = "Not available in batch mode.";

// The profiles the page offers: collection index and name of every profile whose name
// contains "Audio", in collection order. False (with nothing listed) when the encoder object
// cannot be created.
bool AudioProfiles(std::vector<std::pair<int, std::string>>& list);

class CWMASettingsPage : public encoder::WizardPage {
public:
    explicit CWMASettingsPage(encoder::EncoderApp& app) : app_(app) {}

    void OnInitDialog(WindowPort& page, WizardPort& sheet, bool batch) override;
    void OnSetActive(bool batch) override;
    int OnWizardBack() override;
    // Goes to the summary; stays (after saying so) when a text is longer than its limit.
    int OnWizardNext() override;
    void FillRequest(encoder::JobRequest& request) const override;

    // What the job reads.
    std::string title, rating, description, copyright, author;
    int profileIndex = 0;

private:
    // Shows the five edits for the wizard's batch mode: the user's texts, or the batch note
    // with the edits disabled.
    void ShowBatchMode(bool batch);

    encoder::EncoderApp& app_;
    WindowPort* page_ = nullptr;
    WizardPort* sheet_ = nullptr;
    bool showingBatch_ = false;
};

// WMA encoding in the program: the WMA job kind, this page in every new wizard sheet of app,
// and the wizard's WMA target enabled.
void InstallWmaEncoding(encoder::EncoderApp& app);

}  // namespace orvane::wma
