#pragma once

#include "protocol/Decoded.h"

#include <QList>
#include <QString>

namespace kestrava {

// Ports, block message and blank-screen flag of an "O". Without ports and message the console has no
// settings to send, and the flag, when there is one, stands alone.
struct Settings {
    QList<int> ports; // the controlled protocols' ports (ten from the console); 0 = not controlled
    QString blockMessage;
    bool hasBlankFlag = false; // sent to a group or system, not to others
    bool blankScreen = false;

    bool operator==(const Settings&) const = default;
};

QString encodeSettings(const Settings& settings);
Decoded<Settings> decodeSettings(const QString& message);

} // namespace kestrava
