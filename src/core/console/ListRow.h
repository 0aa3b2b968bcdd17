#pragma once

#include "core/console/TreeNode.h"

#include <QString>

namespace kestrava {

// One item of the list: what the list shows for a node, read from the node when asked.
struct ListRow {
    const TreeNode* node = nullptr;
    QString key;
    QString text;
    NodeImage image = NodeImage::Root;
    QString system;
    QString group;
    QString ipAddress;
    QString connectionStatus;
    QString internetStatus;
    // A system shown alone keeps its node's tag.
    QString tag;
};

} // namespace kestrava
