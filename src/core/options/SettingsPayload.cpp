#include "options/SettingsPayload.h"

#include "console/Keys.h"
#include "protocol/Fields.h"
#include "store/Database.h"
#include "store/PayloadCache.h"

#include <QSqlRecord>
#include <iterator>

namespace kestrava {

namespace {

const char* const kPortColumns[] = {"HTTP",  "FTP",  "TELNET", "SMTP", "POP3",
                                    "SOCKS", "NEWS", "ICQ",    "IRC",  "OtherPort"};

QString portsAndMessage(Database& db) {
    const std::optional<QSqlRecord> found = db.firstRow(
        QStringLiteral("SELECT AppBlockerMessage, HTTP, FTP, Telnet, SMTP, POP3, Socks, News, ICQ, IRC, "
                       "OtherPort FROM Settings_Table ORDER BY ID LIMIT 1"));
    if (!found)
        return {};
    const QSqlRecord& row = *found;
    QString payload = kFieldSeparator + QString::number(std::size(kPortColumns)) + kFieldSeparator;
    for (int column = 1; column <= static_cast<int>(std::size(kPortColumns)); ++column) {
        const QVariant port = row.value(column);
        if (port.isNull())
            throw DatabaseError(
                QStringLiteral("94"),
                QStringLiteral("Invalid use of Null (%1)").arg(QLatin1String(kPortColumns[column - 1])));
        payload += QString::number(port.toLongLong()) + kFieldSeparator;
    }
    return payload + row.value(0).toString() + kFieldSeparator;
}

QString blankScreenField(Database& db, const QString& key) {
    std::optional<QSqlRecord> row;
    if (Keys::Is_Group_Key(key))
        row = db.firstRow(QStringLiteral("SELECT Blank_Screen FROM Group_Table WHERE Group_Key=?"), {key});
    else if (Keys::Is_System_Key(key))
        row = db.firstRow(QStringLiteral("SELECT Blank_Screen FROM System_Table WHERE System_Key=?"), {key});
    else
        return {};
    const bool blank = row && row->value(0).toBool();
    return (blank ? QStringLiteral("True") : QStringLiteral("False")) + kFieldSeparator;
}

} // namespace

QString Get_The_Settings(Database& db, const QString& key) {
    thread_local PayloadCache<QString> cache;
    return cache.get(db, key, [&] {
        // The ports and message are the same for every key: read once, not once per system.
        return key.isEmpty() ? portsAndMessage(db) : Get_The_Settings(db, {}) + blankScreenField(db, key);
    });
}

} // namespace kestrava
