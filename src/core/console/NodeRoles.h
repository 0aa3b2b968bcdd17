#pragma once

#include <Qt>

namespace kestrava {

// Item data roles of the tree and list models beyond Qt's own.
enum NodeRole {
    KeyRole = Qt::UserRole + 1, // the node's key
    ImageRole,                  // NodeImage as int
    SelectedImageRole,          // NodeImage as int, shown while the item is selected
    TagRole,                    // a system's status text
};

} // namespace kestrava
