#include "encoder/cdda/grabber_dialog.h"

#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <thread>

#include "common/cregistry.h"
#include "encoder/app/resource.h"
#include "encoder/cdda/cdda_strings.h"
#include "encoder/cdda/disc_set.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/cdda/rip_settings.h"
#include "encoder/tags/paths.h"
#include "platform/clock/clock.h"

extern char** environ;

namespace orvane::cdda {

namespace {

constexpr int kGenreDefaultPosition = 93;

std::size_t Utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (text.empty() || !end || *end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

std::string RangeMessage(int low, int high) {
    return "Please enter an integer between " + std::to_string(low) + " and " +
           std::to_string(high) + ".";
}

bool PrefixNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           ::strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

std::string CdPlayerPath(const std::string& modulePath) {
    return encoder::DriveAndDirectory(modulePath) + "Tarvo/Tarvo.EXE";
}

bool StartDetached(const std::string& program) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    // Not waited for; a watcher only collects its end so it leaves no zombie behind.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
}

CdGrabberDialog::CdGrabberDialog(encoder::EncoderApp& app, CdSession& session)
    : startProgram(StartDetached), app_(app), session_(session) {}

// --- Fields ----------------------------------------------------------------------------------

void CdGrabberDialog::ReadTagFields() {
    WindowPort& w = *port_;
    artist_ = w.Text(IDC_CD_ARTIST);
    year_ = w.Text(IDC_CD_YEAR);
    album_ = w.Text(IDC_CD_ALBUM);
    comment_ = w.Text(IDC_CD_COMMENT);
}

bool CdGrabberDialog::ReadFields() {
    WindowPort& w = *port_;
    ReadTagFields();
    introOnly_ = w.Check(IDC_CD_INTROONLY) ? 1 : 0;
    int seconds = 0;
    if (!ParseInt(w.Text(IDC_CD_INTROSECS), 1, 120, seconds)) {
        w.MessageBox(RangeMessage(1, 120), "", MB_ICONEXCLAMATION);
        return false;
    }
    introSeconds_ = seconds;
    return true;
}

void CdGrabberDialog::WriteFields() {
    WindowPort& w = *port_;
    w.SetText(IDC_CD_ARTIST, artist_);
    w.SetText(IDC_CD_YEAR, year_);
    w.SetText(IDC_CD_ALBUM, album_);
    w.SetText(IDC_CD_COMMENT, comment_);
    w.SetCheck(IDC_CD_INTROONLY, introOnly_);
    w.SetText(IDC_CD_INTROSECS, std::to_string(introSeconds_));
}

int CdGrabberDialog::GenreCodeOf(const std::string& name) const {
    for (std::size_t i = 0; i < app_.genreList.size(); ++i)
        if (::strcasecmp(app_.genreList[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

std::string CdGrabberDialog::GenreNameOf(int code) const {
    if (code < 0 || code >= static_cast<int>(app_.genreList.size())) return {};
    return app_.genreList[static_cast<std::size_t>(code)];
}

void CdGrabberDialog::SelectGenre(const std::string& name) {
    WindowPort& w = *port_;
    for (int i = 0; i < w.Count(IDC_CD_GENRE); ++i) {
        if (::strcasecmp(w.ItemText(IDC_CD_GENRE, i).c_str(), name.c_str()) == 0) {
            w.SetCurSel(IDC_CD_GENRE, i);
            return;
        }
    }
}

void CdGrabberDialog::PushRow(int row) {
    const TrackRow& r = rows_[static_cast<std::size_t>(row)];
    port_->SetListRow(IDC_CD_TRACKS, row, r.texts);
    port_->SetRowCheck(IDC_CD_TRACKS, row, r.checked);
    port_->SetItemData(IDC_CD_TRACKS, row, r.genre);
}

// --- Loading the disc ------------------------------------------------------------------------

void CdGrabberDialog::OnInitDialog() {
    WindowPort& w = *port_;
    w.ResetContent(IDC_CD_GENRE);
    for (std::size_t code = 0; code < app_.genreList.size(); ++code) {
        int at = w.AddString(IDC_CD_GENRE, app_.genreList[code]);
        if (at >= 0) w.SetItemData(IDC_CD_GENRE, at, static_cast<long>(code));
    }
    w.SetColumns(IDC_CD_TRACKS, TrackColumnHeaders());
    w.SetRange(IDC_CD_INTROSPIN, 1, 120);
    w.Enable(IDC_CD_GETINFO, static_cast<bool>(getCdInfo));
    introOnly_ = app_.introOnly ? 1 : 0;
    introSeconds_ = app_.introSeconds;
    w.SetCheck(IDC_CD_INTROONLY, introOnly_);
    w.SetText(IDC_CD_INTROSECS, std::to_string(introSeconds_));
    if (LoadDisc() && !rows_.empty()) w.SetCurSel(IDC_CD_TRACKS, 0);
    w.Enable(IDC_CD_INTROSECS, introOnly_ == 1);
    w.Enable(IDC_CD_INTROSPIN, introOnly_ == 1);
}

void CdGrabberDialog::ClearTrackData() {
    session_.ClearTracks();
    session_.ForgetDisc();
    for (int t = 0; t < encoder::TagTable::kEntries; ++t)
        app_.tagTable[t] = encoder::Id3Tag{};
    currentRow_ = 0;
    artist_ = "Unknown";
    albumArtist_.clear();
    genreText_.clear();
    discId_.clear();
    extras_ = {};
    releaseId_.clear();
    discNumber_.clear();
    discTotal_.clear();
    recordingIds_.clear();
    RememberFullTexts({}, {});
    // The release's cover goes with the disc's names; a file the user chose stays.
    if (cover_.source == "coverartarchive") {
        cover_ = coverart::FoundCover{};
        if (port_) ShowCover();
    }
    app_.fullTags.clear();
}

bool CdGrabberDialog::LoadDisc() {
    WindowPort& w = *port_;
    rows_.clear();
    ClearTrackData();
    int count = DiscoverDrives(session_.drives, app_.appFolder);
    if (count < 0) {
        const std::string reason = NoDriveReason();
        w.MessageBox(
            "No IDE/ATAPI CD-ROM Drives Found!\n\nIf you have a CD-ROM drive installed "
            "in your system, then you must install the WINASPI driver from ADAPTEC, in "
            "order to be recognized by Orvane Encoder." +
                (reason.empty() ? std::string() : "\n\n" + reason),
            "", MB_ICONEXCLAMATION);
        w.PostCommand(IDCANCEL);
        return false;
    }
    session_.driveCount = count;
    w.ResetContent(IDC_CD_DRIVES);
    for (int i = 0; i < count; ++i) {
        const CdDrive& d = session_.drives[static_cast<std::size_t>(i)];
        std::string line = d.vendor + " " + d.product;
        // Drives of one make and model are told apart (and remembered) by their bus address.
        for (int k = 0; k < count; ++k) {
            const CdDrive& other = session_.drives[static_cast<std::size_t>(k)];
            if (k != i && other.vendor == d.vendor && other.product == d.product) {
                line += " (" + std::to_string(d.adapter) + ":" + std::to_string(d.target) + ")";
                break;
            }
        }
        w.AddString(IDC_CD_DRIVES, line);
    }
    // The saved drive's line, searched from the second line on and round to the first; with
    // no saved drive or no such line, the first drive.
    int selected = 0;
    if (!app_.lastCd.empty()) {
        for (int k = 1; k <= count; ++k) {
            int i = k % count;
            if (PrefixNoCase(w.ItemText(IDC_CD_DRIVES, i), app_.lastCd)) {
                selected = i;
                break;
            }
        }
    }
    w.SetCurSel(IDC_CD_DRIVES, selected);
    return RefreshDisc(false);
}

void CdGrabberDialog::OnRefresh() { RefreshDisc(true); }

bool CdGrabberDialog::RefreshDisc(bool clearList) {
    if (grabbing_) return false;
    WindowPort& w = *port_;
    if (clearList) {
        w.ResetContent(IDC_CD_TRACKS);
        rows_.clear();
        ClearTrackData();
    }
    if (session_.driveCount <= 0) return false;
    int selected = w.CurSel(IDC_CD_DRIVES);
    session_.selectedDrive = selected >= 0 && selected < session_.driveCount ? selected : 0;
    AspiResult result = session_.Drive().ReadToc(session_.toc);
    if (result != 1) {
        session_.ForgetDisc();
        UpdateSelectionTotals();
        w.MessageBox("No CD-Audio Disc Present in Drive!", "", MB_OK);
        CapabilityCheck();
        return false;
    }
    ComputeTrackArrays(session_);
    w.SetText(IDC_CD_DISCSIZE, DiscSizeText(session_.leadOut));
    for (int i = 0; i < session_.TrackCount(); ++i) {
        TrackRow row;
        row.texts = TrackRowTexts(session_, i, "", "");
        rows_.push_back(row);
        PushRow(i);
    }
    w.SetCurSel(IDC_CD_GENRE, kGenreDefaultPosition);
    selectAll_ = 0;
    w.SetText(IDC_CD_SELECTALL, "Select &All Tracks");
    std::time_t now = static_cast<std::time_t>(clock::Time());
    std::tm local{};
    localtime_r(&now, &local);
    year_ = std::to_string(local.tm_year + 1900);
    artist_ = "Unknown";
    album_ = "Unknown";
    WriteFields();
    SetInfoToAllRows();
    ReadExtras();
    ApplyCdText();
    UpdateSelectionTotals();
    CapabilityCheck();
    return true;
}

void CdGrabberDialog::ReadExtras() {
    extras_ = {};
    DiscExtras found;
    if (!readDiscExtras || !readDiscExtras(session_.selectedDrive, found)) return;
    // Only what the drive tells of the disc listed: a disc changed in between has other starts.
    const std::vector<std::uint32_t> starts = session_.disc.Starts();
    if (found.starts == starts) extras_ = std::move(found);
}

// The disc's own texts name it until a CD database entry does: the performer and title of the
// disc become the artist and album fields, each track's title its row's name, and a track
// performer other than the disc's that row's own artist (the disc's then the album artist).
void CdGrabberDialog::ApplyCdText() {
    if (!extras_.HasCdText()) return;
    if (!extras_.performer.empty()) artist_ = extras_.performer;
    if (!extras_.title.empty()) album_ = extras_.title;
    bool compilation = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const DiscExtras::Track* track = extras_.TrackNumbered(session_.disc.tracks[i].number);
        TrackRow& row = rows_[i];
        row.trackArtist.clear();
        std::string title = row.texts[0];
        if (track) {
            if (!track->title.empty()) title = track->title;
            if (track->performer != extras_.performer) row.trackArtist = track->performer;
        }
        compilation = compilation || !row.trackArtist.empty();
        SetRowTitle(static_cast<int>(i), title, row.trackArtist.empty() ? artist_ : row.trackArtist,
                    row.texts[6]);
    }
    albumArtist_ = compilation ? extras_.performer : std::string();
    WriteFields();
    RememberFullTexts(album_, {});
}

void CdGrabberDialog::RememberFullTexts(const std::string& album, const std::string& year) {
    fullAlbum_ = album;
    fullYear_ = year;
}

void CdGrabberDialog::CapabilityCheck() {
    std::uint8_t caps[28];
    // Only a drive that answered can be said to lack the capability.
    if (session_.Drive().QueryCdCapabilities(caps) != 1 || (caps[13] & 0x01)) return;
    int answer = port_->MessageBox(
        "Warning!: This CD-ROM doesn't support RAW Audio Reading !\nOrvane Encoder may not be "
        "able to grab audio tracks from CDA.\nDo you want to continue anyway ?",
        "", MB_YESNO | MB_ICONSTOP);
    if (answer == IDNO) port_->PostCommand(IDCANCEL);
}

// --- Rows ------------------------------------------------------------------------------------

void CdGrabberDialog::UpdateSelectionTotals() {
    std::vector<bool> checked;
    for (const TrackRow& r : rows_)
        checked.push_back(r.checked);
    SelectionTotals t = ComputeSelectionTotals(session_, checked);
    port_->SetText(IDC_CD_SELCOUNT, t.countText);
    port_->SetText(IDC_CD_SELSIZE, t.sizeText);
    port_->SetText(IDC_CD_SELTIME, t.timeText);
    checkedCount_ = t.count;
}

void CdGrabberDialog::OnRowChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    if (rows_[static_cast<std::size_t>(row)].checked == checked) return;
    rows_[static_cast<std::size_t>(row)].checked = checked;
    UpdateSelectionTotals();
}

bool CdGrabberDialog::OnLabelEdited(int row, const std::string& text) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    if (Utf8Length(text) > kRowNameLimit) return false;
    rows_[static_cast<std::size_t>(row)].texts[0] = text;
    return true;
}

void CdGrabberDialog::OnRowActivated(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    port_->SetCurSel(IDC_CD_TRACKS, row);
    if (!ReadFields()) return;
    StoreCurrentRow();
    WriteFields();
}

void CdGrabberDialog::OnTagFieldEdited(int controlId) {
    if (controlId == IDC_CD_ALBUM) fullAlbum_.clear();
    if (controlId == IDC_CD_YEAR) fullYear_.clear();
    OnTagFieldChanged();
}

void CdGrabberDialog::OnTagFieldChanged() {
    ReadTagFields();
    StoreCurrentRow();
}

void CdGrabberDialog::StoreCurrentRow() {
    if (rows_.empty()) return;
    WindowPort& w = *port_;
    if (currentRow_ == -1) currentRow_ = 0;
    int sel = w.CurSel(IDC_CD_TRACKS);
    if (sel >= 0 && sel < static_cast<int>(rows_.size())) currentRow_ = sel;
    TrackRow& row = rows_[static_cast<std::size_t>(currentRow_)];
    const std::string artist = row.trackArtist.empty() ? artist_ : row.trackArtist;
    encoder::Id3Tag& tag = app_.tagTable[currentRow_ + 1];
    tag.SetTitle(row.texts[0]);
    tag.SetArtist(artist);
    tag.SetAlbum(album_);
    tag.SetYear(year_);
    tag.SetComment(comment_);
    int genreSel = w.CurSel(IDC_CD_GENRE);
    std::string genreName = genreSel >= 0 ? w.ItemText(IDC_CD_GENRE, genreSel) : std::string();
    int code = GenreCodeOf(genreName);
    tag.SetGenre(code >= 0 ? code : static_cast<int>(row.genre));
    row.texts[5] = artist;
    row.texts[6] = genreName;
    w.SetListCell(IDC_CD_TRACKS, currentRow_, 5, artist);
    w.SetListCell(IDC_CD_TRACKS, currentRow_, 6, genreName);
    // The fields again from the row.
    artist_ = row.texts[5];
    if (!tag.Artist().empty()) artist_ = tag.Artist();
    if (!tag.Album().empty()) album_ = tag.Album();
    if (!tag.Comment().empty()) comment_ = tag.Comment();
    if (!tag.Year().empty()) year_ = tag.Year().substr(0, 4);
    SelectGenre(GenreNameOf(tag.Genre()));
}

void CdGrabberDialog::OnSelectAll() {
    bool check = selectAll_ != 1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].checked = check;
        port_->SetRowCheck(IDC_CD_TRACKS, static_cast<int>(i), check);
    }
    selectAll_ = check ? 1 : 0;
    port_->SetText(IDC_CD_SELECTALL, check ? "Deselect &All Tracks" : "Select &All Tracks");
    UpdateSelectionTotals();
    port_->Redraw();
}

void CdGrabberDialog::SetInfoToAllRows() {
    WindowPort& w = *port_;
    int sel = w.CurSel(IDC_CD_GENRE);
    std::string genre = sel >= 0 ? w.ItemText(IDC_CD_GENRE, sel) : std::string();
    if (genre.empty() || rows_.empty()) return;
    long code = w.ItemData(IDC_CD_GENRE, sel);
    // The user's artist for every track: a compilation's own artists give way to it.
    albumArtist_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].trackArtist.clear();
        rows_[i].texts[5] = artist_;
        rows_[i].texts[6] = genre;
        rows_[i].genre = code;
        w.SetListCell(IDC_CD_TRACKS, static_cast<int>(i), 5, artist_);
        w.SetListCell(IDC_CD_TRACKS, static_cast<int>(i), 6, genre);
        w.SetItemData(IDC_CD_TRACKS, static_cast<int>(i), code);
    }
}

void CdGrabberDialog::OnSetInfoToAll() {
    if (!ReadFields()) return;
    SetInfoToAllRows();
}

void CdGrabberDialog::SetRowTitle(int row, const std::string& title, const std::string& artist,
                                  const std::string& genre) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    TrackRow& r = rows_[static_cast<std::size_t>(row)];
    r.texts[0] = title;
    r.texts[5] = artist;
    r.texts[6] = genre;
    PushRow(row);
}

// --- Buttons ---------------------------------------------------------------------------------

void CdGrabberDialog::OnGrabNow() {
    if (grabbing_ || !ReadFields()) return;
    int sel = port_->CurSel(IDC_CD_DRIVES);
    if (sel >= 0 && sel < session_.driveCount) session_.selectedDrive = sel;
    GrabToFolderRequest request;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].checked) {
            tags::TrackTags fields = FullTagsOf(i);
            // The row's genre column names the genre where the entry gave no text of its own.
            if (!fields.Has(tags::TagField::Genre))
                fields.Set(tags::TagField::Genre, GenreNameOf(static_cast<int>(rows_[i].genre)));
            request.rows.push_back({static_cast<int>(i), rows_[i].texts[0], std::move(fields)});
        }
    request.namePattern = app_.namePattern;
    request.introOnly = introOnly_ == 1;
    request.introSeconds = introSeconds_;
    request.cdRead.speed = app_.cdaReadSpeed;
    if (app_.settings) {
        request.read = LoadRipSettings(*app_.settings, session_.Drive()).read;
        request.cdRead.speed = LoadReadSpeed(*app_.settings, session_.Drive(), app_.cdaReadSpeed);
    }
    request.cdRead.deemphasis = app_.cdaDeemphasis != 0;
    // The read may take long on a damaged disc: away from the window's thread, the window
    // stays drawn and its progress window's Cancel is seen between two requests.
    grabbing_ = true;
    const auto grab = [this, &request] {
        GrabToFolder(session_, request, *port_, openProgress, app_.cdaReadBufferSize);
    };
    if (runGrab) {
        runGrab(grab);
    } else {
        grab();
    }
    grabbing_ = false;
}

void CdGrabberDialog::OnCdPlayer() {
    std::string path = CdPlayerPath(modulePath);
    if (!startProgram || !startProgram(path))
        port_->MessageBox(CdString(IDS_NO_CD_PLAYER), "", MB_ICONSTOP);
}

void CdGrabberDialog::OnCdaSettings() { port_->DoModal(IDD_CDA_SETTINGS); }

void CdGrabberDialog::OnGetCdInfo() {
    if (fetching_) return;
    if (rows_.empty()) {
        port_->MessageBox("Please Insert an Audio CD in the current CD-ROM drive.", "", MB_OK);
        return;
    }
    if (!getCdInfo) return;
    CdInfo info = CdTextInfo();
    if (!getCdInfo(session_.disc, info)) return;
    ApplyCdInfo(info);
    // The release's cover, unless the user chose a file of their own; another release's goes.
    if (cover_.source == "coverartarchive") {
        cover_ = coverart::FoundCover{};
        ShowCover();
    }
    if (fetchCover && !releaseId_.empty() && cover_.source != "file") {
        port_->SetWaitCursor(true);
        fetching_ = grabbing_ = true;
        fetchCancelled_ = false;
        cover_ = fetchCover(releaseId_, [this] { return fetchCancelled_.load(); });
        fetching_ = grabbing_ = false;
        port_->SetWaitCursor(false);
        ShowCover();
    }
}

void CdGrabberDialog::OnCover() {
    if (grabbing_) return;
    WindowPort& w = *port_;
    const std::string path = w.ChooseOpenFile(
        "Cover", "Images (*.jpg;*.jpeg;*.png)|*.jpg;*.jpeg;*.png|All Files (*.*)|*.*||", "");
    if (path.empty()) {
        if (cover_.picture &&
            w.MessageBox("Rip without a cover picture?", "", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            cover_ = coverart::FoundCover{};
            cover_.why = "none chosen";
            ShowCover();
        }
        return;
    }
    coverart::CoverRequest request;
    request.from = coverart::CoverRequest::From::File;
    request.file = path;
    coverart::FoundCover found = coverart::FindCover(request);
    if (!found.picture) {
        w.MessageBox("The picture cannot be used: " + found.why, "", MB_OK | MB_ICONSTOP);
        return;
    }
    cover_ = std::move(found);
    ShowCover();
}

void CdGrabberDialog::ShowCover() {
    WindowPort& w = *port_;
    const tags::Picture* p = cover_.picture.get();
    w.SetImage(IDC_CD_COVERIMAGE, p ? p->bytes : std::vector<unsigned char>{});
    w.SetText(IDC_CD_COVERSIZE, p ? std::to_string(p->width) + " x " + std::to_string(p->height)
                                  : std::string("No cover"));
}

CdInfo CdGrabberDialog::CdTextInfo() const { return CdTextInfoOf(extras_, session_); }

CdInfo CdTextInfoOf(const DiscExtras& extras, const CdSession& session) {
    CdInfo info;
    if (!extras.HasCdText()) return info;
    info.artist = extras.performer;
    info.album = extras.title;
    for (int i = 0; i < session.TrackCount(); ++i) {
        const int number = session.Track(i).number;
        const DiscExtras::Track* track = extras.TrackNumbered(number);
        std::string title = track ? track->title : std::string();
        if (title.empty()) title = "Track" + std::to_string(i + 1);
        info.trackTitles.push_back(title);
        info.trackArtists.push_back(track && track->performer != extras.performer ? track->performer
                                                                                  : std::string());
    }
    return info;
}

void CdGrabberDialog::ApplyCdInfo(const CdInfo& info) {
    artist_ = info.artist;
    WindowPort& w = *port_;
    for (int i = 0; i < w.Count(IDC_CD_GENRE); ++i) {
        const std::string entry = w.ItemText(IDC_CD_GENRE, i);
        if (!info.category.empty() &&
            ::strncasecmp(entry.c_str(), info.category.c_str(), info.category.size()) == 0) {
            w.SetCurSel(IDC_CD_GENRE, i);
            break;
        }
    }
    bool compilation = false;
    for (const std::string& a : info.trackArtists)
        compilation = compilation || !a.empty();
    albumArtist_ = compilation ? info.artist : std::string();
    genreText_ = info.genre;
    discId_ = info.discId;
    releaseId_ = info.releaseId;
    recordingIds_ = info.recordingIds;
    discNumber_ = info.discNumber;
    discTotal_ = info.discTotal;
    for (TrackRow& row : rows_)
        row.trackArtist.clear();
    for (std::size_t i = 0; i < info.trackTitles.size() && i < rows_.size(); ++i) {
        const std::string own = i < info.trackArtists.size() ? info.trackArtists[i] : "";
        rows_[i].trackArtist = own;
        SetRowTitle(static_cast<int>(i), info.trackTitles[i], own.empty() ? info.artist : own,
                    info.category);
    }
    album_ = info.album;
    if (!info.year.empty()) year_ = info.year;
    w.SetText(IDC_CD_ARTIST, artist_);
    w.SetText(IDC_CD_ALBUM, album_);
    if (!info.year.empty()) w.SetText(IDC_CD_YEAR, year_);
    RememberFullTexts(info.album, info.year);
}

tags::TrackTags CdGrabberDialog::FullTagsOf(std::size_t i) const {
    tags::TrackTags t;
    t.Set(tags::TagField::Title, rows_[i].texts[0]);
    t.Set(tags::TagField::Artist, rows_[i].texts[5]);
    t.Set(tags::TagField::Album, fullAlbum_.empty() ? album_ : fullAlbum_);
    t.Set(tags::TagField::AlbumArtist, albumArtist_);
    t.Set(tags::TagField::Year, fullYear_.empty() ? year_ : fullYear_);
    t.Set(tags::TagField::TrackNumber, std::to_string(i + 1));
    t.Set(tags::TagField::TrackTotal, std::to_string(rows_.size()));
    t.Set(tags::TagField::Genre, genreText_);
    t.Set(tags::TagField::CddbDiscId, discId_);
    if (const DiscExtras::Track* track = extras_.TrackNumbered(session_.disc.tracks[i].number))
        t.Set(tags::TagField::Isrc, track->isrc);
    t.Set(tags::TagField::MusicBrainzDiscId, extras_.musicBrainzDiscId);
    t.Set(tags::TagField::MusicBrainzReleaseId, releaseId_);
    if (i < recordingIds_.size()) t.Set(tags::TagField::MusicBrainzRecordingId, recordingIds_[i]);
    t.Set(tags::TagField::DiscNumber, discNumber_);
    t.Set(tags::TagField::DiscTotal, discTotal_);
    return t;
}

void CdGrabberDialog::OnIntroOnly() {
    introOnly_ = port_->Check(IDC_CD_INTROONLY) ? 1 : 0;
    port_->Enable(IDC_CD_INTROSECS, introOnly_ == 1);
    port_->Enable(IDC_CD_INTROSPIN, introOnly_ == 1);
}

void CdGrabberDialog::OnOK() {
    WindowPort& w = *port_;
    if (grabbing_ || !ReadFields()) return;
    if (checkedCount_ < 1) {
        w.MessageBox(CdString(IDS_NO_TRACK_SELECTED), "", MB_ICONSTOP);
        return;
    }
    // The disc's place in an album of several, as the user typed it; empty: as the names tell.
    int discNumber = 0, discCount = 0;
    const std::string discText = w.Text(IDC_CD_DISC);
    if (!discText.empty() && !ParseDiscNumber(discText, discNumber, discCount)) {
        w.MessageBox(
            "Please enter the disc as its number, or its number and the album's count "
            "of discs (2 or 2/3).",
            "", MB_ICONEXCLAMATION);
        return;
    }
    // An image is the disc's audio as it lies: the intros of its tracks are no image of it.
    if (introOnly_ == 1 && app_.settings &&
        LoadRipSettings(*app_.settings, session_.Drive()).image) {
        w.MessageBox(
            "The disc's image holds whole tracks: clear \"Grab Intro Only.\", or the "
            "image in the CDA settings.",
            "", MB_ICONEXCLAMATION);
        return;
    }
    for (std::size_t i = 0; i < rows_.size(); ++i)
        app_.tagTable[static_cast<int>(i) + 1] = encoder::Id3Tag{};
    StoreCurrentRow();
    session_.checked.clear();
    session_.names.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const TrackRow& row = rows_[i];
        session_.checked.push_back(row.checked ? 1 : 0);
        session_.names.push_back(row.texts[0]);
        encoder::Id3Tag& tag = app_.tagTable[static_cast<int>(i) + 1];
        tag.SetMarker();
        tag.SetTitle(row.texts[0]);
        tag.SetArtist(row.texts[5]);
        tag.SetAlbum(album_);
        tag.SetYear(year_);
        // Every row keeps the genre shown in its genre column, not only the current one.
        if (static_cast<int>(i) != currentRow_) tag.SetGenre(static_cast<int>(row.genre));
    }
    // The full texts of the same tags (ID3v2 and the other formats): no 30-byte limit, and
    // what the CD database knows beyond the fields.
    app_.fullTags.assign(rows_.size() + 1, tags::TrackTags{});
    for (std::size_t i = 0; i < rows_.size(); ++i)
        app_.fullTags[i + 1] = FullTagsOf(i);
    // The front cover as Rip\CoverArt says: in every track's tag and beside the tracks.
    coverart::CoverMode mode = coverart::CoverMode::EmbedAndFile;
    if (app_.settings &&
        !coverart::ParseCoverMode(app_.settings->GetProfileString("Rip", "CoverArt", ""), mode))
        mode = coverart::CoverMode::EmbedAndFile;
    const bool cover = cover_.picture && mode != coverart::CoverMode::None;
    if (cover && coverart::Embeds(mode))
        for (tags::TrackTags& t : app_.fullTags)
            t.SetFrontPicture(cover_.picture);
    app_.cdSelection.coverFile = cover && coverart::Files(mode) ? cover_.picture : nullptr;
    app_.cdSelection.coverNote = cover_.picture || cover_.source != "none" || !cover_.why.empty()
                                     ? coverart::DescribeCover(cover_)
                                     : std::string();
    if (rows_.empty()) {
        w.MessageBox(CdString(IDS_SELECT_ONE_TRACK), "", MB_OK);
        return;
    }
    int sel = w.CurSel(IDC_CD_DRIVES);
    session_.selectedDrive = sel >= 0 && sel < session_.driveCount ? sel : 0;
    app_.lastCd = sel >= 0 ? w.ItemText(IDC_CD_DRIVES, sel) : std::string();
    app_.introOnly = introOnly_;
    app_.introSeconds = introSeconds_;
    encoder::CdHandOver& cd = app_.cdSelection;
    cd.driveIndex = session_.selectedDrive;
    cd.leadOut = session_.leadOut;
    cd.checked = session_.checked;
    cd.names = session_.names;
    cd.trackCount = checkedCount_;
    cd.introOnly = introOnly_ == 1;
    cd.introSeconds = introSeconds_;
    cd.readBufferSize = app_.cdaReadBufferSize;
    cd.readSpeed = app_.cdaReadSpeed;
    // A disc of a release of several media (as MusicBrainz named it): its log and cue sheet
    // are "CD n", as its tags say.
    int disc = 0, discs = 0;
    cd.discOfSet = DiscOfRelease(discNumber_, discTotal_, disc, discs) ? disc : 0;
    if (discNumber > 0) {
        // The number typed wins over the names' and MusicBrainz's; an album title that ends
        // with the disc's place loses it, as the album is the same on each disc.
        encoder::JobRequest set;
        set.fullTags = std::move(app_.fullTags);
        set.tags = app_.tagTable;
        int titled = 0, titledCount = 0;
        std::string album;
        DiscOfAlbumTitle(fullAlbum_.empty() ? album_ : fullAlbum_, titled, titledCount, album);
        SetDiscOfSet(set, discNumber, discCount, album);
        app_.fullTags = std::move(set.fullTags);
        app_.tagTable = set.tags;
        cd.discOfSet = set.cd.discOfSet;
    }
    if (app_.settings) {
        cd.readSpeed = LoadReadSpeed(*app_.settings, session_.Drive(), app_.cdaReadSpeed);
        // Verified ripping as the settings window left it; all off reads as ever.
        ApplyRipSettings(LoadRipSettings(*app_.settings, session_.Drive()), cd);
    }
    if (app_.settings) {
        app_.settings->WriteProfileString("Preferences", "LastCD", app_.lastCd);
        app_.settings->WriteProfileInt("Preferences", "IntroOnly", introOnly_);
        app_.settings->WriteProfileInt("Preferences", "IntroSeconds", introSeconds_);
    }
    w.EndDialog(IDOK);
}

void CdGrabberDialog::OnCancel() {
    if (fetching_) {
        fetchCancelled_ = true;
        return;
    }
    if (!grabbing_) port_->EndDialog(IDCANCEL);
}

// --- CDA settings ----------------------------------------------------------------------------

std::string StoreReadBufferSize(int value) {
    CRegistry registry;
    if (!registry.Connect(HKEY_LOCAL_MACHINE))
        return "Error: Can't open HKEY_LOCAL_MACHINE from registry.";
    if (!registry.Open("Software\\Orvane Systems\\Orvane Encoder\\3.00",
                       KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE))
        return CdString(IDS_REGISTRY_PATH);
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    registry.SetStringValue("CDAReadBufferSize", text);
    registry.Close();
    return {};
}

void CdaSettingsDialog::OnInitDialog() {
    port_->SetRange(IDC_CDA_BUFFERSPIN, 1, kReadBufferFrames);
    port_->SetText(IDC_CDA_BUFFER, std::to_string(app_.cdaReadBufferSize));
    static const CdDrive kNoDrive;
    const CdDrive& d = drive ? *drive : kNoDrive;
    const RipSettings rip = app_.settings ? LoadRipSettings(*app_.settings, d) : RipSettings{};
    port_->SetText(IDC_CDA_OFFSET, std::to_string(rip.read.offset));
    const std::string identity = DriveIdentity(d);
    port_->SetText(IDC_CDA_OFFSETDRIVE, identity.empty() ? "" : "for " + identity);
    port_->Enable(IDC_CDA_OFFSET, !identity.empty());
    port_->ResetContent(IDC_CDA_READMODE);
    for (const char* mode : {"Burst", "Secure", "Test and copy"})
        port_->AddString(IDC_CDA_READMODE, mode);
    port_->SetCurSel(IDC_CDA_READMODE, static_cast<int>(rip.read.mode));
    port_->SetCheck(IDC_CDA_ACCURATERIP, rip.accurateRip ? 1 : 0);
    port_->SetCheck(IDC_CDA_CTDB, rip.ctdb ? 1 : 0);
    ctdbChosen_ = app_.settings && app_.settings->GetProfileInt("Rip", "CTDB", 2) != 2;
    ctdbClicked_ = false;
    port_->SetCheck(IDC_CDA_EJECT, rip.eject ? 1 : 0);
    port_->SetCheck(IDC_CDA_IMAGE, rip.image ? 1 : 0);
    // In the order of rip::PregapChoice.
    port_->ResetContent(IDC_CDA_PREGAPS);
    for (const char* choice : {"End the previous track", "Start their own track", "Left out"})
        port_->AddString(IDC_CDA_PREGAPS, choice);
    port_->SetCurSel(IDC_CDA_PREGAPS, static_cast<int>(rip.pregaps));
    // The speed shown and stored is the current drive's own.
    const int speed =
        app_.settings ? LoadReadSpeed(*app_.settings, d, app_.cdaReadSpeed) : app_.cdaReadSpeed;
    port_->SetText(IDC_CDA_SPEED, std::to_string(speed));
    port_->SetCheck(IDC_CDA_DEEMPHASIS, app_.cdaDeemphasis);
}

void CdaSettingsDialog::OnAccurateRip() {
    if (!ctdbChosen_ && !ctdbClicked_)
        port_->SetCheck(IDC_CDA_CTDB, port_->Check(IDC_CDA_ACCURATERIP) == 1 ? 1 : 0);
}

bool CdaSettingsDialog::OnOK() {
    int value = 0;
    // More frames than one read request holds would be stored, yet never read at once.
    if (!ParseInt(port_->Text(IDC_CDA_BUFFER), 1, kReadBufferFrames, value)) {
        port_->MessageBox(RangeMessage(1, kReadBufferFrames), "", MB_ICONEXCLAMATION);
        return false;
    }
    int speed = 0;
    if (!ParseInt(port_->Text(IDC_CDA_SPEED), 0, encoder::EncoderApp::kMaxCdaReadSpeed, speed)) {
        port_->MessageBox(RangeMessage(0, encoder::EncoderApp::kMaxCdaReadSpeed), "",
                          MB_ICONEXCLAMATION);
        return false;
    }
    static const CdDrive kNoDrive;
    const CdDrive& d = drive ? *drive : kNoDrive;
    RipSettings rip = app_.settings ? LoadRipSettings(*app_.settings, d) : RipSettings{};
    if (!DriveIdentity(d).empty() &&
        !ParseReadOffset(port_->Text(IDC_CDA_OFFSET), rip.read.offset)) {
        port_->MessageBox(RangeMessage(-kMaxReadOffset, kMaxReadOffset), "", MB_ICONEXCLAMATION);
        return false;
    }
    const int mode = port_->CurSel(IDC_CDA_READMODE);
    rip.read.mode = static_cast<ReadMode>(mode >= 0 && mode <= 2 ? mode : 0);
    rip.accurateRip = port_->Check(IDC_CDA_ACCURATERIP) == 1;
    rip.ctdb = port_->Check(IDC_CDA_CTDB) == 1;
    rip.eject = port_->Check(IDC_CDA_EJECT) == 1;
    rip.image = port_->Check(IDC_CDA_IMAGE) == 1;
    const int pregaps = port_->CurSel(IDC_CDA_PREGAPS);
    if (pregaps >= 0 && pregaps <= 2) rip.pregaps = static_cast<rip::PregapChoice>(pregaps);
    if (app_.settings) StoreRipSettings(*app_.settings, d, rip);
    app_.cdaReadBufferSize = value;
    // A named drive keeps its own speed; the shared one stays the default of the others.
    if (DriveIdentity(d).empty()) app_.cdaReadSpeed = speed;
    app_.cdaDeemphasis = port_->Check(IDC_CDA_DEEMPHASIS) ? 1 : 0;
    std::string failure = StoreReadBufferSize(value);
    bool stored = true;
    if (app_.settings) {
        stored &= StoreReadSpeed(*app_.settings, d, speed);
        stored &=
            app_.settings->WriteProfileInt("Preferences", "CDADeemphasis", app_.cdaDeemphasis);
    }
    if (failure.empty() && !stored) failure = CdString(IDS_REGISTRY_PATH);
    if (!failure.empty()) port_->MessageBox(failure, "", MB_ICONSTOP);
    port_->EndDialog(IDOK);
    return true;
}

}  // namespace orvane::cdda
