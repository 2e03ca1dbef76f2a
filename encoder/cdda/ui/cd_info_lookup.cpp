#include "encoder/cdda/ui/cd_info_lookup.h"

#include <utility>

#include "encoder/app/ui/view_hooks.h"
#include "encoder/cdda/musicbrainz_info.h"
#include "encoder/freedb/freedb_dialogs.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::cdda::ui {

namespace {

bool AskCdDatabase(encoder::EncoderApp& app, QWidget* owner,
                   const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba,
                   CdInfo& info) {
    freedb::ui::DiscLookup found;
    if (freedb::ui::LookUpDisc(app, trackLbas, leadOutLba, found, owner) != IDOK) return false;
    info = {found.artist,       found.album, found.category, found.trackTitles,
            found.trackArtists, found.year,  found.genre,    found.discId};
    return true;
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
    return [&app](QWidget* owner, const std::vector<std::uint32_t>& trackLbas,
                  std::uint32_t leadOutLba, CdInfo& info) {
        const int source = app.cdInfoSource;
        if (source != 1 && source != 2)
            return AskCdDatabase(app, owner, trackLbas, leadOutLba, info);
        std::vector<CdInfoChoice> choices;
        std::string why;
        if (!LookUpMusicBrainzChoices(app.musicBrainzServer, trackLbas, leadOutLba, choices, why)) {
            if (source == 2) return AskCdDatabase(app, owner, trackLbas, leadOutLba, info);
            QtWindowPort port(owner);
            encoder::ui::ApplyHooks(port);
            port.MessageBox("MusicBrainz: " + why, "", MB_ICONEXCLAMATION);
            return false;
        }
        // The disc's own texts beside the database's answers.
        if (!info.trackTitles.empty()) choices.push_back({"CD-Text", "", "", "", info});
        return Choose(choices, owner, info);
    };
}

}  // namespace orvane::cdda::ui
