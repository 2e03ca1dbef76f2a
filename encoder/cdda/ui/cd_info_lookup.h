#pragma once
// The grabber's "&Get CD Info" as the program runs it: the source of "CDInfoSource" asked, the
// match list offering the answers when several releases (and the disc's CD-Text) are at hand.

#include "encoder/app/encoder_app.h"
#include "encoder/cdda/ui/cdda_views.h"

namespace orvane::cdda::ui {

// The look-up for GetCdInfoHook(): 0 asks the CD database through its match list; 1 asks
// MusicBrainz; 2 asks MusicBrainz and then the CD database when MusicBrainz knows nothing.
// One answer is taken as it is; several (releases, and CD-Text beside MusicBrainz's) are
// offered in the match list and the chosen one names the rows.
CdInfoLookup CdInfoLookupOf(encoder::EncoderApp& app);

}  // namespace orvane::cdda::ui
