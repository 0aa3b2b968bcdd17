#include "gui/platform/PlatformEventPass.h"

#include "core/platform/EventDispatcher.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QPointer>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformintegration.h>

namespace kestrava {

bool installGuiEventDispatcher() {
    if (!installEventDispatcher())
        return false;
    return setPlatformPass([inner = QPointer<QAbstractEventDispatcher>(),
                            created = false](QEventLoop::ProcessEventsFlags flags) mutable {
        if (!created) {
            QPlatformIntegration* integration = QGuiApplicationPrivate::platformIntegration();
            if (!integration || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
                return false;
            created = true;
            inner = integration->createEventDispatcher();
            if (inner)
                inner->setParent(QCoreApplication::instance());
        }
        return inner && inner->processEvents(flags);
    });
}

} // namespace kestrava
