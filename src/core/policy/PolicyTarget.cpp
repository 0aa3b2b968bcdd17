#include "core/policy/PolicyTarget.h"

#include "core/console/Keys.h"

namespace kestrava {

bool PolicyTarget::isSystem() const {
    return Keys::Is_System_Key(systemKey);
}

bool PolicyTarget::isGroup() const {
    return !isSystem() && Keys::Is_Group_Key(groupKey);
}

} // namespace kestrava
