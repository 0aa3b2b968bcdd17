#include "tls/Fingerprint.h"

#include <QCryptographicHash>

namespace kestrava::Fingerprint {

namespace {
constexpr int kDigestBytes = 32;

bool isHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
} // namespace

QByteArray of(const QSslCertificate& certificate) {
    if (certificate.isNull())
        return {};
    return certificate.digest(QCryptographicHash::Sha256);
}

QString text(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QByteArray parse(QStringView text) {
    QByteArray hex;
    hex.reserve(kDigestBytes * 2);
    for (const QChar c : text.trimmed()) {
        if (c == u':' || c == u' ' || c == u'\t')
            continue;
        if (!isHexDigit(c.unicode()))
            return {};
        hex.append(char(c.unicode()));
    }
    if (hex.size() != kDigestBytes * 2)
        return {};
    return QByteArray::fromHex(hex);
}

} // namespace kestrava::Fingerprint
