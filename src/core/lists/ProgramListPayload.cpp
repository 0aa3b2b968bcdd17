#include "core/lists/ProgramListPayload.h"

#include "core/console/Keys.h"
#include "core/lists/ListEntries.h"
#include "core/store/Database.h"
#include "core/store/PayloadCache.h"

namespace kestrava {

std::optional<QStringList> Get_Program_List(Database& db, const QString& key) {
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
        return listEntries(
            db.rows(QStringLiteral("SELECT Program FROM Program_Table WHERE Program_ID IN "
                                   "(SELECT Program_ID FROM Group_Program_Table WHERE Group_ID=(") +
                        owner + QStringLiteral(")) GROUP BY Program ORDER BY min(Program_ID)"),
                    {key}));
    });
}

} // namespace kestrava
