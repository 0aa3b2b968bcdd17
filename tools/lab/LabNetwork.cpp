#include "LabNetwork.h"

#include "HostCommands.h"

#include <QDebug>
#include <QFile>
#include <csignal>
#include <unistd.h>

namespace {

constexpr int kStartWaitMs = 10000;

QString sysctlIn(const QString& name, const QStringList& settings) {
    for (const QString& setting : settings) {
        if (QString failed =
                HostCommands::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                                         name, HostCommands::find(QStringLiteral("sysctl")),
                                                         QStringLiteral("-qw"), setting});
            !failed.isEmpty())
            return failed;
    }
    return {};
}

// Waits until the process has printed ready, or has ended.
bool waitForLine(QProcess& process, const QByteArray& ready, QByteArray& seen) {
    while (process.state() != QProcess::NotRunning && !seen.contains(ready)) {
        if (!process.waitForReadyRead(kStartWaitMs))
            break;
        seen += process.readAll();
    }
    return seen.contains(ready);
}

} // namespace

const QList<LabNetwork::Site>& LabNetwork::sites() {
    static const QList<Site> all{
        {QStringLiteral("news.example"), QStringLiteral("203.0.113.10"), QStringLiteral("2001:db8::10")},
        {QStringLiteral("games.example"), QStringLiteral("203.0.113.20"), QStringLiteral("2001:db8::20")},
        {QStringLiteral("school.example"), QStringLiteral("203.0.113.30"), QStringLiteral("2001:db8::30")},
        {QStringLiteral("video.example"), QStringLiteral("203.0.113.40"), QStringLiteral("2001:db8::40")},
    };
    return all;
}

QString LabNetwork::prefix() {
    return QStringLiteral("kvlab-%1-").arg(::getpid());
}

LabNetwork::LabNetwork(QString labProgram)
    : m_labProgram(std::move(labProgram)) {}

LabNetwork::~LabNetwork() {
    remove({});
}

QString LabNetwork::build() {
    m_built = true;
    for (const QString& name : {lanName(), internetName()}) {
        if (QString failed = HostCommands::run(QStringLiteral("ip"),
                                               {QStringLiteral("netns"), QStringLiteral("add"), name});
            !failed.isEmpty())
            return failed;
        qInfo().noquote() << "kestrava-lab: made the network namespace" << name;
    }
    const QString lan = lanName();
    const QString internet = internetName();
    QStringList internetSide{QStringLiteral("link set lo up"),
                             QStringLiteral("addr add 10.213.1.2/24 dev isp"),
                             QStringLiteral("-6 addr add fd00:213:1::2/64 dev isp nodad"),
                             QStringLiteral("link set isp up"),
                             QStringLiteral("addr add %1/32 dev lo").arg(kInternet),
                             QStringLiteral("addr add %1/32 dev lo").arg(kDns),
                             QStringLiteral("-6 addr add %1/128 dev lo nodad").arg(kDns6),
                             QStringLiteral("-6 addr add 2001:db8::1/128 dev lo nodad")};
    for (const Site& site : sites())
        internetSide << QStringLiteral("addr add %1/32 dev lo").arg(site.address)
                     << QStringLiteral("-6 addr add %1/128 dev lo nodad").arg(site.address6);
    internetSide << QStringLiteral("route add 10.213.0.0/24 via 10.213.1.1")
                 << QStringLiteral("-6 route add fd00:213::/64 via fd00:213:1::1");
    const QStringList lanSide{QStringLiteral("link set lo up"),
                              QStringLiteral("link add br0 type bridge"),
                              QStringLiteral("addr add %1/24 dev br0").arg(kConsole),
                              QStringLiteral("-6 addr add fd00:213::1/64 dev br0 nodad"),
                              QStringLiteral("link set br0 up"),
                              QStringLiteral("link add wan type veth peer name isp netns ") + internet,
                              QStringLiteral("addr add 10.213.1.1/24 dev wan"),
                              QStringLiteral("-6 addr add fd00:213:1::1/64 dev wan nodad"),
                              QStringLiteral("link set wan up"),
                              QStringLiteral("route add default via 10.213.1.2"),
                              QStringLiteral("-6 route add default via fd00:213:1::2")};
    if (QString failed = HostCommands::ipIn(lan, lanSide); !failed.isEmpty())
        return failed;
    if (QString failed = HostCommands::ipIn(internet, internetSide); !failed.isEmpty())
        return failed;
    if (QString failed = sysctlIn(
            lan, {QStringLiteral("net.ipv4.ip_forward=1"), QStringLiteral("net.ipv6.conf.all.forwarding=1")});
        !failed.isEmpty())
        return failed;
    qInfo().noquote() << "kestrava-lab: the LAN 10.213.0.0/24 and the internet 203.0.113.0/24 are up";
    return startServers();
}

bool LabNetwork::startDns(QProcess& dns, const QString& networkNamespace, const QStringList& addresses,
                          const QStringList& options, QByteArray& seen) {
    QStringList arguments{QStringLiteral("netns"),
                          QStringLiteral("exec"),
                          networkNamespace,
                          HostCommands::find(QStringLiteral("dnsmasq")),
                          QStringLiteral("--keep-in-foreground"),
                          QStringLiteral("--log-facility=-"),
                          QStringLiteral("--conf-file=/dev/null"),
                          QStringLiteral("--no-resolv"),
                          QStringLiteral("--no-hosts"),
                          QStringLiteral("--pid-file="),
                          QStringLiteral("--bind-interfaces")};
    for (const QString& address : addresses)
        arguments << QStringLiteral("--listen-address=") + address;
    dns.setProcessChannelMode(QProcess::MergedChannels);
    HostCommands::endWithLab(dns);
    dns.start(QStringLiteral("ip"), arguments + options);
    return waitForLine(dns, "started", seen);
}

QString LabNetwork::startServers() {
    QStringList names;
    for (const Site& site : sites())
        names << QStringLiteral("--address=/%1/%2").arg(site.name, site.address)
              << QStringLiteral("--address=/%1/%2").arg(site.name, site.address6);
    QByteArray seen;
    if (!startDns(m_dns, internetName(), {kDns, kDns6}, names, seen))
        return QStringLiteral("the internet's DNS server did not start: ") +
               QString::fromLocal8Bit(seen).trimmed();
    m_web.setProcessChannelMode(QProcess::MergedChannels);
    HostCommands::endWithLab(m_web);
    m_web.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), internetName(),
                                       m_labProgram, QStringLiteral("--serve"), QStringLiteral("80"),
                                       QStringLiteral("443"), QStringLiteral("8080")});
    seen.clear();
    if (!waitForLine(m_web, "serving", seen))
        return QStringLiteral("the internet's web server did not start: ") +
               QString::fromLocal8Bit(seen).trimmed();
    qInfo().noquote() << "kestrava-lab: the internet's DNS server and web server (ports 80, 443, 8080) run";
    return {};
}

QString LabNetwork::join(const QString& computerNamespace, int index) {
    const QString port = QStringLiteral("pc%1").arg(index);
    const QString lanSide =
        QStringLiteral("link add %1 type veth peer name eth0 netns %2").arg(port, computerNamespace);
    if (QString failed =
            HostCommands::ipIn(lanName(), {lanSide, QStringLiteral("link set %1 master br0").arg(port),
                                           QStringLiteral("link set %1 up").arg(port)});
        !failed.isEmpty())
        return failed;
    return HostCommands::ipIn(
        computerNamespace,
        {QStringLiteral("link set lo up"), QStringLiteral("addr add %1/24 dev eth0").arg(addressOf(index)),
         QStringLiteral("-6 addr add fd00:213::%1/64 dev eth0 nodad").arg(10 + index),
         QStringLiteral("link set eth0 up"), QStringLiteral("route add default via ") + kConsole,
         QStringLiteral("-6 route add default via fd00:213::1")});
}

void LabNetwork::remove(const QStringList& computerNamespaces) {
    for (QProcess* process : {&m_web, &m_dns}) {
        process->kill();
        process->waitForFinished(3000);
    }
    if (!m_built)
        return;
    for (const QString& name : computerNamespaces + QStringList{lanName(), internetName()})
        if (removeNamespace(name))
            qInfo().noquote() << "kestrava-lab: removed the network namespace" << name;
    m_built = false;
}

bool LabNetwork::removeNamespace(const QString& name) {
    if (!QFile::exists(QStringLiteral("/run/netns/") + name))
        return false;
    QByteArray pids;
    HostCommands::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), name}, &pids);
    for (const QByteArray& pid : pids.split('\n')) {
        const int number = pid.trimmed().toInt();
        if (number > 0 && number != ::getpid())
            ::kill(number, SIGKILL);
    }
    const QString failed =
        HostCommands::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), name});
    if (!failed.isEmpty())
        qWarning().noquote() << "kestrava-lab:" << failed;
    return failed.isEmpty();
}
