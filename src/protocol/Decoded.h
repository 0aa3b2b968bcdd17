#pragma once

#include <QString>
#include <optional>

namespace kestrava {

// A decoded message: its value, or why it was refused.
template <typename T> struct Decoded {
    std::optional<T> value;
    QString error;
};

} // namespace kestrava
