#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"
#include "policy/ScheduleModel.h"
#include "policy/TimerModel.h"

#include <QFileInfo>
#include <memory>

using namespace kestrava;

namespace {
constexpr quint16 kHttp = 80;
} // namespace

// kestrava-agent in the pc namespace of a NetLab, driven by the console's core in this process, its
// enforcement checked with real connections from the pc namespace.
class TestAgentEnforcement : public QObject {
    Q_OBJECT
public:
    explicit TestAgentEnforcement(NetLab& lab)
        : m_lab(lab) {}

private slots:
    void initTestCase() {
        if (!m_lab.unavailable().isEmpty())
            QSKIP(qPrintable(m_lab.unavailable()));
        QVERIFY2(m_lab.error().isEmpty(), qPrintable(m_lab.error()));
        QVERIFY2(QFileInfo(LabAgent::program()).isExecutable(), qPrintable(LabAgent::program()));
        const QDateTime now = QDateTime::currentDateTime();
        m_consoleNow =
            QDateTime(now.date(), QTime(now.time().hour() >= 8 && now.time().hour() < 12 ? 16 : 10, 0));
        m_console = std::make_unique<LabConsole>(m_consoleNow);
        m_agent = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
    }

    void init() {
        // What an earlier failure may have left behind.
        QVERIFY(m_console->listen());
        m_console->setControlledPort(0);
        m_console->clock().set(m_consoleNow);
    }

    void cleanup() {
        if (QTest::currentTestFailed() && m_agent) {
            qInfo().noquote() << "kestrava-agent's standard error:\n" << m_agent->log().mid(m_logShown);
            qInfo().noquote() << "its table:\n" << m_lab.agentTable();
        }
        if (m_agent)
            m_logShown = m_agent->log().size();
    }

    void internetOffAndOn() {
        QVERIFY(connectedWithInternet(false));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
        QVERIFY(!m_lab.probe(NetLab::kWeb6, kHttp));
        QVERIFY(m_lab.probe(NetLab::kLanHost, NetLab::kLanProxyPort));
        QVERIFY(m_console->setInternetReported(true));
        QVERIFY(m_lab.probe(NetLab::kWeb, kHttp));
        QVERIFY(m_lab.probe(NetLab::kWeb6, kHttp));
    }

    void controlledPortToLan_data() {
        QTest::addColumn<QString>("proxy");
        QTest::newRow("another computer of the LAN") << NetLab::kLanHost;
        QTest::newRow("the console's computer") << NetLab::kLan;
    }

    void controlledPortToLan() {
        QFETCH(QString, proxy);
        QVERIFY(connectedWithInternet(false));
        m_console->setControlledPort(NetLab::kLanProxyPort);
        // "O" changes rules, not the state: nothing is reported.
        QTRY_VERIFY_WITH_TIMEOUT(!m_lab.probe(proxy, NetLab::kLanProxyPort), 10000);
        QVERIFY(m_console->setInternetReported(true));
        QVERIFY(m_lab.probe(proxy, NetLab::kLanProxyPort));
    }

    void scheduleOnConsoleClock_data() {
        // The console stores every schedule as "internet off inside the ranges".
        QTest::addColumn<bool>("aroundConsoleTime");
        QTest::newRow("range around the console's time") << true;
        QTest::newRow("range around the pc's own time") << false;
    }

    void scheduleOnConsoleClock() {
        QFETCH(bool, aroundConsoleTime);
        const bool reachable = !aroundConsoleTime;
        const QTime middle = aroundConsoleTime ? m_consoleNow.time() : QTime::currentTime();
        QVERIFY(connectedWithInternet(!reachable));
        ScheduleModel schedule(m_console->db(), m_console->clock(), m_console->messenger());
        schedule.open(m_console->groupTarget());
        schedule.clear();
        schedule.setStartTime(middle.hour() >= 1 ? middle.addSecs(-3600) : QTime(0, 0));
        schedule.setStopTime(middle.hour() <= 22 ? middle.addSecs(3600) : QTime(23, 59));
        QCOMPARE(schedule.add(), ScheduleModel::AddResult::Added);
        const qsizetype mark = m_console->reports().size();
        QCOMPARE(schedule.apply(), ScheduleModel::ApplyResult::Applied);
        QVERIFY(m_console->waitForReport(mark, reachable ? QStringLiteral("IN") : QStringLiteral("IF")));
        QCOMPARE(m_lab.probe(NetLab::kWeb, kHttp), reachable);
    }

    void timerEndsByItself() {
        QVERIFY(connectedWithInternet(false));
        // A one-minute ON timer started 52 s before the console's time: 8 s of internet are left.
        m_console->clock().set(m_consoleNow.addSecs(-52));
        TimerModel timer(m_console->db(), m_console->clock(), m_console->messenger());
        timer.open(m_console->groupTarget());
        timer.setOnTimer(true);
        timer.setPeriod(QTime(0, 1));
        const qsizetype mark = m_console->reports().size();
        QCOMPARE(timer.apply(), TimerModel::ApplyResult::Applied);
        m_console->clock().set(m_consoleNow);
        m_console->messenger().Enumerate_Childs_And_Send_Scheduler(m_console->groupKey());
        QVERIFY(m_console->waitForReport(mark, QStringLiteral("IN")));
        QVERIFY(m_lab.probe(NetLab::kWeb, kHttp));
        const qsizetype started = m_console->reports().lastIndexOf(QStringLiteral("IN")) + 1;
        // The console says nothing more: the agent ends the timer on its own.
        QVERIFY(m_console->waitForReport(started, QStringLiteral("IF"), 30000));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
    }

    void whiteListByName() {
        QVERIFY(connectedWithInternet(false));
        QVERIFY(!m_lab.probe(QStringLiteral("www.allowed.test"), kHttp));
        m_console->allowSite(QStringLiteral("allowed.test"));
        QTRY_VERIFY_WITH_TIMEOUT(m_lab.probe(QStringLiteral("www.allowed.test"), kHttp), 10000);
        QVERIFY(!m_lab.probe(QStringLiteral("www.other.test"), kHttp));
        QVERIFY(!m_lab.probe(NetLab::kWeb, kHttp));
    }

    void blockListEndsProcess() {
        QVERIFY(agentConnected());
        const QString program = m_lab.copyOfSleep(QStringLiteral("blockme"));
        m_console->blockProgram(QStringLiteral("blockme"));
        // No report tells that the list arrived; a process started before it is found by the agent's scan.
        QProcess blocked;
        QVERIFY(m_lab.startInPcAs(blocked, program, {QStringLiteral("600")}, NetLab::kStudent));
        QTRY_VERIFY_WITH_TIMEOUT(blocked.state() == QProcess::NotRunning, 15000);
        QVERIFY2(blocked.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("ended by itself with code %1").arg(blocked.exitCode())));
    }

    void failClosedWithoutConsole() {
        QVERIFY(connectedWithInternet(false));
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
    }

    void terminateRemovesTable() {
        QVERIFY(connectedWithInternet(false));
        QVERIFY(!m_lab.agentTable().isEmpty());
        m_console->terminate(LabAgent::systemKey());
        QVERIFY(m_agent->waitForExit(10000));
        QCOMPARE(m_agent->exitCode(), 0);
        QVERIFY(m_lab.agentTable().isEmpty());
        QVERIFY(m_lab.probe(NetLab::kWeb, kHttp));
    }

private:
    bool connectedWithInternet(bool on) { return agentConnected() && m_console->setInternetReported(on); }

    bool agentConnected() {
        const QString key = LabAgent::systemKey();
        if (m_console->isConnected(key))
            return true;
        const qsizetype mark = m_console->reports().size();
        if (!m_agent->isRunning() && !m_agent->start())
            return false;
        // Connected, and the state it reports once identified is in force.
        return QTest::qWaitFor([&] { return m_console->isConnected(key); }, 60000) &&
               QTest::qWaitFor([&] { return m_console->reports().size() > mark; }, 15000);
    }

    NetLab& m_lab;
    // A time of day that the pc's own clock is not near, so that following it would show.
    QDateTime m_consoleNow;
    std::unique_ptr<LabConsole> m_console;
    std::unique_ptr<LabAgent> m_agent;
    qsizetype m_logShown = 0;
};

NETLAB_TEST_MAIN(TestAgentEnforcement)
#include "tst_agentenforcement.moc"
