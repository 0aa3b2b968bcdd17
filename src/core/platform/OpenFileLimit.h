#pragma once

namespace kestrava {

// Every connection costs a descriptor: the soft limit is raised to the hard one. Returns the soft
// limit in force afterwards, or -1 when it cannot be read.
long raiseOpenFileLimit();

} // namespace kestrava
