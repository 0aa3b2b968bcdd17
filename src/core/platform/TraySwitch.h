#pragma once

namespace kestrava {

// The notification-area icon of the running console, as the options see it.
class TraySwitch {
public:
    virtual ~TraySwitch() = default;
    virtual bool isTrayIconVisible() const = 0;
    virtual void setTrayIconVisible(bool visible) = 0;
};

} // namespace kestrava
