#pragma once
// The windows of CD grabbing: the grabber dialog 143, the progress window 108 and the CDA
// settings dialog 159, bound to their logic in encoder/cdda.

#include <QWidget>
#include <functional>
#include <string>

#include "encoder/cdda/grab.h"
#include "encoder/cdda/grabber_dialog.h"
#include "encoder/cdda/verified_rip.h"

namespace orvane::cdda::ui {

// The grabber dialog, modal over owner, on the application's CD session; IDOK or IDCANCEL.
int RunCdGrabber(QWidget* owner);
// The CDA settings dialog, modal over owner; IDOK or IDCANCEL.
int RunCdaSettings(QWidget* owner);
// Opens progress windows 108 owned by owner (null: the active window), from the GUI thread or
// from a worker thread (the window then lives on the GUI thread and is driven through its
// port).
OpenProgressFn ProgressWindowOpener(QWidget* owner);

// "&Get CD Info": the look-up of the listed disc's names installs itself here; the grabber's
// button is enabled only when it is set. It runs on the GUI thread over the grabber's window
// (owner) and returns what it found; the grabber's logic then names the rows.
using CdInfoLookup = std::function<bool(QWidget* owner, const cdrom::DiscInfo& disc, CdInfo& info)>;
CdInfoLookup& GetCdInfoHook();

// What a drive tells beyond its track list (ISRCs, CD-Text): the program installs the reader
// here; without it the grabber lists a disc as its table of contents gives it.
using DiscExtrasReader = std::function<bool(int driveIndex, DiscExtras& extras)>;
DiscExtrasReader& GetDiscExtrasHook();

// Offers the grabber to the wizard (the CD-Audio source) and turns the source on.
void RegisterCddaViews();
// Makes the CD-Audio jobs grab their tracks with progress windows, and write the disc as one
// image or several formats of one read when asked (cd_rip_jobs.h); each verified rip's report
// goes to report at the job's end (may be empty). RegisterCddaViews installs them without one.
void InstallCdJobs(RipReportSink report);

// Writes pictures of the grabber dialog (as it opens, and with a front cover chosen), the
// progress window and the CDA settings dialog (grabber-dialog.png, grabber-cover.png,
// grab-progress.png, cda-settings.png) into folder; false when one is missing.
bool WriteCddaScreenshots(const std::string& folder);

}  // namespace orvane::cdda::ui
