#pragma once

#include <QWidget>
#include <QtGlobal>

// A named control of a window; with an index, the entry of a control array (controls that share the name
// and differ in their "index" property). A missing control ends the test.
template <typename T> T* control(QWidget* window, const char* name, int index = -1) {
    for (T* found : window->findChildren<T*>(QLatin1String(name))) {
        if (index < 0 || found->property("index").toInt() == index)
            return found;
    }
    qFatal("no control %s(%d)", name, index);
}
