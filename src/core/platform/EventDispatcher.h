#pragma once

#include <QEventLoop>
#include <functional>

namespace kestrava {

// One pass of the window system's own work (reading its events), never blocking.
using PlatformPass = std::function<bool(QEventLoop::ProcessEventsFlags)>;

// Installs the console's own event dispatcher for the main thread, where the platform has one (epoll on
// Linux). Call before the application object exists. Returns false when Qt's own dispatcher stays.
bool installEventDispatcher();

// Hands the window system's pass to the installed dispatcher; false when none of ours is installed.
bool setPlatformPass(PlatformPass pass);

} // namespace kestrava
