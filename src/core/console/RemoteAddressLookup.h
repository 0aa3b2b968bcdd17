#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace kestrava {

// The remote IP address of the connection that a system key is tied to; nullopt when none is.
using RemoteAddressLookup = std::function<std::optional<QString>(const QString& systemKey)>;

} // namespace kestrava
