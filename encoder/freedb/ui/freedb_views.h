#pragma once
// The CD database windows: the server list 186, the match list 620 and the Internet options
// dialog 183, each laid out here, bound to its logic (encoder/freedb/freedb_dialogs.h) through
// a window port and run modally over an owner.
//
// Entry points for the rest of the program:
//  - The CD grabber's "&Get CD Info": LookUpDisc(app, trackLbas, leadOutLba, result, owner)
//    computes the disc id from the track starts and the lead-out (logical block addresses,
//    as the table of contents gives them), runs the match list against the configured server
//    (directly or through the proxy of the settings) and, when it returns IDOK, result holds
//    the artist, the album title, the category and the track titles in disc order (UTF-8).
//    A grabber whose logic runs dialogs through WindowPort::DoModal can instead own a
//    CFreeDBQueryDlg, call SetDisc() on it and register RunQueryDialog for IDD_FREEDB_QUERY.
//  - The wizard's "&Options" button: RegisterOptionsWithWizard(app) makes the wizard offer the
//    Internet options dialog for its DoModal(IDD_INTERNET_OPTIONS) request and enables the
//    button; RunInternetOptions runs the dialog directly.

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/freedb/freedb_dialogs.h"

namespace orvane::encoder {
struct EncoderApp;
}

namespace orvane::freedb::ui {

int RunServersDialog(CFreeDBServersDlg& dialog, QWidget* owner);
int RunQueryDialog(CFreeDBQueryDlg& dialog, QWidget* owner);
int RunInternetOptions(encoder::EncoderApp& app, QWidget* owner);
// The match list over answers already found (several releases, the disc's CD-Text): IDOK with
// dialog.Chosen() set, or IDCANCEL.
int RunMatchChoice(CMatchChoiceDlg& dialog, QWidget* owner);

struct DiscLookup {
    std::string artist;
    std::string album;
    std::string category;
    std::vector<std::string> trackTitles;   // a compilation's without their artists
    std::vector<std::string> trackArtists;  // one per title; empty: the disc's artist
    std::string year, genre;                // the entry's DYEAR and DGENRE
    std::string discId;                     // eight lower-case hexadecimal digits
};

// Returns IDOK with result filled, or IDCANCEL (the user cancelled, or nothing was found and
// the user was told so).
int LookUpDisc(encoder::EncoderApp& app, const std::vector<std::uint32_t>& trackLbas,
               std::uint32_t leadOutLba, DiscLookup& result, QWidget* owner);

void RegisterOptionsWithWizard(encoder::EncoderApp& app);

}  // namespace orvane::freedb::ui
