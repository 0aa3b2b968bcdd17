#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace kestrava::agent {

// The line shown to the person at the computer about the internet state, in English whatever the
// locale: "Internet access is off until 3:40 PM", with the day first when the change is not today.
QString internetNotice(bool internetOn, const std::optional<QDateTime>& nextChange,
                       const QDateTime& consoleNow);

} // namespace kestrava::agent
