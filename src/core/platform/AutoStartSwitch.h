#pragma once

namespace kestrava {

// Whether the console starts with the system, as the options see it. Failures are not reported:
// a failed change simply leaves the setting as it was.
class AutoStartSwitch {
public:
    virtual ~AutoStartSwitch() = default;
    // Set exactly when the start entry names this program.
    virtual bool isAutoStartSet() const = 0;
    virtual void setAutoStart(bool on) = 0;
};

} // namespace kestrava
