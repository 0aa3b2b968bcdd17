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

// A small network in two namespaces of this process's own, named after its pid: "kvl-<pid>-lan" holds
// the console side, the LAN address and "the internet" (TEST-NET addresses with listeners on port 80
// and an upstream DNS), "kvl-<pid>-pc" the controlled computer behind a veth pair. The process joins
// the lan namespace before anything else (enterLan), so nothing it listens on or sends ever touches
// the machine's own network. Everything is removed again in the destructor, and leftovers of runs that
// died are removed on the next start.
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

    // Why the lab cannot run on this machine (not root, tools missing): a reason to skip.
    const QString& unavailable() const { return m_unavailable; }
    // What failed while building it: a fault.
    const QString& error() const { return m_error; }
    // A real TCP connection from the pc namespace; host may be a name, resolved there.
    bool probe(const QString& host, quint16 port, int timeoutMs = 1500) const;
    // The command (words split at blanks) inside the pc namespace; ok tells exit code 0.
    QByteArray inPc(const QString& command, bool* ok = nullptr) const;
    // A copy of /bin/sleep under this name that any user may run.
    QString copyOfSleep(const QString& name) const;
    // program as the given user inside the pc namespace, started directly (no `ip netns exec`, which
    // needs root); false when it did not start.
    bool startInPcAs(QProcess& process, const QString& program, const QStringList& arguments,
                     uid_t user) const;
    // `nft list table inet kestrava` in the pc namespace; empty when there is no such table.
    QString agentTable() const;

private:
    // The program with its arguments; ok tells exit code 0 within 20 s.
    static QByteArray run(const QStringList& command, bool* ok = nullptr, QByteArray* errors = nullptr);
    // Each command line (words split at blanks, no shell) in turn; the first failure, or empty.
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

// main() of a network lab test: a probe when asked for one (inside the pc namespace), otherwise the
// process joins the lab's lan namespace while it has a single thread, then runs TestClass(lab).
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
