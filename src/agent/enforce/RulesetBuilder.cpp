#include "agent/enforce/RulesetBuilder.h"

#include <QStringList>
#include <algorithm>

namespace kestrava::agent {

namespace {

const QString kTableName = QLatin1String(RulesetBuilder::kTable);

struct NamedSet {
    QString name;
    QString declaration;
    QStringList elements;
};

QStringList networks(const QList<Cidr>& all, bool ipv4) {
    QStringList texts;
    for (const Cidr& network : Cidr::withoutCovered(all)) {
        if (network.isIPv4() == ipv4)
            texts.append(network.toString());
    }
    return texts;
}

QStringList addresses(const QList<QHostAddress>& all, bool ipv4) {
    QStringList texts;
    for (QHostAddress address : all) {
        bool isIPv4 = false;
        const quint32 ipv4Value = address.toIPv4Address(&isIPv4); // also true for ::ffff:a.b.c.d
        if (isIPv4)
            address = QHostAddress(ipv4Value);
        else if (address.protocol() != QAbstractSocket::IPv6Protocol)
            continue;
        address.setScopeId(QString());
        if (isIPv4 == ipv4 && !texts.contains(address.toString()))
            texts.append(address.toString());
    }
    return texts;
}

QStringList ports(const QList<int>& all) {
    QList<int> valid;
    for (const int port : all) {
        if (port >= 1 && port <= 65535 && !valid.contains(port))
            valid.append(port);
    }
    std::sort(valid.begin(), valid.end());
    QStringList texts;
    for (const int port : valid)
        texts.append(QString::number(port));
    return texts;
}

QString line(const QString& text) {
    return text + QLatin1Char('\n');
}

} // namespace

QString RulesetBuilder::ruleset(const RulesetInput& input) {
    const QString timeout = QLatin1String(kDnsSetTimeout);
    const QString interval4 = QStringLiteral("{ type ipv4_addr; flags interval; auto-merge; }");
    const QString interval6 = QStringLiteral("{ type ipv6_addr; flags interval; auto-merge; }");
    const QList<NamedSet> sets = {
        {QStringLiteral("local4"), interval4, networks(input.localNetworks, true)},
        {QStringLiteral("local6"), interval6, networks(input.localNetworks, false)},
        {QStringLiteral("always4"), interval4, networks(input.alwaysAllow, true)},
        {QStringLiteral("always6"), interval6, networks(input.alwaysAllow, false)},
        {QStringLiteral("listed4"), interval4, networks(input.whiteListAddresses, true)},
        {QStringLiteral("listed6"), interval6, networks(input.whiteListAddresses, false)},
        {QStringLiteral("console4"), QStringLiteral("{ type ipv4_addr; }"),
         addresses(input.consoleAddresses, true)},
        {QStringLiteral("console6"), QStringLiteral("{ type ipv6_addr; }"),
         addresses(input.consoleAddresses, false)},
        {QStringLiteral("resolvers4"), QStringLiteral("{ type ipv4_addr; }"),
         addresses(input.resolvers, true)},
        {QStringLiteral("resolvers6"), QStringLiteral("{ type ipv6_addr; }"),
         addresses(input.resolvers, false)},
        {QStringLiteral("ports"), QStringLiteral("{ type inet_service; }"), ports(input.controlledPorts)},
    };
    const QString table = kTableName + QLatin1Char(' ');

    QString script = line(QStringLiteral("add table ") + kTableName);
    // "add" keeps an existing set and its elements: DNS answers survive a policy change.
    script += line(QStringLiteral("add set %1allow4 { type ipv4_addr; flags timeout; timeout %2; }")
                       .arg(table, timeout));
    script += line(QStringLiteral("add set %1allow6 { type ipv6_addr; flags timeout; timeout %2; }")
                       .arg(table, timeout));
    if (input.flushDnsSets) {
        script += line(QStringLiteral("flush set %1allow4").arg(table));
        script += line(QStringLiteral("flush set %1allow6").arg(table));
    }
    // Chains go first: a set cannot change while rules refer to it. "add" without a hook accepts the
    // chain as it is, so the delete works whatever hook an earlier version gave it. output_filter goes
    // before refuse, which it refers to.
    for (const QString& chain :
         {QStringLiteral("dns_redirect"), QStringLiteral("output_filter"), QStringLiteral("refuse")}) {
        script += line(QStringLiteral("add chain %1%2").arg(table, chain));
        script += line(QStringLiteral("flush chain %1%2").arg(table, chain));
        script += line(QStringLiteral("delete chain %1%2").arg(table, chain));
    }
    for (const NamedSet& set : sets) {
        script += line(QStringLiteral("add set %1%2 %3").arg(table, set.name, set.declaration));
        script += line(QStringLiteral("flush set %1%2").arg(table, set.name));
        if (!set.elements.isEmpty()) {
            script += line(QStringLiteral("add element %1%2 { %3 }")
                               .arg(table, set.name, set.elements.join(QStringLiteral(", "))));
        }
    }

    if (input.dnsForwarderUp) {
        const QString uid = QString::number(input.dnsForwarderUid);
        const auto rule = [&](const QString& text) {
            script += line(QStringLiteral("add rule %1dns_redirect %2").arg(table, text));
        };
        script += line(QStringLiteral("add chain %1dns_redirect { type nat hook output priority -100; policy "
                                      "accept; }")
                           .arg(table));
        // The forwarder's own queries leave for the real resolvers unchanged, so no loop forms.
        rule(QStringLiteral("meta skuid %1 return").arg(uid));
        rule(QStringLiteral("meta l4proto { tcp, udp } th dport 53 redirect to :%1")
                 .arg(input.dnsForwarderPort));
    }

    if (input.internetOff) {
        const auto rule = [&](const QString& chain, const QString& text) {
            script += line(QStringLiteral("add rule %1%2 %3").arg(table, chain, text));
        };
        const auto out = [&](const QString& text) { rule(QStringLiteral("output_filter"), text); };
        // Refused rather than dropped: programs fail at once instead of waiting for a time-out.
        script += line(QStringLiteral("add chain %1refuse").arg(table));
        rule(QStringLiteral("refuse"), QStringLiteral("meta l4proto tcp reject with tcp reset"));
        rule(QStringLiteral("refuse"), QStringLiteral("reject with icmpx type admin-prohibited"));
        script += line(
            QStringLiteral("add chain %1output_filter { type filter hook output priority 0; policy accept; }")
                .arg(table));
        // No "ct state": every packet is matched, so flows opened while the internet was on end too.
        // DNS redirected to the forwarder still carries the device of its first route: its loopback
        // destination is what shows that it stays on the machine.
        out(QStringLiteral("oifname \"lo\" accept"));
        out(QStringLiteral("ip daddr 127.0.0.0/8 accept"));
        out(QStringLiteral("ip6 daddr ::1 accept"));
        // Only the console's ports: a proxy on the console's own computer is no way around.
        const QStringList consolePorts = ports({input.consolePorts.cbegin(), input.consolePorts.cend()});
        if (!consolePorts.isEmpty()) {
            const QString portSet = consolePorts.join(QStringLiteral(", "));
            out(QStringLiteral("ip daddr @console4 tcp dport { %1 } accept").arg(portSet));
            out(QStringLiteral("ip6 daddr @console6 tcp dport { %1 } accept").arg(portSet));
        }
        if (input.dnsForwarderUp) {
            out(QStringLiteral("meta skuid %1 meta l4proto { tcp, udp } th dport 53 accept")
                    .arg(input.dnsForwarderUid));
        }
        out(QStringLiteral("ip daddr @always4 accept"));
        out(QStringLiteral("ip6 daddr @always6 accept"));
        // DHCP from the client's port to the server's, on the link or to a local relay; the DHCP ports
        // carry nothing else, so they relay nothing to the outside.
        out(QStringLiteral("ip daddr 255.255.255.255 udp sport 68 udp dport 67 accept"));
        out(QStringLiteral("ip daddr @local4 udp sport 68 udp dport 67 accept"));
        out(QStringLiteral("ip6 daddr ff02::1:2 udp sport 546 udp dport 547 accept"));
        out(QStringLiteral("ip6 daddr @local6 udp sport 546 udp dport 547 accept"));
        out(QStringLiteral("meta l4proto { tcp, udp } th dport { 67, 68, 546, 547 } goto refuse"));
        // Without neighbour discovery (and the multicast listener reports its groups need on snooping
        // switches) the local network itself stops working.
        out(QStringLiteral("icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert, "
                           "mld-listener-report, mld2-listener-report } accept"));
        // White-listed hosts are for browsing, even when local: web ports only.
        const QString web =
            QStringLiteral("meta l4proto . th dport { tcp . 80, tcp . 443, udp . 443 } accept");
        for (const QString& set : {QStringLiteral("allow"), QStringLiteral("listed")}) {
            out(QStringLiteral("ip daddr @%1 %2").arg(set + QLatin1Char('4'), web));
            out(QStringLiteral("ip6 daddr @%1 %2").arg(set + QLatin1Char('6'), web));
        }
        if (input.localAccess == LocalAccess::Servers) {
            // Nothing else local. Queries reach the resolvers themselves only while the forwarder is
            // down (they are redirected to it otherwise).
            out(QStringLiteral(
                "ip daddr @resolvers4 ip daddr @local4 meta l4proto { tcp, udp } th dport 53 accept"));
            out(QStringLiteral(
                "ip6 daddr @resolvers6 ip6 daddr @local6 meta l4proto { tcp, udp } th dport 53 accept"));
        } else {
            // A proxy on the local network is no way around.
            out(QStringLiteral("ip daddr @local4 meta l4proto { tcp, udp } th dport @ports goto refuse"));
            out(QStringLiteral("ip6 daddr @local6 meta l4proto { tcp, udp } th dport @ports goto refuse"));
            out(QStringLiteral("ip daddr 224.0.0.0/24 accept"));
            out(QStringLiteral("ip6 daddr ff02::/16 accept"));
            out(QStringLiteral("ip daddr @local4 accept"));
            out(QStringLiteral("ip6 daddr @local6 accept"));
        }
        out(QStringLiteral("goto refuse"));
    }
    return script;
}

QString RulesetBuilder::removal() {
    return line(QStringLiteral("add table ") + kTableName) +
           line(QStringLiteral("delete table ") + kTableName);
}

} // namespace kestrava::agent
