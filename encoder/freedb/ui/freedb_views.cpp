#include "encoder/freedb/ui/freedb_views.h"

#include <cstdio>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/placing.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/controls/drawn_button.h"
#include "encoder/controls/ui/drawn_button.h"
#include "encoder/controls/ui/hyperlink_label.h"
#include "encoder/freedb/freedb_resource.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::freedb::ui {

namespace {

using controls::DrawnButton;
using controls::HyperlinkLabel;
using encoder::ui::Label;
using encoder::ui::Place;

DrawnButton* Button(QtWindowPort& port, int id, QWidget* parent, const QString& text, int x, int y,
                    int w, int h, unsigned style = 0) {
    auto* b = encoder::ui::PlaceDrawnButton(port, id, parent, text, x, y, w, h, style);
    b->SetFlat(false);
    return b;
}

// A report list: single selection, whole rows, banded rows, the row under the pointer
// becomes the current one, headers not clickable; columns come from the logic.
QTreeWidget* ReportList(QtWindowPort& port, int id, QWidget* parent, int x, int y, int w, int h) {
    auto* view = Place<QTreeWidget>(parent, x, y, w, h);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setColumnCount(0);
    view->setHeaderLabels({});
    view->header()->setSectionsClickable(false);
    view->header()->setStretchLastSection(false);
    view->setAlternatingRowColors(true);
    view->setMouseTracking(true);
    QObject::connect(view, &QTreeWidget::itemEntered, view,
                     [view](QTreeWidgetItem* item) { view->setCurrentItem(item); });
    port.Bind(id, view);
    return view;
}

HyperlinkLabel* Link(QtWindowPort& port, QWidget* parent, int x, int y, int w) {
    auto* link = new HyperlinkLabel(parent);
    link->setGeometry(x, y, w, 18);
    link->setText(QString::fromStdString(LinkText()));
    link->SetTarget(kServiceWebSite, true);
    port.Bind(IDC_FREEDB_LINK, link);
    return link;
}

// The line under the list that says what a running command does.
void StatusLine(QtWindowPort& port, QWidget* parent, int y, int w) {
    QLabel* line = Label(parent, "", 10, y, w, 18);
    line->setTextFormat(Qt::PlainText);
    port.Bind(IDC_FREEDB_STATUS, line);
}

void BuildServersDialog(QWidget* w, QtWindowPort& port) {
    w->setFixedSize(420, 190);
    w->setFont(encoder::ui::PageFont());
    Label(w, "FreeDB Servers:", 10, 8, 200, 18);
    ReportList(port, IDC_SERVER_LIST, w, 10, 28, 400, 96);
    StatusLine(port, w, 128, 400);
    Link(port, w, 10, 156, 220);
    Button(port, IDOK, w, "O&K", 239, 150, 80, 28, controls::kStyleDefaultBit);
    Button(port, IDCANCEL, w, "&Cancel", 330, 150, 80, 28);
}

void BuildMatchList(QWidget* w, QtWindowPort& port, const char* heading) {
    w->setFixedSize(460, 210);
    w->setFont(encoder::ui::PageFont());
    Label(w, heading, 10, 8, 300, 18);
    ReportList(port, IDC_MATCH_LIST, w, 10, 28, 440, 114);
    StatusLine(port, w, 146, 440);
    Link(port, w, 10, 176, 220);
    Button(port, IDOK, w, "O&K", 279, 170, 80, 28, controls::kStyleDefaultBit);
    Button(port, IDCANCEL, w, "&Cancel", 370, 170, 80, 28);
}

void BuildQueryDialog(QWidget* w, QtWindowPort& port) {
    BuildMatchList(w, port, "FreeDB Query Results:");
}

void BuildChoiceDialog(QWidget* w, QtWindowPort& port) {
    BuildMatchList(w, port, "Names found for this disc:");
}

void BuildOptionsDialog(QWidget* w, QtWindowPort& port) {
    w->setFixedSize(360, 292);
    w->setFont(encoder::ui::PageFont());
    auto* group = Place<QGroupBox>(w, 8, 6, 344, 180);
    group->setTitle(" Internet FreeDB Settings ");
    Label(group, "FreeDB Server:", 10, 26, 90, 18);
    auto* server = Place<QLineEdit>(group, 100, 24, 232, 22);
    server->setReadOnly(true);
    server->setMaxLength(255);
    port.Bind(IDC_OPT_SERVER, server);
    Button(port, IDC_OPT_BROWSE, group, "&Browse Servers...", 200, 50, 132, 26);
    auto* line = Place<QFrame>(group, 10, 82, 322, 2);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* useProxy = Place<QCheckBox>(group, 10, 90, 200, 20);
    useProxy->setText("&Proxy Server");
    port.Bind(IDC_OPT_USE_PROXY, useProxy);
    Label(group, "Server:", 10, 118, 50, 18);
    auto* proxy = Place<QLineEdit>(group, 60, 116, 170, 22);
    proxy->setMaxLength(255);
    port.Bind(IDC_OPT_PROXY, proxy);
    Label(group, "Port:", 240, 118, 32, 18);
    auto* proxyPort = Place<QLineEdit>(group, 272, 116, 60, 22);
    proxyPort->setAlignment(Qt::AlignRight);
    proxyPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,10}"), proxyPort));
    port.Bind(IDC_OPT_PROXY_PORT, proxyPort);
    Label(group, "E-mail:", 10, 150, 50, 18);
    auto* email = Place<QLineEdit>(group, 60, 148, 272, 22);
    email->setMaxLength(255);
    email->setPlaceholderText("name@example.org");
    email->setToolTip(
        "The address the CD database asks of its users; it is sent with each "
        "look-up.");
    port.Bind(IDC_OPT_EMAIL, email);
    // Where "&Get CD Info" asks, below the server settings.
    Label(w, "Track names from:", 14, 194, 110, 18);
    auto* source = Place<QComboBox>(w, 124, 192, 228, 24);
    port.Bind(IDC_OPT_INFO_SOURCE, source);
    auto* effects = Place<QCheckBox>(w, 14, 222, 300, 20);
    effects->setText("Enable  &Window Animation Effects.");
    port.Bind(IDC_OPT_EFFECTS, effects);
    Button(port, IDOK, w, "O&K", 180, 252, 80, 28, controls::kStyleDefaultBit);
    Button(port, IDCANCEL, w, "&Cancel", 272, 252, 80, 28);
}

// One modal window over its logic: the layout, the port, OK and Cancel. The initialisation
// runs once the window is up, so that its network waits can be cancelled.
class FreeDbWindow : public QDialog {
public:
    FreeDbWindow(QWidget* owner, int dialogId, const char* title,
                 const std::function<void(QWidget*, QtWindowPort&)>& build)
        : QDialog(owner), port_(this), dialogId_(dialogId) {
        setWindowTitle(title);
        encoder::ui::ApplyHooks(port_);
        build(this, port_);
        if (auto* ok = qobject_cast<QAbstractButton*>(port_.Control(IDOK))) {
            connect(ok, &QAbstractButton::clicked, this, [this] {
                if (onOk) onOk();
            });
        }
        if (auto* cancel = qobject_cast<QAbstractButton*>(port_.Control(IDCANCEL))) {
            connect(cancel, &QAbstractButton::clicked, this, [this] { reject(); });
        }
        port_.OnCommand([this](int id) {
            if (id == IDCANCEL) reject();
        });
    }

    QtWindowPort& Port() { return port_; }

    int Run() {
        QTimer::singleShot(0, this, [this] {
            if (onInit) onInit();
            if (isVisible()) encoder::ui::ReportShown(this, dialogId_);
        });
        return exec();
    }

    std::function<void()> onInit, onOk, onCancel;

protected:
    void reject() override {
        if (onCancel) {
            onCancel();
        } else {
            QDialog::reject();
        }
    }

private:
    QtWindowPort port_;
    int dialogId_;
};

}  // namespace

int RunServersDialog(CFreeDBServersDlg& dialog, QWidget* owner) {
    FreeDbWindow window(owner, IDD_FREEDB_SERVERS,
                        "Orvane Encoder - Browse FreeDB Internet Servers", BuildServersDialog);
    dialog.Attach(&window.Port());
    window.onInit = [&] { dialog.OnInitDialog(); };
    window.onOk = [&] { dialog.OnOK(); };
    window.onCancel = [&] { dialog.OnCancel(); };
    const int result = window.Run();
    dialog.Attach(nullptr);
    return result;
}

int RunQueryDialog(CFreeDBQueryDlg& dialog, QWidget* owner) {
    FreeDbWindow window(owner, IDD_FREEDB_QUERY,
                        "Orvane Encoder - Get Track Names from Internet FreeDB", BuildQueryDialog);
    dialog.Attach(&window.Port());
    window.onInit = [&] { dialog.OnInitDialog(); };
    window.onOk = [&] { dialog.OnOK(); };
    window.onCancel = [&] { dialog.OnCancel(); };
    const int result = window.Run();
    dialog.Attach(nullptr);
    return result;
}

int RunMatchChoice(CMatchChoiceDlg& dialog, QWidget* owner) {
    FreeDbWindow window(owner, IDD_FREEDB_QUERY, "Orvane Encoder - Get Track Names",
                        BuildChoiceDialog);
    dialog.Attach(&window.Port());
    window.onInit = [&] { dialog.OnInitDialog(); };
    window.onOk = [&] { dialog.OnOK(); };
    window.onCancel = [&] { window.Port().EndDialog(IDCANCEL); };
    const int result = window.Run();
    dialog.Attach(nullptr);
    return result;
}

int RunInternetOptions(encoder::EncoderApp& app, QWidget* owner) {
    CInternetOptionsDlg dialog(app);
    FreeDbWindow window(owner, IDD_FREEDB_OPTIONS, "Orvane Encoder - Options", BuildOptionsDialog);
    QtWindowPort& port = window.Port();
    dialog.Attach(&port);
    port.RegisterDialog(IDD_FREEDB_SERVERS, [&dialog](QWidget* o) {
        return RunServersDialog(dialog.ServersDialog(), o);
    });
    for (int id : {IDC_OPT_USE_PROXY, IDC_OPT_BROWSE}) {
        if (auto* b = qobject_cast<QAbstractButton*>(port.Control(id))) {
            QObject::connect(b, &QAbstractButton::clicked, &window,
                             [&dialog, id] { dialog.OnCommand(id); });
        }
    }
    window.onInit = [&] { dialog.OnInitDialog(); };
    window.onOk = [&] { dialog.OnOK(); };
    window.onCancel = [&] { dialog.OnCancel(); };
    const int result = window.Run();
    dialog.Attach(nullptr);
    return result;
}

int LookUpDisc(encoder::EncoderApp& app, const std::vector<std::uint32_t>& trackLbas,
               std::uint32_t leadOutLba, DiscLookup& result, QWidget* owner) {
    CFreeDBQueryDlg dialog(FreeDbSettings::From(app));
    dialog.SetDisc(trackLbas, leadOutLba);
    const int answer = RunQueryDialog(dialog, owner);
    if (answer == IDOK) {
        result.artist = dialog.Artist();
        result.album = dialog.Album();
        result.category = dialog.Category();
        result.trackTitles = dialog.Names().titles;
        result.trackArtists = dialog.Names().artists;
        result.year = dialog.Year();
        result.genre = dialog.Genre();
        char id[16];
        std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(dialog.DiscId()));
        result.discId = id;
    }
    return answer;
}

void RegisterOptionsWithWizard(encoder::EncoderApp& app) {
    encoder::ui::RegisterWizardDialog(
        IDD_INTERNET_OPTIONS, [&app](QWidget* owner) { return RunInternetOptions(app, owner); });
    app.optionsAvailable = true;
}

}  // namespace orvane::freedb::ui
