#include "encoder/cdda/cdda_strings.h"

#include "encoder/app/strings.h"
#include "encoder/cdda/resource_cdda.h"

namespace orvane::cdda {

std::string CdString(int id) {
    switch (id) {
        case IDS_READING_RAW:
            return "Reading RAW Audio...";
        case IDS_SELECT_WAV_FOLDER:
            return "Select a Folder where to Save the WAV files...";
        case IDS_NO_TRACK_SELECTED:
            return "You did not selected any Audio track for reading...!";
        case IDS_CANT_READ_RAW:
            return "Error: Can't read RAW Audio Data.";
        case IDS_INVALID_PATH:
            return "Error: You had selected an invalid path.";
        case IDS_SELECT_ONE_TRACK:
            return "You must select at least one track in order to continue !";
        case IDS_REGISTRY_PATH:
            return "Fatal Error: Can't Find the Specified Path in Registry.\nMaybe the Windows "
                   "Registry is Corrupted!!";
        case IDS_NO_CD_PLAYER:
            return "Cannot execute Orvane CD Player, Tarvo.EXE can't be found!\nMaybe it was not "
                   "installed.";
        default:
            return encoder::LoadString(id);
    }
}

}  // namespace orvane::cdda
