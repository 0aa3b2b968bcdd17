// Every core test runs on the event dispatcher that the console runs on, whether started by CTest or by
// hand: the choice is made here, before the application object exists, not in the environment.
#include "core/platform/EventDispatcher.h"

#include <QtGlobal>

static void installConsoleDispatcher() {
    qputenv("QT_NO_GLIB", "1");
    kestrava::installEventDispatcher();
}
Q_CONSTRUCTOR_FUNCTION(installConsoleDispatcher)
