#include "core/options/SettingsPayload.h"

#include "core/console/Keys.h"
#include "core/store/Database.h"
#include "core/store/PayloadCache.h"

#include <QSqlRecord>
#include <iterator>

namespace kestrava {

namespace {

const char* const kPortColumns[] = {"HTTP",  "FTP",  "TELNET", "SMTP", "POP3",
                                    "SOCKS", "NEWS", "ICQ",    "IRC",  "OtherPort"};

// Ports and message without a blank-screen flag; none of either without a settings row.
Settings portsAndMessage(Database& db) {
    const std::optional<QSqlRecord> found = db.firstRow(
        QStringLiteral("SELECT AppBlockerMessage, HTTP, FTP, Telnet, SMTP, POP3, Socks, News, ICQ, IRC, "
                       "OtherPort FROM Settings_Table ORDER BY ID LIMIT 1"));
    if (!found)
        return {};
    const QSqlRecord& row = *found;
    Settings settings;
    for (int column = 1; column <= static_cast<int>(std::size(kPortColumns)); ++column) {
        const QVariant port = row.value(column);
        if (port.isNull())
            throw DatabaseError(
                QStringLiteral("94"),
                QStringLiteral("Invalid use of Null (%1)").arg(QLatin1String(kPortColumns[column - 1])));
        settings.ports << static_cast<int>(port.toLongLong());
    }
    settings.blockMessage = row.value(0).toString();
    return settings;
}

// The Blank_Screen flag of a group or system key; none for other keys.
void readBlankScreen(Database& db, const QString& key, Settings& settings) {
    std::optional<QSqlRecord> row;
    if (Keys::Is_Group_Key(key))
        row = db.firstRow(QStringLiteral("SELECT Blank_Screen FROM Group_Table WHERE Group_Key=?"), {key});
    else if (Keys::Is_System_Key(key))
        row = db.firstRow(QStringLiteral("SELECT Blank_Screen FROM System_Table WHERE System_Key=?"), {key});
    else
        return;
    settings.hasBlankFlag = true;
    settings.blankScreen = row && row->value(0).toBool();
}

} // namespace

Settings Get_The_Settings(Database& db, const QString& key) {
    thread_local PayloadCache<Settings> cache;
    return cache.get(db, key, [&] {
        // The ports and message are the same for every key: read once, not once per system.
        if (key.isEmpty())
            return portsAndMessage(db);
        Settings settings = Get_The_Settings(db, {});
        readBlankScreen(db, key, settings);
        return settings;
    });
}

} // namespace kestrava
