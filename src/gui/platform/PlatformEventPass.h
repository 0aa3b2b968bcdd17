#pragma once

namespace kestrava {

// Installs the console's event dispatcher (see platform/EventDispatcher.h) and lets the window system
// read its events inside each pass: the platform integration's own dispatcher, created once the
// application object exists, runs one non-blocking pass after ours. Call before the application object
// exists. Returns false when Qt's own dispatcher stays.
bool installGuiEventDispatcher();

} // namespace kestrava
