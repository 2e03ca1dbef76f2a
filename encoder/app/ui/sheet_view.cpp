#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <map>
#include <memory>

#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/modal_run.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "encoder/app/ui/windows.h"
#include "encoder/app/wizard.h"
#include "encoder/controls/ui/window_effect_overlay.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

const char* PageCaption(int pageId) {
    switch (pageId) {
        case IDD_PAGE1:
            return "Orvane Encoder 2001 - Input/Output";
        case IDD_PAGE2:
            return "Orvane Encoder 2001 - Options";
        case IDD_PAGE3:
            return "Orvane Encoder 2001 - Summary";
        case IDD_WMA_SETTINGS:
        case IDD_FORMAT_SETTINGS:
        case IDD_LIBRARY:
            return "Orvane Encoder 2001 - Options";
        default:
            return "Wizard";
    }
}

namespace {

constexpr int kIdHelp = 9;

class SheetWindow : public QDialog {
public:
    SheetWindow(MLSheet& sheet, QWidget* owner)
        : QDialog(owner, Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          sheet_(sheet),
          port_(this, {[this](unsigned flags) { SetWizardButtons(flags); },
                       [](unsigned ms) { ShowSplash(ms); },
                       [this](const std::string& path) { ShowHelpWindow(path, this); },
                       [this](bool opening) { PlayPageEffect(opening); }}) {
        setWindowTitle(QString::fromStdString(LoadString(IDS_WIZARD)));
        setWindowIcon(QIcon(QString(":/icons/%1.png").arg(IDR_MAINFRAME)));
        ApplyHooks(port_);
        auto* layout = new QVBoxLayout(this);
        stack_ = new QStackedWidget(this);
        stack_->setFixedSize(kPageWidth, kPageHeight);
        layout->addWidget(stack_);
        const std::pair<int, void (*)(QWidget*, QtWindowPort&)> builders[] = {
            {IDD_PAGE1, BuildPage1},
            {IDD_PAGE2, BuildPage2},
            {IDD_PAGE3, BuildPage3},
            {IDD_FORMAT_SETTINGS, BuildFormatPage},
            {IDD_LIBRARY, BuildLibraryPage}};
        for (const auto& [id, build] : builders) {
            auto* page = new QWidget(stack_);
            build(page, port_);
            pages_[id] = stack_->addWidget(page);
        }
        // The WMA settings page, where the WMA views are part of the program (without them the
        // wizard never offers WMA).
        auto registered = WizardPages().find(IDD_WMA_SETTINGS);
        if (registered != WizardPages().end()) {
            auto* wma = new QWidget(stack_);
            // The page's controls have a port of their own (its ids repeat page 2's).
            wmaPort_ = std::make_unique<QtWindowPort>(this);
            ApplyHooks(*wmaPort_);
            registered->second(wma, *wmaPort_);
            pages_[IDD_WMA_SETTINGS] = stack_->addWidget(wma);
        }

        auto* row = new QHBoxLayout();
        row->addStretch();
        back_ = AddButton(row, ID_WIZBACK, "< &Back");
        next_ = AddButton(row, ID_WIZNEXT, "&Next >");
        finish_ = AddButton(row, ID_WIZFINISH, "&Finish");
        row->addSpacing(8);
        auto* cancel = AddButton(row, IDCANCEL, "Cancel");
        auto* help = AddButton(row, kIdHelp, "&Help");
        layout->addLayout(row);
        finish_->hide();
        back_->setEnabled(false);
        next_->setEnabled(false);

        connect(back_, &QPushButton::clicked, this, [this] { ShowPage(sheet_.OnBack()); });
        connect(next_, &QPushButton::clicked, this, [this] { ShowPage(sheet_.OnNext()); });
        connect(finish_, &QPushButton::clicked, this, [this] { sheet_.OnFinish(); });
        connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
        connect(help, &QPushButton::clicked, this, [this] { sheet_.OnHelp(); });
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
        connect(f1, &QShortcut::activated, this, [this] { sheet_.OnHelp(); });
        InstallWindowMenu(this, [this](int command) { sheet_.OnSysCommand(command); });

        ForwardUserActions();

        port_.OnEndDialog([this](int result) { run_.End(result, [this](int r) { done(r); }); });
        for (const auto& [id, run] : WizardDialogs())
            port_.RegisterDialog(id, run);
        port_.RegisterDialog(IDD_ABOUTBOX, [](QWidget* parent) { return RunAboutBox(parent); });
        port_.RegisterDialog(
            IDD_ID3TAG, [this](QWidget* parent) { return RunTagDialog(sheet_.Tag(), parent); });
    }

    int Run() {
        sheet_.Attach(&port_);
        sheet_.AttachWmaPagePort(wmaPort_.get());
        sheet_.OnInitDialog();
        const int result = run_.Exec(*this, [this] { ShowPage(sheet_.ActivePage()); });
        sheet_.Attach(nullptr);
        sheet_.AttachWmaPagePort(nullptr);
        return result;
    }

protected:
    // Escape and the close box reach the wizard's cancel.
    void reject() override { sheet_.OnCancel(); }

private:
    QPushButton* AddButton(QHBoxLayout* row, int id, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        row->addWidget(b);
        port_.Bind(id, b);
        return b;
    }

    void SetWizardButtons(unsigned flags) {
        back_->setEnabled(flags & PSWIZB_BACK);
        const bool finish = flags & PSWIZB_FINISH;
        finish_->setVisible(finish);
        next_->setVisible(!finish);
        next_->setEnabled(flags & PSWIZB_NEXT);
        (finish ? finish_ : next_)->setDefault(true);
    }

    // The pages share the stack's area: the effect outlines it, whichever page is on show.
    void PlayPageEffect(bool opening) {
        if (isVisible()) controls::PlayWindowEffect(stack_, opening);
    }

    void ShowPage(int pageId) {
        auto it = pages_.find(pageId);
        if (it == pages_.end()) return;
        stack_->setCurrentIndex(it->second);
        setWindowTitle(PageCaption(pageId));
        // The page is reported once it has been drawn.
        QTimer::singleShot(0, this, [this, pageId] {
            if (isVisible() && sheet_.ActivePage() == pageId) ReportShown(this, pageId);
        });
    }

    // Only what the user does reaches the logic; texts and states the program sets itself do
    // not come back as notifications.
    void ForwardUserActions() {
        for (int id : {IDC_SRC_CDAUDIO, IDC_SRC_WAVFILES, IDC_TO_MP3, IDC_TO_WMA, IDC_TO_WAV,
                       IDC_ID3TAG, IDC_OPTIONS, IDC_INPUT_BROWSE, IDC_OUTPUT_BROWSE, IDC_BATCH,
                       IDC_TO_FORMATS, IDC_FMT_FLAC, IDC_FMT_OPUS, IDC_LIBRARY}) {
            if (auto* b = qobject_cast<QAbstractButton*>(port_.Control(id))) {
                connect(b, &QAbstractButton::clicked, this, [this, id] { sheet_.OnCommand(id); });
            }
        }
        if (auto* input = qobject_cast<QLineEdit*>(port_.Control(IDC_INPUT))) {
            connect(input, &QLineEdit::textEdited, this, [this] { sheet_.OnInputChanged(); });
        }
        if (auto* slider = qobject_cast<QAbstractSlider*>(port_.Control(IDC_BITRATE_SLIDER))) {
            connect(slider, &QAbstractSlider::sliderMoved, this,
                    [this](int pos) { sheet_.OnSliderMoved(pos); });
            connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider](int action) {
                if (action != QAbstractSlider::SliderMove) {
                    sheet_.OnSliderMoved(slider->sliderPosition());
                }
            });
        }
        if (auto* combo = qobject_cast<QComboBox*>(port_.Control(IDC_BITRATE))) {
            connect(combo, &QComboBox::activated, this, [this] { sheet_.OnBitrateChanged(); });
        }
    }

    MLSheet& sheet_;
    QtWizardPort port_;
    std::unique_ptr<QtWindowPort> wmaPort_;
    QStackedWidget* stack_ = nullptr;
    std::map<int, int> pages_;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
    ModalRun run_;
};

}  // namespace

int RunSheet(MLSheet& sheet, QWidget* owner) {
    SheetWindow window(sheet, owner);
    return window.Run();
}

}  // namespace orvane::encoder::ui
