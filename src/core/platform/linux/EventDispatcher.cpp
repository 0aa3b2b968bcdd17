#include "core/platform/EventDispatcher.h"

#include "core/platform/linux/EpollEventDispatcher.h"

#include <QCoreApplication>

namespace kestrava {

bool installEventDispatcher() {
    if (QCoreApplication::instance() || QCoreApplication::eventDispatcher())
        return false;
    QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    return true;
}

bool setPlatformPass(PlatformPass pass) {
    auto* dispatcher = qobject_cast<EpollEventDispatcher*>(QCoreApplication::eventDispatcher());
    if (!dispatcher)
        return false;
    dispatcher->setPlatformPass(std::move(pass));
    return true;
}

} // namespace kestrava
