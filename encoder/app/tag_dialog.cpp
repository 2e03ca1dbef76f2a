#include "encoder/app/tag_dialog.h"

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"

namespace orvane::encoder {

void TagDialog::OnInitDialog() {
    WindowPort& w = *port_;
    w.ResetContent(IDC_TAG_GENRE);
    for (std::size_t code = 0; code < app_.genreList.size(); ++code) {
        int at = w.AddString(IDC_TAG_GENRE, app_.genreList[code]);
        if (at >= 0) w.SetItemData(IDC_TAG_GENRE, at, static_cast<long>(code));
    }
    if (app_.singleFileTagSet) {
        const Id3Tag& tag = app_.tagTable[1];
        w.SetText(IDC_TAG_TITLE, tag.Title());
        w.SetText(IDC_TAG_ARTIST, tag.Artist());
        w.SetText(IDC_TAG_ALBUM, tag.Album());
        w.SetText(IDC_TAG_COMMENT, tag.Comment());
        w.SetText(IDC_TAG_YEAR, tag.Year());
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
    app_.singleFileTagSet = 1;
    w.EndDialog(IDOK);
}

void TagDialog::OnCancel() { port_->EndDialog(IDCANCEL); }

}  // namespace orvane::encoder
