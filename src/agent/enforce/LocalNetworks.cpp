#include "agent/enforce/LocalNetworks.h"

namespace kestrava::agent {

QList<Cidr> LocalNetworks::privateRanges() {
    QList<Cidr> ranges;
    for (const char* text :
         {"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "169.254.0.0/16", "fc00::/7", "fe80::/10"})
        ranges.append(*Cidr::parse(QLatin1String(text)));
    return ranges;
}

QList<Cidr> LocalNetworks::connectedSubnets(const QList<QNetworkInterface>& interfaces) {
    QList<Cidr> subnets;
    for (const QNetworkInterface& interface : interfaces) {
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack) ||
            !interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().isLoopback())
                continue;
            // The subnet drops the link-local scope: it names a network, not an interface.
            const Cidr subnet(entry.ip(), entry.prefixLength());
            if (!subnet.isNull())
                subnets.append(subnet);
        }
    }
    return subnets;
}

QList<Cidr> LocalNetworks::defaults() {
    return Cidr::withoutCovered(privateRanges() + connectedSubnets(QNetworkInterface::allInterfaces()));
}

} // namespace kestrava::agent
