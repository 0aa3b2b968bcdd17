#pragma once

#include <QObject>
#include <memory>

namespace kestrava {

// Ctrl+Alt+P for the whole desktop, whichever window has the keyboard.
class GlobalHotKey : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when the key cannot be had (no X11 display, or another program holds it).
    virtual bool registerHotKey() = 0;

signals:
    void activated();
};

// The implementation of this platform.
std::unique_ptr<GlobalHotKey> createGlobalHotKey();

} // namespace kestrava
