#pragma once

#include "agent/enforce/Cidr.h"

#include <QList>
#include <QNetworkInterface>

namespace kestrava::agent {

// What counts as the local network when the configuration names none.
class LocalNetworks {
public:
    // 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, fc00::/7, fe80::/10.
    static QList<Cidr> privateRanges();
    // The subnets of the given interfaces' addresses, loopback interfaces and addresses left out.
    static QList<Cidr> connectedSubnets(const QList<QNetworkInterface>& interfaces);
    // The private ranges followed by the host's own connected subnets (those not already covered).
    static QList<Cidr> defaults();
};

} // namespace kestrava::agent
