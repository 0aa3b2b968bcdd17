// Every GUI and end-to-end test runs offscreen on the event dispatcher that the console runs on, with the
// window system's pass inside it, whether started by CTest or by hand: the choice is made here, before the
// application object exists, not in the environment.
#include "gui/platform/PlatformEventPass.h"

#include <QtGlobal>

static void installConsoleDispatcher() {
    qputenv("QT_NO_GLIB", "1");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    kestrava::installGuiEventDispatcher();
}
Q_CONSTRUCTOR_FUNCTION(installConsoleDispatcher)
