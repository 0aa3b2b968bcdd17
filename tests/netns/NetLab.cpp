#include "NetLab.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <unistd.h>

namespace {

const QString kEtcNetns = QStringLiteral("/etc/netns/");
constexpr int kToolWaitMs = 20000;

QString S(const char* text) {
    return QString::fromLatin1(text);
}

QString findTool(const QString& name) {
    // Not every PATH names the sbin folders.
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {S("/usr/sbin"), S("/sbin")});
    return path;
}

} // namespace

QString NetLab::lanName() {
    return QStringLiteral("kvl-%1-lan").arg(::getpid());
}

QString NetLab::pcName() {
    return QStringLiteral("kvl-%1-pc").arg(::getpid());
}

QString NetLab::enterLan() {
    if (::geteuid() != 0)
        return S("the network lab needs root (network namespaces and nftables)");
    for (const char* tool : {"ip", "nft", "dnsmasq"})
        if (findTool(S(tool)).isEmpty())
            return S("the network lab needs '%1' (packages iproute2, nftables, dnsmasq-base)").arg(S(tool));
    removeLeftovers();
    if (const QString failed = runAll({S("ip netns add ") + lanName()}); !failed.isEmpty())
        return S("cannot create a network namespace: ") + failed;
    // Only the calling thread changes namespace: this must happen while it is the only one.
    const int fd = ::open(QFile::encodeName(namespaceFile(lanName())).constData(), O_RDONLY | O_CLOEXEC);
    const bool joined = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!joined) {
        removeNamespace(lanName());
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
    m_dns.kill();
    m_dns.waitForFinished(3000);
    // Whatever else still runs there ends with the namespaces.
    for (const QString& name : {pcName(), lanName()})
        removeNamespace(name);
    QDir(kEtcNetns + pcName()).removeRecursively();
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
    for (const QString& address : {kWeb, kAllowedWeb, kOtherWeb, kDns})
        lanSide << S("addr add %1/32 dev lo").arg(address);
    const QStringList pcSide{S("link set lo up"),
                             S("addr add %1/24 dev kvl-pc").arg(kPc),
                             S("-6 addr add %1/64 dev kvl-pc nodad").arg(kPc6),
                             S("link set kvl-pc up"),
                             S("route add default via %1").arg(kLan),
                             S("-6 route add default via %1").arg(kLan6)};
    QStringList commands{S("ip netns add ") + pc};
    for (const QString& command : lanSide)
        commands << S("ip -n %1 %2").arg(lanName(), command);
    for (const QString& command : pcSide)
        commands << S("ip -n %1 %2").arg(pc, command);
    if (m_error = runAll(commands); !m_error.isEmpty())
        return false;
    const QString etc = kEtcNetns + pc;
    QFile resolv(etc + S("/resolv.conf"));
    QFile hosts(etc + S("/hosts"));
    if (!QDir().mkpath(etc) || !resolv.open(QIODevice::WriteOnly) || !hosts.open(QIODevice::WriteOnly) ||
        resolv.write("nameserver " + kDns.toLatin1() + '\n') < 0 ||
        hosts.write("127.0.0.1 localhost\n::1 localhost\n") < 0) {
        m_error = S("cannot write ") + etc;
        return false;
    }
    for (const QString& address : {kWeb, kAllowedWeb, kOtherWeb, kWeb6})
        listen(address, 80);
    listen(kLan, kLanProxyPort);
    listen(kLanHost, kLanProxyPort);
    return m_error.isEmpty() && startUpstreamDns();
}

void NetLab::listen(const QString& address, quint16 port) {
    auto server = std::make_unique<QTcpServer>();
    // Taken and closed at once: a full queue of accepted connections would refuse the next probes.
    QObject::connect(server.get(), &QTcpServer::newConnection, [raw = server.get()] {
        while (QTcpSocket* socket = raw->nextPendingConnection()) {
            socket->close();
            socket->deleteLater();
        }
    });
    if (!server->listen(QHostAddress(address), port))
        m_error = S("cannot listen on %1 port %2: %3").arg(address).arg(port).arg(server->errorString());
    m_listeners.push_back(std::move(server));
}

bool NetLab::startUpstreamDns() {
    m_dns.setProcessChannelMode(QProcess::MergedChannels);
    m_dns.start(findTool(S("dnsmasq")),
                {S("--no-daemon"), S("--conf-file=/dev/null"), S("--no-resolv"), S("--no-hosts"),
                 S("--pid-file="), S("--listen-address=") + kDns, S("--bind-interfaces"),
                 S("--address=/allowed.test/") + kAllowedWeb, S("--address=/other.test/") + kOtherWeb});
    QByteArray output;
    const bool started = QTest::qWaitFor(
        [&] {
            output += m_dns.readAll();
            return output.contains("started") || m_dns.state() == QProcess::NotRunning;
        },
        5000);
    if (!started || m_dns.state() == QProcess::NotRunning) {
        m_error = S("the upstream DNS did not start: ") + QString::fromLocal8Bit(output);
        return false;
    }
    return true;
}

bool NetLab::probe(const QString& host, quint16 port, int timeoutMs) const {
    QProcess probe;
    probe.start(S("ip"), {S("netns"), S("exec"), pcName(), QCoreApplication::applicationFilePath(),
                          S("--probe"), host, QString::number(port), QString::number(timeoutMs)});
    // The event loop goes on meanwhile: the console keeps talking to the agent.
    if (!QTest::qWaitFor([&] { return probe.state() == QProcess::NotRunning; }, timeoutMs + 5000)) {
        probe.kill();
        probe.waitForFinished(1000);
        return false;
    }
    return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

QString NetLab::copyOfSleep(const QString& name) const {
    const QString path = m_programs.filePath(name);
    QFile::setPermissions(m_programs.path(), QFile::permissions(m_programs.path()) | QFile::ExeOther);
    QFile::copy(QStringLiteral("/bin/sleep"), path);
    return path;
}

bool NetLab::startInPcAs(QProcess& process, const QString& program, const QStringList& arguments,
                         uid_t user) const {
    const int pcNet = ::open(QFile::encodeName(namespaceFile(pcName())).constData(), O_RDONLY | O_CLOEXEC);
    if (pcNet < 0)
        return false;
    process.setChildProcessModifier([pcNet, user] {
        if (::setns(pcNet, CLONE_NEWNET) != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 ||
            ::setuid(user) != 0)
            ::_exit(126);
    });
    process.start(program, arguments);
    const bool started = process.waitForStarted(5000);
    ::close(pcNet);
    return started;
}

QByteArray NetLab::inPc(const QString& command, bool* ok) const {
    return run((S("ip netns exec ") + pcName() + QLatin1Char(' ') + command).split(QLatin1Char(' ')), ok);
}

QString NetLab::agentTable() const {
    bool ok = false;
    const QByteArray table = inPc(S("nft list table inet kestrava"), &ok);
    return ok ? QString::fromUtf8(table) : QString();
}

QString NetLab::runAll(const QStringList& commands) {
    for (const QString& command : commands) {
        QByteArray errors;
        bool ok = false;
        run(command.split(QLatin1Char(' ')), &ok, &errors);
        if (!ok)
            return command + S(": ") + QString::fromLocal8Bit(errors).trimmed();
    }
    return {};
}

QByteArray NetLab::run(const QStringList& command, bool* ok, QByteArray* errors) {
    QProcess process;
    process.start(findTool(command.first()), command.mid(1));
    const bool finished = process.waitForFinished(kToolWaitMs);
    if (!finished)
        process.kill();
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (errors)
        *errors = process.readAllStandardError();
    return process.readAllStandardOutput();
}

void NetLab::removeNamespace(const QString& name) {
    // Whatever still runs there (an agent, its dnsmasq, a test program) would keep it alive.
    const QByteArray pids = run({S("ip"), S("netns"), S("pids"), name});
    for (const QByteArray& pid : pids.split('\n')) {
        const int number = pid.trimmed().toInt();
        if (number > 0 && number != ::getpid())
            ::kill(number, SIGKILL);
    }
    run({S("ip"), S("netns"), S("delete"), name});
}

void NetLab::removeLeftovers() {
    static const QRegularExpression ours(S("^kvl-(\\d+)-(lan|pc)\\b"));
    const QByteArray list = run({S("ip"), S("netns"), S("list")});
    for (const QByteArray& line : list.split('\n')) {
        const QRegularExpressionMatch match = ours.match(QString::fromLatin1(line));
        if (!match.hasMatch() || QFileInfo::exists(S("/proc/") + match.captured(1)))
            continue;
        const QString name = S("kvl-%1-%2").arg(match.captured(1), match.captured(2));
        removeNamespace(name);
        QDir(kEtcNetns + name).removeRecursively();
    }
}
