#pragma once

#include "agent/enforce/Cidr.h"
#include "agent/enforce/LocalAccess.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <sys/types.h>

namespace kestrava::agent {

// Everything the agent's nftables table depends on.
struct RulesetInput {
    bool internetOff = false;
    LocalAccess localAccess = LocalAccess::All;
    QList<Cidr> localNetworks;
    QList<Cidr> alwaysAllow;        // every port
    QList<Cidr> whiteListAddresses; // white-list entries that are addresses: web ports only
    QList<QHostAddress> consoleAddresses;
    QList<quint16> consolePorts;   // 0 is ignored
    QList<QHostAddress> resolvers; // reachable on port 53 when local, with LocalAccess::Servers
    QList<int> controlledPorts;    // 0 (and anything outside 1..65535) is ignored
    bool dnsForwarderUp = false;
    uid_t dnsForwarderUid = 0;
    quint16 dnsForwarderPort = 0;
    bool flushDnsSets = false; // empty the DNS-filled sets allow4/allow6 (white list replaced)
};

// The nft scripts for the table inet kestrava. Pure: the text only, applied elsewhere.
class RulesetBuilder {
public:
    static constexpr auto kTable = "inet kestrava";
    // How long an address that DNS gave for a white-listed name stays allowed. Asking again does not
    // extend it (the kernel keeps an existing element as it is), and when it ends, flows to that
    // address are cut until the next lookup: long enough for a school day.
    static constexpr auto kDnsSetTimeout = "12h";

    // One transaction that leaves the table exactly as input describes. The DNS-filled sets
    // allow4 and allow6 keep their elements (unless flushDnsSets); every other set and chain is
    // written anew.
    static QString ruleset(const RulesetInput& input);
    // Removes the table; no error when it does not exist.
    static QString removal();
};

} // namespace kestrava::agent
