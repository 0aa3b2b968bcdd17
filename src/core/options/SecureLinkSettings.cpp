#include "core/options/SecureLinkSettings.h"

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "tls/Fingerprint.h"

#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>

using namespace Qt::StringLiterals;

namespace kestrava::SecureLinkSettings {

int securePort(Database& db) {
    const std::optional<QSqlRecord> row =
        db.firstRow(QStringLiteral("SELECT LocalPort, SecurePort FROM Settings_Table ORDER BY ID"));
    if (!row)
        return Schema::kFactoryLocalPort + 1;
    bool number = false;
    const int secure = row->value(1).toInt(&number);
    if (number && !row->value(1).isNull())
        return secure;
    const int local = row->value(0).toInt(&number);
    return (number ? local : Schema::kFactoryLocalPort) + 1;
}

bool secureOnly(Database& db) {
    return db.scalar(QStringLiteral("SELECT SecureOnly FROM Settings_Table ORDER BY ID")).toInt() != 0;
}

namespace {
QString besideDatabase(const QString& databasePath, const QString& name) {
    return QFileInfo(databasePath).absoluteDir().filePath(name);
}
} // namespace

QString keyFileFor(const QString& databasePath) {
    return besideDatabase(databasePath, u"kestrava.key"_s);
}

QString certificateFileFor(const QString& databasePath) {
    return besideDatabase(databasePath, u"kestrava.crt"_s);
}

QString fingerprintBeside(const QString& databasePath) {
    if (databasePath.isEmpty())
        return {};
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificateFileFor(databasePath));
    return certificates.isEmpty() ? QString() : Fingerprint::text(certificates.first());
}

} // namespace kestrava::SecureLinkSettings
