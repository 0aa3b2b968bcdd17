#include "NetLab.h"

#include "HostCommands.h"
#include "LabComputer.h"
#include "LabNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

const QString kPrograms = QStringLiteral("/tmp/kvl-programs");

QString S(const char* text) {
    return QString::fromLatin1(text);
}

} // namespace

QString NetLab::lanName() {
    return QStringLiteral("kvl-%1-lan").arg(::getpid());
}

QString NetLab::pcName() {
    return QStringLiteral("kvl-%1-pc").arg(::getpid());
}

QString NetLab::sharedTempTemplate(const QString& purpose) {
    return S("/var/tmp/kvl-%1-%2-XXXXXX").arg(::getpid()).arg(purpose);
}

QString NetLab::enterLan() {
    if (::geteuid() != 0)
        return S("the network lab needs root (network namespaces and nftables)");
    for (const char* tool : {"ip", "nft", "dnsmasq"})
        if (HostCommands::find(S(tool)).isEmpty())
            return S("the network lab needs '%1' (packages iproute2, nftables, dnsmasq-base)").arg(S(tool));
    removeLeftovers();
    if (const QString failed = HostCommands::run(S("ip"), {S("netns"), S("add"), lanName()});
        !failed.isEmpty())
        return S("cannot create a network namespace: ") + failed;
    // Only the calling thread changes namespace: this must happen while it is the only one.
    const int fd = ::open(QFile::encodeName(S("/run/netns/") + lanName()).constData(), O_RDONLY | O_CLOEXEC);
    const bool joined = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!joined) {
        LabNetwork::removeNamespace(lanName());
        return S("cannot join the lab's network namespace");
    }
    return {};
}

NetLab::NetLab(const QString& unavailable)
    : m_unavailable(unavailable) {
    if (m_unavailable.isEmpty())
        build();
}

NetLab::~NetLab() {
    // Every process of the pc ends with its PID 1.
    m_pc.terminate();
    if (!m_pc.waitForFinished(5000))
        m_pc.kill();
    m_dns.kill();
    m_dns.waitForFinished(3000);
    // Whatever else still runs there ends with the namespaces.
    for (const QString& name : {pcName(), lanName()})
        LabNetwork::removeNamespace(name);
}

bool NetLab::build() {
    const QString pc = pcName();
    // "-n <lan>" commands; the internet's addresses sit on the lan side's loopback: the dummy link type
    // is not in every kernel, and a local address answers whatever interface the packet came in on.
    QStringList lanSide{QStringLiteral("link set lo up"),
                        QStringLiteral("link add kvl-lan type veth peer name kvl-pc netns ") + pc,
                        S("addr add %1/24 dev kvl-lan").arg(kLan),
                        S("addr add %1/24 dev kvl-lan").arg(kLanHost),
                        S("-6 addr add %1/64 dev kvl-lan nodad").arg(kLan6),
                        S("link set kvl-lan up"),
                        S("-6 addr add %1/128 dev lo nodad").arg(kWeb6)};
    for (const QString& address : {kWeb, kAllowedWeb, kDns})
        lanSide << S("addr add %1/32 dev lo").arg(address);
    const QStringList pcSide{S("link set lo up"),
                             S("addr add %1/24 dev kvl-pc").arg(kPc),
                             S("-6 addr add %1/64 dev kvl-pc nodad").arg(kPc6),
                             S("link set kvl-pc up"),
                             S("route add default via %1").arg(kLan),
                             S("-6 route add default via %1").arg(kLan6)};
    m_error = HostCommands::run(S("ip"), {S("netns"), S("add"), pc});
    for (const auto& [name, commands] : {std::pair(lanName(), lanSide), std::pair(pc, pcSide)})
        if (m_error.isEmpty())
            m_error = HostCommands::ipIn(name, commands);
    if (!m_error.isEmpty())
        return false;
    if (!LabComputer::writeEtc(m_files.path(), {kStudent, kStudent}, "nameserver " + kDns.toLatin1() + '\n',
                               "127.0.0.1 localhost\n::1 localhost\n")) {
        m_error = S("cannot write the pc's files in ") + m_files.path();
        return false;
    }
    if (!startPc())
        return false;
    for (const QString& address : {kWeb, kAllowedWeb, kWeb6})
        listenTcp(address, 80);
    listenTcp(kLan, kLanProxyPort);
    listenTcp(kLanHost, kLanProxyPort);
    return m_error.isEmpty() && startUpstreamDns();
}

bool NetLab::startPc() {
    m_launcher = QCoreApplication::applicationDirPath() + S("/kestrava-lab");
    m_pcPid = LabComputer::startInit(m_pc, m_launcher, pcName(), m_files.path(), kStudent);
    if (m_pcPid <= 0)
        m_error = S("the pc's namespaces could not be made: ") + m_launcher + S(" ") + m_pc.errorString();
    return m_pcPid > 0;
}

bool NetLab::listenTcp(const QString& address, quint16 port) {
    auto server = std::make_unique<QTcpServer>();
    // Taken and closed at once: a full queue of accepted connections would refuse the next probes.
    QObject::connect(server.get(), &QTcpServer::newConnection, [raw = server.get()] {
        while (QTcpSocket* socket = raw->nextPendingConnection()) {
            socket->close();
            socket->deleteLater();
        }
    });
    const bool listening = server->listen(QHostAddress(address), port);
    if (!listening)
        m_error = S("cannot listen on %1 port %2: %3").arg(address).arg(port).arg(server->errorString());
    m_listeners.push_back(std::move(server));
    return listening;
}

bool NetLab::echoUdp(const QString& address, quint16 port) {
    auto socket = std::make_unique<QUdpSocket>();
    QObject::connect(socket.get(), &QUdpSocket::readyRead, [raw = socket.get()] {
        while (raw->hasPendingDatagrams()) {
            // Sent from the bound address, without the arrival's interface that a reply datagram would name.
            const QNetworkDatagram datagram = raw->receiveDatagram();
            raw->writeDatagram(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
        }
    });
    const bool bound = socket->bind(QHostAddress(address), port);
    if (!bound)
        m_error = S("cannot bind UDP %1 port %2: %3").arg(address).arg(port).arg(socket->errorString());
    m_listeners.push_back(std::move(socket));
    return bound;
}

QByteArray NetLab::upstreamDnsLog() {
    m_dnsLog += m_dns.readAll();
    return m_dnsLog;
}

bool NetLab::startUpstreamDns() {
    const QStringList options{S("--log-queries"), S("--address=/allowed.test/") + kAllowedWeb};
    if (!LabNetwork::startDns(m_dns, lanName(), {kDns}, options, m_dnsLog))
        m_error = S("the upstream DNS did not start: ") + QString::fromLocal8Bit(m_dnsLog);
    return m_error.isEmpty();
}

bool NetLab::probe(const QString& host, quint16 port, int timeoutMs) const {
    return waitedProbe({S("--probe"), host, QString::number(port), QString::number(timeoutMs)}, timeoutMs) ==
           0;
}

bool NetLab::probeUdp(const QString& host, quint16 port, quint16 sourcePort, int timeoutMs) const {
    return waitedProbe({S("--probe-udp"), host, QString::number(port), QString::number(timeoutMs),
                        QString::number(sourcePort)},
                       timeoutMs) == 0;
}

int NetLab::waitedProbe(const QStringList& arguments, int timeoutMs) const {
    QProcess probe;
    probe.start(m_launcher, LabComputer::enterArguments(m_pcPid, 0, kStudentProcesses,
                                                        QStringList{QCoreApplication::applicationFilePath()} +
                                                            arguments));
    // The event loop goes on meanwhile: the console keeps talking to the agent.
    if (!QTest::qWaitFor([&] { return probe.state() == QProcess::NotRunning; }, timeoutMs + 5000)) {
        probe.kill();
        probe.waitForFinished(1000);
        return -1;
    }
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

QString NetLab::pcPath(const QString& path) const {
    return S("/proc/%1/root").arg(m_pcPid) + path;
}

QString NetLab::copyOfSleep(const QString& name) const {
    const QString path = kPrograms + QLatin1Char('/') + name;
    QDir().mkpath(pcPath(kPrograms));
    QFile::copy(S("/bin/sleep"), pcPath(path));
    QFile::setPermissions(pcPath(path), QFile::permissions(S("/bin/sleep")) | QFile::ExeOther);
    return path;
}

bool NetLab::startInPcAs(QProcess& process, const QString& program, const QStringList& arguments, uid_t user,
                         long processes) const {
    process.start(m_launcher,
                  LabComputer::enterArguments(m_pcPid, user, processes, QStringList{program} + arguments));
    return process.waitForStarted(5000);
}

qint64 NetLab::programPid(const QProcess& process) {
    const qint64 launcher = process.processId();
    QFile children(S("/proc/%1/task/%1/children").arg(launcher));
    return launcher > 0 && children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toLongLong() : 0;
}

QByteArray NetLab::inPc(const QString& command, bool* ok, uid_t user) const {
    QStringList words = command.split(QLatin1Char(' '));
    QByteArray output;
    words.first() = HostCommands::find(words.first());
    const QString failed = HostCommands::run(
        m_launcher, LabComputer::enterArguments(m_pcPid, user, kStudentProcesses, words), &output);
    if (ok)
        *ok = failed.isEmpty();
    return output;
}

QString NetLab::agentTable() const {
    bool ok = false;
    const QByteArray table = inPc(S("nft list table inet kestrava"), &ok);
    return ok ? QString::fromUtf8(table) : QString();
}

void NetLab::removeLeftovers() {
    // "kvl-<pid>-...", of a run whose process is gone.
    const auto dead = [](const QString& name) {
        const qint64 pid = name.section(QLatin1Char('-'), 1, 1).toLongLong();
        return name.startsWith(S("kvl-")) && pid > 0 && !HostCommands::isAlive(pid);
    };
    const QDir shared(S("/var/tmp"));
    for (const QString& name : shared.entryList({S("kvl-*")}, QDir::Dirs | QDir::NoDotAndDotDot))
        if (dead(name))
            QDir(shared.filePath(name)).removeRecursively();
    QByteArray list;
    HostCommands::run(S("ip"), {S("netns"), S("list")}, &list);
    for (const QByteArray& line : list.split('\n'))
        if (const QString name = QString::fromLatin1(line).section(QLatin1Char(' '), 0, 0); dead(name))
            LabNetwork::removeNamespace(name);
}
