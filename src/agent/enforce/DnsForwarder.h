#pragma once

#include "agent/enforce/Cidr.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>
#include <optional>
#include <sys/types.h>

namespace kestrava::agent {

// What the DNS forwarder is started with.
struct DnsForwarderConfig {
    quint16 port = 0;
    QString user{};          // the system user dnsmasq runs as; its queries leave unredirected
    QStringList upstreams{}; // the real resolvers' addresses
    QStringList whiteList{}; // entries as the console sends them
    bool ipv6 = true;        // also listen on ::1; dnsmasq cannot start where loopback has no IPv6
    // While off, dnsmasq answers the white list and the names below only; it refuses every other one
    // without a query leaving.
    bool internetOff = false;
    QString consoleHost{};       // answered when it is a name; an address needs no DNS
    QList<Cidr> localNetworks{}; // their reverse zones are answered
    QStringList searchDomains{}; // resolv.conf's, as searchDomains() gives them
    QString directory{};         // root's own folder, for the configuration file

    bool operator==(const DnsForwarderConfig&) const = default;
};

// Owns the dnsmasq child that answers the machine's redirected DNS queries and puts the addresses
// of white-listed names into the sets allow4/allow6. Keeps it running: restarts it with back-off
// when it dies, and says when it is up (answering on its port) and down.
class DnsForwarder : public QObject {
    Q_OBJECT

public:
    // Privileged, so that no user can take it first and keep dnsmasq from starting (dnsmasq binds it
    // as root, before it drops to its user); clear of systemd-resolved's stubs on 53 and of the local
    // services of DNS over TLS (853) and rndc (953).
    static constexpr quint16 kPort = 553;
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 30000;
    static constexpr int kKillAfterMs = 2000;
    static constexpr int kProbeIntervalMs = 250;
    static constexpr int kProbeAttempts = 20;
    // Reverse zones answered while internet is off, at most: a network that would pass it gets none
    // rather than a wider zone.
    static constexpr int kMaxReverseZones = 512;
    static constexpr const char* kConfigFileName = "dnsmasq.conf";

    explicit DnsForwarder(QObject* parent = nullptr);
    ~DnsForwarder() override;

    // The addresses of the "nameserver" lines in order, without loopback ones (a local stub would
    // send the queries back here) and without duplicates.
    static QStringList upstreamResolvers(const QString& resolvConfText);
    // The domains of the last "search" or "domain" line (the one the resolver uses), as
    // whiteListHosts() gives them.
    static QStringList searchDomains(const QString& resolvConfText);
    // systemd-resolved's list of real resolvers when it exists, else the system's resolv.conf.
    static QString
    resolvConfPath(const QString& resolvedPath = QStringLiteral("/run/systemd/resolve/resolv.conf"),
                   const QString& fallbackPath = QStringLiteral("/etc/resolv.conf"));
    // "dnsmasq" when that system user exists, else "nobody".
    static QString systemUser();
    static std::optional<uid_t> userId(const QString& user);
    // Each entry's host part (before the first "/" or ":", after any "scheme://"), lower-cased, in
    // its ASCII form; entries that are no host name are left out, and so are duplicates.
    static QStringList whiteListHosts(const QStringList& entries);
    // The in-addr.arpa and ip6.arpa zones that cover exactly the networks (covered ones left out), a
    // prefix between label boundaries expanded to the zones of the next label; at most
    // kMaxReverseZones in all.
    static QStringList reverseZones(const QList<Cidr>& networks);
    // dnsmasq's configuration file for config.
    static QString configText(const DnsForwarderConfig& config);
    // config with this machine's settings: kPort, systemUser(), the resolvers and search domains of
    // resolvConfPath(), and IPv6 when loopback has ::1. Read anew on each call, so calling start() with
    // it again picks up a changed resolv.conf.
    static DnsForwarderConfig systemConfig(DnsForwarderConfig config);

    // Runs dnsmasq with config, written to kConfigFileName in config.directory (mode 0600) at each
    // launch; restarts it only when that text changes. Without upstream resolvers it does not run
    // (redirecting DNS to it would break name resolution).
    void start(const DnsForwarderConfig& config);
    // SIGTERM, then SIGKILL after kKillAfterMs; returns at once, down() follows.
    void stop();
    bool isUp() const { return m_up; }
    // Running or about to run again (a restart for a new configuration, a back-off after a crash).
    bool isWanted() const { return m_wanted; }
    // The uid whose DNS queries must not be redirected, valid while up.
    uid_t uid() const { return m_uid; }

signals:
    void up();
    void down();

private:
    void launch();
    QString writeConfig() const;
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onErrorOccurred(QProcess::ProcessError error);
    void afterExit(const QString& how);
    void startProbing();
    void probe();
    void readProbeAnswer();
    void setUp(bool isUp);

    QProcess m_process;
    QTimer m_restartTimer;
    QTimer m_killTimer;
    QTimer m_probeTimer;
    QUdpSocket m_probeSocket;
    QElapsedTimer m_upSince;
    QString m_configText;
    QString m_configPath;
    uid_t m_uid = 0;
    quint16 m_port = 0;
    int m_retryMs = kFirstRetryMs;
    int m_probesLeft = 0;
    quint16 m_probeId = 0;
    bool m_wanted = false;
    bool m_exitExpected = false;
    bool m_up = false;
    bool m_warnedNoUpstream = false;
};

} // namespace kestrava::agent
