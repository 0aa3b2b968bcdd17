#include "core/store/Schema.h"

#include "core/store/Database.h"

#include <QSqlRecord>
#include <QStringList>
#include <algorithm>

namespace kestrava::Schema {

QString factoryBlockMessage() {
    return QStringLiteral("Your IT Adminstrator has prevented you from running \r\nthis application.\r\n");
}

void createTables(Database& db) {
    const QStringList statements = {
        QStringLiteral(
            "CREATE TABLE Settings_Table ("
            "ID INTEGER PRIMARY KEY AUTOINCREMENT, LocalPort INTEGER, AddToGroup TEXT, "
            "AppBlockerMessage TEXT, HTTP INTEGER, FTP INTEGER, Telnet INTEGER, SMTP INTEGER, "
            "POP3 INTEGER, Socks INTEGER, News INTEGER, ICQ INTEGER, IRC INTEGER, OtherPort INTEGER, "
            "Password TEXT, AskPwd INTEGER NOT NULL DEFAULT 0, CompatibleVersion TEXT, SecurePort INTEGER, "
            "SecureOnly INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE Group_Table ("
                       "Group_ID INTEGER PRIMARY KEY AUTOINCREMENT, Group_Key TEXT UNIQUE COLLATE NOCASE, "
                       "Group_Name TEXT COLLATE NOCASE, "
                       "Apply_Groupwise_Settings INTEGER NOT NULL DEFAULT 0, "
                       "Schedule_Type INTEGER NOT NULL DEFAULT 0, OnInternet INTEGER NOT NULL DEFAULT 0, "
                       "Block_Internet INTEGER NOT NULL DEFAULT 0, Timer_Type TEXT, Timer_Starttime TEXT, "
                       "Timer_Period TEXT, Blank_Screen INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE System_Table ("
                       "System_ID INTEGER PRIMARY KEY AUTOINCREMENT, System_Key TEXT UNIQUE COLLATE NOCASE, "
                       "System_Name TEXT, "
                       "Group_ID INTEGER NOT NULL DEFAULT 0, "
                       "Apply_Systemwise_Settings INTEGER NOT NULL DEFAULT 0, "
                       "Schedule_Type INTEGER NOT NULL DEFAULT 0, OnInternet INTEGER NOT NULL DEFAULT 0, "
                       "Block_Internet INTEGER NOT NULL DEFAULT 0, Timer_Type TEXT, Timer_Starttime TEXT, "
                       "Timer_Period TEXT, Blank_Screen INTEGER NOT NULL DEFAULT 0, Key_Fingerprint TEXT)"),
        QStringLiteral(
            "CREATE TABLE Group_Scheduler_Table ("
            "ID INTEGER PRIMARY KEY AUTOINCREMENT, Group_ID INTEGER, Start_Time TEXT, Stop_Time TEXT, "
            "DailyWeeklyMonthly INTEGER, WeekDays INTEGER NOT NULL DEFAULT 0, "
            "Months INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral(
            "CREATE TABLE System_Scheduler_Table ("
            "ID INTEGER PRIMARY KEY AUTOINCREMENT, System_ID INTEGER, Start_Time TEXT, Stop_Time TEXT, "
            "DailyWeeklyMonthly INTEGER, WeekDays INTEGER NOT NULL DEFAULT 0, "
            "Months INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE DNS_Lookup_Table (URL_ID INTEGER PRIMARY KEY AUTOINCREMENT, URL TEXT "
                       "COLLATE NOCASE)"),
        QStringLiteral("CREATE TABLE Group_URL_Table (Group_ID INTEGER, URL_ID INTEGER)"),
        QStringLiteral("CREATE TABLE Program_Table (Program_ID INTEGER PRIMARY KEY AUTOINCREMENT, Program "
                       "TEXT COLLATE NOCASE)"),
        QStringLiteral("CREATE TABLE Group_Program_Table (Group_ID INTEGER, Program_ID INTEGER)"),
        QStringLiteral("CREATE INDEX System_Group_Index ON System_Table (Group_ID)"),
        QStringLiteral("CREATE INDEX Group_Scheduler_Owner_Index ON Group_Scheduler_Table (Group_ID)"),
        QStringLiteral("CREATE INDEX System_Scheduler_Owner_Index ON System_Scheduler_Table (System_ID)"),
        QStringLiteral("CREATE INDEX Group_URL_Owner_Index ON Group_URL_Table (Group_ID)"),
        QStringLiteral("CREATE INDEX Group_Program_Owner_Index ON Group_Program_Table (Group_ID)"),
    };
    for (const QString& sql : statements)
        db.exec(sql);

    db.exec(
        QStringLiteral("INSERT INTO Settings_Table (ID, LocalPort, AddToGroup, AppBlockerMessage, HTTP, FTP, "
                       "Telnet, SMTP, POP3, Socks, News, ICQ, IRC, OtherPort, Password, AskPwd, "
                       "CompatibleVersion) VALUES (1, ?, '', ?, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ?, 0, '1.4')"),
        {kFactoryLocalPort, factoryBlockMessage(), QString::fromLatin1(kFactoryPassword)});
    db.exec(QStringLiteral("PRAGMA user_version=%1").arg(kVersion));
}

void upgrade(Database& db) {
    struct Column {
        const char* table;
        const char* name;
        const char* statement;
    };
    static constexpr Column kAdded[] = {
        {"Settings_Table", "SecurePort", "ALTER TABLE Settings_Table ADD COLUMN SecurePort INTEGER"},
        {"Settings_Table", "SecureOnly",
         "ALTER TABLE Settings_Table ADD COLUMN SecureOnly INTEGER NOT NULL DEFAULT 0"},
        {"System_Table", "Key_Fingerprint", "ALTER TABLE System_Table ADD COLUMN Key_Fingerprint TEXT"},
    };
    for (const Column& column : kAdded) {
        // A file without the table is not this program's; start-up tells so, not the upgrade.
        const QList<QSqlRecord> columns =
            db.rows(QStringLiteral("SELECT name FROM pragma_table_info(?)"), {QLatin1String(column.table)});
        const bool present = std::any_of(columns.cbegin(), columns.cend(), [&](const QSqlRecord& row) {
            return row.value(0).toString() == QLatin1String(column.name);
        });
        if (!columns.isEmpty() && !present)
            db.exec(QLatin1String(column.statement));
    }
    db.exec(QStringLiteral("PRAGMA user_version=%1").arg(kVersion));
}

} // namespace kestrava::Schema
