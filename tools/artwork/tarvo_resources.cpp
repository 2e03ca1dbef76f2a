#include <QtGlobal>

#include "tools/artwork/resources.h"

static void InitTarvo() { Q_INIT_RESOURCE(tarvo_artwork); }

namespace orvane::artwork {

void InitTarvoResources() { InitTarvo(); }

}  // namespace orvane::artwork
