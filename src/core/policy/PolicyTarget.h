#pragma once

#include <QString>

namespace kestrava {

// Whom an editor works on: a group, or a system with the node it stands under (a group or the root).
struct PolicyTarget {
    QString groupKey;
    QString groupName;
    QString systemKey;
    QString systemName;

    bool isSystem() const;
    // A group alone; a system's target is never a group target, whatever it stands under.
    bool isGroup() const;
};

} // namespace kestrava
