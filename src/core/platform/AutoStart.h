#pragma once

namespace kestrava {

// Whether the console starts with the user's session.
class AutoStart {
public:
    virtual ~AutoStart() = default;
    // True when the start entry exists and names this program.
    virtual bool isSet() const = 0;
    // Each reports whether the entry was written or removed.
    virtual bool set() = 0;
    virtual bool unset() = 0;
};

} // namespace kestrava
