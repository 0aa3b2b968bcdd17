#include "core/platform/OpenFileLimit.h"

namespace kestrava {

// No per-process descriptor limit to raise here.
long raiseOpenFileLimit() {
    return -1;
}

} // namespace kestrava
