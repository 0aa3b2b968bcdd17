#pragma once

#include "NetProbe.h"
#include "core/platform/EventDispatcher.h"

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

// Two network namespaces named after this process's pid: "kvl-<pid>-lan" holds the console side and "the
// internet" (TEST-NET listeners on port 80, an upstream DNS), "kvl-<pid>-pc" the controlled computer
// behind a veth pair. The pc has mount and PID namespaces of its own as well, a lab computer of
// kestrava-lab (beside the test binary): its own /proc, /sys, /run with /run/user/<kStudent>, /tmp, and
// its own /etc/passwd, /etc/group (the machine's with the student added), /etc/resolv.conf and /etc/hosts.
// No bus, logind or systemd runs there. The process joins the lan namespace first, so the machine's
// own network is never touched. All is removed in the destructor, and leftovers of runs that died on
// the next start; the pc's processes end with the process that made it.
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
    // The pc's user: in the pc's /etc/passwd only (its group has the same number), with a runtime
    // folder, and at most kStudentProcesses processes.
    static constexpr uid_t kStudent = 61000;
    static constexpr int kStudentProcesses = 64;

    // First in main, while there is one thread: creates the lan namespace and joins it. Returns why
    // the lab cannot run (not root, tools missing), or empty.
    static QString enterLan();
    static QString lanName();
    static QString pcName();
    static QString namespaceFile(const QString& name) { return QStringLiteral("/run/netns/") + name; }
    // A QTemporaryDir template in /var/tmp, which the pc shares with the machine (its /tmp is its own),
    // named after this process so that the next start removes it when the run died.
    static QString sharedTempTemplate(const QString& purpose);

    // Builds the rest when unavailable (from enterLan) is empty; error() tells what failed.
    explicit NetLab(const QString& unavailable);
    ~NetLab();

    const QString& unavailable() const { return m_unavailable; }
    // What failed while building it: a fault.
    const QString& error() const { return m_error; }
    // A real TCP connection from the pc; host may be a name, resolved there.
    bool probe(const QString& host, quint16 port, int timeoutMs = 1500) const;
    // A datagram from the pc (from sourcePort unless 0) that an echo server sends back.
    bool probeUdp(const QString& host, quint16 port, quint16 sourcePort = 0, int timeoutMs = 1500) const;
    // One DNS query of the given type (NetProbe::kTypeA ...) from the pc to the DNS its resolv.conf
    // names; the answer's result code as NetProbe's --dns gives it.
    int dnsQuery(const QString& name, int type) const;
    // In the lan namespace, so on the LAN or in the internet: a TCP listener that takes and closes
    // connections, a UDP echo.
    bool listenTcp(const QString& address, quint16 port);
    bool echoUdp(const QString& address, quint16 port);
    // All the upstream DNS logged so far, each query it received included.
    QByteArray upstreamDnsLog();
    // Where the test process reaches a path of the pc's own mounts.
    QString pcPath(const QString& path) const;
    // The command (words split at blanks) inside the pc, as root or as user; ok tells exit code 0.
    QByteArray inPc(const QString& command, bool* ok = nullptr, uid_t user = 0) const;
    // A copy of /bin/sleep under this name in the pc's /tmp that any user may run; its path there.
    QString copyOfSleep(const QString& name) const;
    // program (a path inside the pc) in the pc as the given user, or as root for 0, the user limited to
    // that many processes; the process's own id is that of the launcher, which passes SIGTERM on and
    // ends as the program does.
    bool startInPcAs(QProcess& process, const QString& program, const QStringList& arguments, uid_t user,
                     long processes = kStudentProcesses) const;
    // The pid of the program that a process of startInPcAs runs (as this process sees it), or 0.
    static qint64 programPid(const QProcess& process);
    // `nft list table inet kestrava` in the pc; empty when there is no such table.
    QString agentTable() const;

private:
    // The test binary in the pc with these arguments; its exit code, -1 when it did not end normally.
    int waitedProbe(const QStringList& arguments, int timeoutMs) const;
    bool build();
    bool startPc();
    bool startUpstreamDns();
    static void removeLeftovers();

    QTemporaryDir m_files;
    QString m_unavailable;
    QString m_error;
    QString m_launcher;
    QProcess m_pc;
    qint64 m_pcPid = 0;
    QProcess m_dns;
    QByteArray m_dnsLog;
    std::vector<std::unique_ptr<QObject>> m_listeners;
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
