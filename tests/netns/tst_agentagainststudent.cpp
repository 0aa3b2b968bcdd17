#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"
#include "StallingBus.h"

#include <QDir>
#include <QRegularExpression>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
constexpr quint16 kHttp = 80;
// An order is carried out within this while the student's session bus takes nothing.
constexpr int kStallBoundMs = 3000;
// A missing or changed table is put back within 30 s.
constexpr int kTableCheckMs = 35000;
// An agent just started has its forwarder up well within this; every probe starts a process in the pc,
// which the sanitizer build makes slow.
constexpr int kSettleMs = 30000;
const QString kAllowed = QStringLiteral("allowed.test");
const QString kAllowedHost = QStringLiteral("www.allowed.test");
const QByteArray kServersOnly = "[agent]\nlocal_access = servers\n";
const QRegularExpression kNotSaved(QStringLiteral("(could not|cannot|can't|failed to) (be )?(save|write)|"
                                                  "not (been )?saved"),
                                   QRegularExpression::CaseInsensitiveOption);
} // namespace

// kestrava-agent in the pc of a NetLab, its console's core in this process: its orders checked with real
// connections from the pc, and the pc's student trying each known way around an "internet off" order.
class TestAgentAgainstStudent : public QObject {
    Q_OBJECT
public:
    explicit TestAgentAgainstStudent(NetLab& lab)
        : m_lab(lab) {}

private slots:
    void initTestCase() {
        LAB_AGENT_READY(m_lab);
        // Relays and proxies of the student: in the internet at the DHCP server port and on an odd port of
        // a white-listed address, on another computer of the LAN at proxy ports.
        QVERIFY(m_lab.echoUdp(NetLab::kWeb, 67) && m_lab.echoUdp(NetLab::kAllowedWeb, 5000));
        QVERIFY(m_lab.listenTcp(NetLab::kLanHost, 40000));
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY(m_console->listen());
        m_console->allowSite(kAllowed);
        m_console->blockProgram(u"stallme"_s);
        m_agent = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
        m_stateFolder = m_agent->statePath();
    }

    void cleanup() {
        if (QTest::currentTestFailed() && m_agent) {
            qInfo().noquote() << "kestrava-agent's standard error:\n" << m_agent->log().mid(m_logShown);
            qInfo().noquote() << "its table:\n" << m_lab.agentTable();
        }
        if (m_agent)
            m_logShown = m_agent->log().size();
        if (m_agent && m_agent->statePath() != m_stateFolder) {
            m_agent->stop();
            m_agent->setStatePath(m_stateFolder);
        }
    }

    void init() {
        // What an earlier case may have left behind.
        QVERIFY(m_console->listen());
        m_console->setControlledPort(0);
    }

    void internetOffAndOn() {
        QVERIFY(agentWith({}, false));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        QVERIFY(!m_lab.probe(NetLab::kWeb6, kHttp));
        QVERIFY(m_lab.probe(NetLab::kLanHost, NetLab::kLanProxyPort));
        QVERIFY(m_console->setInternetReported(true));
        QVERIFY(m_lab.probe(NetLab::kWeb, kHttp));
        QVERIFY(m_lab.probe(NetLab::kWeb6, kHttp));
    }

    // A proxy on another computer of the LAN.
    void controlledPortToLan() {
        QVERIFY(agentWith({}, false));
        m_console->setControlledPort(NetLab::kLanProxyPort);
        // "O" changes rules, not the state: nothing is reported.
        QTRY_VERIFY_WITH_TIMEOUT(!m_lab.probe(NetLab::kLanHost, NetLab::kLanProxyPort), 10000);
        QVERIFY(m_console->setInternetReported(true));
        QVERIFY(m_lab.probe(NetLab::kLanHost, NetLab::kLanProxyPort));
    }

    void failClosedWithoutConsole() {
        QVERIFY(agentWith({}, false));
        m_console->stopListening();
        QVERIFY(!m_console->isConnected(LabAgent::systemKey()));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        m_agent->stop();
        // As after a reboot: no table of the agent's is left.
        m_lab.inPc(QStringLiteral("nft delete table inet kestrava"));
        QVERIFY(m_lab.probe(NetLab::kWeb, kHttp));
        QVERIFY(m_agent->start());
        QTRY_VERIFY_WITH_TIMEOUT(!m_lab.agentTable().isEmpty(), 15000);
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        m_agent->stop();
    }

    // A relay at the DHCP server port, reached from the client port (DHCPv6's ports end at the same rule).
    void dhcpPortRelay() {
        QVERIFY(agentWith({}, true));
        QVERIFY(m_lab.probeUdp(NetLab::kWeb, 67, 68));
        QVERIFY(m_console->setInternetReported(false));
        QVERIFY(!m_lab.probeUdp(NetLab::kWeb, 67, 68));
    }

    void dnsTunnelWhileOff() {
        QVERIFY(agentWith({}, false));
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.probe(kAllowedHost, kHttp), kSettleMs);
        const qsizetype mark = m_lab.upstreamDnsLog().size();
        for (int chunk = 0; chunk < 3; ++chunk)
            QVERIFY(!m_lab.probe(QStringLiteral("c%1.tunnel.test").arg(chunk), kHttp));
        // The upstream logs queries as they come: once it has this one, it has all sent before.
        QVERIFY(m_lab.probe(QStringLiteral("last.") + kAllowed, kHttp));
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.upstreamDnsLog().indexOf("last." + kAllowed.toLatin1(), mark) >= 0,
                                 5000);
        QVERIFY2(!m_lab.upstreamDnsLog().mid(mark).contains("tunnel.test"), m_lab.upstreamDnsLog().mid(mark));
    }

    // A proxy on another computer of the LAN, on a port above any controlled one.
    void localProxyUnderServers() {
        QVERIFY(agentWith(kServersOnly, true));
        QVERIFY(m_lab.probe(NetLab::kLanHost, 40000));
        QVERIFY(m_console->setInternetReported(false));
        QVERIFY(!m_lab.probe(NetLab::kLanHost, 40000));
        QVERIFY(m_lab.probe(NetLab::kLan, LabConsole::kPort));
    }

    // Resolving a white-listed name opens its address, for the web's ports only.
    void otherPortsOfWhiteListedAddress() {
        QVERIFY(agentWith({}, true));
        QVERIFY(m_lab.probeUdp(NetLab::kAllowedWeb, 5000));
        QVERIFY(m_console->setInternetReported(false));
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.probe(kAllowedHost, kHttp), kSettleMs);
        QVERIFY(!m_lab.probeUdp(kAllowedHost, 5000));
    }

    void tableRestored_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("ruleset flushed, as the nftables service's reload does")
            << QStringLiteral("nft flush ruleset");
        QTest::newRow("rules flushed") << QStringLiteral("nft flush table inet kestrava");
    }

    void tableRestored() {
        QFETCH(QString, command);
        QVERIFY(agentWith({}, false));
        // Settled, its forwarder up: a table it puts back now is one it noticed was gone.
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.probe(kAllowedHost, kHttp), kSettleMs);
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        bool done = false;
        m_lab.inPc(command, &done);
        QVERIFY(done);
        // Not QTRY: on failure it would wait twice as long again for its message.
        QVERIFY(QTest::qWaitFor([this] { return !m_lab.probe(NetLab::kWeb, kHttp, 500); }, kTableCheckMs));
    }

    // The student stalls the session bus that the end of a blocked program is told to: orders still pass.
    void stallingSessionBus() {
        QVERIFY(agentWith({}, true, true));
        m_console->showNotifications();
        StallingBus bus;
        const QString failure =
            bus.listen(m_lab.pcPath(u"/run/user/%1/bus"_s.arg(NetLab::kStudent)), NetLab::kStudent);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QProcess blocked;
        QVERIFY(m_lab.startInPcAs(blocked, m_lab.copyOfSleep(u"stallme"_s), {u"600"_s}, NetLab::kStudent));
        QTRY_VERIFY_WITH_TIMEOUT(blocked.state() == QProcess::NotRunning, 15000);
        QTRY_VERIFY2_WITH_TIMEOUT(bus.accepted() > 0, "the notification never reached the bus", 10000);
        const qsizetype mark = m_console->reports().size();
        m_console->setInternet(false);
        QVERIFY(m_console->waitForReport(mark, u"IF"_s, kStallBoundMs));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
    }

    void dnsmasqCommandLineSeenByStudent() {
        QVERIFY(agentWith({}, false));
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.probe(kAllowedHost, kHttp), kSettleMs);
        bool found = false;
        const QByteArray seen = m_lab.inPc(QStringLiteral("pgrep -a dnsmasq"), &found, NetLab::kStudent);
        QVERIFY2(found && seen.contains("dnsmasq"), seen.constData());
        QVERIFY2(!seen.contains(kAllowed.toLatin1()), seen.constData());
    }

    void stateOnFullFileSystem() {
        const QString state = QStringLiteral("/run/kvl-full");
        bool mounted = false;
        QVERIFY(QDir().mkpath(m_lab.pcPath(state)));
        m_lab.inPc(QStringLiteral("mount -t tmpfs -o size=256k,nr_inodes=64,mode=0700 kvl-full ") + state,
                   &mounted);
        QVERIFY(mounted);
        m_agent->setStatePath(state);
        QVERIFY(agentWith({}, true, true));
        fill(state);
        const qsizetype logMark = m_agent->log().size();
        QVERIFY(m_console->setInternetReported(false));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        QTRY_VERIFY_WITH_TIMEOUT(kNotSaved.match(QString::fromUtf8(m_agent->log().mid(logMark))).hasMatch(),
                                 10000);
        const QString status = QString::fromUtf8(m_agent->status());
        QVERIFY2(kNotSaved.match(status).hasMatch(), qPrintable(status));
    }

private:
    // The agent with this configuration file (restarted when it had another, or when asked), connected,
    // with internet on or off as it reported.
    bool agentWith(const QByteArray& config, bool internetOn, bool restart = false) {
        // The policy it gets once identified: nothing sent later overtakes what it reports first.
        if (restart || config != m_agent->config() || !m_agent->isRunning())
            m_console->setInternet(internetOn);
        return m_agent->runConnected(*m_console, config, internetOn ? u"IN"_s : u"IF"_s, restart) &&
               m_console->setInternetReported(internetOn);
    }

    // Its blocks, then its inodes: a save that frees an older copy first still finds no room.
    void fill(const QString& folder) const {
        m_lab.inPc(u"dd if=/dev/zero of=%1/filler bs=16k"_s.arg(folder));
        for (int made = 0;
             made < 1000 && QFile(m_lab.pcPath(folder + u"/empty%1"_s.arg(made))).open(QFile::WriteOnly);
             ++made) {
        }
    }

    NetLab& m_lab;
    std::unique_ptr<LabConsole> m_console;
    std::unique_ptr<LabAgent> m_agent;
    QString m_stateFolder;
    qsizetype m_logShown = 0;
};

NETLAB_TEST_MAIN(TestAgentAgainstStudent)
#include "tst_agentagainststudent.moc"
