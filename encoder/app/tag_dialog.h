#pragma once
// The tag dialog 162 "ID3 Tag Information for selected Track/Song...": the single-file tag,
// kept in the record of track 1.

#include "platform/window/window_port.h"

namespace orvane::encoder {

struct EncoderApp;

class TagDialog {
public:
    explicit TagDialog(EncoderApp& app) : app_(app) {}
    void Attach(WindowPort* port) { port_ = port; }

    // Fills the sorted genre list (item data = genre code) and, once a tag was confirmed,
    // the five texts from the track-1 record; selects the first item.
    void OnInitDialog();
    // Builds the track-1 record from the texts and the selected genre, marks the tag as set
    // and closes with IDOK.
    void OnOK();
    void OnCancel();

    int GenreCode() const { return genreCode_; }

private:
    EncoderApp& app_;
    WindowPort* port_ = nullptr;
    int genreCode_ = 0;
};

}  // namespace orvane::encoder
