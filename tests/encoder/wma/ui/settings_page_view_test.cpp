#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include "../../app/fake_window.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/ui/settings_page_view.h"
#include "platform/window/qt/qt_window_port.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"

namespace orvane::wma::ui {
namespace {

template <typename T>
T* Find(QWidget* window, int id) {
    auto* w = window->findChild<T*>(QString("id%1").arg(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// The page's real controls driven by its logic, as the wizard shows it.
class PageView : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(folder / "zz-audio.prx",
                        "<profile name=\"Audio 64\" bitrate=\"64000\" "
                        "channels=\"2\" samplerate=\"44100\"/>");
        test::WriteFile(folder / "zz-video.prx",
                        "<profile name=\"Video 300\" bitrate=\"300000\" "
                        "channels=\"2\" samplerate=\"44100\"/>");
        test::CopyShippedProfiles(folder.path());
        test::RegisterProfileFolder(folder.path().string());
        app.settings = &settings;
        BuildWmaSettingsPage(&widget, port);
        port.SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override { test::UnregisterProfileFolder(); }

    test::TempDir folder;
    encoder::MemorySettings settings;
    encoder::EncoderApp app;
    QWidget widget;
    QtWindowPort port{&widget};
    test::FakeWindow sheet;
    std::vector<std::string> boxes;
};

TEST_F(PageView, ListsAudioProfilesAndSelectsTheStoredPosition) {
    settings.WriteProfileInt("Settings", "WMABitrate", 2);
    CWMASettingsPage page(app);
    page.OnInitDialog(port, sheet, false);
    auto* list = Find<QComboBox>(&widget, IDC_WMA_PROFILE);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0).toStdString(), "Audio for HI-FI CD-quality (160 Kbps stereo)");
    EXPECT_EQ(list->itemText(1).toStdString(),
              "Audio for HI-FI Studio-maximum quality (192 Kbps stereo)");
    EXPECT_EQ(list->itemText(2).toStdString(), "Audio 64");
    EXPECT_EQ(list->currentIndex(), 2);
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    // Collection order (file names): the two shipped profiles, zz-audio.prx, zz-video.prx.
    EXPECT_EQ(page.profileIndex, 2);

    settings.WriteProfileInt("Settings", "WMABitrate", 0);
    CWMASettingsPage again(app);
    again.OnInitDialog(port, sheet, false);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentIndex(), 2);
}

TEST_F(PageView, BatchModeDisablesTheEdits) {
    CWMASettingsPage page(app);
    page.OnInitDialog(port, sheet, true);
    for (int id : {IDC_WMA_TITLE, IDC_WMA_AUTHOR, IDC_WMA_COPYRIGHT, IDC_WMA_RATING}) {
        auto* edit = Find<QLineEdit>(&widget, id);
        EXPECT_EQ(edit->text().toStdString(), "Not available in batch mode.");
        EXPECT_FALSE(edit->isEnabled());
    }
    auto* description = Find<QPlainTextEdit>(&widget, IDC_WMA_DESCRIPTION);
    EXPECT_EQ(description->toPlainText().toStdString(), "Not available in batch mode.");
    EXPECT_FALSE(description->isEnabled());
}

TEST_F(PageView, LongDescriptionIsRefusedAndTitleEditStopsAtItsLimit) {
    CWMASettingsPage page(app);
    page.OnInitDialog(port, sheet, false);
    Find<QPlainTextEdit>(&widget, IDC_WMA_DESCRIPTION)->setPlainText(QString(5000, 'x'));
    EXPECT_EQ(page.OnWizardNext(), -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Enter no more than 4096 characters.");
    auto* title = Find<QLineEdit>(&widget, IDC_WMA_TITLE);
    EXPECT_EQ(title->maxLength(), 255);
    Find<QPlainTextEdit>(&widget, IDC_WMA_DESCRIPTION)->setPlainText("Zwei\nZeilen");
    EXPECT_EQ(page.OnWizardNext(), IDD_PAGE3);
    EXPECT_EQ(page.description, "Zwei\nZeilen");
}

}  // namespace
}  // namespace orvane::wma::ui
