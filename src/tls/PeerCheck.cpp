#include "tls/PeerCheck.h"

#include "tls/Fingerprint.h"

using namespace Qt::StringLiterals;

namespace kestrava::PeerCheck {

Facts factsOf(const QSslCertificate& certificate) {
    if (certificate.isNull())
        return {};
    return {true, certificate.effectiveDate(), certificate.expiryDate(), Fingerprint::of(certificate)};
}

QString refusal(const Facts& peer, const QByteArray& pinned, const QDateTime& now) {
    if (!peer.present)
        return u"no certificate was presented"_s;
    if (!peer.notBefore.isValid() || !peer.notAfter.isValid())
        return u"the certificate has no valid period"_s;
    if (now < peer.notBefore)
        return u"the certificate is not valid before %1"_s.arg(peer.notBefore.toString(Qt::ISODate));
    if (now > peer.notAfter)
        return u"the certificate expired on %1"_s.arg(peer.notAfter.toString(Qt::ISODate));
    if (!pinned.isEmpty() && peer.digest != pinned)
        return u"the certificate's fingerprint %1 is not the expected %2"_s.arg(
            Fingerprint::text(peer.digest), Fingerprint::text(pinned));
    return {};
}

} // namespace kestrava::PeerCheck
