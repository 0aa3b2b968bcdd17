#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <optional>

namespace kestrava::agent {

// An IPv4 or IPv6 network: an address with its host bits cleared and a prefix length.
class Cidr {
public:
    Cidr() = default;
    // Host bits of address beyond prefixLength are cleared.
    Cidr(const QHostAddress& address, int prefixLength);

    // "10.0.0.0/8", "fe80::/10" or a bare address (a /32 or /128). Host bits are cleared, so
    // "192.168.1.20/24" is that subnet. On failure: nullopt and, when error is given, why.
    static std::optional<Cidr> parse(const QString& text, QString* error = nullptr);
    // Every entry must parse; the first bad one fails the whole list, named in error.
    static std::optional<QList<Cidr>> parseList(const QStringList& texts, QString* error = nullptr);

    // Without duplicates and without networks that another one of the list covers; order kept.
    static QList<Cidr> withoutCovered(const QList<Cidr>& networks);

    QHostAddress address() const { return m_address; }
    int prefixLength() const { return m_prefixLength; }
    bool isNull() const { return m_prefixLength < 0; }
    bool isIPv4() const { return m_address.protocol() == QAbstractSocket::IPv4Protocol; }
    bool contains(const Cidr& other) const;
    // "10.0.0.0/8"; a single address keeps its prefix too ("203.0.113.5/32").
    QString toString() const;

    bool operator==(const Cidr& other) const = default;

private:
    QHostAddress m_address;
    int m_prefixLength = -1;
};

} // namespace kestrava::agent
