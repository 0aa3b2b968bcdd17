#pragma once

#include "agent/state/StateFile.h"

#include <QString>

namespace kestrava::agent {

// What --status prints: the link, the policy, the internet state and the next change, as the saved
// state gives them at the moment localNow (the console's clock is taken from the saved offset).
QString statusText(const SavedState& state, const QDateTime& localNow);

} // namespace kestrava::agent
