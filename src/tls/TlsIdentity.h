#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace kestrava {

// A program's own key and self-signed certificate, kept as two PEM files readable by their owner only.
struct TlsIdentity {
    static constexpr int kValidityYears = 10;

    QSslKey key;
    QSslCertificate certificate;
    // Empty when key and certificate are usable; else why not, naming the file.
    QString error;
    bool created = false;

    bool isValid() const { return error.isEmpty(); }

    // Reads both files; when neither exists, makes an ECDSA P-256 key and a certificate for commonName
    // and writes them (mode 0600). One file without the other, an unreadable file or a key that does
    // not belong to the certificate is an error: replacing them would silently change the fingerprint
    // that the other side has pinned.
    // A new key and certificate for commonName, kept in memory only.
    static TlsIdentity generate(const QString& commonName);
    static TlsIdentity loadOrCreate(const QString& keyFile, const QString& certificateFile,
                                    const QString& commonName);
};

} // namespace kestrava
