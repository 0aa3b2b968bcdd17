#include "agent/enforce/Cidr.h"

#include <QRegularExpression>
#include <QStringList>

namespace kestrava::agent {

namespace {

QHostAddress masked(const QHostAddress& address, int prefixLength) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 mask = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
        return QHostAddress(address.toIPv4Address() & mask);
    }
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 0; i < 16; ++i) {
        const int bits = qBound(0, prefixLength - 8 * i, 8);
        bytes[i] &= quint8(0xff00 >> bits);
    }
    return QHostAddress(bytes);
}

} // namespace

Cidr::Cidr(const QHostAddress& address, int prefixLength) {
    const int maxLength = address.protocol() == QAbstractSocket::IPv4Protocol   ? 32
                          : address.protocol() == QAbstractSocket::IPv6Protocol ? 128
                                                                                : -1;
    if (maxLength < 0 || prefixLength < 0 || prefixLength > maxLength)
        return;
    m_address = masked(address, prefixLength);
    m_prefixLength = prefixLength;
}

std::optional<Cidr> Cidr::parse(const QString& text, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<Cidr> {
        if (error)
            *error = QStringLiteral("\"%1\" is not an address or network: %2").arg(text, why);
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    const QString addressPart = trimmed.section(QLatin1Char('/'), 0, 0);
    const QString notAnAddress = QStringLiteral(
        "expected an IPv4 address of four numbers from 0 to 255 or an IPv6 address, optionally with a "
        "prefix length, such as 10.0.0.0/8 or fe80::/10");
    QHostAddress address;
    if (!addressPart.contains(QLatin1Char(':'))) {
        // Decimal only: the short and octal forms that inet_aton takes ("10.1", "010.0.0.1") would
        // silently name another address than the one meant.
        static const QRegularExpression dotted(
            QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
        const QRegularExpressionMatch match = dotted.match(addressPart);
        bool valid = match.hasMatch();
        quint32 value = 0;
        for (int i = 1; valid && i <= 4; ++i) {
            const int part = match.captured(i).toInt();
            valid = part <= 255;
            value = value << 8 | quint32(part);
        }
        if (!valid)
            return fail(notAnAddress);
        address = QHostAddress(value);
    } else if (addressPart.contains(QLatin1Char('%')) || !address.setAddress(addressPart)) {
        // A scope ("fe80::1%eth0") names an interface, not a network.
        return fail(notAnAddress);
    }
    const int maxLength = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    if (!trimmed.contains(QLatin1Char('/')))
        return Cidr(address, maxLength);

    const QString lengthPart = trimmed.section(QLatin1Char('/'), 1);
    bool ok = !lengthPart.isEmpty() && lengthPart.size() <= 3;
    for (const QChar c : lengthPart)
        ok = ok && c.isDigit() && c.unicode() < 128;
    const int length = ok ? lengthPart.toInt() : -1;
    if (length < 0 || length > maxLength)
        return fail(QStringLiteral("the prefix length must be a number from 0 to %1").arg(maxLength));
    return Cidr(address, length);
}

std::optional<QList<Cidr>> Cidr::parseList(const QStringList& texts, QString* error) {
    QList<Cidr> networks;
    for (const QString& text : texts) {
        const auto network = parse(text, error);
        if (!network)
            return std::nullopt;
        networks.append(*network);
    }
    return networks;
}

QList<Cidr> Cidr::withoutCovered(const QList<Cidr>& networks) {
    QList<Cidr> kept;
    for (qsizetype i = 0; i < networks.size(); ++i) {
        bool covered = networks[i].isNull();
        for (qsizetype j = 0; j < networks.size() && !covered; ++j) {
            // Of two equal networks the first one stays.
            covered = j != i && networks[j].contains(networks[i]) && (networks[j] != networks[i] || j < i);
        }
        if (!covered)
            kept.append(networks[i]);
    }
    return kept;
}

bool Cidr::contains(const Cidr& other) const {
    return !isNull() && !other.isNull() && m_address.protocol() == other.m_address.protocol() &&
           m_prefixLength <= other.m_prefixLength && masked(other.m_address, m_prefixLength) == m_address;
}

QString Cidr::toString() const {
    if (isNull())
        return {};
    return m_address.toString() + QLatin1Char('/') + QString::number(m_prefixLength);
}

} // namespace kestrava::agent
