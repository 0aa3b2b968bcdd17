#pragma once

#include <QString>

namespace kestrava {

// Without a display Qt ends the process with an abort. Asked before the application object exists:
// empty when the window system can be reached (or another platform was chosen with QT_QPA_PLATFORM),
// else what to tell the administrator.
QString displayProblem();

} // namespace kestrava
