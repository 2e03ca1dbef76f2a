#include "encoder/cdda/ui/cd_info_lookup.h"

#include <QMetaObject>
#include <QProgressDialog>
#include <atomic>
#include <thread>
#include <utility>

#include "encoder/app/ui/view_hooks.h"
#include "encoder/cdda/musicbrainz_info.h"
#include "encoder/cdda/name_source.h"
#include "encoder/freedb/freedb_dialogs.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::cdda::ui {

namespace {

// The CD database through its query dialog and match list: the user chooses there, and the
// dialogs tell why nothing was found.
class CddbDialogSource final : public NameSource {
public:
    CddbDialogSource(encoder::EncoderApp& app, QWidget* owner) : app_(app), owner_(owner) {}
    std::string Name() const override { return "CD database"; }
    bool UserChose() const override { return true; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel&, std::vector<CdInfoChoice>& albums,
                std::string& why) override {
        albums.clear();
        why.clear();
        freedb::ui::DiscLookup found;
        if (freedb::ui::LookUpDisc(app_, disc.Starts(), disc.leadOut, found, owner_) != IDOK)
            return false;
        CdInfoChoice album;
        album.source = Name();
        album.info = {found.artist,       found.album, found.category, found.trackTitles,
                      found.trackArtists, found.year,  found.genre,    found.discId};
        albums.push_back(std::move(album));
        return true;
    }

private:
    encoder::EncoderApp& app_;
    QWidget* owner_;
};

// A source that asks over the network, with a window that says so while it waits: its Cancel
// ends the wait (the source is asked to stop and the look-up ends without a word).
class WaitingSource final : public NameSource {
public:
    WaitingSource(NameSource& inner, QWidget* owner, std::string doing,
                  std::atomic<bool>& userCancelled)
        : inner_(inner), owner_(owner), doing_(std::move(doing)), userCancelled_(userCancelled) {}
    std::string Name() const override { return inner_.Name(); }
    bool UserChose() const override { return inner_.UserChose(); }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                std::vector<CdInfoChoice>& albums, std::string& why) override {
        QProgressDialog wait(QString::fromStdString(doing_), "Cancel", 0, 0, owner_);
        wait.setWindowTitle("Orvane Encoder");
        wait.setWindowModality(Qt::WindowModal);
        wait.setAutoClose(false);
        wait.setAutoReset(false);
        wait.setMinimumDuration(0);
        // Its Cancel button, Escape and the title bar's close all end the wait.
        QObject::connect(&wait, &QProgressDialog::canceled, [this] { userCancelled_ = true; });
        QObject::connect(&wait, &QDialog::rejected, [this] { userCancelled_ = true; });
        bool found = false;
        std::thread worker([&] {
            found = inner_.LookUp(
                disc, [&] { return userCancelled_.load() || (cancelled && cancelled()); }, albums,
                why);
            QMetaObject::invokeMethod(
                &wait, [&wait] { wait.done(QDialog::Accepted); }, Qt::QueuedConnection);
        });
        wait.exec();
        worker.join();
        // The dialog's last queued call, if the cancel ended it first, goes with it.
        return found && !userCancelled_;
    }

private:
    NameSource& inner_;
    QWidget* owner_;
    std::string doing_;
    std::atomic<bool>& userCancelled_;
};

// The server's host for "Looking up the disc at ...": the address without its scheme.
std::string HostOf(const std::string& server) {
    const std::size_t scheme = server.find("://");
    std::string host = scheme == std::string::npos ? server : server.substr(scheme + 3);
    if (const std::size_t slash = host.find('/'); slash != std::string::npos) host.resize(slash);
    return host;
}

// The chosen answer of several, through the match list; false when the user cancels.
bool Choose(const std::vector<CdInfoChoice>& choices, QWidget* owner, CdInfo& info) {
    if (choices.size() == 1) {
        info = choices.front().info;
        return true;
    }
    std::vector<std::vector<std::string>> rows;
    for (const CdInfoChoice& c : choices)
        rows.push_back({c.info.artist, c.info.album, c.country, c.date, c.label, c.source});
    freedb::CMatchChoiceDlg dialog({"           Artist           ", "            Title            ",
                                    " Country ", "   Date   ", "     Label     ", "   Source   "},
                                   std::move(rows));
    if (freedb::ui::RunMatchChoice(dialog, owner) != IDOK || dialog.Chosen() < 0) return false;
    info = choices[static_cast<std::size_t>(dialog.Chosen())].info;
    return true;
}

}  // namespace

CdInfoLookup CdInfoLookupOf(encoder::EncoderApp& app) {
    return [&app](QWidget* owner, const cdrom::DiscInfo& disc, CdInfo& info) {
        MusicBrainzSource musicBrainz(app.musicBrainzServer);
        std::atomic<bool> userCancelled{false};
        WaitingSource waitingMusicBrainz(
            musicBrainz, owner, "Looking up the disc at " + HostOf(app.musicBrainzServer) + "...",
            userCancelled);
        CddbDialogSource cddb(app, owner);
        std::vector<NameSource*> sources;
        const int source = app.cdInfoSource;
        if (source == 1 || source == 2) sources.push_back(&waitingMusicBrainz);
        if (source != 1) sources.push_back(&cddb);
        NameAnswer answer;
        if (!AskNameSources(
                sources, disc, [&userCancelled] { return userCancelled.load(); }, answer)) {
            if (!answer.why.empty() && !userCancelled) {
                QtWindowPort port(owner);
                encoder::ui::ApplyHooks(port);
                port.MessageBox(answer.source->Name() + ": " + answer.why, "", MB_ICONEXCLAMATION);
            }
            return false;
        }
        if (answer.source->UserChose()) {
            info = answer.albums.front().info;
            return true;
        }
        // The disc's own texts beside the database's answers.
        CdTextSource cdText(info);
        std::vector<CdInfoChoice> more;
        std::string none;
        if (cdText.LookUp(disc, {}, more, none))
            answer.albums.insert(answer.albums.end(), more.begin(), more.end());
        return Choose(answer.albums, owner, info);
    };
}

}  // namespace orvane::cdda::ui
