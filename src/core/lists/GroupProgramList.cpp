#include "core/lists/GroupProgramList.h"

namespace kestrava {

GroupProgramList::GroupProgramList(Database& db)
    : GroupList(db, QStringLiteral("Program_Table"), QStringLiteral("Program_ID"), QStringLiteral("Program"),
                QStringLiteral("Group_Program_Table")) {}

QString GroupProgramList::limitMessage() const {
    return QStringLiteral("Cannot add anymore Programs.\r\nMaximum allowed Programs is %1.").arg(kMaxEntries);
}

} // namespace kestrava
