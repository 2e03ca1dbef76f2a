#include "encoder/app/tag_dialog.h"

#include "common/tag_fields.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/tags/id3v2.h"

namespace orvane::encoder {

void TagDialog::OnInitDialog() {
    WindowPort& w = *port_;
    w.ResetContent(IDC_TAG_GENRE);
    for (std::size_t code = 0; code < app_.genreList.size(); ++code) {
        int at = w.AddString(IDC_TAG_GENRE, app_.genreList[code]);
        if (at >= 0) w.SetItemData(IDC_TAG_GENRE, at, static_cast<long>(code));
    }
    if (app_.singleFileTagSet) {
        // The texts as typed where they are kept; the record holds them in Windows-1252.
        const tags::TrackTags full = WithId3v1Fallback(
            app_.fullTags.size() > 1 ? app_.fullTags[1] : tags::TrackTags{}, app_.tagTable[1]);
        w.SetText(IDC_TAG_TITLE, full.Get(tags::TagField::Title));
        w.SetText(IDC_TAG_ARTIST, full.Get(tags::TagField::Artist));
        w.SetText(IDC_TAG_ALBUM, full.Get(tags::TagField::Album));
        w.SetText(IDC_TAG_COMMENT, full.Get(tags::TagField::Comment));
        w.SetText(IDC_TAG_YEAR, full.Get(tags::TagField::Year));
    }
    w.SetCurSel(IDC_TAG_GENRE, 0);
    genreCode_ = 0;
}

void TagDialog::OnOK() {
    WindowPort& w = *port_;
    int sel = w.CurSel(IDC_TAG_GENRE);
    if (sel >= 0) genreCode_ = static_cast<int>(w.ItemData(IDC_TAG_GENRE, sel));
    Id3Tag& tag = app_.tagTable[1];
    tag.SetMarker();
    tag.SetTitle(w.Text(IDC_TAG_TITLE));
    tag.SetArtist(w.Text(IDC_TAG_ARTIST));
    tag.SetAlbum(w.Text(IDC_TAG_ALBUM));
    tag.SetComment(w.Text(IDC_TAG_COMMENT));
    tag.SetYear(w.Text(IDC_TAG_YEAR));
    tag.SetGenre(genreCode_);
    // The texts as typed, for the tags that are not limited to Windows-1252 (ID3v2 and the
    // other formats); they replace whatever the grabber left for its first track.
    if (app_.fullTags.size() < 2) app_.fullTags.resize(2);
    tags::TrackTags& full = app_.fullTags[1];
    full = {};
    full.Set(tags::TagField::Title, w.Text(IDC_TAG_TITLE));
    full.Set(tags::TagField::Artist, w.Text(IDC_TAG_ARTIST));
    full.Set(tags::TagField::Album, w.Text(IDC_TAG_ALBUM));
    full.Set(tags::TagField::Comment, w.Text(IDC_TAG_COMMENT));
    full.Set(tags::TagField::Year, w.Text(IDC_TAG_YEAR));
    app_.singleFileTagSet = 1;
    w.EndDialog(IDOK);
}

void TagDialog::OnCancel() { port_->EndDialog(IDCANCEL); }

}  // namespace orvane::encoder
