#include "gui/platform/XcbHotKey.h"

#include <QGuiApplication>
#include <array>
#include <cstdlib>
#include <xcb/xcb.h>

namespace kestrava {

namespace {

constexpr xcb_keysym_t kKeysymLowerP = 0x70;
constexpr xcb_keysym_t kKeysymUpperP = 0x50;
constexpr std::uint16_t kModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
// Caps Lock and Num Lock must not stop the key from working.
constexpr std::array<std::uint16_t, 4> kLockMasks = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                     XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kRelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

std::uint8_t keycodeOfP(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, std::uint8_t(count)), nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    const int perKeycode = reply->keysyms_per_keycode;
    std::uint8_t found = 0;
    for (int i = 0; i < count && !found; ++i)
        for (int j = 0; j < perKeycode && j < 2; ++j)
            if (keysyms[i * perKeycode + j] == kKeysymLowerP ||
                keysyms[i * perKeycode + j] == kKeysymUpperP) {
                found = std::uint8_t(setup->min_keycode + i);
                break;
            }
    std::free(reply);
    return found;
}

} // namespace

std::unique_ptr<GlobalHotKey> createGlobalHotKey() {
    return std::make_unique<XcbHotKey>();
}

XcbHotKey::XcbHotKey() = default;

XcbHotKey::~XcbHotKey() {
    ungrab();
}

bool XcbHotKey::registerHotKey() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    m_connection = x11->connection();
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_keycode = keycodeOfP(m_connection);
    if (!m_keycode)
        return false;
    m_grabbed = true;
    for (const std::uint16_t lock : kLockMasks) {
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 1, m_root, kModifiers | lock, m_keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error) {
            std::free(error);
            ungrab();
            return false;
        }
    }
    qGuiApp->installNativeEventFilter(this);
    return true;
}

bool XcbHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (press->detail != m_keycode || (press->state & kRelevantModifiers) != kModifiers)
        return false;
    emit activated();
    return true;
}

void XcbHotKey::ungrab() {
    if (!m_grabbed)
        return;
    m_grabbed = false;
    // Without the application its X connection is gone, and the grab with it.
    if (!qGuiApp)
        return;
    qGuiApp->removeNativeEventFilter(this);
    for (const std::uint16_t lock : kLockMasks)
        xcb_ungrab_key(m_connection, m_keycode, m_root, kModifiers | lock);
    xcb_flush(m_connection);
}

} // namespace kestrava
