#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QString>
#include <QStringView>

namespace kestrava::Fingerprint {

// SHA-256 of the certificate's DER form, 32 bytes.
QByteArray of(const QSslCertificate& certificate);

// "AB:CD:…": 32 upper-case hex pairs joined by colons, as administrators copy it between machines.
QString text(const QByteArray& digest);
inline QString text(const QSslCertificate& certificate) {
    return text(of(certificate));
}

// The 32 bytes written in text: 64 hex digits in either case, optionally split by colons or blanks.
// Anything else (another length, a stray character) gives an empty array.
QByteArray parse(QStringView text);

} // namespace kestrava::Fingerprint
