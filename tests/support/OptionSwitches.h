#pragma once

#include "core/platform/AutoStartSwitch.h"
#include "core/platform/TraySwitch.h"

// Stand-ins for the tray icon and the autostart entry that only remember what they were told.
struct RememberedTray final : kestrava::TraySwitch {
    bool visible = true;
    bool isTrayIconVisible() const override { return visible; }
    void setTrayIconVisible(bool on) override { visible = on; }
};

struct RememberedAutoStart final : kestrava::AutoStartSwitch {
    bool set = false;
    bool isAutoStartSet() const override { return set; }
    void setAutoStart(bool on) override { set = on; }
};
