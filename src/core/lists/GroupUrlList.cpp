#include "core/lists/GroupUrlList.h"

namespace kestrava {

GroupUrlList::GroupUrlList(Database& db)
    : GroupList(db, QStringLiteral("DNS_Lookup_Table"), QStringLiteral("URL_ID"), QStringLiteral("URL"),
                QStringLiteral("Group_URL_Table")) {}

QString GroupUrlList::limitMessage() const {
    return QStringLiteral("Cannot add anymore urls.\r\nMaximum allowed urls is %1.").arg(kMaxEntries);
}

} // namespace kestrava
