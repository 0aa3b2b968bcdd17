#include "core/platform/EventDispatcher.h"

namespace kestrava {

// Qt's own dispatcher serves where the platform has none of ours.
bool installEventDispatcher() {
    return false;
}

bool setPlatformPass(PlatformPass) {
    return false;
}

} // namespace kestrava
