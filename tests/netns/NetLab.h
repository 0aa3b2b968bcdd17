#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>
#include <sys/types.h>
#include <vector>

// A small network in two namespaces of this process's own, named after its pid: "kvl-<pid>-lan" holds
// the console side, the LAN address and "the internet" (TEST-NET addresses with listeners on port 80
// and an upstream DNS), "kvl-<pid>-pc" the controlled computer behind a veth pair. The process joins
// the lan namespace before anything else (enterLan), so nothing it listens on or sends ever touches
// the machine's own network. Everything is removed again in the destructor, and leftovers of runs that
// died are removed on the next start.
class NetLab {
public:
    static constexpr const char* kLan = "10.77.1.1";
    static constexpr const char* kPc = "10.77.1.2";
    static constexpr const char* kLan6 = "fd00:77::1";
    static constexpr const char* kPc6 = "fd00:77::2";
    static constexpr quint16 kLanProxyPort = 8080;
    // "The internet": web servers on port 80 and the DNS that the pc's resolv.conf names.
    static constexpr const char* kWeb = "203.0.113.10";
    static constexpr const char* kAllowedWeb = "203.0.113.20";
    static constexpr const char* kOtherWeb = "203.0.113.30";
    static constexpr const char* kDns = "203.0.113.53";
    static constexpr const char* kWeb6 = "2001:db8::10";

    // Call first in main, before the application object: checks root and the tools, removes leftovers,
    // creates the lan namespace and moves this process into it. Returns why the lab cannot run, or
    // empty.
    static QString enterLan();
    static QString lanName();
    static QString pcName();
    static QString namespaceFile(const QString& name) { return QStringLiteral("/run/netns/") + name; }

    // Builds the rest when unavailable (from enterLan) is empty; error() tells what failed.
    explicit NetLab(const QString& unavailable);
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // Why the lab cannot run on this machine (not root, tools missing): a reason to skip.
    const QString& unavailable() const { return m_unavailable; }
    // What failed while building it: a fault.
    const QString& error() const { return m_error; }
    // A real TCP connection from the pc namespace; host may be a name, resolved there.
    bool probe(const QString& host, quint16 port, int timeoutMs = 1500) const;
    // The command inside the pc namespace (with its own resolv.conf and hosts); ok tells exit code 0.
    QByteArray inPc(const QStringList& command, bool* ok = nullptr) const;
    // A copy of /bin/sleep under this name that any user may run.
    QString copyOfSleep(const QString& name) const;
    // program as the given user inside the pc namespace, started directly (no `ip netns exec`, which
    // needs root); false when it did not start.
    bool startInPcAs(QProcess& process, const QString& program, const QStringList& arguments,
                     uid_t user) const;
    // `nft list table inet kestrava` in the pc namespace; empty when there is no such table.
    QString agentTable() const;

    // The program with its arguments; ok tells exit code 0 within 20 s.
    static QByteArray run(const QStringList& command, bool* ok = nullptr, QByteArray* errors = nullptr);

private:
    bool build();
    bool startUpstreamDns();
    void listen(const QString& address, quint16 port);
    static void removeNamespace(const QString& name);
    static void removeLeftovers();

    QTemporaryDir m_programs;
    QString m_unavailable;
    QString m_error;
    QProcess m_dns;
    std::vector<std::unique_ptr<QTcpServer>> m_listeners;
};
