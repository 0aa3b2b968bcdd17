// Every GUI and end-to-end test runs on the event dispatcher that the console runs on, with the window
// system's pass inside it.
#include "platform/PlatformEventPass.h"

#include <QtGlobal>

static void installConsoleDispatcher() {
    kestrava::installGuiEventDispatcher();
}
Q_CONSTRUCTOR_FUNCTION(installConsoleDispatcher)
