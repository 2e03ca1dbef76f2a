#include "cdplayer/ui/dialogs_ui.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QTabWidget>
#include <QTextDocument>
#include <QVBoxLayout>

#include "cdplayer/resource.h"
#include "cdplayer/setup_page.h"
#include "cdplayer/ui/about_info.h"
#include "cdplayer/ui/drawing.h"
#include "platform/clock/clock.h"
#include "platform/window/qt/up_down.h"

namespace orvane::cdplayer::ui {

const char* const kCreditsText =
    "Orvane CD Player\n\nA skinned player for audio CDs with its own song database.\n\n"
    "Programming\nThe Orvane Systems player team\n\nDisplay and artwork\nDrawn by the build "
    "itself, dot by dot\n\nTesting\nEveryone who put a disc in\n\nThank you for listening!";
const char* const kLegalWarning =
    "Warning: this program is protected by copyright law. Copying or passing it on, in whole "
    "or in part, without the permission of Orvane Systems is not allowed.";

namespace {

const char* const kWhite = "color: white; background: transparent;";

void Place(QWidget* widget, const QRect& rect) { widget->setGeometry(rect); }

// Puts a stored text into an edit whose typing is limited: the limit holds for what the user
// types, never cuts a longer stored text (which OK would write back shortened).
void SetLimitedText(QLineEdit* edit, const QString& text, int limit) {
    edit->setMaxLength(std::max(limit, static_cast<int>(text.size())));
    edit->setText(text);
}

// Object names of the controls: "id" and the control id, as tests and style sheets find them.
QString ObjectName(int id) { return QString("id%1").arg(id); }

// A white label whose text breaks anywhere to fit its width: the disc identity is one word of
// up to 127 characters.
class WrapAnywhereLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(Qt::white);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAnywhere);
        p.drawText(QRectF(contentsRect()), text(), option);
    }
};

constexpr int kDiscNameLimit = 22;
constexpr int kTrackNameLimit = 40;

}  // namespace

TiledDialog::TiledDialog(QWidget* parent) : QDialog(parent), tile_(Bitmap(IDB_DIALOG_TILE)) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TiledDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // 128 x 128 tiles from the top-left corner.
    for (int y = 0; y < height(); y += 128)
        for (int x = 0; x < width(); x += 128)
            p.drawImage(x, y, tile_);
}

QLabel* TiledDialog::Static(const QString& text, const QRect& rect, int id) {
    auto* label = new QLabel(text, this);
    label->setStyleSheet(kWhite);
    label->setAttribute(Qt::WA_TranslucentBackground);
    Place(label, rect);
    if (id) Bind(id, label);
    return label;
}

void TiledDialog::Bind(int id, QWidget* widget) {
    widget->setObjectName(ObjectName(id));
    controls_[id] = widget;
}

QWidget* TiledDialog::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

// ---- CD database dialog (198) ----

CCdDatabaseDlg::CCdDatabaseDlg(PlayerState& player, Messenger& messenger, QWidget* parent)
    : TiledDialog(parent), player_(player), messenger_(messenger) {
    setWindowTitle("Orvane CD Player - CD Database ...");
    setFixedSize(380, 318);
    Static("Disc Name:", QRect(12, 14, 80, 18));
    discName_ = new QLineEdit(this);
    discName_->setMaxLength(kDiscNameLimit);
    Place(discName_, QRect(100, 10, 266, 24));
    Bind(IDC_DISC_NAME, discName_);
    Static("Tracks:", QRect(12, 46, 80, 18));
    trackEdit_ = new QLineEdit(this);
    trackEdit_->setMaxLength(kTrackNameLimit);
    Place(trackEdit_, QRect(100, 42, 266, 24));
    tracks_ = new QListWidget(this);
    Place(tracks_, QRect(100, 66, 266, 120));
    Bind(IDC_DB_TRACKS, tracks_);
    Static("Selected Track:", QRect(12, 196, 100, 18));
    selected_ = Static("1", QRect(120, 196, 60, 18), IDC_DB_SELECTED);
    Static("Disk ID:", QRect(12, 216, 100, 18));
    // Room for the longest identity in four lines.
    identity_ = new WrapAnywhereLabel("0", this);
    identity_->setAttribute(Qt::WA_TranslucentBackground);
    Place(identity_, QRect(120, 216, 246, 62));
    Bind(IDC_DB_DISC_ID, identity_);
    auto* ok = new QPushButton("OK", this);
    Place(ok, QRect(196, 286, 80, 24));
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    Place(cancel, QRect(286, 286, 80, 24));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    data_.Open(player_, messenger_);
    for (const std::string& item : data_.Items())
        tracks_->addItem(QString::fromStdString(item));
    SetLimitedText(discName_, QString::fromStdString(data_.DiscName()), kDiscNameLimit);
    if (tracks_->count() > 0) {
        const QSignalBlocker block(tracks_);
        tracks_->setCurrentRow(0);
        SetLimitedText(trackEdit_, tracks_->item(0)->text(), kTrackNameLimit);
    }
    if (data_.Readable()) {
        selected_->setText(QString::fromStdString(data_.SelectedText()));
        identity_->setText(QString::fromStdString(data_.IdentityText()));
        identity_->setToolTip(identity_->text());
    }
    connect(tracks_, &QListWidget::currentRowChanged, this, [this](int row) {
        data_.SelectionChanged(trackEdit_->text().toStdString(), row);
        Refresh();
    });
    trackEdit_->installEventFilter(this);
}

bool CCdDatabaseDlg::eventFilter(QObject* object, QEvent* event) {
    if (object == trackEdit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            const int row = tracks_->currentRow() + (key == Qt::Key_Down ? 1 : -1);
            if (row >= 0 && row < tracks_->count()) tracks_->setCurrentRow(row);
            return true;
        }
    }
    return TiledDialog::eventFilter(object, event);
}

void CCdDatabaseDlg::Refresh() {
    const auto& items = data_.Items();
    const QSignalBlocker block(tracks_);
    for (int i = 0; i < tracks_->count() && i < static_cast<int>(items.size()); ++i) {
        const QString text = QString::fromStdString(items[static_cast<std::size_t>(i)]);
        if (tracks_->item(i)->text() != text) tracks_->item(i)->setText(text);
    }
    const int row = data_.Remembered();
    if (row >= 0 && row < tracks_->count()) {
        tracks_->setCurrentRow(row);
        SetLimitedText(trackEdit_, tracks_->item(row)->text(), kTrackNameLimit);
    }
    selected_->setText(QString::fromStdString(data_.SelectedText()));
}

std::vector<std::string> CCdDatabaseDlg::ApplyOk() {
    return data_.Ok(player_, messenger_, trackEdit_->text().toStdString(),
                    discName_->text().toStdString());
}

// ---- Programmed-order dialog (212) ----

CProgramDlg::CProgramDlg(PlayerState& player, Messenger& messenger, QWidget* parent)
    : TiledDialog(parent), player_(player) {
    setWindowTitle("Program Tracks Playing Order...");
    setFixedSize(450, 300);
    data_.Open(player_, messenger);
    auto* disc =
        Static(QString::fromStdString(data_.DiscName()), QRect(10, 8, 430, 18), IDC_DISC_NAME);
    disc->setAlignment(Qt::AlignCenter);
    Static("CD Tracks", QRect(10, 30, 160, 18));
    tracks_ = new QListWidget(this);
    Place(tracks_, QRect(10, 50, 170, 200));
    Bind(IDC_PROGRAM_TRACKS, tracks_);
    Static("Selected Order...", QRect(270, 30, 160, 18));
    order_ = new QListWidget(this);
    Place(order_, QRect(270, 50, 170, 200));
    order_->setDragDropMode(QAbstractItemView::InternalMove);
    order_->setDefaultDropAction(Qt::MoveAction);
    Bind(IDC_PROGRAM_ORDER, order_);
    add_ = new QPushButton("&Add ->", this);
    Place(add_, QRect(187, 90, 76, 26));
    Bind(IDC_PROGRAM_ADD, add_);
    auto* remove = new QPushButton("<- &Remove", this);
    Place(remove, QRect(187, 124, 76, 26));
    Bind(IDC_PROGRAM_REMOVE, remove);
    auto* reset = new QPushButton("Rese&t", this);
    Place(reset, QRect(187, 158, 76, 26));
    Bind(IDC_PROGRAM_RESET, reset);
    auto* ok = new QPushButton("&OK", this);
    Place(ok, QRect(270, 264, 80, 26));
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    Place(cancel, QRect(360, 264, 80, 26));
    connect(add_, &QPushButton::clicked, this, &CProgramDlg::Add);
    connect(remove, &QPushButton::clicked, this, &CProgramDlg::Remove);
    connect(reset, &QPushButton::clicked, this, &CProgramDlg::Reset);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // A drag moves an entry: the order follows the list.
    connect(order_->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                const int to = row > start ? row - 1 : row;
                data_.Move(start, to);
                RefillOrder(to);
            });

    for (const std::string& t : data_.Tracks())
        tracks_->addItem(QString::fromStdString(t));
    if (tracks_->count() > 0) tracks_->setCurrentRow(0);
    RefillOrder(-1);
}

void CProgramDlg::RefillOrder(int select) {
    const QSignalBlocker block(order_);
    order_->clear();
    for (const auto& entry : data_.Entries()) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.text));
        item->setData(Qt::UserRole, entry.track);
        order_->addItem(item);
    }
    if (select >= 0 && select < order_->count()) order_->setCurrentRow(select);
    add_->setEnabled(data_.AddEnabled());
}

void CProgramDlg::Add() {
    data_.Add(tracks_->currentRow());
    RefillOrder(order_->count());
}

void CProgramDlg::Remove() {
    const int row = order_->currentRow();
    data_.Remove(row);
    RefillOrder(std::min(row, order_->count() - 2));
}

void CProgramDlg::Reset() {
    data_.Reset();
    RefillOrder(-1);
}

void CProgramDlg::ApplyOk() { data_.Ok(player_); }

// ---- Preferences sheet (page 106) ----

namespace {

class TiledPage : public QWidget {
public:
    explicit TiledPage(QWidget* parent) : QWidget(parent), tile_(Bitmap(IDB_DIALOG_TILE)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int y = 0; y < height(); y += 128)
            for (int x = 0; x < width(); x += 128)
                p.drawImage(x, y, tile_);
    }

private:
    QImage tile_;
};

}  // namespace

CSetupProp::CSetupProp(PlayerState& player, Messenger& messenger, const DriveTypeFn& driveType,
                       QWidget* parent)
    : QDialog(parent), player_(player), messenger_(messenger) {
    setWindowTitle("Preferences...");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    page_ = new TiledPage(tabs);
    page_->setFixedSize(300, 170);
    tabs->addTab(page_, "General");
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetupProp::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const auto white = [](QWidget* w) { w->setStyleSheet(kWhite); };
    auto* driveLabel = new QLabel("Select CD Player Drive:", page_);
    white(driveLabel);
    Place(driveLabel, QRect(12, 14, 150, 18));
    drives_ = new QComboBox(page_);
    drives_->setObjectName(ObjectName(IDC_SETUP_DRIVE));
    Place(drives_, QRect(190, 10, 70, 24));
    play_ = new QCheckBox("Start Playing on StartUp", page_);
    play_->setObjectName(ObjectName(IDC_SETUP_PLAY_ON_STARTUP));
    Place(play_, QRect(12, 44, 270, 20));
    stop_ = new QCheckBox("Stop &CD Playing on Exit", page_);
    stop_->setObjectName(ObjectName(IDC_SETUP_STOP_ON_EXIT));
    Place(stop_, QRect(12, 68, 270, 20));
    saveBox_ = new QCheckBox("&Save Settings on Exit", page_);
    saveBox_->setObjectName(ObjectName(IDC_SETUP_SAVE_SETTINGS));
    Place(saveBox_, QRect(12, 92, 270, 20));
    for (QCheckBox* box : {play_, stop_, saveBox_}) {
        // White text by the palette, so the boxes keep their native indicator.
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        box->setPalette(palette);
    }
    auto* introLabel = new QLabel("IntroScan Time (seconds):", page_);
    white(introLabel);
    Place(introLabel, QRect(12, 128, 170, 18));
    intro_ = new QLineEdit(page_);
    intro_->setObjectName(ObjectName(IDC_SETUP_INTRO_SCAN));
    Place(intro_, QRect(190, 124, 40, 24));
    // The up-down control (1018): steps the edit within the range, also with the arrow keys.
    auto* upDown = new UpDownControl(page_);
    upDown->SetBuddy(intro_);
    upDown->SetRange(kIntroScanLow, kIntroScanHigh);
    upDown->setObjectName(ObjectName(IDC_SETUP_INTRO_SPIN));
    Place(upDown, QRect(231, 124, 16, 24));

    // Opening: the CD-ROM drives in letter order, the first one selected.
    std::vector<std::string> drives;
    SetupPageValues values;
    {
        std::lock_guard lock(player_.lock);
        values = OpenSetupPage(player_.settings, driveType, drives);
    }
    for (const std::string& d : drives)
        drives_->addItem(QString::fromStdString(d));
    if (drives_->count() > 0) drives_->setCurrentIndex(0);
    play_->setChecked(values.playOnStartUp != 0);
    stop_->setChecked(values.stopCdOnExit != 0);
    saveBox_->setChecked(values.saveSettings != 0);
    intro_->setText(QString::fromStdString(values.introScan));
}

QCheckBox* CSetupProp::Check(int id) const {
    switch (id) {
        case IDC_SETUP_PLAY_ON_STARTUP:
            return play_;
        case IDC_SETUP_STOP_ON_EXIT:
            return stop_;
        case IDC_SETUP_SAVE_SETTINGS:
            return saveBox_;
        default:
            return nullptr;
    }
}

bool CSetupProp::TryOk() {
    SetupPageValues values;
    values.drive = drives_->currentText().toStdString();
    values.playOnStartUp = play_->isChecked() ? 1 : 0;
    values.stopCdOnExit = stop_->isChecked() ? 1 : 0;
    values.saveSettings = saveBox_->isChecked() ? 1 : 0;
    values.introScan = intro_->text().toStdString();
    const SetupPageError error = ValidateSetupPage(values);
    if (error.controlId != 0) {
        messenger_.MessageBox(error.message, "", MB_ICONEXCLAMATION);
        QWidget* field =
            error.controlId == IDC_SETUP_INTRO_SCAN ? static_cast<QWidget*>(intro_) : drives_;
        field->setFocus();
        if (field == intro_) intro_->selectAll();
        return false;
    }
    {
        std::lock_guard lock(player_.lock);
        ApplySetupPage(values, player_.settings);
    }
    if (save_) save_();
    return true;
}

void CSetupProp::accept() {
    if (TryOk()) QDialog::accept();
}

// ---- About box (100) ----

class CreditsArea : public QGroupBox {
public:
    explicit CreditsArea(QWidget* parent) : QGroupBox(parent) {}

    QRect Inner() const { return rect().adjusted(3, 8, -3, -3); }

    // Renders the credits black on white, word-wrapped and centred, at the area's width.
    QImage RenderText() const {
        QTextDocument doc;
        doc.setDefaultFont(font());
        doc.setTextWidth(Inner().width());
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WordWrap);
        doc.setDefaultTextOption(option);
        doc.setPlainText(kCreditsText);
        const int h = static_cast<int>(doc.size().height()) + 1;
        QImage image(Inner().width(), h, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        doc.drawContents(&p);
        return image;
    }

    void Begin() {
        // What the area shows now, to scroll back in after the text.
        saved_ = QImage(Inner().size(), QImage::Format_ARGB32_Premultiplied);
        saved_.fill(Qt::transparent);
        QPainter p(&saved_);
        parentWidget()->render(&p, QPoint(),
                               QRegion(QRect(mapToParent(Inner().topLeft()), Inner().size())),
                               QWidget::DrawWindowBackground | QWidget::DrawChildren);
        canvas_ = saved_;
        scrolling_ = true;
    }

    // Scrolls the area up one row and draws row into its bottom row.
    void Scroll(const QImage& source, int row) {
        const int w = canvas_.width(), h = canvas_.height();
        if (h < 2) return;
        QImage next(canvas_.size(), canvas_.format());
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), canvas_, QRect(0, 1, w, h - 1));
        p.drawImage(QPoint(0, h - 1), source, QRect(0, row, w, 1));
        p.end();
        canvas_ = next;
        update();
    }

    void End() {
        scrolling_ = false;
        canvas_ = QImage();
        update();
    }

    const QImage& Saved() const { return saved_; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QGroupBox::paintEvent(event);
        if (scrolling_) {
            QPainter p(this);
            p.drawImage(Inner().topLeft(), canvas_);
        }
    }

private:
    QImage saved_;
    QImage canvas_;
    bool scrolling_ = false;
};

CAboutDlg::CAboutDlg(QWidget* parent) : TiledDialog(parent) {
    setWindowTitle("About Orvane CD Player...");
    setFixedSize(380, 360);
    wait_ = [](unsigned ms) {
        const DWORD start = clock::GetTickCount();
        do {
            QCoreApplication::processEvents();
            if (clock::GetTickCount() - start < ms) clock::Sleep(1);
        } while (clock::GetTickCount() - start < ms);
    };
    image_ = new QLabel(this);
    image_->setPixmap(QPixmap::fromImage(Bitmap(IDB_ABOUT_IMAGE)));
    Place(image_, QRect(14, 14, 56, 46));
    Bind(IDC_ABOUT_IMAGE, image_);
    image_->installEventFilter(this);

    const VersionValues version = ProgramVersion();
    Static(QString::fromStdString(version.productName), QRect(84, 12, 280, 18), IDC_ABOUT_PRODUCT);
    Static("Version", QRect(84, 30, 50, 18));
    Static(QString::fromStdString(version.fileVersion), QRect(136, 30, 200, 18), IDC_ABOUT_VERSION);
    Static(QString::fromStdString(version.legalCopyright), QRect(84, 48, 280, 18),
           IDC_ABOUT_COPYRIGHT);
    Static(kBuildStamp, QRect(84, 66, 280, 18), IDC_ABOUT_BUILD);
    auto* legal = Static(kLegalWarning, QRect(14, 94, 352, 54), IDC_ABOUT_LEGAL);
    legal->setWordWrap(true);
    Static("Free Memory:", QRect(14, 154, 110, 18));
    Static(QString::fromStdString(FreeMemoryText()), QRect(130, 154, 236, 18), IDC_ABOUT_MEMORY);
    Static("Free Disk Space:", QRect(14, 174, 110, 18));
    Static(QString::fromStdString(FreeDiskText()), QRect(130, 174, 236, 18), IDC_ABOUT_DISK);
    credits_ = new CreditsArea(this);
    Place(credits_, QRect(14, 198, 352, 118));
    credits_->setStyleSheet("QGroupBox { border: 1px solid #a0a8c0; margin-top: 2px; }");
    Bind(IDC_ABOUT_CREDITS, credits_);
    auto* ok = new QPushButton("OK", this);
    Place(ok, QRect(150, 326, 80, 26));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CAboutDlg::CreditsHeight() const { return credits_->RenderText().height(); }

bool CAboutDlg::eventFilter(QObject* object, QEvent* event) {
    if (object == image_ && event->type() == QEvent::MouseButtonDblClick) {
        if (!running_) RunCredits();
        return true;
    }
    return TiledDialog::eventFilter(object, event);
}

int CAboutDlg::RunCredits() {
    if (running_) return 0;
    if (pause_) pause_();
    running_ = true;
    const QImage text = credits_->RenderText();
    credits_->Begin();
    const QImage saved = credits_->Saved();
    const int h = text.height();
    const int areaH = saved.height();
    int i = 0;
    for (; i < h + areaH && running_; ++i) {
        if (i < h)
            credits_->Scroll(text, i);
        else
            credits_->Scroll(saved, i - h);
        wait_(20);
    }
    credits_->End();
    running_ = false;
    if (resume_) resume_();
    if (closeAfterCredits_) {
        closeAfterCredits_ = false;
        QDialog::reject();
    }
    return i;
}

void CAboutDlg::hideEvent(QHideEvent* event) {
    running_ = false;
    TiledDialog::hideEvent(event);
}

void CAboutDlg::reject() {
    if (running_) {
        // Closing while the credits run ends them first; the box then closes.
        running_ = false;
        closeAfterCredits_ = true;
        return;
    }
    QDialog::reject();
}

}  // namespace orvane::cdplayer::ui
