#pragma once

namespace kestrava::agent {

// Which programs an ordinary user may run: any program (Any), or only code the administrator installed
// (Installed: the exam-room setting, against programs a user builds or edits).
enum class UserPrograms { Any, Installed };

} // namespace kestrava::agent
