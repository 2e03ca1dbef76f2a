#pragma once
// The CD database dialogs as logic over a WindowPort: the server list (186), the match list
// of a disc (620) and the Internet options (183). Network work runs on the window's thread;
// while it waits the window keeps handling its messages, so Cancel ends a wait at once.
//
// For the CD grabber: set up a CFreeDBQueryDlg with SetDisc() from the disc's table of
// contents, run it modally (encoder/freedb/ui/freedb_views.h: RunQueryDialog, or the one-call
// LookUpDisc there), and on IDOK take Artist(), Album(), Category() and TrackTitles().

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder/freedb/cddb_client.h"
#include "platform/window/window_port.h"

namespace orvane::encoder {
struct EncoderApp;
}

namespace orvane::freedb {

// The settings the dialogs use: the application-wide values that start-up read, and the
// client identity and e-mail address from "Preferences".
struct FreeDbSettings {
    std::string server = kMainServer;      // "FreeDBServer": HOST or HOST:PORT
    std::string mainServer = kMainServer;  // "CDDBMainServer": where the server list comes from
    int useProxy = 0;
    std::string proxyServer;
    int proxyPort = 8080;
    std::string email;
    std::string clientName = "OrvaneEncoder";
    std::string clientVersion = "3.00";
    int protocol = 6;  // "CDDBProtocol", 1 to 6

    static FreeDbSettings From(encoder::EncoderApp& app);
};

// The site of a server setting: "HOST" (port 80) or "HOST:PORT", the usual script path.
FreeDBSite SiteFromSetting(const std::string& text);
// A server list row's address as the settings keep it: the host, with ":PORT" unless 80.
std::string SettingFromSite(const FreeDBSite& site);

// Applies the proxy (when "UseProxy" is 1; an empty proxy host means a direct connection),
// the client identity and the e-mail address to a client.
void Configure(CFreeDBClient& client, const FreeDbSettings& settings);

// The dialogs' fixed texts.
std::string ConnectFailedText();  // dialog 186, both server list attempts failed
extern const char* const kQueryFailedText;
extern const char* const kNoSelectionText;
extern const char* const kReadFailedText;
std::string LinkText();
// A dialog message with the server's refusal line added when there is one.
std::string WithRefusal(const std::string& text, const CFreeDBClient& client);

// Shared by the dialogs: cancellation of a running command and the busy state.
class NetworkDialog {
public:
    NetworkDialog(const NetworkDialog&) = delete;
    NetworkDialog& operator=(const NetworkDialog&) = delete;
    void Attach(WindowPort* port) { port_ = port; }
    CFreeDBClient& Client() { return client_; }
    // Cancel (button, Escape, close box): ends a running command and the dialog.
    void OnCancel();
    bool Busy() const { return busy_; }

protected:
    NetworkDialog();
    // A running command for its life: the wait cursor, the busy state (a second command does
    // not start from inside the first one's wait) and the status line, which says what runs
    // ("Looking up the disc at HOST...") and counts the seconds it has waited.
    class Activity {
    public:
        Activity(NetworkDialog& dialog, const std::string& text);
        ~Activity();
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

    private:
        NetworkDialog& dialog_;
    };

    WindowPort* port_ = nullptr;
    CFreeDBClient client_;
    bool busy_ = false;
    bool cancelled_ = false;

private:
    // Shows the seconds the current activity has waited, when they changed.
    void ShowActivity();

    std::string activity_;
    std::uint64_t activityStart_ = 0;
    std::uint64_t shownSeconds_ = 0;
};

class CFreeDBServersDlg : public NetworkDialog {
public:
    explicit CFreeDBServersDlg(FreeDbSettings settings = {});
    // Asks the main server for its list and fills the rows; a failure leaves the list empty.
    void OnInitDialog();
    // The chosen row's host becomes the selected server (empty without a chosen row).
    void OnOK();

    const std::string& SelectedServer() const { return selected_; }
    const std::vector<FreeDBSite>& Sites() const { return sites_; }

private:
    FreeDbSettings settings_;
    std::string selected_;
    std::vector<FreeDBSite> sites_;
};

class CFreeDBQueryDlg : public NetworkDialog {
public:
    explicit CFreeDBQueryDlg(FreeDbSettings settings = {});
    // The disc to look up: track starts and lead-out as logical block addresses.
    void SetDisc(const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba);
    void SetDisc(const DiscLayout& disc);
    std::uint32_t DiscId() const { return discId_; }

    // Queries the configured server (a second time after a failure) and lists the matches;
    // when both attempts fail, tells the user and closes.
    void OnInitDialog();
    // Reads the chosen match; success closes with IDOK, failure keeps the dialog open.
    void OnOK();

    const std::vector<std::string>& TrackTitles() const { return trackTitles_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Category() const { return category_; }
    // The entry's DYEAR and DGENRE, and its track titles with a compilation's artists taken
    // out (SplitTrackArtists).
    const std::string& Year() const { return year_; }
    const std::string& Genre() const { return genre_; }
    const TrackNames& Names() const { return names_; }
    const std::vector<std::uint32_t>& RowDiscIds() const { return rowIds_; }

private:
    FreeDbSettings settings_;
    DiscLayout disc_;
    std::uint32_t discId_ = 0;
    FreeDBSite site_;
    std::vector<std::uint32_t> rowIds_;
    std::vector<std::string> trackTitles_;
    std::string artist_, album_, category_, year_, genre_;
    TrackNames names_;
};

// The match list (620) offering answers already at hand, one per row, as the user chooses among
// several releases of a disc and the disc's own CD-Text: no network work, OK takes the chosen
// row (none chosen: the match list's message, the dialog stays).
class CMatchChoiceDlg {
public:
    CMatchChoiceDlg(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows);
    void Attach(WindowPort* port) { port_ = port; }
    void OnInitDialog();
    void OnOK();
    // The row chosen by OK; -1 before.
    int Chosen() const { return chosen_; }

private:
    WindowPort* port_ = nullptr;
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    int chosen_ = -1;
};

class CInternetOptionsDlg {
public:
    explicit CInternetOptionsDlg(encoder::EncoderApp& app);
    void Attach(WindowPort* port) { port_ = port; }

    void OnInitDialog();
    // A click on "&Proxy Server" (1140) or "&Browse Servers..." (1081).
    void OnCommand(int controlId);
    void OnOK();
    void OnCancel();

    // The server list the browse button runs through DoModal(186); made anew for every run.
    CFreeDBServersDlg& ServersDialog();

    // The members (valid after OnInitDialog and after each exchange).
    int windowEffects = 1;
    std::string server;
    int useProxy = 0;
    std::string proxyServer;
    unsigned proxyPort = 8080;
    std::string email;
    int infoSource = 0;  // "CDInfoSource": 0 CD database, 1 MusicBrainz, 2 MusicBrainz first

private:
    // Controls to members; false (with the validation message shown) when a value is refused.
    bool TakeControls();
    void ShowMembers();
    void EnableProxyEdits();

    encoder::EncoderApp& app_;
    WindowPort* port_ = nullptr;
    std::unique_ptr<CFreeDBServersDlg> servers_;
};

}  // namespace orvane::freedb
