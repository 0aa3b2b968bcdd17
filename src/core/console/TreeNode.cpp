#include "core/console/TreeNode.h"

namespace kestrava {

int TreeNode::row() const {
    if (!parent)
        return 0;
    const auto& siblings = parent->children;
    if (rowHint < siblings.size() && siblings[rowHint].get() == this)
        return static_cast<int>(rowHint);
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this) {
            rowHint = i;
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace kestrava
