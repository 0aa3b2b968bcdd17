#include "core/lists/UrlListPayload.h"

#include "core/console/Keys.h"
#include "core/lists/ListEntries.h"
#include "core/store/Database.h"
#include "core/store/PayloadCache.h"

namespace kestrava {

std::optional<QStringList> Get_URL_List(Database& db, const QString& key) {
    QString owner;
    if (Keys::Is_Group_Key(key))
        owner = QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Key=?");
    else if (Keys::Is_System_Key(key))
        // Only through a group that still exists: a deleted group's rows stay behind in the table.
        owner = QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_ID="
                               "(SELECT Group_ID FROM System_Table WHERE System_Key=?)");
    else
        return std::nullopt;
    thread_local PayloadCache<QStringList> cache;
    return cache.get(db, key, [&] {
        return listEntries(db.rows(QStringLiteral("SELECT URL FROM DNS_Lookup_Table WHERE URL_ID IN "
                                                  "(SELECT URL_ID FROM Group_URL_Table WHERE Group_ID=(") +
                                       owner + QStringLiteral(")) GROUP BY URL ORDER BY min(URL_ID)"),
                                   {key}));
    });
}

} // namespace kestrava
