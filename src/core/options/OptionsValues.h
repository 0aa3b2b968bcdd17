#pragma once

#include "core/options/ProtocolPorts.h"

#include <QString>
#include <array>

namespace kestrava {

// What the options window shows and applies.
struct OptionsValues {
    // As stored: line breaks are carriage return and line feed.
    QString blockMessage;
    // A name of Group_Table as written there; empty for the root.
    QString addToGroup;
    bool showInTray = false;
    bool autoStart = false;
    bool askPwd = false;
    QString oldPassword;
    QString newPassword;
    QString confirmPassword;
    int localPort = 0;
    // The authenticated port, and whether the plain one stays closed.
    int securePort = 0;
    bool secureOnly = false;
    // The console's certificate as "AB:CD:…"; empty when it has none yet. Shown only.
    QString consoleFingerprint;
    // 0 where the protocol is not controlled.
    std::array<int, kProtocolCount> ports{};
};

} // namespace kestrava
