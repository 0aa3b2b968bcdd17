#pragma once

#include "NetProbe.h"
#include "platform/EventDispatcher.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/types.h>
#include <vector>

// Two namespaces named after this process's pid: "kvl-<pid>-lan" holds the console side and "the
// internet" (TEST-NET listeners on port 80, an upstream DNS), "kvl-<pid>-pc" the controlled computer
// behind a veth pair. The process joins the lan namespace first, so the machine's own network is never
// touched. All is removed in the destructor, and leftovers of runs that died on the next start.
class NetLab {
public:
    static inline const QString kLan = QStringLiteral("10.77.1.1");
    static inline const QString kPc = QStringLiteral("10.77.1.2");
    static inline const QString kLan6 = QStringLiteral("fd00:77::1");
    static inline const QString kPc6 = QStringLiteral("fd00:77::2");
    // Another computer of the LAN; it and the console's address both run a proxy on this port.
    static inline const QString kLanHost = QStringLiteral("10.77.1.3");
    static constexpr quint16 kLanProxyPort = 8080;
    // "The internet": web servers on port 80 and the DNS that the pc's resolv.conf names.
    static inline const QString kWeb = QStringLiteral("203.0.113.10");
    static inline const QString kAllowedWeb = QStringLiteral("203.0.113.20");
    static inline const QString kOtherWeb = QStringLiteral("203.0.113.30");
    static inline const QString kDns = QStringLiteral("203.0.113.53");
    static inline const QString kWeb6 = QStringLiteral("2001:db8::10");

    // First in main, while there is one thread: creates the lan namespace and joins it. Returns why
    // the lab cannot run (not root, tools missing), or empty.
    static QString enterLan();
    static QString lanName();
    static QString pcName();
    static QString namespaceFile(const QString& name) { return QStringLiteral("/run/netns/") + name; }

    // Builds the rest when unavailable (from enterLan) is empty; error() tells what failed.
    explicit NetLab(const QString& unavailable);
    ~NetLab();

    const QString& unavailable() const { return m_unavailable; }
    // What failed while building it: a fault.
    const QString& error() const { return m_error; }
    // A real TCP connection from the pc namespace; host may be a name, resolved there.
    bool probe(const QString& host, quint16 port, int timeoutMs = 1500) const;
    // The command (words split at blanks) inside the pc namespace; ok tells exit code 0.
    QByteArray inPc(const QString& command, bool* ok = nullptr) const;
    // A copy of /bin/sleep under this name that any user may run.
    QString copyOfSleep(const QString& name) const;
    // program as the given user in the pc namespace, without `ip netns exec` (which needs root).
    bool startInPcAs(QProcess& process, const QString& program, const QStringList& arguments,
                     uid_t user) const;
    // `nft list table inet kestrava` in the pc namespace; empty when there is no such table.
    QString agentTable() const;

private:
    static QByteArray run(const QStringList& command, bool* ok = nullptr, QByteArray* errors = nullptr);
    // Each command line (words split at blanks) in turn; the first failure, or empty.
    static QString runAll(const QStringList& commands);
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

// main() of a network lab test: a probe when asked for one, otherwise TestClass(lab) in the lab.
#define NETLAB_TEST_MAIN(TestClass)                                                                          \
    int main(int argc, char* argv[]) {                                                                       \
        if (const std::optional<int> probed = NetProbe::runFromArguments(argc, argv))                        \
            return *probed;                                                                                  \
        const QString unavailable = NetLab::enterLan();                                                      \
        kestrava::installEventDispatcher();                                                                  \
        QCoreApplication app(argc, argv);                                                                    \
        NetLab lab(unavailable);                                                                             \
        TestClass test(lab);                                                                                 \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
