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
// behind a veth pair, a lab computer of kestrava-lab with its own mounts, PIDs, /etc and the student
// (no bus, logind or systemd). The process joins the lan namespace first, so the machine's own network
// is never touched. All is removed in the destructor, and leftovers of dead runs on the next start.
class NetLab {
public:
    static inline const QString kLan = QStringLiteral("10.77.1.1");
    static inline const QString kPc = QStringLiteral("10.77.1.2");
    static inline const QString kLan6 = QStringLiteral("fd00:77::1");
    static inline const QString kPc6 = QStringLiteral("fd00:77::2");
    // Another computer of the LAN; it and kLan run a proxy on kLanProxyPort.
    static inline const QString kLanHost = QStringLiteral("10.77.1.3");
    static constexpr quint16 kLanProxyPort = 8080;
    // "The internet": web servers on port 80 and the DNS that the pc's resolv.conf names.
    static inline const QString kWeb = QStringLiteral("203.0.113.10");
    static inline const QString kAllowedWeb = QStringLiteral("203.0.113.20");
    static inline const QString kDns = QStringLiteral("203.0.113.53");
    static inline const QString kWeb6 = QStringLiteral("2001:db8::10");
    // The pc's user (its group has the same number), limited to kStudentProcesses processes.
    static constexpr uid_t kStudent = 61000;
    static constexpr int kStudentProcesses = 64;

    // First in main, while there is one thread: creates and joins the lan namespace; why it cannot run.
    static QString enterLan();
    static QString lanName();
    static QString pcName();
    // A QTemporaryDir template in /var/tmp (shared with the pc), removed by the next start of a dead run.
    static QString sharedTempTemplate(const QString& purpose);

    // Builds the rest when unavailable (from enterLan) is empty; error() tells what failed: a fault.
    explicit NetLab(const QString& unavailable);
    ~NetLab();

    const QString& unavailable() const { return m_unavailable; }
    const QString& error() const { return m_error; }
    // A real TCP connection from the pc; host may be a name, resolved there.
    bool probe(const QString& host, quint16 port, int timeoutMs = 1500) const;
    // A datagram from the pc (from sourcePort unless 0) that an echo server sends back.
    bool probeUdp(const QString& host, quint16 port, quint16 sourcePort = 0, int timeoutMs = 1500) const;
    // On the LAN or in the internet: a TCP listener that takes and closes connections, a UDP echo.
    bool listenTcp(const QString& address, quint16 port);
    bool echoUdp(const QString& address, quint16 port);
    // All the upstream DNS logged so far, its queries included.
    QByteArray upstreamDnsLog();
    // Where the test process reaches a path of the pc's own mounts.
    QString pcPath(const QString& path) const;
    // The command (words split at blanks) inside the pc, as root or as user; ok tells exit code 0.
    QByteArray inPc(const QString& command, bool* ok = nullptr, uid_t user = 0) const;
    // A copy of /bin/sleep under this name in the pc's /tmp that any user may run; its path there.
    QString copyOfSleep(const QString& name) const;
    // program (a path inside the pc) in the pc as user (0: root) with that many processes at most; the
    // process is the launcher, which passes SIGTERM on and ends as the program does.
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
