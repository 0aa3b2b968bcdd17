#include "core/startup/ConsoleAccess.h"

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/store/StorableText.h"

namespace kestrava {

QString incompatibleVersionMessage() {
    return QStringLiteral(
        "Incompatable database version! Please delete/rename the old database and re-install "
        "the program.");
}

bool Check_Database_Version(Database& db) {
    try {
        const QVariant mark = db.scalar(QStringLiteral("SELECT CompatibleVersion FROM Settings_Table"));
        if (!mark.isValid() || mark.isNull())
            return false;
        bool ok = false;
        const double version = mark.toString().trimmed().toDouble(&ok);
        return ok && version == Schema::kCompatibleVersion;
    } catch (const DatabaseError&) {
        return false;
    }
}

bool Is_Password_Required(Database& db) {
    const QVariant askPwd = db.scalar(QStringLiteral("SELECT AskPwd FROM Settings_Table"));
    return askPwd.isValid() && askPwd.toBool();
}

bool Check_Password(Database& db, const QString& typed) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT Password FROM Settings_Table"));
    if (!query.next())
        return false;
    // Compared as stored: a password holding a character the database cannot give back still opens.
    return query.value(0).toString() == StorableText::of(typed);
}

} // namespace kestrava
