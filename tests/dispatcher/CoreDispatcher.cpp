// Every core test runs on the event dispatcher that the console runs on.
#include "platform/EventDispatcher.h"

#include <QtGlobal>

static void installConsoleDispatcher() {
    kestrava::installEventDispatcher();
}
Q_CONSTRUCTOR_FUNCTION(installConsoleDispatcher)
