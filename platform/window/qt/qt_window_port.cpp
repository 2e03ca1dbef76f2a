#include "platform/window/qt/qt_window_port.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace orvane {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Message box flags: low 4 bits the buttons, next 4 bits the icon.
constexpr unsigned kMbTypeMask = 0xF;
constexpr unsigned kMbIconMask = 0xF0;
constexpr unsigned kMbYesNoCancel = 0x3;
constexpr unsigned kMbRetryCancel = 0x5;
constexpr unsigned kMbAbortRetryIgnore = 0x2;
constexpr unsigned kMbDefaultButtonMask = 0xF00;

}  // namespace

QString QtFilter(const std::string& filter) {
    // Pairs of "name|pattern" separated by '|', ended by "||".
    QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i];
        if (name.isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        patterns.replace("*.*", "*");
        // The name keeps its text; Qt takes the patterns from the last parentheses,
        // so they are given again in Qt's form.
        QString label = name;
        const int open = label.lastIndexOf('(');
        if (open >= 0) label = label.left(open).trimmed();
        out << QString("%1 (%2)").arg(label, patterns);
    }
    return out.join(";;");
}

QtWindowPort::QtWindowPort(QWidget* window) : window_(window) {
    defaultCaption_ = S(QApplication::applicationDisplayName());
}

QtWindowPort::~QtWindowPort() {
    while (waitCursorDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --waitCursorDepth_;
    }
}

bool QtWindowPort::OnGuiThread() const { return QThread::currentThread() == thread(); }

void QtWindowPort::Post(std::function<void()> fn) {
    if (OnGuiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(const_cast<QtWindowPort*>(this), std::move(fn), Qt::QueuedConnection);
}

void QtWindowPort::Call(const std::function<void()>& fn) const {
    if (OnGuiThread()) {
        fn();
        return;
    }
    // Queued connections keep their order, so this call sees every change posted before it.
    QMetaObject::invokeMethod(
        const_cast<QtWindowPort*>(this), [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtWindowPort::Bind(int controlId, QWidget* widget) {
    controls_[controlId] = widget;
    // Named after its id, so automation and tests can find the control in the window.
    if (widget && widget->objectName().isEmpty()) {
        widget->setObjectName(QString("id%1").arg(controlId));
    }
}

QWidget* QtWindowPort::Control(int controlId) const {
    if (controlId == 0) return window_;
    auto it = controls_.find(controlId);
    return it == controls_.end() ? nullptr : it->second.data();
}

void QtWindowPort::RegisterDialog(int dialogId, std::function<int(QWidget*)> run) {
    dialogs_[dialogId] = std::move(run);
}

void QtWindowPort::DoSetText(int controlId, const std::string& text) {
    QWidget* w = Control(controlId);
    if (!w) return;
    if (controlId == 0) {
        w->setWindowTitle(Q(text));
        return;
    }
    if (auto* pc = dynamic_cast<PortControl*>(w)) {
        pc->SetPortText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(Q(text));
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != Q(text)) edit->setText(Q(text));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        // A read-only log that only grows gets its new tail appended instead of being laid
        // out again; the text last shown is kept to compare without reading the widget back.
        std::string& shown = shownLogs_[controlId];
        if (plain->isReadOnly() && !shown.empty() && text.size() >= shown.size() &&
            text.compare(0, shown.size(), shown) == 0 && plain->document()->characterCount() > 1) {
            QTextCursor cursor(plain->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(Q(text.substr(shown.size())));
        } else {
            plain->setPlainText(Q(text));
        }
        shown = text;
        plain->verticalScrollBar()->setValue(plain->verticalScrollBar()->maximum());
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        rich->setPlainText(Q(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(Q(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) {
            combo->setEditText(Q(text));
        } else {
            const int index = combo->findText(Q(text));
            if (index >= 0) combo->setCurrentIndex(index);
        }
    } else {
        w->setWindowTitle(Q(text));
    }
}

std::string QtWindowPort::DoText(int controlId) const {
    QWidget* w = Control(controlId);
    if (!w) return {};
    if (controlId == 0) return S(w->windowTitle());
    if (auto* pc = dynamic_cast<PortControl*>(w)) return pc->PortText();
    if (auto* label = qobject_cast<QLabel*>(w)) return S(label->text());
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return S(edit->text());
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return S(plain->toPlainText());
    if (auto* rich = qobject_cast<QTextEdit*>(w)) return S(rich->toPlainText());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return S(button->text());
    if (auto* combo = qobject_cast<QComboBox*>(w)) return S(combo->currentText());
    return S(w->windowTitle());
}

void QtWindowPort::SetText(int controlId, const std::string& text) {
    if (OnGuiThread()) {
        FlushTexts();
        DoSetText(controlId, text);
        return;
    }
    // Texts from other threads are gathered: only the latest text of each control is shown,
    // so a worker that sets texts faster than the window draws them never floods it.
    bool post = false;
    {
        std::lock_guard lock(pendingMutex_);
        post = pendingTexts_.empty();
        pendingTexts_[controlId] = text;
    }
    if (post) Post([this] { FlushTexts(); });
}

void QtWindowPort::FlushTexts() {
    std::map<int, std::string> texts;
    {
        std::lock_guard lock(pendingMutex_);
        texts.swap(pendingTexts_);
    }
    for (const auto& [id, text] : texts)
        DoSetText(id, text);
}

std::string QtWindowPort::Text(int controlId) const {
    std::string out;
    Call([&] {
        const_cast<QtWindowPort*>(this)->FlushTexts();
        out = DoText(controlId);
    });
    return out;
}

void QtWindowPort::SetRange(int controlId, int low, int high) {
    Post([this, controlId, low, high] {
        QWidget* w = Control(controlId);
        if (auto* pc = dynamic_cast<PortControl*>(w)) {
            pc->SetPortRange(low, high);
        } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            bar->setRange(low, high);
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
            slider->setRange(low, high);
        } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
            spin->setRange(low, high);
        }
    });
}

void QtWindowPort::SetPos(int controlId, int pos) {
    Post([this, controlId, pos] {
        QWidget* w = Control(controlId);
        if (auto* pc = dynamic_cast<PortControl*>(w)) {
            pc->SetPortPos(pos);
        } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            bar->setValue(pos);
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
            slider->setValue(pos);
        } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
            spin->setValue(pos);
        }
    });
}

int QtWindowPort::Pos(int controlId) const {
    int out = 0;
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* pc = dynamic_cast<PortControl*>(w)) {
            out = pc->PortPos();
        } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            out = bar->value();
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
            out = slider->value();
        } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
            out = spin->value();
        }
    });
    return out;
}

void QtWindowPort::Enable(int controlId, bool enabled) {
    Post([this, controlId, enabled] {
        if (QWidget* w = Control(controlId)) w->setEnabled(enabled);
    });
}

bool QtWindowPort::IsEnabled(int controlId) const {
    bool out = false;
    Call([&] {
        if (QWidget* w = Control(controlId)) out = w->isEnabled();
    });
    return out;
}

void QtWindowPort::Show(int controlId, bool visible) {
    Post([this, controlId, visible] {
        if (QWidget* w = Control(controlId)) w->setVisible(visible);
    });
}

void QtWindowPort::SetCheck(int controlId, int state) {
    Post([this, controlId, state] {
        if (auto* b = qobject_cast<QAbstractButton*>(Control(controlId))) {
            // Radio buttons of an exclusive group cannot be unchecked one by one.
            const bool exclusive = b->autoExclusive();
            if (!state && exclusive) b->setAutoExclusive(false);
            b->setChecked(state != 0);
            if (!state && exclusive) b->setAutoExclusive(true);
        }
    });
}

int QtWindowPort::Check(int controlId) const {
    int out = 0;
    Call([&] {
        if (auto* b = qobject_cast<QAbstractButton*>(Control(controlId))) out = b->isChecked();
    });
    return out;
}

void QtWindowPort::ResetContent(int controlId) {
    Post([this, controlId] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) combo->clear();
        if (auto* list = qobject_cast<QListWidget*>(w)) list->clear();
        if (auto* view = qobject_cast<QTreeWidget*>(w)) view->clear();
    });
}

int QtWindowPort::AddString(int controlId, const std::string& text) {
    int out = -1;
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            // A sorted list (insert policy alphabetical) places the item where it belongs and
            // answers its index, as a sorted list box does.
            if (combo->insertPolicy() == QComboBox::InsertAlphabetically) {
                int at = 0;
                while (at < combo->count() &&
                       QString::compare(combo->itemText(at), Q(text), Qt::CaseInsensitive) <= 0) {
                    ++at;
                }
                combo->insertItem(at, Q(text));
                out = at;
            } else {
                combo->addItem(Q(text));
                out = combo->count() - 1;
            }
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            list->addItem(Q(text));
            out = list->count() - 1;
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            auto* item = new QTreeWidgetItem(view);
            item->setText(0, Q(text));
            out = view->topLevelItemCount() - 1;
        }
    });
    return out;
}

void QtWindowPort::SetItemData(int controlId, int index, long data) {
    Post([this, controlId, index, data] {
        QWidget* w = Control(controlId);
        const QVariant v = QVariant::fromValue<qlonglong>(data);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (index >= 0 && index < combo->count()) combo->setItemData(index, v);
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            if (QListWidgetItem* item = list->item(index)) item->setData(Qt::UserRole, v);
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            if (QTreeWidgetItem* item = view->topLevelItem(index))
                item->setData(0, Qt::UserRole, v);
        }
    });
}

long QtWindowPort::ItemData(int controlId, int index) const {
    long out = -1;  // LB_ERR
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (index >= 0 && index < combo->count()) {
                out = static_cast<long>(combo->itemData(index).toLongLong());
            }
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            if (QListWidgetItem* item = list->item(index)) {
                out = static_cast<long>(item->data(Qt::UserRole).toLongLong());
            }
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            if (QTreeWidgetItem* item = view->topLevelItem(index)) {
                out = static_cast<long>(item->data(0, Qt::UserRole).toLongLong());
            }
        }
    });
    return out;
}

int QtWindowPort::Count(int controlId) const {
    int out = 0;
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) out = combo->count();
        if (auto* list = qobject_cast<QListWidget*>(w)) out = list->count();
        if (auto* view = qobject_cast<QTreeWidget*>(w)) out = view->topLevelItemCount();
    });
    return out;
}

std::string QtWindowPort::ItemText(int controlId, int index) const {
    std::string out;
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (index >= 0 && index < combo->count()) out = S(combo->itemText(index));
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            if (QListWidgetItem* item = list->item(index)) out = S(item->text());
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            if (QTreeWidgetItem* item = view->topLevelItem(index)) out = S(item->text(0));
        }
    });
    return out;
}

void QtWindowPort::SetCurSel(int controlId, int index) {
    Post([this, controlId, index] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            view->clearSelection();
            if (QTreeWidgetItem* item = view->topLevelItem(index)) {
                view->setCurrentItem(item);
                item->setSelected(true);
            }
        }
    });
}

int QtWindowPort::CurSel(int controlId) const {
    int out = -1;
    Call([&] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) out = combo->currentIndex();
        if (auto* list = qobject_cast<QListWidget*>(w)) out = list->currentRow();
        if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            const QList<QTreeWidgetItem*> chosen = view->selectedItems();
            out = chosen.isEmpty() ? -1 : view->indexOfTopLevelItem(chosen.front());
        }
    });
    return out;
}

void QtWindowPort::DeleteString(int controlId, int index) {
    Post([this, controlId, index] {
        QWidget* w = Control(controlId);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (index >= 0 && index < combo->count()) combo->removeItem(index);
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            delete list->takeItem(index);
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            delete view->takeTopLevelItem(index);
        }
    });
}

namespace {

// Column 0 of a list view is left-aligned, the others centred.
Qt::Alignment ColumnAlignment(int column) {
    return (column == 0 ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
}

}  // namespace

void QtWindowPort::SetColumns(int controlId, const std::vector<std::string>& headers) {
    Post([this, controlId, headers] {
        auto* view = qobject_cast<QTreeWidget*>(Control(controlId));
        if (!view) return;
        view->setColumnCount(static_cast<int>(headers.size()));
        for (int c = 0; c < static_cast<int>(headers.size()); ++c) {
            const QString header = Q(headers[static_cast<std::size_t>(c)]);
            view->headerItem()->setText(c, header);
            view->headerItem()->setTextAlignment(c, ColumnAlignment(c));
            // Each column as wide as its header.
            view->header()->resizeSection(
                c, view->header()->fontMetrics().horizontalAdvance(header) + 16);
        }
    });
}

void QtWindowPort::SetListRow(int controlId, int row, const std::vector<std::string>& texts) {
    Post([this, controlId, row, texts] {
        auto* view = qobject_cast<QTreeWidget*>(Control(controlId));
        if (!view || row < 0 || row > view->topLevelItemCount()) return;
        QTreeWidgetItem* item = view->topLevelItem(row);
        if (!item) item = new QTreeWidgetItem(view);
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            item->setText(c, Q(texts[static_cast<std::size_t>(c)]));
            item->setTextAlignment(c, ColumnAlignment(c));
        }
    });
}

void QtWindowPort::SetListCell(int controlId, int row, int column, const std::string& text) {
    Post([this, controlId, row, column, text] {
        auto* view = qobject_cast<QTreeWidget*>(Control(controlId));
        if (!view || column < 0) return;
        if (QTreeWidgetItem* item = view->topLevelItem(row)) {
            item->setText(column, Q(text));
            item->setTextAlignment(column, ColumnAlignment(column));
        }
    });
}

void QtWindowPort::SetRowCheck(int controlId, int row, bool checked) {
    Post([this, controlId, row, checked] {
        auto* view = qobject_cast<QTreeWidget*>(Control(controlId));
        if (!view) return;
        if (QTreeWidgetItem* item = view->topLevelItem(row)) {
            item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
        }
    });
}

std::string QtWindowPort::ListCell(int controlId, int row, int column) const {
    std::string out;
    Call([&] {
        auto* view = qobject_cast<QTreeWidget*>(Control(controlId));
        if (!view || column < 0) return;
        if (QTreeWidgetItem* item = view->topLevelItem(row)) out = S(item->text(column));
    });
    return out;
}

namespace {
// What a title bar takes besides its caption: the window icon and the close, maximise and
// minimise buttons, with their spacing.
constexpr int kTitleBarAllowance = 130;
}  // namespace

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned flags) {
    QMessageBox box(owner);
    box.setWindowTitle(Q(caption));
    // Texts may carry what a server sent: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Q(text));
    switch (flags & kMbIconMask) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int result;
    };
    std::vector<Choice> choices;
    switch (flags & kMbTypeMask) {
        case MB_OKCANCEL:
            choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case kMbYesNoCancel:
            choices = {{QMessageBox::Yes, IDYES},
                       {QMessageBox::No, IDNO},
                       {QMessageBox::Cancel, IDCANCEL}};
            break;
        case kMbRetryCancel:
            choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case kMbYesToAllNo:
            choices = {{QMessageBox::YesToAll, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case kMbAbortRetryIgnore:
            choices = {{QMessageBox::Abort, IDABORT},
                       {QMessageBox::Retry, IDRETRY},
                       {QMessageBox::Ignore, IDIGNORE}};
            break;
        default:
            choices = {{QMessageBox::Ok, IDOK}};
            break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    const bool second = (flags & kMbDefaultButtonMask) == MB_DEFBUTTON2 && choices.size() > 1;
    box.setDefaultButton(choices[second ? 1 : 0].button);
    // A short text makes a narrow box, and the window manager then cuts the caption in its
    // title bar ("Orvan… ncoder"): the box is made wide enough for the caption, its title-bar
    // buttons and icon.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int width =
            QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarAllowance;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    const int answer = box.exec();
    // Closing the box without a button agrees to nothing: Cancel where the box offers it, No
    // for a yes-or-no question, OK for a plain notice.
    const unsigned type = flags & kMbTypeMask;
    int out = type == MB_YESNO || type == kMbYesToAllNo ? IDNO
              : choices.size() > 1                      ? IDCANCEL
                                                        : IDOK;
    for (const Choice& c : choices) {
        if (answer == c.button) out = c.result;
    }
    return out;
}

int QtWindowPort::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    int out = IDOK;
    Call([&] {
        const std::string title = caption.empty() ? defaultCaption_ : caption;
        if (messageBoxHandler_) {
            out = messageBoxHandler_(text, title, flags);
            return;
        }
        out = RunMessageBox(window_, text, title, flags);
    });
    return out;
}

void QtWindowPort::EndDialog(int result) {
    Post([this, result] {
        if (endHandler_) {
            endHandler_(result);
        } else if (auto* dialog = qobject_cast<QDialog*>(window_.data())) {
            dialog->done(result);
        }
    });
}

void QtWindowPort::Redraw() {
    Post([this] {
        if (window_) window_->update();
    });
}

std::string QtWindowPort::ChooseOpenFile(const std::string& title, const std::string& filter,
                                         const std::string& initial) {
    std::string out;
    Call([&] {
        if (pickerHandler_) {
            out = pickerHandler_(kPickOpen, title, filter);
            return;
        }
        out = S(QFileDialog::getOpenFileName(window_, Q(title), Q(initial), QtFilter(filter)));
    });
    return out;
}

std::string QtWindowPort::ChooseSaveFile(const std::string& title, const std::string& filter,
                                         const std::string& initial) {
    std::string out;
    Call([&] {
        if (pickerHandler_) {
            out = pickerHandler_(kPickSave, title, filter);
            return;
        }
        out = S(QFileDialog::getSaveFileName(window_, Q(title), Q(initial), QtFilter(filter)));
    });
    return out;
}

std::string QtWindowPort::ChooseFolder(const std::string& title) {
    std::string out;
    Call([&] {
        if (pickerHandler_) {
            out = pickerHandler_(kPickFolder, title, {});
            return;
        }
        out = S(QFileDialog::getExistingDirectory(window_, Q(title)));
    });
    return out;
}

int QtWindowPort::DoModal(int dialogId) {
    int out = IDCANCEL;
    Call([&] {
        auto it = dialogs_.find(dialogId);
        if (it != dialogs_.end() && it->second) out = it->second(window_);
    });
    return out;
}

void QtWindowPort::PostCommand(int commandId) {
    QMetaObject::invokeMethod(
        this,
        [this, commandId] {
            if (commandHandler_) commandHandler_(commandId);
        },
        Qt::QueuedConnection);
}

void QtWindowPort::SetTimer(int timerId, unsigned periodMs) {
    Post([this, timerId, periodMs] {
        auto& timer = timers_[timerId];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            QObject::connect(timer.get(), &QTimer::timeout, this, [this, timerId] {
                if (timerHandler_) timerHandler_(timerId);
            });
        }
        timer->start(static_cast<int>(periodMs));
    });
}

void QtWindowPort::KillTimer(int timerId) {
    Post([this, timerId] {
        auto it = timers_.find(timerId);
        if (it != timers_.end()) it->second->stop();
    });
}

void QtWindowPort::SetWaitCursor(bool on) {
    Post([this, on] {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++waitCursorDepth_;
        } else if (waitCursorDepth_ > 0) {
            QApplication::restoreOverrideCursor();
            --waitCursorDepth_;
        }
    });
}

void QtWindowPort::ProcessMessages() {
    // Only the GUI thread has window messages to handle.
    if (OnGuiThread()) QCoreApplication::processEvents();
}

QtWizardPort::QtWizardPort(QWidget* window, Handlers handlers)
    : QtWindowPort(window), handlers_(std::move(handlers)) {}

void QtWizardPort::SetWizardButtons(unsigned flags) {
    Post([this, flags] { handlers_.wizardButtons(flags); });
}

void QtWizardPort::ShowSplash(unsigned ms) {
    Call([&] { handlers_.splash(ms); });
}

void QtWizardPort::ShowHelp(const std::string& path) {
    Post([this, path] { handlers_.help(path); });
}

void QtWizardPort::PlayPageEffect(bool opening) {
    if (handlers_.pageEffect) Call([&] { handlers_.pageEffect(opening); });
}

}  // namespace orvane
