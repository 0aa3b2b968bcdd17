#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The lab's LAN (a bridge in a namespace of its own, 10.213.0.0/24 and fd00:213::/64, the console at
// .1) and the internet behind it (a namespace answering on TEST-NET addresses only: a web server and a
// DNS server for a handful of documentation names). Nothing of it is in the machine's own namespace:
// every command names the lab's namespace it changes.
class LabNetwork {
public:
    static inline const QString kConsole = QStringLiteral("10.213.0.1");
    static inline const QString kDns = QStringLiteral("203.0.113.53");
    static inline const QString kDns6 = QStringLiteral("2001:db8::53");
    // Fetched by address: whether the internet is reachable at all.
    static inline const QString kInternet = QStringLiteral("203.0.113.1");
    static constexpr quint16 kConsolePort = 8999;

    // The names the internet's DNS answers, each with its web server's addresses.
    struct Site {
        QString name;
        QString address;
        QString address6;
    };
    static const QList<Site>& sites();

    // Namespace names of this run: "kvlab-<pid>-<what>".
    static QString prefix();
    static QString lanName() { return prefix() + QStringLiteral("lan"); }
    static QString internetName() { return prefix() + QStringLiteral("net"); }

    explicit LabNetwork(QString labProgram);
    ~LabNetwork();

    // Builds both namespaces and starts their servers; why it failed, or empty.
    QString build();
    // Joins computer number index (1 up) in namespace to the LAN as eth0 at 10.213.0.(10 + index).
    static QString join(const QString& computerNamespace, int index);
    static QString addressOf(int index) { return QStringLiteral("10.213.0.%1").arg(10 + index); }
    // Stops the servers and deletes every namespace of this run, whatever is still running in them.
    void remove(const QStringList& computerNamespaces);
    // dnsmasq in the namespace, listening on addresses only and forwarding nothing, with options added (the
    // names it answers); what it printed so far goes to seen. Whether it started.
    static bool startDns(QProcess& dns, const QString& networkNamespace, const QStringList& addresses,
                         const QStringList& options, QByteArray& seen);
    // Kills what runs in the namespace, then deletes it; whether it was there and is removed.
    static bool removeNamespace(const QString& name);

private:
    QString startServers();

    QString m_labProgram;
    QProcess m_dns;
    QProcess m_web;
    bool m_built = false;
};
