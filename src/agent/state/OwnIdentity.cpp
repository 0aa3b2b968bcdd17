#include "agent/state/OwnIdentity.h"

#include "tls/Fingerprint.h"

#include <QDir>
#include <QFile>

namespace kestrava::agent::OwnIdentity {

QString keyPath(const QString& stateDir) {
    return QDir(stateDir).filePath(QStringLiteral("agent.key"));
}

QString certificatePath(const QString& stateDir) {
    return QDir(stateDir).filePath(QStringLiteral("agent.crt"));
}

TlsIdentity loadOrCreate(const QString& stateDir, const QString& commonName) {
    if (!QDir().mkpath(stateDir)) {
        TlsIdentity failed;
        failed.error = QStringLiteral("Cannot create %1").arg(stateDir);
        return failed;
    }
    QFile::setPermissions(stateDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return TlsIdentity::loadOrCreate(keyPath(stateDir), certificatePath(stateDir), commonName);
}

QString existingFingerprint(const QString& stateDir) {
    QFile file(certificatePath(stateDir));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QSslCertificate certificate(file.readAll());
    return certificate.isNull() ? QString() : Fingerprint::text(certificate);
}

} // namespace kestrava::agent::OwnIdentity
