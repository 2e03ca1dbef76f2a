#include "encoder/freedb/freedb_dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "encoder/app/encoder_app.h"
#include "encoder/freedb/freedb_resource.h"
#include "platform/clock/clock.h"

namespace orvane::freedb {

namespace {

std::string HexId(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(id));
    return text;
}

}  // namespace

const char* const kQueryFailedText =
    "The server is busy or CD not found in FreeDB Database.\nYou can try again later.";
const char* const kNoSelectionText = "No disc Title Selected.\nPlease Select a disc Title.";
const char* const kReadFailedText =
    "Error: Cannot Read the Disc Information from the FreeDB Server.";

std::string ConnectFailedText() {
    return std::string("Error: Cannot connect to ") + kServiceDomain +
           ", probably the server is busy.\nYou can try again later.";
}

std::string LinkText() { return std::string("CD Database Provided by ") + kServiceDomain; }

std::string WithRefusal(const std::string& text, const CFreeDBClient& client) {
    if (client.RefusalLine().empty()) return text;
    return text + "\n" + client.RefusalLine();
}

FreeDBSite SiteFromSetting(const std::string& text) {
    FreeDBSite site;
    site.host = text;
    const std::size_t colon = text.rfind(':');
    // One colon only: an IPv6 address without brackets has several.
    if (colon != std::string::npos && text.find(':') == colon && colon + 1 < text.size()) {
        const std::string digits = text.substr(colon + 1);
        if (digits.size() <= 5 && digits.find_first_not_of("0123456789") == std::string::npos) {
            const int port = std::atoi(digits.c_str());
            if (port > 0 && port <= 65535) {
                site.host = text.substr(0, colon);
                site.port = port;
            }
        }
    }
    return site;
}

std::string SettingFromSite(const FreeDBSite& site) {
    return site.port == 80 ? site.host : site.host + ":" + std::to_string(site.port);
}

FreeDbSettings FreeDbSettings::From(encoder::EncoderApp& app) {
    FreeDbSettings s;
    s.server = app.freeDbServer.empty() ? std::string(kMainServer) : app.freeDbServer;
    s.useProxy = app.useProxy;
    s.proxyServer = app.proxyServer;
    s.proxyPort = app.proxyPort;
    if (app.settings) {
        encoder::SettingsStore& store = *app.settings;
        s.email = store.GetProfileString("Preferences", "CDDBEmail", "");
        s.mainServer = store.GetProfileString("Preferences", "CDDBMainServer", kMainServer);
        if (s.mainServer.empty()) s.mainServer = kMainServer;
        s.clientName = store.GetProfileString("Preferences", "CDDBClientName", s.clientName);
        s.clientVersion =
            store.GetProfileString("Preferences", "CDDBClientVersion", s.clientVersion);
        s.protocol = static_cast<int>(store.GetProfileInt("Preferences", "CDDBProtocol", 6));
        if (s.clientName.empty()) s.clientName = "OrvaneEncoder";
        if (s.clientVersion.empty()) s.clientVersion = "3.00";
        if (s.protocol < 1 || s.protocol > 6) s.protocol = 6;
    }
    return s;
}

void Configure(CFreeDBClient& client, const FreeDbSettings& settings) {
    if (settings.useProxy == 1) {
        client.SetProxy(settings.proxyServer, settings.proxyPort, "", "");
    }
    client.SetClient(settings.clientName, settings.clientVersion, settings.protocol);
    client.SetEmail(settings.email);
}

// ---------------------------------------------------------------------------------------------

NetworkDialog::NetworkDialog() {
    // Between waits the window handles its messages; a Cancel among them ends the wait.
    client_.SetIdle([this] {
        ShowActivity();
        if (port_) port_->ProcessMessages();
        return cancelled_;
    });
}

NetworkDialog::Activity::Activity(NetworkDialog& dialog, const std::string& text)
    : dialog_(dialog) {
    dialog_.busy_ = true;
    dialog_.activity_ = text;
    dialog_.activityStart_ = clock::Current().NowMs();
    dialog_.shownSeconds_ = 0;
    dialog_.port_->SetWaitCursor(true);
    dialog_.port_->SetText(IDC_FREEDB_STATUS, text);
    // The line is drawn before the first wait.
    dialog_.port_->ProcessMessages();
}

NetworkDialog::Activity::~Activity() {
    dialog_.port_->SetText(IDC_FREEDB_STATUS, "");
    dialog_.port_->SetWaitCursor(false);
    dialog_.activity_.clear();
    dialog_.busy_ = false;
}

void NetworkDialog::ShowActivity() {
    if (activity_.empty() || !port_) return;
    const std::uint64_t seconds = (clock::Current().NowMs() - activityStart_) / 1000;
    if (seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    port_->SetText(IDC_FREEDB_STATUS, activity_ + " " + std::to_string(seconds) + " s");
}

void NetworkDialog::OnCancel() {
    cancelled_ = true;
    if (port_) port_->EndDialog(IDCANCEL);
}

// ---------------------------------------------------------------------------------------------

CFreeDBServersDlg::CFreeDBServersDlg(FreeDbSettings settings) : settings_(std::move(settings)) {
    Configure(client_, settings_);
}

void CFreeDBServersDlg::OnInitDialog() {
    WindowPort& w = *port_;
    sites_.clear();
    {
        const FreeDBSite site = SiteFromSetting(settings_.mainServer);
        Activity busy(*this, "Asking " + site.host + " for its list of servers...");
        std::vector<FreeDBSite> received;
        bool ok = client_.QuerySites(site, received);
        if (!ok && !cancelled_) ok = client_.QuerySites(site, received);
        if (cancelled_) return;
        if (!ok) {
            w.MessageBox(WithRefusal(ConnectFailedText(), client_), "", MB_OK);
            return;
        }
        sites_ = std::move(received);
    }
    w.SetColumns(IDC_SERVER_LIST, {"   Server Address   ", "   Location   "});
    int row = 0;
    for (const FreeDBSite& s : sites_)
        w.SetListRow(IDC_SERVER_LIST, row++, {SettingFromSite(s), s.description});
}

void CFreeDBServersDlg::OnOK() {
    if (busy_) return;
    int row = port_->CurSel(IDC_SERVER_LIST);
    if (row >= 0) selected_ = port_->ListCell(IDC_SERVER_LIST, row, 0);
    port_->EndDialog(IDOK);
}

// ---------------------------------------------------------------------------------------------

CFreeDBQueryDlg::CFreeDBQueryDlg(FreeDbSettings settings) : settings_(std::move(settings)) {
    Configure(client_, settings_);
}

void CFreeDBQueryDlg::SetDisc(const std::vector<std::uint32_t>& trackLbas,
                              std::uint32_t leadOutLba) {
    SetDisc(DiscLayout::FromLbas(trackLbas, leadOutLba));
}

void CFreeDBQueryDlg::SetDisc(const DiscLayout& disc) {
    disc_ = disc;
    discId_ = ComputeDiscId(disc_);
}

void CFreeDBQueryDlg::OnInitDialog() {
    WindowPort& w = *port_;
    site_ = SiteFromSetting(settings_.server);
    rowIds_.clear();
    w.SetColumns(IDC_MATCH_LIST, {"           Artist           ", "            Title            ",
                                  "   Category   ", "   Disc ID   "});
    std::vector<FreeDBMatch> matches;
    {
        Activity busy(*this, "Looking up the disc at " + site_.host + "...");
        bool ok = client_.QueryDisc(site_, discId_, disc_, matches);
        if (!ok && !cancelled_) ok = client_.QueryDisc(site_, discId_, disc_, matches);
        if (cancelled_) return;
        if (!ok) {
            w.MessageBox(WithRefusal(kQueryFailedText, client_), "", MB_ICONERROR);
            w.EndDialog(IDCANCEL);
            return;
        }
    }
    for (const FreeDBMatch& m : matches) {
        w.SetListRow(IDC_MATCH_LIST, static_cast<int>(rowIds_.size()),
                     {m.artist, m.title, m.category, HexId(m.discId)});
        rowIds_.push_back(m.discId);
    }
}

void CFreeDBQueryDlg::OnOK() {
    if (busy_) return;
    WindowPort& w = *port_;
    int row = w.CurSel(IDC_MATCH_LIST);
    if (row < 0 || static_cast<std::size_t>(row) >= rowIds_.size()) {
        w.MessageBox(kNoSelectionText, "", MB_OK);
        return;
    }
    const std::string category = w.ListCell(IDC_MATCH_LIST, row, 2);
    FreeDBDiscInfo info;
    bool ok;
    {
        Activity busy(*this, "Reading the entry from " + site_.host + "...");
        ok = client_.ReadDisc(site_, rowIds_[static_cast<std::size_t>(row)], category, info);
    }
    if (cancelled_) return;
    if (!ok) {
        w.MessageBox(WithRefusal(kReadFailedText, client_), "", MB_ICONERROR);
        return;
    }
    album_ = info.title;
    artist_ = info.artist;
    category_ = category;
    year_ = info.year;
    genre_ = info.genre;
    names_ = SplitTrackArtists(info);
    trackTitles_.insert(trackTitles_.end(), info.trackTitles.begin(), info.trackTitles.end());
    w.EndDialog(IDOK);
}

// ---------------------------------------------------------------------------------------------

CMatchChoiceDlg::CMatchChoiceDlg(std::vector<std::string> columns,
                                 std::vector<std::vector<std::string>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

void CMatchChoiceDlg::OnInitDialog() {
    WindowPort& w = *port_;
    w.SetColumns(IDC_MATCH_LIST, columns_);
    for (std::size_t i = 0; i < rows_.size(); ++i)
        w.SetListRow(IDC_MATCH_LIST, static_cast<int>(i), rows_[i]);
    if (!rows_.empty()) w.SetCurSel(IDC_MATCH_LIST, 0);
}

void CMatchChoiceDlg::OnOK() {
    WindowPort& w = *port_;
    const int row = w.CurSel(IDC_MATCH_LIST);
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        w.MessageBox(kNoSelectionText, "", MB_OK);
        return;
    }
    chosen_ = row;
    w.EndDialog(IDOK);
}

// ---------------------------------------------------------------------------------------------

CInternetOptionsDlg::CInternetOptionsDlg(encoder::EncoderApp& app) : app_(app) {}

CFreeDBServersDlg& CInternetOptionsDlg::ServersDialog() {
    if (!servers_) servers_ = std::make_unique<CFreeDBServersDlg>(FreeDbSettings::From(app_));
    return *servers_;
}

void CInternetOptionsDlg::OnInitDialog() {
    windowEffects = app_.windowEffects;
    server = app_.freeDbServer;
    useProxy = app_.useProxy;
    proxyServer = app_.proxyServer;
    proxyPort = static_cast<unsigned>(app_.proxyPort);
    email = app_.settings ? app_.settings->GetProfileString("Preferences", "CDDBEmail", "") : "";
    infoSource = app_.cdInfoSource;
    WindowPort& w = *port_;
    w.ResetContent(IDC_OPT_INFO_SOURCE);
    for (const char* text : {"The CD database", "MusicBrainz", "MusicBrainz, then the CD database"})
        w.AddString(IDC_OPT_INFO_SOURCE, text);
    ShowMembers();
    EnableProxyEdits();
}

void CInternetOptionsDlg::ShowMembers() {
    WindowPort& w = *port_;
    w.SetCheck(IDC_OPT_EFFECTS, windowEffects ? 1 : 0);
    w.SetText(IDC_OPT_SERVER, server);
    w.SetCheck(IDC_OPT_USE_PROXY, useProxy ? 1 : 0);
    w.SetText(IDC_OPT_PROXY, proxyServer);
    w.SetText(IDC_OPT_PROXY_PORT, std::to_string(proxyPort));
    w.SetText(IDC_OPT_EMAIL, email);
    // A value this version does not know reads as the CD database, as the look-up takes it.
    w.SetCurSel(IDC_OPT_INFO_SOURCE, infoSource >= 0 && infoSource <= 2 ? infoSource : 0);
}

void CInternetOptionsDlg::EnableProxyEdits() {
    port_->Enable(IDC_OPT_PROXY, useProxy == 1);
    port_->Enable(IDC_OPT_PROXY_PORT, useProxy == 1);
}

bool CInternetOptionsDlg::TakeControls() {
    WindowPort& w = *port_;
    const std::string portText = w.Text(IDC_OPT_PROXY_PORT);
    char* end = nullptr;
    const unsigned long value = std::strtoul(portText.c_str(), &end, 10);
    bool digits = !portText.empty();
    for (char c : portText)
        if (c < '0' || c > '9') digits = false;
    if (!digits || value > 0xFFFFFFFFul) {
        w.MessageBox("Please enter a positive integer.", "", MB_ICONEXCLAMATION);
        return false;
    }
    const std::string mail = w.Text(IDC_OPT_EMAIL);
    if (!mail.empty()) {
        std::size_t at = mail.rfind('@');
        if (at == std::string::npos || at == 0 || at + 1 == mail.size() ||
            mail.find_first_of(" \t\r\n") != std::string::npos) {
            w.MessageBox("Please enter an e-mail address of the form name@example.org.", "",
                         MB_ICONEXCLAMATION);
            return false;
        }
    }
    windowEffects = w.Check(IDC_OPT_EFFECTS);
    server = w.Text(IDC_OPT_SERVER).substr(0, 255);
    useProxy = w.Check(IDC_OPT_USE_PROXY);
    proxyServer = w.Text(IDC_OPT_PROXY).substr(0, 255);
    proxyPort = static_cast<unsigned>(value);
    email = mail.substr(0, 255);
    const int source = w.CurSel(IDC_OPT_INFO_SOURCE);
    // An unknown stored value stays as it is unless the user picks another.
    if (source >= 0 && source != (infoSource >= 0 && infoSource <= 2 ? infoSource : 0))
        infoSource = source;
    return true;
}

void CInternetOptionsDlg::OnCommand(int controlId) {
    WindowPort& w = *port_;
    if (controlId == IDC_OPT_USE_PROXY) {
        useProxy = w.Check(IDC_OPT_USE_PROXY);
        EnableProxyEdits();
    } else if (controlId == IDC_OPT_BROWSE) {
        if (!TakeControls()) return;
        servers_ = std::make_unique<CFreeDBServersDlg>(FreeDbSettings::From(app_));
        const int result = w.DoModal(IDD_FREEDB_SERVERS);
        if (result != IDCANCEL && !servers_->SelectedServer().empty()) {
            server = servers_->SelectedServer();
        }
        ShowMembers();
    }
}

void CInternetOptionsDlg::OnOK() {
    if (!TakeControls()) return;
    if (encoder::SettingsStore* s = app_.settings) {
        s->WriteProfileInt("Preferences", "WindowEffects", windowEffects);
        s->WriteProfileString("Preferences", "FreeDBServer", server);
        s->WriteProfileString("Preferences", "ProxyServer", proxyServer);
        s->WriteProfileInt("Preferences", "UseProxy", useProxy);
        s->WriteProfileInt("Preferences", "ProxyPort", static_cast<int>(proxyPort));
        s->WriteProfileString("Preferences", "CDDBEmail", email);
        // Written only when changed: the settings stay as they were for a user who never
        // looks at the source.
        if (infoSource != app_.cdInfoSource)
            s->WriteProfileInt("Preferences", "CDInfoSource", infoSource);
    }
    app_.cdInfoSource = infoSource;
    app_.windowEffects = windowEffects;
    app_.freeDbServer = server;
    app_.proxyServer = proxyServer;
    app_.useProxy = useProxy;
    app_.proxyPort = static_cast<int>(proxyPort);
    port_->EndDialog(IDOK);
}

void CInternetOptionsDlg::OnCancel() { port_->EndDialog(IDCANCEL); }

}  // namespace orvane::freedb
