#include "core/startup/EnvironmentChecks.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

namespace kestrava {

namespace {

constexpr int kLeastSqliteMajor = 3;
constexpr int kLeastSqliteMinor = 35;

QString sqliteLibraryVersion() {
    const QString name = QStringLiteral("kestrava-data-access-check");
    QString version;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral(":memory:"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT sqlite_version()")) && query.next())
                version = query.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return version;
}

} // namespace

QString osVersionMessage() {
    return QStringLiteral("You have not installed NT Service Pack 6. Please install it and run the program.");
}

QString dataAccessMessage() {
    return QStringLiteral(
        "Your system does not have proper version of MDAC Library! Please install MDAC Version 2.5 "
        "or above from the site specified in the documentation and run the program again.");
}

bool Check_OS_Version() {
    return true;
}

bool Check_Data_Access_Version() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return false;
    return Is_Data_Access_Version_Sufficient(sqliteLibraryVersion());
}

bool Is_Data_Access_Version_Sufficient(const QString& sqliteVersion) {
    const QStringList parts = sqliteVersion.trimmed().split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    bool majorOk = false;
    bool minorOk = false;
    const int major = parts.at(0).toInt(&majorOk);
    const int minor = parts.at(1).toInt(&minorOk);
    if (!majorOk || !minorOk)
        return false;
    return major > kLeastSqliteMajor || (major == kLeastSqliteMajor && minor >= kLeastSqliteMinor);
}

} // namespace kestrava
