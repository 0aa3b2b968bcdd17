#include "gui/platform/DisplayCheck.h"

#include <xcb/xcb.h>

namespace kestrava {

QString displayProblem() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("kestrava: no X display (DISPLAY is not set). The console needs a desktop "
                              "session; start it from one, or with the system so that it starts with the "
                              "session.");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error != 0)
        return QStringLiteral("kestrava: cannot open the X display \"%1\". The console needs a desktop "
                              "session; start it from one, or with the system so that it starts with the "
                              "session.")
            .arg(QString::fromLocal8Bit(display));
    return {};
}

} // namespace kestrava
