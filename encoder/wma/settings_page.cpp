#include "encoder/wma/settings_page.h"

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/wma/wma_job.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::wma {

namespace {

using namespace orvane::wmenc;

// Characters of a UTF-8 text (its code points).
std::size_t Characters(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

struct Edit {
    int id;
    std::string CWMASettingsPage::*member;
    int limit;
};

const Edit kEdits[] = {{IDC_WMA_TITLE, &CWMASettingsPage::title, kWmaTextLimit},
                       {IDC_WMA_RATING, &CWMASettingsPage::rating, kWmaTextLimit},
                       {IDC_WMA_DESCRIPTION, &CWMASettingsPage::description, kWmaDescriptionLimit},
                       {IDC_WMA_COPYRIGHT, &CWMASettingsPage::copyright, kWmaTextLimit},
                       {IDC_WMA_AUTHOR, &CWMASettingsPage::author, kWmaTextLimit}};

}  // namespace

bool AudioProfiles(std::vector<std::pair<int, std::string>>& list) {
    list.clear();
    CoInitialize(nullptr);
    bool created = false;
    {
        std::shared_ptr<IUnknown> unknown;
        std::shared_ptr<IWMEncoder> encoder;
        if (SUCCEEDED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWMEncoder, &unknown)))
            encoder = As<IWMEncoder>(unknown);
        created = encoder != nullptr;
        std::shared_ptr<IWMEncProfileCollection> profiles;
        long count = 0;
        if (encoder && SUCCEEDED(encoder->get_ProfileCollection(&profiles)) &&
            SUCCEEDED(profiles->get_Count(&count))) {
            for (long i = 0; i < count; ++i) {
                std::shared_ptr<IWMEncProfile> profile;
                std::string name;
                if (FAILED(profiles->Item(i, &profile)) || FAILED(profile->get_Name(&name)))
                    continue;
                if (name.find("Audio") != std::string::npos)
                    list.emplace_back(static_cast<int>(i), name);
            }
        }
    }
    CoUninitialize();
    return created;
}

void CWMASettingsPage::OnInitDialog(WindowPort& page, WizardPort& sheet, bool batch) {
    page_ = &page;
    sheet_ = &sheet;
    page.SetWaitCursor(true);
    page.ResetContent(IDC_WMA_PROFILE);
    std::vector<std::pair<int, std::string>> profiles;
    if (!AudioProfiles(profiles)) {
        page.SetWaitCursor(false);
        page.MessageBox("Error creating the WMEncoder object", "Error", MB_OK);
        page.SetWaitCursor(true);
    }
    for (const auto& [index, name] : profiles) {
        int item = page.AddString(IDC_WMA_PROFILE, name);
        page.SetItemData(IDC_WMA_PROFILE, item, index);
    }
    int count = page.Count(IDC_WMA_PROFILE);
    page.SetCurSel(IDC_WMA_PROFILE, count - 1);
    for (const Edit& e : kEdits)
        page.SetText(e.id, this->*e.member);
    showingBatch_ = false;
    ShowBatchMode(batch);
    // The stored position selects its entry only while the list has one there (a profile
    // removed since then keeps the last entry rather than selecting nothing).
    int stored = static_cast<int>(app_.settings->GetProfileInt("Settings", "WMABitrate", 0));
    if (stored > 0 && stored < count) page.SetCurSel(IDC_WMA_PROFILE, stored);
    page.SetWaitCursor(false);
}

void CWMASettingsPage::ShowBatchMode(bool batch) {
    if (batch == showingBatch_) return;
    // The user may switch batch mode on page 1 after seeing this page: the edits follow it,
    // and the user's texts come back when a single file is encoded again.
    for (const Edit& e : kEdits) {
        page_->SetText(e.id, batch ? std::string(kNotInBatch) : this->*e.member);
        page_->Enable(e.id, !batch);
    }
    showingBatch_ = batch;
}

void CWMASettingsPage::OnSetActive(bool batch) {
    if (app_.windowEffects == 1) sheet_->PlayPageEffect(true);
    ShowBatchMode(batch);
    sheet_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

int CWMASettingsPage::OnWizardBack() {
    if (app_.windowEffects == 1) sheet_->PlayPageEffect(false);
    return IDD_PAGE1;
}

int CWMASettingsPage::OnWizardNext() {
    if (!showingBatch_) {
        for (const Edit& e : kEdits) {
            std::string text = page_->Text(e.id);
            if (Characters(text) > static_cast<std::size_t>(e.limit)) {
                page_->MessageBox("Enter no more than " + std::to_string(e.limit) + " characters.",
                                  "", MB_ICONEXCLAMATION);
                return -1;
            }
        }
        for (const Edit& e : kEdits)
            this->*e.member = page_->Text(e.id);
    }
    int sel = page_->CurSel(IDC_WMA_PROFILE);
    profileIndex = sel >= 0 ? static_cast<int>(page_->ItemData(IDC_WMA_PROFILE, sel)) : -1;
    app_.settings->WriteProfileInt("Settings", "WMABitrate", sel);
    return IDD_PAGE3;
}

void InstallWmaEncoding(encoder::EncoderApp& app) {
    app.makeWmaPage = [](encoder::EncoderApp& a) -> std::unique_ptr<encoder::WizardPage> {
        return std::make_unique<CWMASettingsPage>(a);
    };
    app.wmaAvailable = true;
    RegisterWmaJob();
}

void CWMASettingsPage::FillRequest(encoder::JobRequest& r) const {
    r.wma.profileIndex = profileIndex;
    r.wma.title = title;
    r.wma.author = author;
    r.wma.copyright = copyright;
    r.wma.rating = rating;
    r.wma.description = description;
}

}  // namespace orvane::wma
