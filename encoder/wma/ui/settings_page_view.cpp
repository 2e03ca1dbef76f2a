#include "encoder/wma/ui/settings_page_view.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "encoder/app/resource.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/placing.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/wma/settings_page.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::wma::ui {

using encoder::ui::Label;

void BuildWmaSettingsPage(QWidget* page, QtWindowPort& port) {
    page->setFont(encoder::ui::PageFont());
    encoder::ui::ApplyTiledLook(page);
    auto* listLabel = Label(page, "Select Bitrate ( Audio Quality / File Size ):", 12, 10, 446, 20);
    auto* list = new QComboBox(page);
    list->setGeometry(12, 32, 446, 24);
    list->setMaxVisibleItems(12);
    listLabel->setBuddy(list);
    port.Bind(IDC_WMA_PROFILE, list);

    auto* group = new QGroupBox(" File Information ( optional ) ", page);
    group->setGeometry(12, 68, 446, 244);
    struct Row {
        int id;
        const char* label;
    };
    const Row rows[] = {{IDC_WMA_TITLE, "Title:"},
                        {IDC_WMA_AUTHOR, "Author:"},
                        {IDC_WMA_COPYRIGHT, "Copyright:"},
                        {IDC_WMA_RATING, "Rating:"}};
    int y = 24;
    for (const Row& row : rows) {
        auto* label = Label(group, row.label, 10, y + 2, 84, 20);
        auto* edit = new QLineEdit(group);
        edit->setGeometry(96, y, 340, 24);
        edit->setMaxLength(kWmaTextLimit);
        label->setBuddy(edit);
        port.Bind(row.id, edit);
        y += 32;
    }
    Label(group, "Description:", 10, y + 2, 84, 20);
    // The multi-line description: its limit is checked when the page is left.
    auto* description = new QPlainTextEdit(group);
    description->setGeometry(96, y, 340, 80);
    description->setTabChangesFocus(true);
    port.Bind(IDC_WMA_DESCRIPTION, description);
}

void RegisterWmaSettingsPage() {
    encoder::ui::RegisterWizardPage(IDD_WMA_SETTINGS, BuildWmaSettingsPage);
}

}  // namespace orvane::wma::ui
