#include <QtGlobal>

#include "tools/artwork/resources.h"

static void InitPlimo() { Q_INIT_RESOURCE(plimo_artwork); }

namespace orvane::artwork {

void InitPlimoResources() { InitPlimo(); }

}  // namespace orvane::artwork
