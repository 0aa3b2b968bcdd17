#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"
#include "tls/Fingerprint.h"

#include <QFile>
#include <memory>
#include <sys/stat.h>

using namespace kestrava;

// kestrava-agent in the pc namespace of a NetLab with the console's key pinned, configured or at its
// first contact: it speaks TLS to the console that holds that key and to no one else.
class TestAuthenticatedLink : public QObject {
    Q_OBJECT
public:
    explicit TestAuthenticatedLink(NetLab& lab)
        : m_lab(lab) {}

private slots:
    void initTestCase() {
        LAB_AGENT_READY(m_lab);
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY2(m_console->identity().isValid(), qPrintable(m_console->identity().error));
    }

    void cleanup() {
        for (const auto* agent : {m_agent.get(), m_firstUse.get()}) {
            if (QTest::currentTestFailed() && agent)
                qInfo().noquote() << "kestrava-agent's standard error:\n" << agent->log();
        }
        m_agent.reset();
    }

    // Without a TLS port an agent that pinned nothing speaks plain.
    void unpinnedAgentSpeaksPlain() {
        QVERIFY(m_console->listen());
        m_agent = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
        QVERIFY(m_agent->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_console->isConnected(LabAgent::systemKey()), 30000);
        QVERIFY(m_agent->log().contains("plain TCP to port"));
    }

    // With the option on, the plain port is closed.
    void plainPortClosedBySecureOnly() {
        QVERIFY(m_console->listen() && m_console->listenSecure());
        QVERIFY(m_lab.probe(NetLab::kLan, LabConsole::kPort));
        m_console->setSecureOnly(true);
        QVERIFY(!m_lab.probe(NetLab::kLan, LabConsole::kPort));
    }

    // Left with its defaults, an agent pins the key of the console it reaches first, over TLS.
    void firstContactPins() {
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY(m_console->listen() && m_console->listenSecure());
        m_firstUse = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
        QVERIFY(m_firstUse->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_console->isConnected(LabAgent::systemKey()), 30000);
        QVERIFY(m_firstUse->log().contains("over TLS"));
        QCOMPARE(pinOf(*m_firstUse), Fingerprint::text(m_console->identity().certificate));
        struct stat status {};
        QCOMPARE(::stat(qPrintable(pinPath(*m_firstUse)), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);
    }

    // The console drops the agent: it comes back to the same running console with its session resumed.
    void reconnectionResumes() {
        const quint64 resumed = m_console->secure().handshakesResumed();
        m_console->stopListening();
        QTRY_VERIFY_WITH_TIMEOUT(!m_console->isConnected(LabAgent::systemKey()), 10000);
        QVERIFY(m_console->listenSecure());
        QTRY_VERIFY_WITH_TIMEOUT(m_console->isConnected(LabAgent::systemKey()), 30000);
        QCOMPARE(m_console->secure().handshakesResumed(), resumed + 1);
    }

    // A console with another key is refused at every attempt; the plain port hears nothing.
    void otherConsoleRefused() {
        m_firstUse->stop();
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY(m_console->listenSecure());
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress(NetLab::kLan), LabConsole::kPort));
        const qsizetype mark = m_firstUse->log().size();
        QVERIFY(m_firstUse->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_firstUse->log().mid(mark).count("refused the console") >= 2, 15000);
        QVERIFY(m_firstUse->log().mid(mark).contains(
            Fingerprint::text(m_console->identity().certificate).toLatin1()));
        QVERIFY(!plain.hasPendingConnections());
        QVERIFY(!m_console->isConnected(LabAgent::systemKey()));
    }

    // --forget-console clears the pin; the console reached next is pinned.
    void forgetConsoleRepins() {
        m_firstUse->stop();
        m_firstUse->setExtraArguments({QStringLiteral("--forget-console")});
        QVERIFY(m_firstUse->start());
        QVERIFY(m_firstUse->waitForExit(10000));
        QCOMPARE(m_firstUse->exitCode(), 0);
        QVERIFY(!QFile::exists(pinPath(*m_firstUse)));
        m_firstUse->setExtraArguments({});
        QVERIFY(m_firstUse->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_console->isConnected(LabAgent::systemKey()), 30000);
        QCOMPARE(pinOf(*m_firstUse), Fingerprint::text(m_console->identity().certificate));
    }

    // A pin given on its command line: the console holding that key is reached over TLS.
    void configuredPinReached() {
        m_firstUse->stop();
        // A console that has not taken the other agent's key for this computer.
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY(m_console->listenSecure());
        m_agent = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
        m_agent->setExtraArguments(
            {QStringLiteral("--console-fingerprint"), Fingerprint::text(m_console->identity().certificate)});
        QVERIFY(m_agent->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_console->isConnected(LabAgent::systemKey()), 30000);
        QVERIFY(m_agent->log().contains("over TLS"));
    }

private:
    static QString pinPath(const LabAgent& agent) {
        return agent.statePath() + QStringLiteral("/console.pin");
    }
    static QString pinOf(const LabAgent& agent) {
        QFile file(pinPath(agent));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QString();
    }

    NetLab& m_lab;
    std::unique_ptr<LabConsole> m_console;
    // Started without a fingerprint: it pins the console itself.
    std::unique_ptr<LabAgent> m_firstUse;
    std::unique_ptr<LabAgent> m_agent;
};

NETLAB_TEST_MAIN(TestAuthenticatedLink)
#include "tst_authenticatedlink.moc"
