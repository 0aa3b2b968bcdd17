#include "tls/PeerCheck.h"

#include "tls/Fingerprint.h"

using namespace Qt::StringLiterals;

namespace kestrava::PeerCheck {

QString refusal(const QSslCertificate& peer, const QByteArray& pinned, const QDateTime& now) {
    if (peer.isNull())
        return u"no certificate was presented"_s;
    if (!peer.effectiveDate().isValid() || !peer.expiryDate().isValid())
        return u"the certificate has no valid period"_s;
    if (now < peer.effectiveDate())
        return u"the certificate is not valid before %1"_s.arg(peer.effectiveDate().toString(Qt::ISODate));
    if (now > peer.expiryDate())
        return u"the certificate expired on %1"_s.arg(peer.expiryDate().toString(Qt::ISODate));
    const QByteArray digest = Fingerprint::of(peer);
    if (!pinned.isEmpty() && digest != pinned)
        return u"the certificate's fingerprint %1 is not the expected %2"_s.arg(Fingerprint::text(digest),
                                                                                Fingerprint::text(pinned));
    return {};
}

} // namespace kestrava::PeerCheck
