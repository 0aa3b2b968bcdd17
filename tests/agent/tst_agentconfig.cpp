#include "config/AgentConfig.h"

#include <QTest>

using kestrava::agent::AgentConfig;

class TestAgentConfig : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void console_data();
    void console();
};

void TestAgentConfig::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("local");

    QTest::newRow("full") << "# lab\n[console]\nhost = 10.1.2.3\nport=9000\n\n[Agent]\nname = pc-1\n"
                             "local_networks = 10.0.0.0/8, fd00::/8 192.168.5.7\n"
                          << QString() << "10.1.2.3" << 9000 << QStringList{"10.0.0.0/8", "fd00::/8", "192.168.5.7"};
    QTest::newRow("defaults") << "[console]\nhost=console.lab\n" << QString() << "console.lab" << 8999 << QStringList();
    QTest::newRow("bad port") << "[console]\nhost=a\nport=99999\n" << "f:3: port must be a number from 1 to 65535, not '99999'"
                              << QString() << 0 << QStringList();
    QTest::newRow("bad network") << "[agent]\nalways_allow = 10.0.0.0/33\n"
                                 << "f:2: '10.0.0.0/33' in always_allow is not an address or a network such as 10.0.0.0/8"
                                 << QString() << 0 << QStringList();
    QTest::newRow("unknown key") << "[console]\nhots=a\n" << "f:2: unknown key 'hots' in [console]" << QString() << 0
                                 << QStringList();
    QTest::newRow("key outside") << "host=a\n" << "f:1: unknown key 'host' outside any section" << QString() << 0
                                 << QStringList();
    QTest::newRow("unknown section") << "[server]\n" << "f:1: unknown section [server] (known: [console], [agent])"
                                     << QString() << 0 << QStringList();
    QTest::newRow("no equals") << "[agent]\nname\n" << "f:2: expected key = value" << QString() << 0 << QStringList();
}

void TestAgentConfig::parse() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString problem;
    const auto config = AgentConfig::parse(text, QStringLiteral("f"), &problem);
    QCOMPARE(problem, error);
    QCOMPARE(config.has_value(), error.isEmpty());
    if (config) {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QStringList, local);
        QCOMPARE(config->consoleHost, host);
        QCOMPARE(config->consolePort, port);
        QCOMPARE(config->localNetworks, local);
    }
}

void TestAgentConfig::console_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("host") << "console" << true << "console" << 8999;
    QTest::newRow("host and port") << "10.0.0.1:7000" << true << "10.0.0.1" << 7000;
    QTest::newRow("bare v6") << "fd00::1" << true << "fd00::1" << 8999;
    QTest::newRow("bracketed v6") << "[fd00::1]:7000" << true << "fd00::1" << 7000;
    QTest::newRow("port zero") << "a:0" << false << "" << 8999;
    QTest::newRow("empty host") << ":80" << false << "" << 8999;
}

void TestAgentConfig::console() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    AgentConfig config;
    QCOMPARE(config.setConsole(text), ok);
    QTEST(config.consoleHost, "host");
    QTEST(config.consolePort, "port");
}

QTEST_APPLESS_MAIN(TestAgentConfig)
#include "tst_agentconfig.moc"
