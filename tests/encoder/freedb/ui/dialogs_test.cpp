// The CD database windows under the offscreen platform, against a loopback server: what the
// lists show, what OK and Cancel do, the retries, the messages and the settings written.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/controls/ui/hyperlink_label.h"
#include "encoder/freedb/freedb_resource.h"
#include "encoder/freedb/loopback_server.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "platform/clock/clock.h"

namespace orvane::freedb {
namespace {

using test::HttpReply;
using test::LoopbackReply;
using test::LoopbackServer;

template <typename T = QWidget>
T* Find(QWidget* window, int id) {
    auto* w = window->findChild<T*>(QString("id%1").arg(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

void Click(QWidget* window, int id) {
    if (auto* b = Find<QAbstractButton>(window, id)) b->click();
}

std::vector<std::string> Row(QTreeWidget* list, int row) {
    std::vector<std::string> out;
    for (int c = 0; c < list->columnCount(); ++c)
        out.push_back(list->topLevelItem(row)->text(c).toStdString());
    return out;
}

std::vector<std::string> Headers(QTreeWidget* list) {
    std::vector<std::string> out;
    for (int c = 0; c < list->columnCount(); ++c)
        out.push_back(list->headerItem()->text(c).toStdString());
    return out;
}

// Installs the window hooks for one test: the shown windows go to `shown`, message boxes are
// recorded and answered with OK.
class Hooks {
public:
    explicit Hooks(std::function<void(QWidget*, int)> shown) {
        encoder::ui::Hooks().shown = std::move(shown);
        encoder::ui::Hooks().messageBox = [this](const std::string& text, const std::string&,
                                                 unsigned) {
            messages.push_back(text);
            return IDOK;
        };
    }
    ~Hooks() { encoder::ui::Hooks() = {}; }
    std::vector<std::string> messages;
};

const char* const kEntry =
    "210 rock 0a0b0c0d CD database entry follows\r\n"
    "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t19850\r\n#\r\n"
    "# Disc length: 598 seconds\r\n#\r\n# Revision: 1\r\n# Submitted via: tool 1.0\r\n#\r\n"
    "DISCID=0a0b0c0d\r\nDTITLE=Band / Record\r\nDYEAR=2001\r\nTTITLE0=One\r\nTTITLE1=Tw\r\n"
    "TTITLE1=o\r\nEXTD=\r\nEXTT0=\r\nEXTT1=\r\nPLAYORDER=\r\n.\r\n";

TEST(QueryDialogTest, ListsMatchesRetriesAndReadsTheChosenOne) {
    int queries = 0;
    LoopbackServer server([&](const std::string& request) {
        const std::string cmd = test::CommandOf(request);
        if (cmd.rfind("cddb+query", 0) == 0) {
            if (++queries == 1) return HttpReply("", false);  // closed before any reply
            return HttpReply(
                "211 close matches found\r\nrock 0a0b0c0d Band / Record\r\n"
                "jazz 00000abc Solo\r\n.\r\n");
        }
        if (cmd.find("jazz") != std::string::npos) {
            return HttpReply("210 jazz 00000abc entry follows\r\nnot an entry\r\n.\r\n");
        }
        return HttpReply(kEntry);
    });
    FreeDbSettings settings;
    settings.server = server.Address();
    settings.useProxy = 1;  // with an empty proxy host: straight to the server
    settings.proxyServer = "";
    CFreeDBQueryDlg dialog(settings);
    dialog.SetDisc({0, 19700}, 44700);
    bool shown = false;
    Hooks hooks([&](QWidget* w, int id) {
        ASSERT_EQ(id, IDD_FREEDB_QUERY);
        shown = true;
        auto* list = Find<QTreeWidget>(w, IDC_MATCH_LIST);
        EXPECT_EQ(Headers(list), (std::vector<std::string>{"           Artist           ",
                                                           "            Title            ",
                                                           "   Category   ", "   Disc ID   "}));
        ASSERT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(Row(list, 0), (std::vector<std::string>{"Band", "Record", "rock", "A0B0C0D"}));
        EXPECT_EQ(Row(list, 1), (std::vector<std::string>{"", "Solo", "jazz", "ABC"}));
        // OK without a chosen row, then a row whose entry is broken: the dialog stays.
        list->clearSelection();
        Click(w, IDOK);
        EXPECT_TRUE(w->isVisible());
        list->setCurrentItem(list->topLevelItem(1));
        Click(w, IDOK);
        EXPECT_TRUE(w->isVisible());
        list->setCurrentItem(list->topLevelItem(0));
        Click(w, IDOK);
    });
    EXPECT_EQ(ui::RunQueryDialog(dialog, nullptr), IDOK);
    EXPECT_TRUE(shown);
    EXPECT_EQ(hooks.messages, (std::vector<std::string>{kNoSelectionText, kReadFailedText}));
    EXPECT_EQ(dialog.Artist(), "Band");
    EXPECT_EQ(dialog.Album(), "Record");
    EXPECT_EQ(dialog.Category(), "rock");
    EXPECT_EQ(dialog.TrackTitles(), (std::vector<std::string>{"One", "Two"}));
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(
        test::CommandOf(requests[1]), "cddb+query+" + [&] {
            char id[16];
            std::snprintf(id, sizeof id, "%08x", dialog.DiscId());
            return std::string(id);
        }() + "+2+150+19850+598");
    EXPECT_EQ(test::CommandOf(requests[3]), "cddb+read+rock+0a0b0c0d");
}

TEST(QueryDialogTest, TwoFailedQueriesCloseWithTheServersLine) {
    LoopbackServer server(
        [](const std::string&) { return HttpReply("500 Unknown developer email\r\n"); });
    FreeDbSettings settings;
    settings.server = server.Address();
    CFreeDBQueryDlg dialog(settings);
    dialog.SetDisc({0}, 7500);
    Hooks hooks([](QWidget*, int) { ADD_FAILURE() << "the dialog should not stay"; });
    EXPECT_EQ(ui::RunQueryDialog(dialog, nullptr), IDCANCEL);
    EXPECT_EQ(hooks.messages, (std::vector<std::string>{std::string(kQueryFailedText) +
                                                        "\n500 Unknown developer email"}));
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST(QueryDialogTest, CancelEndsASilentWait) {
    LoopbackServer server([](const std::string&) { return LoopbackReply{{}, 0, true}; });
    FreeDbSettings settings;
    settings.server = server.Address();
    CFreeDBQueryDlg dialog(settings);
    dialog.SetDisc({0}, 7500);
    dialog.Client().SetTimeout(600000);
    Hooks hooks([](QWidget*, int) {});
    // The user presses Cancel while the server says nothing.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activeModalWidget(); w && server.RequestCount() > 0) {
            Click(w, IDCANCEL);
        }
    });
    press.start(20);
    EXPECT_EQ(ui::RunQueryDialog(dialog, nullptr), IDCANCEL);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(dialog.Client().LastError(), kWsaEintr);
}

// The seconds a status line counts ("... 12 s"), -1 for none.
int Seconds(const std::string& line) {
    if (line.size() < 3 || line.compare(line.size() - 2, 2, " s") != 0) return -1;
    const std::size_t space = line.rfind(' ', line.size() - 3);
    return space == std::string::npos ? -1 : std::atoi(line.c_str() + space + 1);
}

// While the server is silent the window says what it waits for and counts the seconds (on
// virtual time here); Cancel ends the wait and the window, and the line is empty again.
TEST(QueryDialogTest, ASilentServersWaitIsShownAndCounted) {
    LoopbackServer server([](const std::string&) { return LoopbackReply{{}, 0, true}; });
    FreeDbSettings settings;
    settings.server = server.Address();
    CFreeDBQueryDlg dialog(settings);
    dialog.SetDisc({0}, 7500);
    dialog.Client().SetTimeout(0xFFFFFFFFu);
    Hooks hooks([](QWidget*, int) {});
    std::vector<std::string> lines;
    QPointer<QLabel> line;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) return;
        line = Find<QLabel>(w, IDC_FREEDB_STATUS);
        const std::string text = line->text().toStdString();
        if (lines.empty() || lines.back() != text) lines.push_back(text);
        if (Seconds(text) >= 3) Click(w, IDCANCEL);
    });
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    press.start(1);
    const int result = ui::RunQueryDialog(dialog, nullptr);
    clock::Install(nullptr);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(dialog.Client().LastError(), kWsaEintr);
    const std::string doing = "Looking up the disc at " + SiteFromSetting(server.Address()).host;
    ASSERT_FALSE(lines.empty());
    int before = -2;
    for (const std::string& text : lines) {
        EXPECT_EQ(text.rfind(doing + "...", 0), 0u) << text;
        EXPECT_GT(Seconds(text), before) << text;
        before = Seconds(text);
    }
    EXPECT_GE(before, 3);
}

const char* const kSites =
    "210 OK, site information follows\r\n"
    "a.example.org http 80 /~cddb/cddb.cgi N037.47 W122.25 San Francisco, USA\r\n"
    "b.example.org HTTP 8880 /~cddb/cddb.cgi N052.31 E013.24 Berlin, Germany\r\n"
    "c.example.org cddbp 8880 - N052.31 E013.24 Not over HTTP\r\n.\r\n";

TEST(ServersDialogTest, ListsTheSitesAndHandsBackTheChosenOne) {
    LoopbackServer server([](const std::string&) { return HttpReply(kSites); });
    FreeDbSettings settings;
    settings.mainServer = server.Address();
    CFreeDBServersDlg dialog(settings);
    Hooks hooks([&](QWidget* w, int id) {
        ASSERT_EQ(id, IDD_FREEDB_SERVERS);
        auto* list = Find<QTreeWidget>(w, IDC_SERVER_LIST);
        EXPECT_EQ(Headers(list),
                  (std::vector<std::string>{"   Server Address   ", "   Location   "}));
        ASSERT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(Row(list, 0), (std::vector<std::string>{"a.example.org", "San Francisco, USA"}));
        // A server on another port keeps its port, or a look-up would go to port 80.
        EXPECT_EQ(Row(list, 1),
                  (std::vector<std::string>{"b.example.org:8880", "Berlin, Germany"}));
        list->setCurrentItem(list->topLevelItem(1));
        Click(w, IDOK);
    });
    EXPECT_EQ(ui::RunServersDialog(dialog, nullptr), IDOK);
    EXPECT_EQ(dialog.SelectedServer(), "b.example.org:8880");
    EXPECT_TRUE(hooks.messages.empty());
}

TEST(ServersDialogTest, FailureLeavesAnEmptyListAndOkChoosesNothing) {
    LoopbackServer server([](const std::string&) { return HttpReply("503 Busy\r\n"); });
    FreeDbSettings settings;
    settings.mainServer = server.Address();
    CFreeDBServersDlg dialog(settings);
    Hooks hooks([&](QWidget* w, int) {
        EXPECT_EQ(Find<QTreeWidget>(w, IDC_SERVER_LIST)->topLevelItemCount(), 0);
        Click(w, IDOK);
    });
    EXPECT_EQ(ui::RunServersDialog(dialog, nullptr), IDOK);
    EXPECT_EQ(dialog.SelectedServer(), "");
    EXPECT_EQ(hooks.messages, (std::vector<std::string>{ConnectFailedText() + "\n503 Busy"}));
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST(ServersDialogTest, TheLinkOpensTheServicesSite) {
    LoopbackServer server([](const std::string&) { return HttpReply(kSites); });
    FreeDbSettings settings;
    settings.mainServer = server.Address();
    CFreeDBServersDlg dialog(settings);
    std::vector<std::string> opened;
    controls::HyperlinkLabel::SetOpener([&](const std::string& target) {
        opened.push_back(target);
        return true;
    });
    Hooks hooks([&](QWidget* w, int) {
        auto* link = Find<controls::HyperlinkLabel>(w, IDC_FREEDB_LINK);
        EXPECT_EQ(link->text().toStdString(), "CD Database Provided by gnudb.org");
        EXPECT_EQ(link->toolTip().toStdString(), kServiceWebSite);
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->TextColour(), QColor(0, 0, 250));
        link->Open();
        EXPECT_TRUE(link->Visited());
        EXPECT_EQ(link->TextColour(), QColor(85, 26, 139));
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(ui::RunServersDialog(dialog, nullptr), IDCANCEL);
    controls::HyperlinkLabel::SetOpener({});
    EXPECT_EQ(opened, (std::vector<std::string>{kServiceWebSite}));
}

class OptionsDialogTest : public ::testing::Test {
protected:
    OptionsDialogTest() : server_([](const std::string&) { return HttpReply(kSites); }) {
        app_.settings = &settings_;
        app_.freeDbServer = "old.example.org";
        app_.useProxy = 0;
        app_.proxyPort = 8080;
        settings_.WriteProfileString("Preferences", "CDDBMainServer", server_.Address());
    }
    encoder::MemorySettings settings_;
    encoder::EncoderApp app_;
    LoopbackServer server_;
};

TEST_F(OptionsDialogTest, BrowsingAndOkStoreTheSettings) {
    Hooks hooks([&](QWidget* w, int id) {
        if (id == IDD_FREEDB_SERVERS) {
            auto* list = Find<QTreeWidget>(w, IDC_SERVER_LIST);
            list->setCurrentItem(list->topLevelItem(0));
            Click(w, IDOK);
            return;
        }
        ASSERT_EQ(id, IDD_FREEDB_OPTIONS);
        auto* server = Find<QLineEdit>(w, IDC_OPT_SERVER);
        EXPECT_EQ(server->text().toStdString(), "old.example.org");
        EXPECT_TRUE(server->isReadOnly());
        EXPECT_FALSE(Find(w, IDC_OPT_PROXY)->isEnabled());
        EXPECT_FALSE(Find(w, IDC_OPT_PROXY_PORT)->isEnabled());
        Click(w, IDC_OPT_USE_PROXY);
        EXPECT_TRUE(Find(w, IDC_OPT_PROXY)->isEnabled());
        EXPECT_TRUE(Find(w, IDC_OPT_PROXY_PORT)->isEnabled());
        Find<QLineEdit>(w, IDC_OPT_PROXY)->setText("proxy.lan");
        Find<QLineEdit>(w, IDC_OPT_PROXY_PORT)->setText("3128");
        Find<QLineEdit>(w, IDC_OPT_EMAIL)->setText("me");
        Find<QCheckBox>(w, IDC_OPT_EFFECTS)->setChecked(false);
        Click(w, IDC_OPT_BROWSE);  // refused: the address is incomplete
        EXPECT_EQ(server->text().toStdString(), "old.example.org");
        Find<QLineEdit>(w, IDC_OPT_EMAIL)->setText("me@example.org");
        Click(w, IDC_OPT_BROWSE);
        EXPECT_EQ(server->text().toStdString(), "a.example.org");
        EXPECT_EQ(Find<QLineEdit>(w, IDC_OPT_PROXY)->text().toStdString(), "proxy.lan");
        Click(w, IDOK);
    });
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_NE(hooks.messages[0].find("e-mail address"), std::string::npos);
    EXPECT_EQ(app_.freeDbServer, "a.example.org");
    EXPECT_EQ(app_.useProxy, 1);
    EXPECT_EQ(app_.proxyServer, "proxy.lan");
    EXPECT_EQ(app_.proxyPort, 3128);
    EXPECT_EQ(app_.windowEffects, 0);
    EXPECT_EQ(settings_.GetProfileString("Preferences", "FreeDBServer"), "a.example.org");
    EXPECT_EQ(settings_.GetProfileString("Preferences", "ProxyServer"), "proxy.lan");
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "UseProxy", 0), 1u);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "ProxyPort", 0), 3128u);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "WindowEffects", 1), 0u);
    EXPECT_EQ(settings_.GetProfileString("Preferences", "CDDBEmail"), "me@example.org");
    // The e-mail address reaches the hello of the next look-up.
    EXPECT_EQ(FreeDbSettings::From(app_).email, "me@example.org");
    // Level 6 unless "CDDBProtocol" names another level from 1 to 6.
    EXPECT_EQ(FreeDbSettings::From(app_).protocol, 6);
    settings_.WriteProfileInt("Preferences", "CDDBProtocol", 4);
    EXPECT_EQ(FreeDbSettings::From(app_).protocol, 4);
    settings_.WriteProfileInt("Preferences", "CDDBProtocol", 9);
    EXPECT_EQ(FreeDbSettings::From(app_).protocol, 6);
}

TEST_F(OptionsDialogTest, CancelAfterBrowsingChangesNothing) {
    Hooks hooks([&](QWidget* w, int id) {
        if (id == IDD_FREEDB_SERVERS) {
            auto* list = Find<QTreeWidget>(w, IDC_SERVER_LIST);
            list->setCurrentItem(list->topLevelItem(1));
            Click(w, IDOK);
            return;
        }
        Click(w, IDC_OPT_BROWSE);
        EXPECT_EQ(Find<QLineEdit>(w, IDC_OPT_SERVER)->text().toStdString(), "b.example.org:8880");
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDCANCEL);
    EXPECT_EQ(app_.freeDbServer, "old.example.org");
    EXPECT_FALSE(settings_.HasProfileValue("Preferences", "FreeDBServer"));
}

TEST_F(OptionsDialogTest, TheSourceOfTrackNamesIsChosenAndStoredOnlyWhenChanged) {
    std::vector<std::string> items;
    int shownAs = -2;
    int choose = -1;
    Hooks hooks([&](QWidget* w, int) {
        auto* source = Find<QComboBox>(w, IDC_OPT_INFO_SOURCE);
        items.clear();
        for (int i = 0; i < source->count(); ++i)
            items.push_back(source->itemText(i).toStdString());
        shownAs = source->currentIndex();
        if (choose >= 0) source->setCurrentIndex(choose);
        Click(w, IDOK);
    });
    // Untouched: nothing new in the settings.
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(items, (std::vector<std::string>{"The CD database", "MusicBrainz",
                                               "MusicBrainz, then the CD database"}));
    EXPECT_EQ(shownAs, 0);
    EXPECT_FALSE(settings_.HasProfileValue("Preferences", "CDInfoSource"));
    EXPECT_EQ(app_.cdInfoSource, 0);

    choose = 2;
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDInfoSource", 9), 2u);
    EXPECT_EQ(app_.cdInfoSource, 2);
    choose = 1;
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(shownAs, 2);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDInfoSource", 9), 1u);
    EXPECT_EQ(app_.cdInfoSource, 1);

    // A value this version does not know shows as the CD database and stays unless changed.
    app_.cdInfoSource = 7;
    settings_.WriteProfileInt("Preferences", "CDInfoSource", 7);
    choose = -1;
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(shownAs, 0);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDInfoSource", 9), 7u);
    choose = 0;
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(shownAs, 0);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDInfoSource", 9), 7u);  // no change made
    choose = 1;
    EXPECT_EQ(ui::RunInternetOptions(app_, nullptr), IDOK);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDInfoSource", 9), 1u);
}

TEST(DiscSettingsTest, ServerSettingsWithPorts) {
    EXPECT_EQ(SiteFromSetting("cddb.example.org").port, 80);
    const FreeDBSite s = SiteFromSetting("127.0.0.1:8880");
    EXPECT_EQ(s.host, "127.0.0.1");
    EXPECT_EQ(s.port, 8880);
    EXPECT_EQ(SiteFromSetting("::1").host, "::1");
    EXPECT_EQ(SettingFromSite(s), "127.0.0.1:8880");
}

}  // namespace
}  // namespace orvane::freedb
