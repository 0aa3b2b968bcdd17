#include "agent/enforce/DnsForwarder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::agent {

Q_LOGGING_CATEGORY(lcDns, "kestrava.agent.dns")

namespace {

// Browsers that resolve over HTTPS ask for this name first and fall back to the system's DNS when
// it does not exist.
const QString kCanaryName = QStringLiteral("use-application-dns.net");

QByteArray probeQuery(quint16 id) {
    QByteArray query;
    query.append(char(id >> 8)).append(char(id & 0xff));
    query.append("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10); // recursion desired, one question
    for (const QString& label : kCanaryName.split(QLatin1Char('.')))
        query.append(char(label.size())).append(label.toLatin1());
    query.append("\x00\x00\x01\x00\x01", 5); // root, type A, class IN
    return query;
}

bool isHostName(const QString& host) {
    static const QRegularExpression label(QStringLiteral("^[a-z0-9_]([a-z0-9_-]{0,61}[a-z0-9_])?$"));
    if (host.isEmpty() || host.size() > 253 ||
        QHostAddress(host).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol)
        return false;
    const QStringList labels = host.split(QLatin1Char('.'));
    return std::all_of(labels.begin(), labels.end(),
                       [](const QString& part) { return label.match(part).hasMatch(); });
}

// The reverse zones of one network: its whole labels, and when the prefix ends inside a label, one
// zone for each value the label's free bits take.
QStringList zonesOf(const Cidr& network) {
    const bool v4 = network.isIPv4();
    const int labelBits = v4 ? 8 : 4;
    QList<int> labels; // most significant first
    if (v4) {
        const quint32 address = network.address().toIPv4Address();
        for (int shift = 24; shift >= 0; shift -= 8)
            labels.append(int(address >> shift) & 0xff);
    } else {
        const Q_IPV6ADDR address = network.address().toIPv6Address();
        for (const quint8 byte : address.c)
            labels << (byte >> 4) << (byte & 0xf);
    }
    const int whole = network.prefixLength() / labelBits;
    const int spareBits = network.prefixLength() % labelBits;
    const int count = spareBits ? 1 << (labelBits - spareBits) : 1;
    QStringList zones;
    for (int value = 0; value < count; ++value) {
        QStringList parts = {v4 ? QStringLiteral("in-addr.arpa") : QStringLiteral("ip6.arpa")};
        for (int i = 0; i < whole + (spareBits ? 1 : 0); ++i)
            parts.prepend(QString::number(labels[i] + (i == whole ? value : 0), v4 ? 10 : 16));
        zones.append(parts.join(QLatin1Char('.')));
    }
    return zones;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DnsForwarder::DnsForwarder(QObject* parent)
    : QObject(parent) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // dnsmasq logs to stderr: the journal
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_restartTimer.setSingleShot(true);
    m_killTimer.setSingleShot(true);
    m_probeTimer.setInterval(kProbeIntervalMs);
    connect(&m_process, &QProcess::started, this, &DnsForwarder::startProbing);
    connect(&m_process, &QProcess::finished, this, &DnsForwarder::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &DnsForwarder::onErrorOccurred);
    connect(&m_restartTimer, &QTimer::timeout, this, &DnsForwarder::launch);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_probeTimer, &QTimer::timeout, this, &DnsForwarder::probe);
    connect(&m_probeSocket, &QUdpSocket::readyRead, this, &DnsForwarder::readProbeAnswer);
}

DnsForwarder::~DnsForwarder() {
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(kKillAfterMs);
    }
}

QStringList DnsForwarder::upstreamResolvers(const QString& resolvConfText) {
    QStringList servers;
    for (const QString& line : resolvConfText.split(QLatin1Char('\n'))) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() < 2 || words[0] != QLatin1String("nameserver"))
            continue;
        const QString& server = words[1];
        const QHostAddress address(server);
        if (address.isNull() || address.isLoopback() || address.isEqual(QHostAddress::AnyIPv4) ||
            address.isEqual(QHostAddress::AnyIPv6) || servers.contains(server))
            continue;
        servers.append(server);
    }
    return servers;
}

QStringList DnsForwarder::searchDomains(const QString& resolvConfText) {
    QStringList domains;
    for (const QString& line : resolvConfText.split(QLatin1Char('\n'))) {
        QStringList words = line.simplified().split(QLatin1Char(' '));
        const QString keyword = words.takeFirst();
        if (keyword == QLatin1String("search") || keyword == QLatin1String("domain"))
            domains = whiteListHosts(words);
    }
    return domains;
}

QString DnsForwarder::resolvConfPath(const QString& resolvedPath, const QString& fallbackPath) {
    return QFileInfo::exists(resolvedPath) ? resolvedPath : fallbackPath;
}

QString DnsForwarder::systemUser() {
    return userId(QStringLiteral("dnsmasq")) ? QStringLiteral("dnsmasq") : QStringLiteral("nobody");
}

std::optional<uid_t> DnsForwarder::userId(const QString& user) {
    const passwd* entry = getpwnam(user.toLocal8Bit().constData());
    if (!entry)
        return std::nullopt;
    return entry->pw_uid;
}

QStringList DnsForwarder::whiteListHosts(const QStringList& entries) {
    QStringList hosts;
    for (const QString& entry : entries) {
        QString text = entry.trimmed();
        const qsizetype scheme = text.indexOf(QLatin1String("://"));
        if (scheme >= 0)
            text = text.mid(scheme + 3);
        text = text.section(QRegularExpression(QStringLiteral("[/:]")), 0, 0).trimmed().toLower();
        // "*.example.org" and ".example.org" mean what "example.org" already covers; a final dot is
        // the DNS root.
        while (text.startsWith(QLatin1String("*.")) || text.startsWith(QLatin1Char('.')))
            text.remove(0, text.startsWith(QLatin1Char('.')) ? 1 : 2);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        const QString host = QString::fromLatin1(QUrl::toAce(text));
        if (isHostName(host) && !hosts.contains(host))
            hosts.append(host);
    }
    return hosts;
}

QStringList DnsForwarder::reverseZones(const QList<Cidr>& networks) {
    QStringList zones;
    for (const Cidr& network : Cidr::withoutCovered(networks)) {
        const QStringList more = zonesOf(network);
        if (zones.size() + more.size() <= kMaxReverseZones)
            zones += more;
    }
    return zones;
}

QString DnsForwarder::configText(const DnsForwarderConfig& config) {
    QStringList lines = {
        QStringLiteral("# Written by kestrava-agent each time it starts dnsmasq; edits are lost."),
        QStringLiteral("pid-file="),
        QStringLiteral("log-facility=-"),
        QStringLiteral("no-hosts"),
        QStringLiteral("no-resolv"),
        // Only answers that come from upstream fill the sets: with a cache, a name asked again
        // after its addresses timed out of the set would stay blocked until the cache expired.
        QStringLiteral("cache-size=0"),
        QStringLiteral("bind-interfaces"),
        QStringLiteral("listen-address=127.0.0.1"),
    };
    if (config.ipv6)
        lines.append(QStringLiteral("listen-address=::1"));
    lines.append(QStringLiteral("port=%1").arg(config.port));
    lines.append(QStringLiteral("user=%1").arg(config.user));
    lines.append(QStringLiteral("address=/%1/").arg(kCanaryName)); // NXDOMAIN
    const QStringList hosts = whiteListHosts(config.whiteList);
    if (config.internetOff) {
        // No default server: dnsmasq refuses every other name and sends nothing.
        QStringList domains = hosts;
        if (QHostAddress(config.consoleHost).isNull())
            domains += whiteListHosts({config.consoleHost});
        domains += config.searchDomains;
        domains += reverseZones(config.localNetworks);
        domains.removeDuplicates();
        for (const QString& domain : std::as_const(domains)) {
            for (const QString& server : config.upstreams)
                lines.append(QStringLiteral("server=/%1/%2").arg(domain, server));
        }
    } else {
        for (const QString& server : config.upstreams)
            lines.append(QStringLiteral("server=") + server);
    }
    for (const QString& host : hosts)
        lines.append(QStringLiteral("nftset=/%1/4#inet#kestrava#allow4,6#inet#kestrava#allow6").arg(host));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

DnsForwarderConfig DnsForwarder::systemConfig(DnsForwarderConfig config) {
    QFile file(resolvConfPath());
    const QString resolvConf = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    config.port = kPort;
    config.user = systemUser();
    config.upstreams = upstreamResolvers(resolvConf);
    config.searchDomains = searchDomains(resolvConf);
    config.ipv6 = QNetworkInterface::allAddresses().contains(QHostAddress(QHostAddress::LocalHostIPv6));
    return config;
}

void DnsForwarder::start(const DnsForwarderConfig& config) {
    if (config.upstreams.isEmpty()) {
        if (!m_warnedNoUpstream)
            qCWarning(lcDns) << "no upstream DNS resolver besides loopback ones; DNS is not redirected and"
                                " white-listed names are not allowed";
        m_warnedNoUpstream = true;
        stop();
        m_configText.clear();
        return;
    }
    m_warnedNoUpstream = false;
    const QString text = configText(config);
    const QString path = QDir(config.directory).filePath(QLatin1String(kConfigFileName));
    const bool running = m_process.state() != QProcess::NotRunning;
    const bool changed = text != m_configText || path != m_configPath;
    m_wanted = true;
    m_configText = text;
    m_configPath = path;
    m_uid = userId(config.user).value_or(0);
    m_port = config.port;
    if (running && !changed && !m_exitExpected)
        return;
    if (running) {
        // onFinished starts it again with the new configuration.
        m_exitExpected = true;
        m_process.terminate();
        m_killTimer.start(kKillAfterMs);
        return;
    }
    if (changed || !m_restartTimer.isActive()) {
        m_restartTimer.stop();
        m_retryMs = kFirstRetryMs;
        launch();
    }
}

void DnsForwarder::stop() {
    m_wanted = false;
    m_restartTimer.stop();
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_exitExpected = true;
    m_process.terminate();
    m_killTimer.start(kKillAfterMs);
}

void DnsForwarder::launch() {
    if (!m_wanted || m_process.state() != QProcess::NotRunning)
        return;
    // Debian puts it in /usr/sbin, which a service's PATH may lack.
    QString program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"),
                                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty())
        program = QStringLiteral("dnsmasq"); // fails to start: logged, and tried again later
    m_exitExpected = false;
    const QString error = writeConfig();
    if (!error.isEmpty()) {
        afterExit(QStringLiteral("could not be started (%1)").arg(error));
        return;
    }
    // The configuration stays off the command line, which every user can read.
    const QStringList arguments = {QStringLiteral("--keep-in-foreground"),
                                   QStringLiteral("--conf-file=") + m_configPath};
    qCInfo(lcDns).noquote() << "starting" << program << arguments.join(QLatin1Char(' '));
    m_process.start(program, arguments);
}

QString DnsForwarder::writeConfig() const {
    // dnsmasq reads the file as root, before it drops to its user; nobody else may read the white list.
    const QString directory = QFileInfo(m_configPath).path();
    if (!QFileInfo::exists(directory)) {
        if (!QDir().mkpath(directory))
            return QStringLiteral("cannot create %1").arg(directory);
        QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray target = QFile::encodeName(m_configPath);
    const QByteArray temporary = target + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        const QString reason = systemError();
        if (fd >= 0)
            ::close(fd);
        return QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(temporary), reason);
    }
    QFile file;
    file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    const QByteArray bytes = m_configText.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    QString reason = file.errorString();
    file.close();
    if (written && ::rename(temporary.constData(), target.constData()) == 0)
        return {};
    if (written)
        reason = systemError();
    ::unlink(temporary.constData());
    return QStringLiteral("cannot write %1: %2").arg(m_configPath, reason);
}

void DnsForwarder::onFinished(int exitCode, QProcess::ExitStatus status) {
    afterExit(status == QProcess::CrashExit ? QStringLiteral("was killed")
                                            : QStringLiteral("exited with code %1").arg(exitCode));
}

void DnsForwarder::onErrorOccurred(QProcess::ProcessError error) {
    // Only a failed start comes without finished().
    if (error == QProcess::FailedToStart)
        afterExit(QStringLiteral("could not be started (%1)").arg(m_process.errorString()));
}

void DnsForwarder::afterExit(const QString& how) {
    m_killTimer.stop();
    setUp(false);
    if (m_exitExpected) {
        qCInfo(lcDns).noquote() << "dnsmasq" << how;
        m_exitExpected = false;
        if (m_wanted)
            launch(); // new configuration
        return;
    }
    // A run that lasted a while starts the back-off afresh.
    if (m_upSince.isValid() && m_upSince.elapsed() > kLastRetryMs)
        m_retryMs = kFirstRetryMs;
    m_upSince.invalidate();
    if (!m_wanted)
        return;
    qCWarning(lcDns).noquote() << "dnsmasq" << how << "- restarting in" << m_retryMs / 1000 << "s";
    m_restartTimer.start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, kLastRetryMs);
}

void DnsForwarder::startProbing() {
    if (m_probeSocket.state() != QAbstractSocket::BoundState)
        m_probeSocket.bind(QHostAddress::LocalHost, 0);
    m_probeId = quint16(QRandomGenerator::global()->bounded(1, 0x10000));
    m_probesLeft = kProbeAttempts;
    m_probeTimer.start();
    probe();
}

void DnsForwarder::probe() {
    if (m_probesLeft-- <= 0) {
        qCWarning(lcDns) << "dnsmasq does not answer on its port; ending it";
        m_probeTimer.stop();
        m_process.kill(); // an unexpected exit: restarted with back-off
        return;
    }
    m_probeSocket.writeDatagram(probeQuery(m_probeId), QHostAddress::LocalHost, m_port);
}

void DnsForwarder::readProbeAnswer() {
    while (m_probeSocket.hasPendingDatagrams()) {
        const QByteArray answer = m_probeSocket.receiveDatagram().data();
        const bool isOurs = answer.size() >= 4 && quint8(answer[0]) == m_probeId >> 8 &&
                            quint8(answer[1]) == (m_probeId & 0xff) && (quint8(answer[2]) & 0x80);
        if (isOurs && m_probeTimer.isActive() && m_process.state() == QProcess::Running)
            setUp(true);
    }
}

void DnsForwarder::setUp(bool isUp) {
    m_probeTimer.stop();
    if (isUp == m_up)
        return;
    m_up = isUp;
    if (isUp) {
        m_upSince.start();
        qCInfo(lcDns) << "dnsmasq answers on port" << m_port;
        emit up();
    } else {
        emit down();
    }
}

} // namespace kestrava::agent
