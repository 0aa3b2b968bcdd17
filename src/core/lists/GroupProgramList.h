#pragma once

#include "core/lists/GroupList.h"

namespace kestrava {

// One group's block list (Group_Program_Table over Program_Table).
class GroupProgramList final : public GroupList {
public:
    explicit GroupProgramList(Database& db);

    void Load_Block_List() { load(); }
    bool Is_In_Block_List(const QString& name) const { return isListed(name); }
    void Add_Program_To_Group(qint64 programId, qint64 groupId) { addToGroup(programId, groupId); }

    QString limitMessage() const override;
};

} // namespace kestrava
