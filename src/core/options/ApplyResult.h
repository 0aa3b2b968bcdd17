#pragma once

#include <QList>
#include <QString>

namespace kestrava {

// What Apply of the options reports back to the window.
struct ApplyResult {
    struct Notice {
        enum class Kind { Information, Exclamation, Critical };
        Kind kind;
        QString text;
        bool operator==(const Notice&) const = default;
    };
    enum class Focus { None, NewPassword, OldPassword };

    // All four steps succeeded: Apply is disabled again.
    bool success = false;
    // The messages to show, in this order.
    QList<Notice> notices;
    // The text of lblPwdMessage after Apply.
    QString passwordMessage;
    // The new password was stored: the three password boxes are emptied.
    bool passwordChanged = false;
    // OldPassword also shows the Password page.
    Focus focus = Focus::None;
    // "O" went to the connected systems.
    bool settingsSent = false;
    // "Accept client services only over the authenticated link" was turned on or off: the plain port
    // is closed or opened at once.
    bool secureOnlyChanged = false;
};

} // namespace kestrava
