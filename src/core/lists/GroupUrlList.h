#pragma once

#include "core/lists/GroupList.h"

namespace kestrava {

// One group's white list (Group_URL_Table over DNS_Lookup_Table).
class GroupUrlList final : public GroupList {
public:
    explicit GroupUrlList(Database& db);

    void Load_White_List() { load(); }
    bool Is_In_White_List(const QString& url) const { return isListed(url); }
    void Add_URL_To_Group(qint64 urlId, qint64 groupId) { addToGroup(urlId, groupId); }

    QString limitMessage() const override;
};

} // namespace kestrava
