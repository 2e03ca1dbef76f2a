#include "encoder/cdda/ui/cdda_views.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <thread>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/modal_run.h"
#include "encoder/app/ui/placing.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/windows.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/cd_rip_jobs.h"
#include "encoder/cdda/cdda_strings.h"
#include "encoder/cdda/grabber_dialog.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/controls/ellipsis_label.h"
#include "encoder/controls/ui/drawn_button.h"
#include "encoder/controls/ui/gradient_progress_bar.h"
#include "encoder/controls/ui/window_effect_overlay.h"
#include "encoder/formats/flac_image.h"
#include "encoder/formats/vorbis_tags.h"
#include "platform/shell/sysinfo.h"
#include "platform/window/qt/qt_window_port.h"
#include "platform/window/qt/up_down.h"

namespace orvane::cdda::ui {

using encoder::ui::Edit;
using encoder::ui::Label;
using encoder::ui::Place;
using encoder::ui::PlaceDrawnButton;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

bool EffectsOn() { return encoder::TheApp().windowEffects == 1; }

QPushButton* Button(QtWindowPort& port, int id, QWidget* parent, const QString& text, int x, int y,
                    int w, int h = 26) {
    auto* b = Place<QPushButton>(parent, x, y, w, h);
    b->setText(text);
    port.Bind(id, b);
    return b;
}

void OnClick(QtWindowPort& port, int id, QObject* context, std::function<void()> fn) {
    if (auto* b = qobject_cast<QAbstractButton*>(port.Control(id)))
        QObject::connect(b, &QAbstractButton::clicked, context, [fn] { fn(); });
}

// The window port of the grabber: the track list 1063 is a tree widget with columns and check
// boxes; its changes made by the logic are not reported back to it.
class GrabberPort : public QtWindowPort {
public:
    using QtWindowPort::QtWindowPort;
    QTreeWidget* tree = nullptr;
    bool updating = false;

    QTreeWidgetItem* Row(int row) const {
        return tree && row >= 0 ? tree->topLevelItem(row) : nullptr;
    }
    void SetImage(int id, const std::vector<unsigned char>& bytes) override {
        auto* label = qobject_cast<QLabel*>(Control(id));
        if (!label) return;
        QImage image;
        if (!bytes.empty()) image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
        if (image.isNull()) {
            label->clear();
            return;
        }
        label->setPixmap(QPixmap::fromImage(
            image.scaled(label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    void ResetContent(int id) override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::ResetContent(id);
        Guard g(this);
        tree->clear();
    }
    int Count(int id) const override {
        return id == IDC_CD_TRACKS ? tree->topLevelItemCount() : QtWindowPort::Count(id);
    }
    int CurSel(int id) const override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::CurSel(id);
        return tree->currentItem() ? tree->indexOfTopLevelItem(tree->currentItem()) : -1;
    }
    void SetCurSel(int id, int index) override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::SetCurSel(id, index);
        Guard g(this);
        tree->setCurrentItem(Row(index));
    }
    void SetItemData(int id, int index, long data) override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::SetItemData(id, index, data);
        if (auto* item = Row(index)) item->setData(0, Qt::UserRole + 1, QVariant::fromValue(data));
    }
    long ItemData(int id, int index) const override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::ItemData(id, index);
        auto* item = Row(index);
        return item ? item->data(0, Qt::UserRole + 1).toLongLong() : 0;
    }
    std::string ItemText(int id, int index) const override {
        if (id != IDC_CD_TRACKS) return QtWindowPort::ItemText(id, index);
        auto* item = Row(index);
        return item ? S(item->text(0)) : std::string();
    }
    void SetColumns(int id, const std::vector<std::string>& headers) override {
        if (id != IDC_CD_TRACKS) return;
        QStringList labels;
        for (const auto& h : headers)
            labels << Q(h);
        tree->setHeaderLabels(labels);
        QFontMetrics fm(tree->font());
        for (int c = 0; c < static_cast<int>(headers.size()); ++c)
            tree->setColumnWidth(c, fm.horizontalAdvance(labels[c]) + 16);
        tree->setColumnWidth(0, tree->columnWidth(0) * 5 / 2);
    }
    void SetListRow(int id, int row, const std::vector<std::string>& texts) override {
        if (id != IDC_CD_TRACKS) return;
        Guard g(this);
        QTreeWidgetItem* item = Row(row);
        if (!item) {
            item = new QTreeWidgetItem(tree);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
            item->setCheckState(0, Qt::Unchecked);
            for (int c = 1; c < 7; ++c)
                item->setTextAlignment(c, Qt::AlignCenter);
        }
        for (int c = 0; c < static_cast<int>(texts.size()); ++c)
            item->setText(c, Q(texts[c]));
    }
    void SetListCell(int id, int row, int column, const std::string& text) override {
        if (id != IDC_CD_TRACKS) return;
        Guard g(this);
        if (auto* item = Row(row)) item->setText(column, Q(text));
    }
    void SetRowCheck(int id, int row, bool checked) override {
        if (id != IDC_CD_TRACKS) return;
        Guard g(this);
        if (auto* item = Row(row)) item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }

private:
    struct Guard {
        explicit Guard(GrabberPort* p) : port(p), was(p->updating) { p->updating = true; }
        ~Guard() { port->updating = was; }
        GrabberPort* port;
        bool was;
    };
};

// --- Progress window 108 ---------------------------------------------------------------------

// The file being written: a path too long for its field keeps its file name, and loses its
// folders in the middle instead ("/home/.../Artist - Title.WAV"); the whole path is the tooltip.
class FileLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics metrics(font());
        const std::string shown =
            controls::Elide(text().toStdString(), contentsRect().width(), /*pathStyle=*/true,
                            [&](const std::string& s) { return metrics.horizontalAdvance(Q(s)); });
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, Q(shown));
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ToolTip) setToolTip(text());
        return QLabel::event(event);
    }
};

class ProgressDialog : public QDialog {
public:
    ProgressDialog(GrabProgress& logic, QWidget* owner) : QDialog(owner), port(this) {
        setWindowTitle(Q(CdString(IDS_READING_RAW)));
        setFixedSize(400, 190);
        encoder::ui::ApplyHooks(port);
        auto* status = Label(this, "Reading...", 12, 8, 376, 20);
        port.Bind(IDC_GRAB_STATUS, status);
        auto* file = Place<FileLabel>(this, 12, 30, 376, 20);
        file->setTextFormat(Qt::PlainText);
        port.Bind(IDC_GRAB_FILE, file);
        Label(this, "Current Track...", 12, 54, 200, 20);
        auto* track = Place<controls::GradientProgressBar>(this, 12, 74, 376, 16);
        port.Bind(IDC_GRAB_TRACKBAR, track);
        Label(this, "Total...", 12, 96, 200, 20);
        auto* total = Place<controls::GradientProgressBar>(this, 12, 116, 376, 16);
        port.Bind(IDC_GRAB_TOTALBAR, total);
        Label(this, "Grabbed:", 12, 146, 60, 20);
        port.Bind(IDC_GRAB_GRABBED, Label(this, "", 72, 146, 200, 20));
        auto* cancel = Button(port, IDCANCEL, this, "Cancel", 298, 150, 90);
        connect(cancel, &QPushButton::clicked, this, [&logic] { logic.OnCancel(); });
        cancelLogic_ = &logic;
    }
    QtWindowPort port;

protected:
    void reject() override {
        if (cancelLogic_) cancelLogic_->OnCancel();
    }

private:
    GrabProgress* cancelLogic_ = nullptr;
};

void OnGui(const std::function<void()>& fn) {
    if (QThread::currentThread() == qApp->thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection);
    }
}

class QtProgressWindow : public ProgressWindow {
public:
    QtProgressWindow(GrabProgress& logic, QWidget* owner) {
        OnGui([&] {
            // A grab inside a job is shown over the processing window, which stays enabled:
            // its Cancel ends the job, the grab with it. "&Grab Now!" runs on the grabber's
            // own thread, which must not take the user's clicks meanwhile.
            owner_ = owner ? owner : QApplication::activeModalWidget();
            if (!owner_) owner_ = QApplication::activeWindow();
            dialog_ = new ProgressDialog(logic, owner_);
            dialog_->setModal(false);
            if (owner && owner_->isEnabled()) {
                owner_->setEnabled(false);
                disabledOwner_ = true;
            }
            dialog_->setEnabled(true);
            dialog_->show();
            encoder::ui::ReportShown(dialog_, IDD_GRAB_PROGRESS);
        });
    }
    ~QtProgressWindow() override {
        OnGui([&] {
            if (dialog_) {
                if (EffectsOn()) controls::PlayWindowEffect(dialog_, false);
                dialog_->hide();
                QThread::msleep(100);
            }
            if (disabledOwner_ && owner_) owner_->setEnabled(true);
            delete dialog_;
        });
    }
    WindowPort& Port() override { return dialog_->port; }
    void Activate() override {
        QPointer<ProgressDialog> d = dialog_;
        QMetaObject::invokeMethod(qApp, [d] {
            if (!d) return;
            d->raise();
            d->activateWindow();
        });
    }

private:
    QPointer<QWidget> owner_;
    QPointer<ProgressDialog> dialog_;
    bool disabledOwner_ = false;
};

// The in-place editor of a row name: at most kRowNameLimit characters, so that what is typed
// is what the row keeps. A longer name (from the CD database) opens whole and can only shrink.
class RowNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(static_cast<int>(kRowNameLimit));
            connect(line, &QLineEdit::textEdited, line, [line](const QString& text) {
                line->setMaxLength(std::max<int>(static_cast<int>(kRowNameLimit), text.size()));
            });
        }
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(std::max<int>(static_cast<int>(kRowNameLimit),
                                             index.data(Qt::EditRole).toString().size()));
        QStyledItemDelegate::setEditorData(editor, index);
    }
};

// --- CDA settings 159 ------------------------------------------------------------------------

class SettingsWindow : public QDialog {
public:
    SettingsWindow(CdaSettingsDialog& logic, QWidget* owner)
        : QDialog(owner), logic_(logic), port_(this) {
        setWindowTitle("Orvane Encoder - CDA Grabber - Settings");
        setFixedSize(360, 400);
        encoder::ui::ApplyHooks(port_);
        auto* text = Label(this,
                           "Please look in help for more information on how to set this value, "
                           "THIS VALUE AFFECTS THE QUALITY OF THE SOUND !, IT ALSO CAN MAKE THE "
                           "CDA READER WORK OR NOT !",
                           12, 10, 336, 70);
        text->setWordWrap(true);
        Label(this, "CDA Read Buffer Size:", 12, 96, 140, 20);
        auto* edit = Edit(port_, IDC_CDA_BUFFER, this, 156, 94, 70, 3);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), edit));
        auto* spin = Place<UpDownControl>(this, 228, 94, 18, 22);
        spin->SetBuddy(edit);
        spin->SetRange(1, kReadBufferFrames);
        port_.Bind(IDC_CDA_BUFFERSPIN, spin);
        Label(this, "Frames.", 256, 96, 60, 20);
        Label(this, "Read Speed:", 12, 126, 140, 20);
        auto* speed = Edit(port_, IDC_CDA_SPEED, this, 156, 124, 40, 2);
        speed->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), speed));
        // 0 sends the drive no speed: it reads at the one it has.
        Label(this, "x (0 = as the drive is)", 202, 126, 150, 20);
        // Verified ripping.
        Label(this, "Read offset (samples):", 12, 158, 140, 20);
        auto* offset = Edit(port_, IDC_CDA_OFFSET, this, 156, 156, 70, 5);
        offset->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[+-]?[0-9]{0,4}"), offset));
        port_.Bind(IDC_CDA_OFFSETDRIVE, Label(this, "", 156, 180, 192, 20));
        Label(this, "Read mode:", 12, 208, 140, 20);
        port_.Bind(IDC_CDA_READMODE, Place<QComboBox>(this, 156, 206, 150, 24));
        auto* deemphasis = Place<QCheckBox>(this, 12, 238, 160, 22);
        deemphasis->setText("&De-emphasis");
        deemphasis->setToolTip("Undo the pre-emphasis of tracks recorded with it");
        port_.Bind(IDC_CDA_DEEMPHASIS, deemphasis);
        auto* image = Place<QCheckBox>(this, 180, 238, 168, 22);
        image->setText("&Image and cue sheet");
        image->setToolTip("Write the disc as one file with its cue sheet, not a file a track");
        port_.Bind(IDC_CDA_IMAGE, image);
        auto* check = Place<QCheckBox>(this, 12, 264, 240, 22);
        check->setText("Check the rip with AccurateRip");
        port_.Bind(IDC_CDA_ACCURATERIP, check);
        connect(check, &QCheckBox::clicked, this, [this] { logic_.OnAccurateRip(); });
        auto* ctdb = Place<QCheckBox>(this, 258, 264, 90, 22);
        ctdb->setText("CTDB");
        ctdb->setToolTip("Check the rip with the CUETools database too");
        port_.Bind(IDC_CDA_CTDB, ctdb);
        connect(ctdb, &QCheckBox::clicked, this, [this] { logic_.OnCtdb(); });
        auto* eject = Place<QCheckBox>(this, 12, 290, 336, 22);
        eject->setText("Eject the disc when the rip is complete");
        port_.Bind(IDC_CDA_EJECT, eject);
        Label(this, "Pregaps:", 12, 320, 140, 20);
        port_.Bind(IDC_CDA_PREGAPS, Place<QComboBox>(this, 156, 318, 192, 24));
        Button(port_, IDOK, this, "&OK / Save", 150, 356, 96);
        OnClick(port_, IDOK, this, [this] { logic_.OnOK(); });
        auto* cancel = Button(port_, IDCANCEL, this, "&Cancel", 252, 356, 96);
        connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
        port_.OnEndDialog([this](int r) { done(r); });
    }
    int Run() {
        logic_.Attach(&port_);
        logic_.OnInitDialog();
        if (auto* spin = dynamic_cast<UpDownControl*>(port_.Control(IDC_CDA_BUFFERSPIN)))
            spin->SetValue(encoder::TheApp().cdaReadBufferSize);
        QTimer::singleShot(0, this, [this] { encoder::ui::ReportShown(this, IDD_CDA_SETTINGS); });
        int r = exec();
        logic_.Attach(nullptr);
        return r == IDOK ? IDOK : IDCANCEL;
    }

private:
    CdaSettingsDialog& logic_;
    QtWindowPort port_;
};

// --- Grabber 143 -----------------------------------------------------------------------------

class GrabberWindow : public QDialog {
public:
    GrabberWindow(CdGrabberDialog& logic, QWidget* owner)
        : QDialog(owner), logic_(logic), port_(this) {
        setWindowTitle("Orvane Encoder 2001 - CD-Audio Grabber");
        setFixedSize(640, 470);
        setFont(encoder::ui::PageFont());
        // The background bitmap repeats over the window; texts on it are white.
        QPalette look = palette();
        look.setBrush(QPalette::Window,
                      QBrush(QPixmap(QString(":/bitmaps/%1.png").arg(IDB_GRABBER_BACKGROUND))));
        look.setColor(QPalette::WindowText, Qt::white);
        setPalette(look);
        setAutoFillBackground(true);
        encoder::ui::ApplyHooks(port_);
        Build();
        port_.OnEndDialog([this](int result) { run_.End(result, [this](int r) { Finish(r); }); });
        port_.OnCommand([this](int id) {
            if (id == IDCANCEL) logic_.OnCancel();
        });
        port_.RegisterDialog(IDD_CDA_SETTINGS, [](QWidget* o) { return RunCdaSettings(o); });
        encoder::ui::InstallWindowMenu(this, [this](int id) {
            if (id == IDM_ABOUTBOX) encoder::ui::RunAboutBox(this);
        });
    }

    int Run() {
        logic_.Attach(&port_);
        logic_.openProgress = ProgressWindowOpener(this);
        logic_.runGrab = [](const std::function<void()>& grab) {
            // As the CD job: the grab on a thread of its own, its windows and message boxes
            // on this one, whose events go on until the grab has ended.
            QEventLoop loop;
            std::thread reading([&grab, &loop] {
                grab();
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            });
            loop.exec();
            reading.join();
        };
        logic_.modulePath = shell::ModuleFileName();
        logic_.OnInitDialog();
        const int result = run_.Exec(*this, [this] {
            QTimer::singleShot(0, this, [this] {
                if (EffectsOn()) controls::PlayWindowEffect(this, true);
                encoder::ui::ReportShown(this, IDD_CDA_GRABBER);
            });
        });
        logic_.Attach(nullptr);
        return result;
    }

protected:
    void reject() override { logic_.OnCancel(); }
    // Enter presses the default button "O&K" (a drawn button is no dialog default by itself).
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !(event->modifiers() & ~Qt::KeypadModifier)) {
            auto* ok = qobject_cast<QAbstractButton*>(port_.Control(IDOK));
            if (ok && ok->isEnabled()) {
                ok->click();
                return;
            }
        }
        QDialog::keyPressEvent(event);
    }

private:
    void Finish(int result) {
        if (EffectsOn() && isVisible()) {
            controls::PlayWindowEffect(this, false);
            hide();
            QThread::msleep(200);
        }
        done(result);
    }

    void Build() {
        QtWindowPort& p = port_;
        QLabel* drivesLabel = Label(this, "&Select CD-ROM Drive:", 12, 10, 140, 20);
        auto* drives = Place<QComboBox>(this, 150, 8, 230, 24);
        drivesLabel->setBuddy(drives);
        p.Bind(IDC_CD_DRIVES, drives);
        connect(drives, &QComboBox::activated, this, [this](int) { logic_.OnRefresh(); });
        PlaceDrawnButton(p, IDC_CD_REFRESH, this, "&Refresh", 386, 7, 74, 26);
        PlaceDrawnButton(p, IDC_CD_PLAYER, this, "CD &Player", 464, 7, 74, 26);
        Label(this, "Total Disc Size:", 546, 2, 90, 20);
        p.Bind(IDC_CD_DISCSIZE, Label(this, "0 MBytes", 546, 18, 90, 20));

        tree_ = Place<QTreeWidget>(this, 12, 40, 616, 200);
        tree_->setRootIsDecorated(false);
        tree_->setAllColumnsShowFocus(true);
        tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
        tree_->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
        tree_->setMouseTracking(true);
        // The name editor takes no more than a row name keeps.
        tree_->setItemDelegateForColumn(0, new RowNameDelegate(tree_));
        p.Bind(IDC_CD_TRACKS, tree_);
        port_.tree = tree_;
        connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
            if (port_.updating || column != 0) return;
            int row = tree_->indexOfTopLevelItem(item);
            if (row < 0 || row >= static_cast<int>(logic_.Rows().size())) return;
            const TrackRow& model = logic_.Rows()[static_cast<std::size_t>(row)];
            bool checked = item->checkState(0) == Qt::Checked;
            if (checked != model.checked) logic_.OnRowChecked(row, checked);
            std::string text = S(item->text(0));
            if (text != model.texts[0] && !logic_.OnLabelEdited(row, text)) {
                port_.updating = true;
                item->setText(0, Q(model.texts[0]));
                port_.updating = false;
            }
        });
        connect(tree_, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                    if (port_.updating || !item) return;
                    logic_.OnRowActivated(tree_->indexOfTopLevelItem(item));
                });

        auto* group = Place<QGroupBox>(this, 12, 246, 200, 92);
        group->setTitle("Selected Track(s):");
        p.Bind(IDC_CD_SELCOUNT, Label(group, "0 Track(s) ", 10, 20, 180, 20));
        p.Bind(IDC_CD_SELSIZE, Label(group, "00 MBytes.", 10, 42, 180, 20));
        p.Bind(IDC_CD_SELTIME, Label(group, "00:00:00 ", 10, 64, 180, 20));

        Label(this, "Artist &Name:", 222, 250, 84, 20)
            ->setBuddy(Edit(p, IDC_CD_ARTIST, this, 306, 248, 150, 30));
        Label(this, "Year:", 466, 250, 40, 20);
        auto* year = Edit(p, IDC_CD_YEAR, this, 506, 248, 50, 4);
        year->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), year));
        Label(this, "Album Nam&e:", 222, 278, 84, 20)
            ->setBuddy(Edit(p, IDC_CD_ALBUM, this, 306, 276, 150, 30));
        Label(this, "Music Genre:", 466, 278, 80, 20);
        auto* genre = Place<QComboBox>(this, 466, 296, 162, 24);
        genre->setInsertPolicy(QComboBox::InsertAlphabetically);
        genre->setMaxVisibleItems(16);
        p.Bind(IDC_CD_GENRE, genre);
        connect(genre, &QComboBox::activated, this, [this](int) { logic_.OnTagFieldChanged(); });
        Label(this, "Comment:", 222, 306, 84, 20);
        Edit(p, IDC_CD_COMMENT, this, 306, 304, 150, 30);
        for (int id : {IDC_CD_ARTIST, IDC_CD_YEAR, IDC_CD_ALBUM, IDC_CD_COMMENT}) {
            if (auto* e = qobject_cast<QLineEdit*>(p.Control(id)))
                connect(e, &QLineEdit::textEdited, this,
                        [this, id] { logic_.OnTagFieldEdited(id); });
        }

        auto* intro = Place<QCheckBox>(this, 12, 346, 140, 22);
        intro->setText("Grab Intro Only.");
        p.Bind(IDC_CD_INTROONLY, intro);
        connect(intro, &QCheckBox::clicked, this, [this] { logic_.OnIntroOnly(); });
        Label(this, "Intro Seconds:", 156, 348, 90, 20);
        auto* seconds = Edit(p, IDC_CD_INTROSECS, this, 246, 346, 40, 3);
        seconds->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), seconds));
        auto* spin = Place<UpDownControl>(this, 288, 346, 18, 22);
        spin->SetBuddy(seconds);
        spin->SetRange(1, 120);
        p.Bind(IDC_CD_INTROSPIN, spin);
        // Disc n of an album of several, by hand; empty: as the names tell.
        auto* discLabel = Label(this, "D&isc:", 466, 348, 40, 20);
        auto* disc = Edit(p, IDC_CD_DISC, this, 506, 346, 50, 5);
        disc->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}(/[0-9]{0,2})?"), disc));
        disc->setToolTip(
            "The disc's number, or its number and the album's count (2 or 2/3); "
            "empty: as the names tell");
        discLabel->setBuddy(disc);

        PlaceDrawnButton(p, IDC_CD_GETINFO, this, "&Get CD Info", 12, 380, 120, 26);
        PlaceDrawnButton(p, IDC_CD_INFOTOALL, this, "Set Current Info to all &Tracks.", 138, 380,
                         210, 26);
        PlaceDrawnButton(p, IDC_CD_SETTINGS, this, "CDA &Settings", 354, 380, 120, 26);
        PlaceDrawnButton(p, IDC_CD_SELECTALL, this, "Select &All Tracks", 480, 380, 148, 26);
        PlaceDrawnButton(p, IDC_CD_GRABNOW, this, "&Grab Now!", 12, 430, 120, 26);
        // The front cover: its thumbnail and size, and the choice of another or none.
        PlaceDrawnButton(p, IDC_CD_COVER, this, "Co&ver...", 142, 430, 90, 26);
        auto* thumbnail = Place<QLabel>(this, 242, 412, 52, 52);
        thumbnail->setAlignment(Qt::AlignCenter);
        thumbnail->setFrameShape(QFrame::StyledPanel);
        p.Bind(IDC_CD_COVERIMAGE, thumbnail);
        p.Bind(IDC_CD_COVERSIZE, Label(this, "No cover", 302, 434, 120, 20));
        PlaceDrawnButton(p, IDOK, this, "O&K", 434, 430, 90, 26, 1);
        PlaceDrawnButton(p, IDCANCEL, this, "&Cancel", 538, 430, 90, 26);

        OnClick(p, IDC_CD_REFRESH, this, [this] { logic_.OnRefresh(); });
        OnClick(p, IDC_CD_PLAYER, this, [this] { logic_.OnCdPlayer(); });
        OnClick(p, IDC_CD_GETINFO, this, [this] { logic_.OnGetCdInfo(); });
        OnClick(p, IDC_CD_INFOTOALL, this, [this] { logic_.OnSetInfoToAll(); });
        OnClick(p, IDC_CD_SETTINGS, this, [this] { logic_.OnCdaSettings(); });
        OnClick(p, IDC_CD_SELECTALL, this, [this] { logic_.OnSelectAll(); });
        OnClick(p, IDC_CD_GRABNOW, this, [this] { logic_.OnGrabNow(); });
        OnClick(p, IDC_CD_COVER, this, [this] { logic_.OnCover(); });
        OnClick(p, IDOK, this, [this] { logic_.OnOK(); });
        OnClick(p, IDCANCEL, this, [this] { logic_.OnCancel(); });
    }

    CdGrabberDialog& logic_;
    GrabberPort port_;
    QTreeWidget* tree_ = nullptr;
    encoder::ui::ModalRun run_;
};

}  // namespace

CdInfoLookup& GetCdInfoHook() {
    static CdInfoLookup hook;
    return hook;
}

DiscExtrasReader& GetDiscExtrasHook() {
    static DiscExtrasReader hook;
    return hook;
}

int RunCdGrabber(QWidget* owner) {
    CdGrabberDialog logic(encoder::TheApp(), TheCdSession());
    logic.readDiscExtras = GetDiscExtrasHook();
    GrabberWindow window(logic, owner);
    // The archive is asked off the window's thread; the window keeps drawing meanwhile, and
    // closing it ends the wait.
    logic.fetchCover = [&window](const std::string& releaseId,
                                 const std::function<bool()>& cancelled) {
        coverart::CoverRequest request;
        request.releaseId = releaseId;
        if (encoder::SettingsStore* settings = encoder::TheApp().settings)
            request.server =
                settings->GetProfileString("Rip", "CoverArtServer", coverart::kArchiveServer);
        std::atomic<bool> gone{false};
        request.cancelled = [&gone, &cancelled] { return gone.load() || cancelled(); };
        QEventLoop loop;
        const QMetaObject::Connection closed =
            QObject::connect(&window, &QDialog::finished, &loop, [&gone] { gone = true; });
        coverart::FoundCover found;
        std::thread fetch([&] {
            found = coverart::FindCover(request);
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        loop.exec();
        fetch.join();
        QObject::disconnect(closed);
        return found;
    };
    if (const CdInfoLookup& lookUp = GetCdInfoHook()) {
        logic.getCdInfo = [&window, lookUp](const cdrom::DiscInfo& disc, CdInfo& info) {
            return lookUp(&window, disc, info);
        };
    }
    return window.Run();
}

int RunCdaSettings(QWidget* owner) {
    CdaSettingsDialog logic(encoder::TheApp());
    const CdSession& session = TheCdSession();
    if (session.driveCount > 0) logic.drive = &session.Drive();
    SettingsWindow window(logic, owner);
    return window.Run();
}

OpenProgressFn ProgressWindowOpener(QWidget* owner) {
    QPointer<QWidget> guarded = owner;
    return [guarded](GrabProgress& logic) -> std::unique_ptr<ProgressWindow> {
        return std::make_unique<QtProgressWindow>(logic, guarded.data());
    };
}

void RegisterCddaViews() {
    encoder::ui::RegisterWizardDialog(IDD_CDA_GRABBER,
                                      [](QWidget* owner) { return RunCdGrabber(owner); });
    encoder::TheApp().cdAudioAvailable = true;
    InstallCdJobs(nullptr);
}

void InstallCdJobs(RipReportSink report) {
    // The MP3 job grabs on its worker thread; its progress windows live on the GUI thread.
    InstallCdTrackSource(ProgressWindowOpener(nullptr), std::move(report));
    // An image of the disc is a FLAC file at the FLAC options' level.
    InstallCdRipJobs([](const encoder::JobRequest& request) -> FlacImageWriter {
        return
            [level = request.formats.flacLevel](const std::string& wave, const std::string& out,
                                                const formats::FlacCueSheet& cue,
                                                const tags::TrackTags& album, std::string& error) {
                return formats::WriteFlacImage(wave, out, cue, formats::CommentsOfTag(album), level,
                                               error);
            };
    });
}

bool WriteCddaScreenshots(const std::string& folder) {
    std::set<std::string> saved;
    QTemporaryDir scratch;
    auto save = [&](QWidget* w, const char* name) {
        QString file = QDir(QString::fromStdString(folder)).filePath(name);
        if (w->grab().save(file, "PNG")) {
            saved.insert(name);
            std::fprintf(stderr, "wrote %s\n", file.toLocal8Bit().constData());
        }
    };
    encoder::ui::ViewHooks old = encoder::ui::Hooks();
    encoder::ui::Hooks() = {};
    encoder::ui::Hooks().messageBox = [](const std::string& text, const std::string&, unsigned f) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return (f & 0xF) == MB_YESNO ? IDYES : IDOK;
    };
    // A folder deep enough that the progress window has to shorten the path of its file.
    const QString deep =
        QDir(scratch.path())
            .filePath("Music Library/Recordings of the review pictures/Orvane Demo Ensemble");
    QDir().mkpath(deep);
    // A front cover the user picks with "Co&ver...".
    const QString cover = QDir(scratch.path()).filePath("front.jpg");
    {
        QImage art(240, 240, QImage::Format_RGB32);
        QPainter paint(&art);
        QLinearGradient fill(0, 0, 240, 240);
        fill.setColorAt(0, QColor(30, 60, 140));
        fill.setColorAt(1, QColor(230, 150, 40));
        paint.fillRect(art.rect(), fill);
        paint.setPen(Qt::white);
        paint.drawEllipse(60, 60, 120, 120);
        paint.end();
        art.save(cover, "JPEG");
    }
    encoder::ui::Hooks().picker = [&](int, const std::string& title, const std::string&) {
        return title == "Cover" ? cover.toStdString() : deep.toStdString();
    };
    QPointer<QWidget> grabber;
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        QPointer<QWidget> guarded = w;
        if (id == IDD_CDA_GRABBER) {
            grabber = w;
            QTimer::singleShot(50, w, [&, guarded] {
                if (!guarded) return;
                auto* tree = guarded->findChild<QTreeWidget*>(QString("id%1").arg(IDC_CD_TRACKS));
                for (int i = 0; tree && i < tree->topLevelItemCount() && i < 3; i += 2)
                    tree->topLevelItem(i)->setCheckState(0, Qt::Checked);
                save(guarded, "grabber-dialog.png");
                if (auto* b =
                        guarded->findChild<QAbstractButton*>(QString("id%1").arg(IDC_CD_COVER)))
                    b->click();
                save(guarded, "grabber-cover.png");
                if (auto* b =
                        guarded->findChild<QAbstractButton*>(QString("id%1").arg(IDC_CD_SETTINGS)))
                    b->click();
            });
        } else if (id == IDD_CDA_SETTINGS) {
            QTimer::singleShot(50, w, [&, guarded] {
                if (!guarded) return;
                save(guarded, "cda-settings.png");
                if (auto* b = guarded->findChild<QAbstractButton*>(QString("id%1").arg(IDCANCEL)))
                    b->click();
                // Then a grab of the checked tracks, with its progress window.
                QTimer::singleShot(50, [&] {
                    if (!grabber) return;
                    if (auto* b = grabber->findChild<QAbstractButton*>(
                            QString("id%1").arg(IDC_CD_GRABNOW)))
                        b->click();
                    QTimer::singleShot(50, [&] {
                        if (!grabber) return;
                        if (auto* b =
                                grabber->findChild<QAbstractButton*>(QString("id%1").arg(IDCANCEL)))
                            b->click();
                    });
                });
            });
        } else if (id == IDD_GRAB_PROGRESS) {
            if (auto* bar = w->findChild<controls::GradientProgressBar*>(
                    QString("id%1").arg(IDC_GRAB_TOTALBAR))) {
                bar->SetRange(0, 100);
                bar->SetPos(40);
            }
            // Once the window shows the file being written.
            auto* file = w->findChild<QLabel*>(QString("id%1").arg(IDC_GRAB_FILE));
            if (file && file->text().isEmpty()) {
                auto* poll = new QTimer(w);
                QObject::connect(poll, &QTimer::timeout, w, [&, guarded, file, poll] {
                    if (!guarded || file->text().isEmpty()) return;
                    poll->stop();
                    save(guarded, "grab-progress.png");
                });
                poll->start(5);
            } else {
                save(w, "grab-progress.png");
            }
        }
    };
    int effects = encoder::TheApp().windowEffects;
    encoder::TheApp().windowEffects = 0;
    RunCdGrabber(nullptr);
    encoder::TheApp().windowEffects = effects;
    encoder::ui::Hooks() = old;
    bool ok = saved.size() == 4;
    if (!ok)
        std::fprintf(stderr, "only %zu of 4 CD grabbing pictures were written\n", saved.size());
    return ok;
}

}  // namespace orvane::cdda::ui
