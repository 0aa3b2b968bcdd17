#pragma once

#include "gui/platform/GlobalHotKey.h"

#include <QAbstractNativeEventFilter>
#include <cstdint>

struct xcb_connection_t;

namespace kestrava {

// A passive key grab on the root window through the X connection that Qt already holds.
class XcbHotKey final : public GlobalHotKey, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    XcbHotKey();
    ~XcbHotKey() override;

    bool registerHotKey() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void ungrab();

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint8_t m_keycode = 0;
    bool m_grabbed = false;
};

} // namespace kestrava
