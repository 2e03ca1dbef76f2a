#include "encoder/wma/settings_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../app/fake_window.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/wizard.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;

std::string Profile(const std::string& name) {
    return "<profile name=\"" + name + "\" bitrate=\"64000\" channels=\"2\" samplerate=\"44100\"/>";
}

// A profile folder with audio profiles at collection indexes 0, 2 and 3 and a video profile
// at 1.
class SettingsPage : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(folder / "1.prx", Profile("Audio 64"));
        test::WriteFile(folder / "2.prx", Profile("Video for broadband"));
        test::WriteFile(folder / "3.prx", Profile("Audio 96"));
        test::WriteFile(folder / "4.prx", Profile("Audio 128"));
        test::WriteFile(folder / "5.prx", Profile("audio lower case"));
        test::RegisterProfileFolder(folder.path().string());
        app.settings = &settings;
    }
    void TearDown() override { test::UnregisterProfileFolder(); }

    void Init(bool batch = false) { page.OnInitDialog(w, sheet, batch); }

    test::TempDir folder;
    encoder::MemorySettings settings;
    encoder::EncoderApp app;
    test::FakeWindow w, sheet;
    CWMASettingsPage page{app};
};

TEST_F(SettingsPage, OffersOnlyAudioProfilesWithTheirCollectionIndex) {
    Init();
    ASSERT_EQ(w.Count(IDC_WMA_PROFILE), 3);
    EXPECT_EQ(w.ItemText(IDC_WMA_PROFILE, 0), "Audio 64");
    EXPECT_EQ(w.ItemText(IDC_WMA_PROFILE, 1), "Audio 96");
    EXPECT_EQ(w.ItemText(IDC_WMA_PROFILE, 2), "Audio 128");
    EXPECT_EQ(w.ItemData(IDC_WMA_PROFILE, 0), 0);
    EXPECT_EQ(w.ItemData(IDC_WMA_PROFILE, 1), 2);
    EXPECT_EQ(w.ItemData(IDC_WMA_PROFILE, 2), 3);
    // A stored 0 leaves the last entry selected.
    EXPECT_EQ(w.CurSel(IDC_WMA_PROFILE), 2);
    EXPECT_TRUE(w.Boxes().empty());
    EXPECT_EQ(page.profileIndex, 0);

    std::vector<std::pair<int, std::string>> list;
    EXPECT_TRUE(AudioProfiles(list));
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(SettingsPage, StoredPositionSelectsItsEntryWhileTheListHasOne) {
    const std::pair<int, int> cases[] = {{1, 1}, {2, 2}, {3, 2}, {-1, 2}, {0, 2}};
    for (const auto& [stored, selected] : cases) {
        settings.WriteProfileInt("Settings", "WMABitrate", stored);
        w.Reset();
        CWMASettingsPage fresh(app);
        fresh.OnInitDialog(w, sheet, false);
        EXPECT_EQ(w.CurSel(IDC_WMA_PROFILE), selected) << stored;
    }
}

TEST_F(SettingsPage, NextTakesTheTextsAndTheChosenProfile) {
    Init();
    page.OnSetActive(false);
    EXPECT_EQ(sheet.WizardButtons(), PSWIZB_BACK | PSWIZB_NEXT);
    w.SetCurSel(IDC_WMA_PROFILE, 1);
    w.SetText(IDC_WMA_TITLE, "Fjärran");
    w.SetText(IDC_WMA_AUTHOR, "Åsa");
    w.SetText(IDC_WMA_COPYRIGHT, "© 2001");
    w.SetText(IDC_WMA_RATING, "PG");
    w.SetText(IDC_WMA_DESCRIPTION, "line one\r\nline two");
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(page.profileIndex, 2);
    EXPECT_EQ(page.title, "Fjärran");
    EXPECT_EQ(page.author, "Åsa");
    EXPECT_EQ(page.copyright, "© 2001");
    EXPECT_EQ(page.rating, "PG");
    EXPECT_EQ(page.description, "line one\r\nline two");
    EXPECT_EQ(settings.GetProfileInt("Settings", "WMABitrate", 0), 1u);
    EXPECT_EQ(page.OnWizardBack(), IDD_PAGE1);
    encoder::JobRequest r;
    page.FillRequest(r);
    EXPECT_EQ(r.wma.profileIndex, 2);
    EXPECT_EQ(r.wma.title, "Fjärran");
    EXPECT_EQ(r.wma.description, "line one\r\nline two");
}

TEST_F(SettingsPage, TextsLongerThanTheirLimitsAreRefused) {
    Init();
    // Characters count, not bytes: 255 two-byte characters fit a title.
    std::string title;
    for (int i = 0; i < 255; ++i)
        title += "ä";
    w.SetText(IDC_WMA_TITLE, title);
    w.SetText(IDC_WMA_DESCRIPTION, std::string(4096, 'd'));
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(page.title, title);

    w.SetText(IDC_WMA_DESCRIPTION, std::string(5000, 'd'));
    w.SetText(IDC_WMA_TITLE, "changed");
    w.Answer(IDOK);
    EXPECT_EQ(page.OnWizardNext(), -1);
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, "Enter no more than 4096 characters.");
    // Nothing is taken from a page that was refused.
    EXPECT_EQ(page.title, title);
    EXPECT_EQ(page.description, std::string(4096, 'd'));

    w.SetText(IDC_WMA_DESCRIPTION, "");
    w.SetText(IDC_WMA_RATING, std::string(256, 'r'));
    w.Answer(IDOK);
    EXPECT_EQ(page.OnWizardNext(), -1);
    EXPECT_EQ(w.Boxes().back().text, "Enter no more than 255 characters.");
}

// The edits follow the wizard's batch mode each time the page is shown; the user's texts come
// back when the batch is switched off again.
TEST_F(SettingsPage, BatchModeShowsTheNoteAndKeepsTheUsersTexts) {
    Init();
    w.SetText(IDC_WMA_TITLE, "Mine");
    ASSERT_EQ(page.OnWizardNext(), IDD_PAGE3);
    page.OnSetActive(true);
    for (int id :
         {IDC_WMA_TITLE, IDC_WMA_AUTHOR, IDC_WMA_COPYRIGHT, IDC_WMA_RATING, IDC_WMA_DESCRIPTION}) {
        EXPECT_EQ(w.Text(id), "Not available in batch mode.") << id;
        EXPECT_FALSE(w.IsEnabled(id)) << id;
    }
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(page.title, "Mine");
    page.OnSetActive(false);
    EXPECT_EQ(w.Text(IDC_WMA_TITLE), "Mine");
    EXPECT_EQ(w.Text(IDC_WMA_AUTHOR), "");
    EXPECT_TRUE(w.IsEnabled(IDC_WMA_TITLE));

    // A page first shown in batch mode.
    test::FakeWindow other;
    CWMASettingsPage batchPage(app);
    batchPage.OnInitDialog(other, sheet, true);
    EXPECT_EQ(other.Text(IDC_WMA_DESCRIPTION), "Not available in batch mode.");
    EXPECT_FALSE(other.IsEnabled(IDC_WMA_DESCRIPTION));
    EXPECT_EQ(batchPage.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(batchPage.description, "");
}

// The effects outline the sheet's page area (the sheet's port, not the page's own): opening
// when the page is shown, closing on Back, nothing on Next; none at all with the effects off.
TEST_F(SettingsPage, WindowEffectsOnShowAndBackOnlyWhenSwitchedOn) {
    using Effects = std::vector<std::string>;
    Init();
    app.windowEffects = 1;
    page.OnSetActive(false);
    EXPECT_EQ(sheet.TakeEffects(), Effects{"open"});
    EXPECT_EQ(sheet.WizardButtons(), PSWIZB_BACK | PSWIZB_NEXT);
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(sheet.TakeEffects(), Effects{});
    EXPECT_EQ(page.OnWizardBack(), IDD_PAGE1);
    EXPECT_EQ(sheet.TakeEffects(), Effects{"close"});
    EXPECT_EQ(w.TakeEffects(), Effects{});

    app.windowEffects = 0;
    page.OnSetActive(true);
    EXPECT_EQ(page.OnWizardBack(), IDD_PAGE1);
    EXPECT_EQ(sheet.TakeEffects(), Effects{});
}

TEST_F(SettingsPage, WithoutTheEncoderTheListIsEmptyAndNothingIsChosen) {
    test::UnregisterProfileFolder();
    w.Answer(IDOK);
    Init();
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, "Error creating the WMEncoder object");
    EXPECT_EQ(w.Boxes()[0].caption, "Error");
    EXPECT_EQ(w.Count(IDC_WMA_PROFILE), 0);
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(page.profileIndex, -1);
    EXPECT_EQ(static_cast<int>(settings.GetProfileInt("Settings", "WMABitrate", 0)), -1);
}

// The page takes the place of the MP3 options between page 1 and the summary.
TEST_F(SettingsPage, WizardGoesThroughThePageForWma) {
    app.makeWmaPage = [](encoder::EncoderApp& a) -> std::unique_ptr<encoder::WizardPage> {
        return std::make_unique<CWMASettingsPage>(a);
    };
    using Effects = std::vector<std::string>;
    app.windowEffects = 1;
    encoder::MLSheet wizard(app);
    test::FakeWindow sheetWindow, pageWindow;
    wizard.Attach(&sheetWindow);
    wizard.AttachWmaPagePort(&pageWindow);
    wizard.OnInitDialog();
    wizard.OnCommand(IDC_TO_WMA);
    sheetWindow.SetText(IDC_INPUT, "/music/a.wav");
    wizard.OnInputChanged();
    EXPECT_EQ(wizard.OnNext(), IDD_WMA_SETTINGS);
    EXPECT_EQ(pageWindow.Count(IDC_WMA_PROFILE), 3);
    // The MP3 page's bitrate list (the same id) is not touched.
    EXPECT_EQ(sheetWindow.Count(IDC_WMA_PROFILE), 0);
    EXPECT_EQ(sheetWindow.TakeEffects(), Effects{"open"});
    pageWindow.SetText(IDC_WMA_DESCRIPTION, std::string(5000, 'x'));
    pageWindow.Answer(IDOK);
    EXPECT_EQ(wizard.OnNext(), IDD_WMA_SETTINGS);
    EXPECT_EQ(sheetWindow.TakeEffects(), Effects{});  // refused: the page stays as it is
    pageWindow.SetText(IDC_WMA_DESCRIPTION, "short");
    EXPECT_EQ(wizard.OnNext(), IDD_PAGE3);
    EXPECT_EQ(wizard.OnBack(), IDD_WMA_SETTINGS);
    // The summary opens, the page opens again, then closes on its way back to page 1.
    EXPECT_EQ(wizard.OnBack(), IDD_PAGE1);
    EXPECT_EQ(sheetWindow.TakeEffects(), (Effects{"open", "open", "close"}));
    auto* wma = dynamic_cast<CWMASettingsPage*>(wizard.WmaPage());
    ASSERT_NE(wma, nullptr);
    EXPECT_EQ(wma->description, "short");
    EXPECT_EQ(wma->profileIndex, 3);
    // Finish hands the page's choices to the job.
    wizard.OnNext();
    wizard.OnNext();
    wizard.OnFinish();
    EXPECT_EQ(wizard.Request().kind, encoder::JobKind::EncodeWma);
    EXPECT_EQ(wizard.Request().wma.profileIndex, 3);
    EXPECT_EQ(wizard.Request().wma.description, "short");
}

}  // namespace
}  // namespace orvane::wma
