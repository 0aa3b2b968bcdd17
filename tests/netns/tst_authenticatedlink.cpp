#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QFileInfo>
#include <QSslServer>
#include <memory>

using namespace kestrava;

// kestrava-agent in the pc namespace of a NetLab with the console's key pinned: it speaks TLS to the
// console that holds that key and to no one else.
class TestAuthenticatedLink : public QObject {
    Q_OBJECT
public:
    explicit TestAuthenticatedLink(NetLab& lab)
        : m_lab(lab) {}

private slots:
    void initTestCase() {
        if (!m_lab.unavailable().isEmpty())
            QSKIP(qPrintable(m_lab.unavailable()));
        QVERIFY2(m_lab.error().isEmpty(), qPrintable(m_lab.error()));
        QVERIFY2(QFileInfo(LabAgent::program()).isExecutable(), qPrintable(LabAgent::program()));
        m_impostor = TlsIdentity::loadOrCreate(m_keys.filePath(QStringLiteral("impostor.key")),
                                               m_keys.filePath(QStringLiteral("impostor.crt")),
                                               QStringLiteral("impostor"));
        QVERIFY2(m_impostor.isValid(), qPrintable(m_impostor.error));
    }

    void cleanup() {
        if (QTest::currentTestFailed() && m_agent)
            qInfo().noquote() << "kestrava-agent's standard error:\n" << m_agent->log();
        m_agent.reset();
    }

    // Another key on the console's TLS port hears a handshake and nothing else; the plain port hears
    // nothing at all.
    void impostorConsoleRefused() {
        const TlsIdentity pinned = TlsIdentity::loadOrCreate(m_keys.filePath(QStringLiteral("pinned.key")),
                                                             m_keys.filePath(QStringLiteral("pinned.crt")),
                                                             QStringLiteral("pinned"));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(m_impostor.certificate);
        configuration.setPrivateKey(m_impostor.key);
        QSslServer impostor;
        impostor.setSslConfiguration(configuration);
        QVERIFY(impostor.listen(QHostAddress(NetLab::kLan), LabConsole::kPort + 1));
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress(NetLab::kLan), LabConsole::kPort));
        int handshakes = 0;
        QByteArray received;
        connect(&impostor, &QSslServer::startedEncryptionHandshake, this, [&](QSslSocket* peer) {
            ++handshakes;
            connect(peer, &QSslSocket::readyRead, this, [&received, peer] { received += peer->readAll(); });
        });

        startAgent(pinned);
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->log().count("refused the console") >= 2, 15000);
        QVERIFY(m_agent->log().contains(Fingerprint::text(m_impostor.certificate).toLatin1()));
        QVERIFY(handshakes >= 2);
        QCOMPARE(received, QByteArray());
        QVERIFY(!plain.hasPendingConnections());
    }

private:
    void startAgent(const TlsIdentity& console) {
        m_agent = std::make_unique<LabAgent>(LabConsole::kPort);
        m_agent->setExtraArguments(
            {QStringLiteral("--console-fingerprint"), Fingerprint::text(console.certificate)});
        QVERIFY(m_agent->start());
    }

    NetLab& m_lab;
    QTemporaryDir m_keys;
    TlsIdentity m_impostor;
    std::unique_ptr<LabAgent> m_agent;
};

NETLAB_TEST_MAIN(TestAuthenticatedLink)
#include "tst_authenticatedlink.moc"
