#pragma once
// CdGrabberDialog (dialog 143): the drives, the tracks of the disc, their names and tags, the
// selection handed to the MP3 job, "&Grab Now!", the read buffer settings and the CD player.
// The view lays the dialog out, forwards the user's actions here and shows what the logic sets
// through the port. The logic keeps the rows of the track list itself.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/cdda/grab.h"
#include "encoder/cdda/track_list.h"
#include "encoder/coverart/cover_archive.h"
#include "platform/window/window_port.h"

namespace orvane::cdda {

// What the CD database knows of a disc: texts in UTF-8, track titles in disc order.
struct CdInfo {
    std::string artist, album, category;
    std::vector<std::string> trackTitles;
    // One per title, empty where the track has no artist of its own; any non-empty one makes
    // the disc artist the album artist and the track's artist its row's artist.
    // (Default initializers: callers that fill only the first four fields stay valid.)
    std::vector<std::string> trackArtists{};
    std::string year{}, genre{};  // empty: unknown
    std::string discId{};         // the disc's id in the CD database, eight hexadecimal digits
    // What MusicBrainz knows beyond that: the release, each track's recording (in disc order)
    // and the disc's place in the release ("n" and "N"); empty where unknown.
    std::string releaseId{};
    std::vector<std::string> recordingIds{};
    std::string discNumber{}, discTotal{};
};

// What a drive tells of its disc beyond the table of contents, for the rows and the tags.
struct DiscExtras {
    struct Track {
        int number = 0;
        std::string isrc;              // 12 characters; empty when the track has none
        std::string title, performer;  // CD-Text; empty when absent
    };
    std::vector<Track> tracks;
    std::string title, performer;  // the disc's CD-Text
    std::string musicBrainzDiscId;
    // The start (logical block address) of each track, to tell that the drive still holds the
    // disc the grabber listed.
    std::vector<std::uint32_t> starts;

    const Track* TrackNumbered(int number) const {
        for (const Track& t : tracks)
            if (t.number == number) return &t;
        return nullptr;
    }
    bool HasCdText() const {
        if (!title.empty() || !performer.empty()) return true;
        for (const Track& t : tracks)
            if (!t.title.empty() || !t.performer.empty()) return true;
        return false;
    }
};

// The names the disc's CD-Text gives, as a CD database answer would (a track without a title
// keeps its row's name "Track<n>"); empty without CD-Text.
CdInfo CdTextInfoOf(const DiscExtras& extras, const CdSession& session);

struct TrackRow {
    std::vector<std::string> texts;  // the seven columns
    bool checked = false;
    // The track's own artist (a compilation's, from the CD database); it stays the row's
    // artist when the artist field is stored into the row.
    std::string trackArtist;
    long genre = 0;  // item data: the row's genre code
};

// The longest row name in characters; the in-place editor takes no more.
constexpr std::size_t kRowNameLimit = 25;

class CdGrabberDialog {
public:
    CdGrabberDialog(encoder::EncoderApp& app, CdSession& session);

    void Attach(WindowPort* port) { port_ = port; }

    // Opens the progress window for "&Grab Now!" (the view provides it).
    OpenProgressFn openProgress;
    // Runs the grab of "&Grab Now!" off the window's thread and keeps the window's events
    // going until it has ended (the view provides it); without it the grab runs in place.
    std::function<void(const std::function<void()>& grab)> runGrab;
    // Looks the listed disc up where its names come from (name_source.h); true with info
    // filled, false when the user cancelled or nothing was found (the look-up has told the
    // user). info arrives holding the names the disc's CD-Text gives (empty without CD-Text),
    // for the look-up to offer beside the database's answers. The button stays disabled
    // without it.
    std::function<bool(const cdrom::DiscInfo& disc, CdInfo& info)> getCdInfo;
    // Reads what the drive of that index (in the drive box's order) tells beyond the table of
    // contents; false when it cannot tell. Without it the disc has no ISRCs nor CD-Text.
    std::function<bool(int driveIndex, DiscExtras& extras)> readDiscExtras;
    // Finds the front cover of a MusicBrainz release (the cover archive), keeping the window's
    // events going while it waits and ending the wait once cancelled (which may be asked from
    // another thread) answers true; without it
    // "&Get CD Info" finds no cover.
    std::function<coverart::FoundCover(const std::string& releaseId,
                                       const std::function<bool()>& cancelled)>
        fetchCover;
    // Starts a program without waiting for it; false when it cannot be started.
    std::function<bool(const std::string&)> startProgram;
    // The program file's full path (for the CD player beside it).
    std::string modulePath;

    // --- Events from the view ---
    void OnInitDialog();
    void OnRowChecked(int row, bool checked);
    // A row name edited in place; false keeps the old name.
    bool OnLabelEdited(int row, const std::string& text);
    // The pointer rests on, or the user selects, another row.
    void OnRowActivated(int row);
    void OnSelectAll();
    void OnGrabNow();
    void OnSetInfoToAll();
    void OnRefresh();  // "&Refresh" and a new drive in the drive box
    void OnCdPlayer();
    void OnTagFieldChanged();  // 1074, 1079, 1080, 1082 edited; 1075 selection changed
    // The user typed in one of the fields: OnTagFieldChanged, and the field's own text, not
    // the source's, goes to the full tags from now on.
    void OnTagFieldEdited(int controlId);
    void OnCdaSettings();
    void OnGetCdInfo();
    void OnIntroOnly();
    // "Co&ver...": a JPEG or PNG file chosen as the front cover; cancelled with a cover shown,
    // the user may take none.
    void OnCover();
    void OnOK();
    void OnCancel();

    // --- State (tests and the CD database look-up) ---
    const std::vector<TrackRow>& Rows() const { return rows_; }
    int CheckedCount() const { return checkedCount_; }
    int CurrentRow() const { return currentRow_; }
    int SelectAllToggle() const { return selectAll_; }
    // Renames row i and sets its artist and genre columns (CD database results).
    void SetRowTitle(int row, const std::string& title, const std::string& artist,
                     const std::string& genre);
    // Takes what the CD database found: the artist field, the genre entry beginning with the
    // category, each row's name, artist and category columns, the album field.
    void ApplyCdInfo(const CdInfo& info);
    // The names the disc's CD-Text gives, as a CD database answer would; empty without CD-Text.
    CdInfo CdTextInfo() const;
    // The front cover the tracks will get (no picture: none, with why).
    const coverart::FoundCover& Cover() const { return cover_; }

private:
    // The artist, year, album and comment fields into the dialog's values.
    void ReadTagFields();
    bool ReadFields();
    void WriteFields();
    bool LoadDisc();
    bool RefreshDisc(bool clearList);
    void ClearTrackData();
    void CapabilityCheck();
    void UpdateSelectionTotals();
    void StoreCurrentRow();
    void SetInfoToAllRows();
    int GenreCodeOf(const std::string& name) const;
    std::string GenreNameOf(int code) const;
    void SelectGenre(const std::string& name);
    void PushRow(int row);
    void ReadExtras();
    void ApplyCdText();
    // Keeps the album and year texts a source gave beyond what their fields hold (30 and 4
    // characters), for the full tags, until the user edits the field.
    void RememberFullTexts(const std::string& album, const std::string& year);
    // The full tags of row i (ID3v2 and the other formats, naming patterns).
    tags::TrackTags FullTagsOf(std::size_t i) const;
    // The cover's thumbnail and size in the window.
    void ShowCover();

    encoder::EncoderApp& app_;
    CdSession& session_;
    WindowPort* port_ = nullptr;
    std::vector<TrackRow> rows_;
    int checkedCount_ = 0;
    int currentRow_ = 0;
    int selectAll_ = 0;
    // Dialog fields.
    std::string artist_ = "Unknown", year_, album_ = "Unknown", comment_;
    // What the CD database adds for the tags beyond the fields: the disc artist of a
    // compilation, the entry's genre text and the disc id.
    std::string albumArtist_, genreText_, discId_;
    DiscExtras extras_;  // of the disc listed; empty when the drive told nothing more
    // What the last MusicBrainz answer added (see CdInfo).
    std::string releaseId_, discNumber_, discTotal_;
    std::vector<std::string> recordingIds_;
    // The album and year as the source gave them; empty once the user edits the field.
    std::string fullAlbum_, fullYear_;
    int introOnly_ = 0;
    int introSeconds_ = 15;
    bool grabbing_ = false;  // "&Grab Now!" is reading: the dialog's other actions wait
    coverart::FoundCover cover_;
    // The archive is being asked: the dialog's other actions wait, and Cancel ends the wait.
    bool fetching_ = false;
    std::atomic<bool> fetchCancelled_{false};  // read by the asking thread
};

// The CD player beside the program: the program's folder + "Tarvo/Tarvo.EXE".
std::string CdPlayerPath(const std::string& modulePath);
// Starts a program detached from this one (its own process group), not waited for.
bool StartDetached(const std::string& program);

// The CDA settings dialog 159: the read buffer size, 1 to 256 frames (what one read request
// holds, as the start-up reading of the value bounds it), stored machine-wide as
// "CDAReadBufferSize" on OK; and the rip's settings (rip_settings.h) in the profile.
class CdaSettingsDialog {
public:
    explicit CdaSettingsDialog(encoder::EncoderApp& app) : app_(app) {}
    void Attach(WindowPort* port) { port_ = port; }
    // The grabber's drive: its model's read offset is shown and stored; null: none.
    const CdDrive* drive = nullptr;
    void OnInitDialog();
    // The user clicked "Check the rip with AccurateRip": the CTDB box follows it on screen, as
    // the stored default does, while the profile never chose CTDB and the user did not click it.
    void OnAccurateRip();
    // The user clicked the CTDB box: it no longer follows AccurateRip.
    void OnCtdb() { ctdbClicked_ = true; }
    // False when the value is refused (the dialog stays open).
    bool OnOK();

private:
    encoder::EncoderApp& app_;
    WindowPort* port_ = nullptr;
    bool ctdbChosen_ = false;  // the profile holds a choice of CTDB
    bool ctdbClicked_ = false;
};

// Writes the read buffer size under HKEY_LOCAL_MACHINE; the message of a failure, or empty.
std::string StoreReadBufferSize(int value);

}  // namespace orvane::cdda
