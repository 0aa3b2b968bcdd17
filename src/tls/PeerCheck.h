#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSslCertificate>
#include <QString>

namespace kestrava::PeerCheck {

// What the check reads of a certificate.
struct Facts {
    bool present = false;
    QDateTime notBefore;
    QDateTime notAfter;
    // SHA-256 of the DER form.
    QByteArray digest;
};

Facts factsOf(const QSslCertificate& certificate);
QString refusal(const Facts& peer, const QByteArray& pinned, const QDateTime& now);

// Why the certificate that a peer proved in its handshake is refused, or empty when it is accepted.
// The handshake itself does not verify chains (both sides use self-signed certificates), so this is
// the whole check: a certificate that is present, within its validity at now, and, when pinned is
// not empty, whose SHA-256 is pinned.
inline QString refusal(const QSslCertificate& peer, const QByteArray& pinned, const QDateTime& now) {
    return refusal(factsOf(peer), pinned, now);
}

} // namespace kestrava::PeerCheck
